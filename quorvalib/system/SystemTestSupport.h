#pragma once

// Helpers for the thread tests: a receiver thread for finished events and a job whose steps the
// test controls.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "quorvalib/core/JobFinishedEvent.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/system/Athr.h"

namespace systemtest {

using quorvalib::platform::SyncEvent;
constexpr uint32_t kLongWait = 60000;  // only a real hang reaches it

// Collects finished jobs; lives on (and is only touched from) the receiver thread, except
// through its locked accessors.
class FinishedCollector : public quorvalib::core::ListenerBase {
public:
    struct Finished {
        std::unique_ptr<quorvalib::core::IJob> job;
        bool aborted;
        uintptr_t userValue;
    };
    void OnFinished(quorvalib::core::JobFinishedEvent& event) {
        {
            std::lock_guard guard(lock_);
            finished_.push_back({std::move(event.job), event.aborted, event.userValue});
        }
        arrived.Set();
    }
    // Waits until `count` jobs have finished.
    bool WaitFor(size_t count) {
        for (;;) {
            {
                std::lock_guard guard(lock_);
                if (finished_.size() >= count) return true;
            }
            if (!arrived.Wait(kLongWait)) return false;
        }
    }
    Finished& At(size_t index) {
        std::lock_guard guard(lock_);
        return finished_.at(index);
    }

    SyncEvent arrived{SyncEvent::Mode::Auto};

private:
    std::mutex lock_;
    std::vector<Finished> finished_;
};

// A thread that receives finished events through a notifier dispatched to it.
class Receiver {
public:
    Receiver() : thread(std::make_shared<Athr>()) {
        thread->CreateThread();
        finished = std::make_unique<quorvalib::core::Notifier>(thread.get());
        SyncEvent connected(SyncEvent::Mode::Manual);
        thread->PostCall([&] {
            quorvalib::core::Connect(collector, *finished, &FinishedCollector::OnFinished);
            connected.Set();
        });
        connected.Wait(kLongWait);
    }
    ~Receiver() {
        thread->HardStop();
        // The thread has ended: what it touched can go now, on this thread.
        finished.reset();
    }

    std::shared_ptr<Athr> thread;
    std::unique_ptr<quorvalib::core::Notifier> finished;
    FinishedCollector collector;
};

// A job that tells the test when it runs and can be held in a step until released.
class ControlledJob : public quorvalib::core::IJob {
public:
    ControlledJob(int steps, bool cooperative, uint32_t kind = 0)
        : steps_(steps), cooperative_(cooperative), kind_(kind) {}
    bool Run() override {
        const int step = ++runs;
        running.Set();
        if (holdInStep == step) release.Wait();
        if (cancelled_) return false;
        return steps_ < 0 || step < steps_;
    }
    bool Cancel() override {
        if (!cooperative_) return false;
        cancelled_ = true;
        return true;
    }
    bool IsCancelled() const override { return cancelled_; }
    uint32_t Kind() const override { return kind_; }

    std::atomic<int> runs{0};
    int holdInStep = 0;  // set before the job starts
    SyncEvent running{SyncEvent::Mode::Manual};
    SyncEvent release{SyncEvent::Mode::Manual};

private:
    const int steps_;
    const bool cooperative_;
    const uint32_t kind_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace systemtest
