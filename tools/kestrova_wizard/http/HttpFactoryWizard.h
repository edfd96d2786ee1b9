#pragma once

#include "quorvalib/network/http/HttpFactory.h"
#include "tools/kestrova_wizard/http/CurlTransfer.h"

class Aini;

// Makes HttpRequestWizard requests with one set of transfer options.
class HttpFactoryWizard : public quorvalib::network::http::HttpFactory {
public:
    // Section "Updater", key "VerifyTls": TLS peers are verified unless it says no ("0",
    // "no", "off", "false"; absent means verify).
    static constexpr const char* kSection = "Updater";
    static constexpr const char* kVerifyTlsKey = "VerifyTls";

    // Options from the program settings.
    HttpFactoryWizard();
    explicit HttpFactoryWizard(kestrova_wizard::TransferOptions options) : options_(options) {}

    std::unique_ptr<quorvalib::network::http::HttpRequest> CreateRequest(uintptr_t context,
                                                                         uint64_t taskId) override;

    const kestrova_wizard::TransferOptions& Options() const { return options_; }
    // Reads the options from `settings` without writing to it.
    static kestrova_wizard::TransferOptions ReadOptions(const Aini& settings);

private:
    kestrova_wizard::TransferOptions options_;
};
