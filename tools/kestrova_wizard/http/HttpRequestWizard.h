#pragma once

#include <memory>

#include "quorvalib/network/http/HttpRequest.h"
#include "tools/kestrova_wizard/http/CurlTransfer.h"

class RequestThr;

// A request whose transfer runs over libcurl on its own RequestThr. Once started it deletes
// itself (Release) when its thread has reported the end.
class HttpRequestWizard : public quorvalib::network::http::HttpRequest {
public:
    HttpRequestWizard(uint64_t id, kestrova_wizard::TransferOptions options);
    // Cancels the transfer and lets go of the thread object without waiting for the thread.
    ~HttpRequestWizard() override;

    bool Start() override;
    // Asks the transfer to stop; true when its thread had already finished.
    bool Cancel() override;

private:
    std::shared_ptr<RequestThr> thread_;  // its running thread holds it too
};
