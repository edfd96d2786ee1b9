#pragma once

#include <cstdint>

namespace quorvalib::core {

// A thread that accepts posted messages (see Messages.h). Events emitted through a notifier
// whose dispatcher is this thread travel as kMsgDeliverEvent and are delivered there.
class NotifiedBase {
public:
    virtual ~NotifiedBase() = default;
    // Thread-safe. False when the thread can no longer take messages; the caller still owns
    // whatever lparam points to.
    virtual bool PostMsg(uint32_t message, intptr_t lparam, uintptr_t wparam) = 0;
};

}  // namespace quorvalib::core
