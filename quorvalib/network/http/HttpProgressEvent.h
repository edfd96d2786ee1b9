#pragma once

#include <cstdint>

#include "quorvalib/core/Event.h"

namespace quorvalib::network::http {

// Bytes received so far by a download task (0 when it ended without transfer); no total is
// known, so `total` is always -1.
class HttpProgressEvent : public core::Event {
public:
    HttpProgressEvent(uint64_t taskId, uint32_t received) : taskId(taskId), received(received) {}

    uint64_t taskId;
    uint32_t reserved = 0;
    uint32_t received;
    int32_t total = -1;
};

}  // namespace quorvalib::network::http
