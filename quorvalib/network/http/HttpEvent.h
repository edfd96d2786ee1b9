#pragma once

#include <cstdint>

#include "quorvalib/core/Event.h"

namespace quorvalib::network::http {

// The end of a download task: the HTTP status, 404 for an HTML "404 Not Found" page, 450 when
// cancelled or removed, 451 + the back end's error number when no status was received.
class HttpEvent : public core::Event {
public:
    static constexpr int32_t kCancelled = 450;
    static constexpr int32_t kNoAnswer = 451;

    HttpEvent(uint64_t taskId, int32_t code) : taskId(taskId), code(code) {}

    uint64_t taskId;
    int32_t code;
};

}  // namespace quorvalib::network::http
