#pragma once

#include <atomic>
#include <cstdint>

#include "quorvalib/system/Athr.h"
#include "tools/kestrova_wizard/http/CurlTransfer.h"

class HttpRequestWizard;

// The thread of one HttpRequestWizard: performs its whole transfer in Run (no event loop),
// reports progress and the end to the request's manager, then releases the request.
class RequestThr : public Athr {
public:
    RequestThr(HttpRequestWizard& request, kestrova_wizard::TransferOptions options);

    // Seen by the transfer even while nothing arrives; the end is then reported as 450.
    void SetCancelled() { cancelled_.store(true); }
    bool Cancelled() const { return cancelled_.load(); }

protected:
    void Run() override;
    int ExitInstance() override;

private:
    HttpRequestWizard* const request_;  // owns this object; alive until ExitInstance releases it
    const kestrova_wizard::TransferOptions options_;
    std::atomic<bool> cancelled_{false};
    int result_ = kestrova_wizard::transfer_code::kNoAnswer;
};
