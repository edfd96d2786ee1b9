#pragma once

// The library's thread: a platform thread with its own message queue and EventLoop, able to
// receive posted events (Notifier dispatcher), calls (PostCall) and jobs.
//
//   auto service = std::make_shared<UpdaterService>();   // must be owned by a shared_ptr
//   service->CreateThread();                              // waits until its queue exists
//   service->PostCall([svc = service.get()] { svc->Poll(); });
//   service->HardStop();                                  // WM_QUIT, at most 5 s
//
// While its thread runs, the thread holds a reference to the object, so nothing the thread
// uses is freed under it, even when the owner lets go early or HardStop gives up on it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "quorvalib/core/NotifiedBase.h"
#include "quorvalib/platform/PlatformThread.h"
#include "quorvalib/platform/SyncEvent.h"

namespace quorvalib::eventloop {
class EventLoop;
class AsyncCallLoopSource;
class EventDispatcherLoopSource;
class JobStarterLoopSource;
}  // namespace quorvalib::eventloop

class Athr : public quorvalib::core::NotifiedBase, public std::enable_shared_from_this<Athr> {
public:
    static constexpr uint32_t kStartTimeoutMs = 60000;
    static constexpr uint32_t kStopTimeoutMs = 5000;

    Athr();
    // Deletes the loop and its sources. Does not stop the thread: the owner does that first.
    ~Athr() override;
    Athr(const Athr&) = delete;
    Athr& operator=(const Athr&) = delete;

    // Starts the thread (stack rounded up to 4 KiB multiples; 0 = 256 KiB) and waits up to 60 s
    // until it has its queue. True at once if already started. The object must be owned by a
    // std::shared_ptr.
    bool CreateThread(size_t stackSize = 0);

    // Thread-safe. False without a log line once the loop has quit; other failures are logged.
    bool PostMsg(uint32_t message, intptr_t lparam, uintptr_t wparam) override;
    // Runs `call` on this thread (see eventloop::PostCall).
    bool PostCall(std::function<void()> call);

    // Asks the thread to quit and waits up to 5 s for it. A thread that does not stop in time
    // is abandoned: logged at Warning "Forced termination of thread #<id>.", detached, and left
    // to end on its own (it keeps this object alive meanwhile). False in that case.
    bool HardStop();

    // Waits until the loop has ended (or the start failed); true if that happened in time.
    bool WaitFinished(uint32_t timeoutMs);
    // Waits for the platform thread itself to end; use after WaitFinished.
    void Join();

    uint32_t ThreadId() const { return threadId_.load(std::memory_order_acquire); }
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    bool Abandoned() const { return abandoned_.load(std::memory_order_acquire); }
    bool IsCurrentThread() const;

    // Owned by this thread: use only from it (or before CreateThread).
    quorvalib::eventloop::EventLoop& Loop() { return *loop_; }
    quorvalib::eventloop::AsyncCallLoopSource& CallSource() { return *calls_; }

protected:
    // Runs first on the new thread; false skips Run.
    virtual bool InitInstance();
    // Runs the loop until WM_QUIT.
    virtual void Run();
    // Runs last; its result is the thread's exit code.
    virtual int ExitInstance();

private:
    void ThreadBody(std::shared_ptr<Athr> self);
    bool Stopped() const;

    std::unique_ptr<quorvalib::eventloop::EventLoop> loop_;
    std::unique_ptr<quorvalib::eventloop::JobStarterLoopSource> starter_;
    std::unique_ptr<quorvalib::eventloop::EventDispatcherLoopSource> dispatcher_;
    std::unique_ptr<quorvalib::eventloop::AsyncCallLoopSource> calls_;
    quorvalib::platform::PlatformThread thread_;
    std::unique_ptr<quorvalib::platform::SyncEvent> startEvent_;
    quorvalib::platform::SyncEvent finishedEvent_{quorvalib::platform::SyncEvent::Mode::Manual};
    std::atomic<uint32_t> threadId_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> abandoned_{false};
    std::atomic<int> exitCode_{0};
};
