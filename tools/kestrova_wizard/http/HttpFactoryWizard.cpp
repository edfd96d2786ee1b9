#include "tools/kestrova_wizard/http/HttpFactoryWizard.h"

#include "quorvalib/files/ProgramSettings.h"
#include "tools/kestrova_wizard/http/HttpRequestWizard.h"

HttpFactoryWizard::HttpFactoryWizard() : options_(ReadOptions(quorvalib::files::GetSettings())) {}

kestrova_wizard::TransferOptions HttpFactoryWizard::ReadOptions(const Aini& settings) {
    kestrova_wizard::TransferOptions options;
    const AiniItem* item = settings.Find(kSection, kVerifyTlsKey);
    if (item && item->IsKey()) {
        const Astring value = Astring(item->Value()).ToUpper();
        options.verifyPeer = !(value == "0" || value == "NO" || value == "OFF" || value == "FALSE");
    }
    return options;
}

std::unique_ptr<quorvalib::network::http::HttpRequest> HttpFactoryWizard::CreateRequest(uintptr_t,
                                                                                        uint64_t taskId) {
    return std::make_unique<HttpRequestWizard>(taskId, options_);
}
