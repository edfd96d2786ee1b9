#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace quorvalib::platform {

// A POSIX thread created "suspended": Create() makes the thread and learns its id, but the body
// only runs after Resume(), so the creator can finish setting up first.
// Destroying the object detaches a running thread; a never-resumed one is ended without
// running its body.
class PlatformThread {
public:
    static constexpr size_t kDefaultStackSize = 0x40000;

    PlatformThread();
    ~PlatformThread();
    PlatformThread(const PlatformThread&) = delete;
    PlatformThread& operator=(const PlatformThread&) = delete;

    // Stack size in bytes, rounded up to a multiple of 4096; 0 takes 256 KiB. False (errno in
    // `error`) when the system refuses the thread.
    bool Create(size_t stackSize, std::function<void()> body, int* error = nullptr);
    void Resume();

    bool Started() const { return state_ != nullptr; }
    // The thread's 32-bit id (the same as CurrentThreadId() on that thread); 0 before Create.
    uint32_t Id() const { return id_; }
    bool IsCurrentThread() const;

    // Waits for the thread to end. Does nothing after Detach() or on the thread itself.
    void Join();
    // Lets the thread run on alone; the object no longer refers to it.
    void Detach();
    bool Joinable() const { return joinable_; }

    struct State;  // shared with the new thread until its body starts

private:
    std::shared_ptr<State> state_;
    unsigned long handle_ = 0;  // pthread_t
    uint32_t id_ = 0;
    bool joinable_ = false;
    bool resumed_ = false;
};

}  // namespace quorvalib::platform
