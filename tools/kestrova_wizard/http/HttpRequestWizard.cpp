#include "tools/kestrova_wizard/http/HttpRequestWizard.h"

#include "tools/kestrova_wizard/http/RequestThr.h"

HttpRequestWizard::HttpRequestWizard(uint64_t id, kestrova_wizard::TransferOptions options)
    : HttpRequest(id), thread_(std::make_shared<RequestThr>(*this, options)) {}

HttpRequestWizard::~HttpRequestWizard() { thread_->SetCancelled(); }

bool HttpRequestWizard::Start() {
    if (thread_->CreateThread()) return true;
    // A thread that exists but was slow to signal its start still runs the transfer and
    // releases this request; only a thread that was never created leaves it to the caller.
    return thread_->ThreadId() != 0;
}

bool HttpRequestWizard::Cancel() {
    thread_->SetCancelled();
    return thread_->Finished();
}
