#include "tools/kestrova_wizard/http/RequestThr.h"

#include "quorvalib/network/http/HttpDownloadManager.h"
#include "tools/kestrova_wizard/http/HttpRequestWizard.h"

namespace http = quorvalib::network::http;
namespace transfer_code = kestrova_wizard::transfer_code;

RequestThr::RequestThr(HttpRequestWizard& request, kestrova_wizard::TransferOptions options)
    : request_(&request), options_(options) {}

void RequestThr::Run() {
    result_ = transfer_code::kNoAnswer;
    // Held for the transfer, so the stream lives even if the request let go of it.
    const std::shared_ptr<std::ostream> output = request_->Output();
    if (!output || !*output) return;
    const std::string url = kestrova_wizard::BuildRequestUrl(request_->GetUrl(), request_->GetParameters());
    const std::weak_ptr<http::HttpDownloadManager> manager = request_->Manager();
    http::HttpRequest& request = *request_;
    kestrova_wizard::CurlTransfer transfer(
        url, *output, cancelled_,
        [&manager, &request](uint64_t position) {
            if (auto owner = manager.lock()) owner->OnProgress(request, static_cast<uint32_t>(position));
        },
        options_);
    result_ = transfer.Perform();
    // Whoever reads the body when the end is reported finds all of it.
    output->flush();
}

int RequestThr::ExitInstance() {
    const int code = Cancelled() ? transfer_code::kCancelled : result_;
    const int exitCode = Athr::ExitInstance();
    if (auto manager = request_->Manager().lock()) manager->OnHttpEvent(*request_, code);
    // Deletes the request; this object lives on until the thread body lets go of it.
    request_->Release();
    return exitCode;
}
