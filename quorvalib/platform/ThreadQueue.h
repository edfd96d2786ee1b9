#pragma once

// Per-thread message queues. Every thread that peeks, gets or waits gets its own queue; a
// process-wide table maps the 32-bit thread id (the same id the log lines show) to it, so any
// thread can post to any other. Messages keep their posting order.

#include <cstdint>
#include <span>
#include <vector>

namespace quorvalib::platform {

class SyncEvent;

inline constexpr uint32_t kWmQuit = 0x0012;
inline constexpr uint32_t kWmUser = 0x0400;

// Results of WaitForQueueOrEvents besides an event index.
inline constexpr uint32_t kWaitTimeout = 0x102;

// Error codes left by a failed post (see LastError()).
inline constexpr int kErrorInvalidThreadId = 1444;

struct ThreadMessage {
    uint32_t message = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
    uint32_t time = 0;  // GetTickCount() when posted
};

// The calling thread's 32-bit id.
uint32_t CurrentThreadId();

// Creates the calling thread's queue if it has none. Peek, get and wait do it implicitly.
void EnsureThreadQueue();

// Appends a message to the queue of the given thread. False when that thread has no queue
// (never made one, or closed it); LastError() then says why.
bool PostThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wparam, intptr_t lparam);

// The error of the calling thread's last failed post.
int LastError();

// Looks at the oldest message of the calling thread's queue, removing it when asked.
bool PeekThreadMessage(ThreadMessage& message, bool remove);

// Blocks until a message arrives and removes it. False for WM_QUIT, true for anything else.
bool GetThreadMessage(ThreadMessage& message);

// Unregisters and closes the calling thread's queue: later posts to it fail. Returns the
// messages still queued so the caller can free what they carry.
std::vector<ThreadMessage> CloseThreadQueue();

// Blocks until one of the events is set (returns its index; an auto-reset event is consumed),
// the calling thread's queue holds a message (returns events.size()), or the time-out ends
// (kWaitTimeout). The lowest set event index wins; events are checked before the queue.
uint32_t WaitForQueueOrEvents(std::span<SyncEvent* const> events, uint32_t timeoutMs);

}  // namespace quorvalib::platform
