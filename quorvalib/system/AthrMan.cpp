#include "quorvalib/system/AthrMan.h"

#include <atomic>

#include "common/debug/Log.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/platform/ThreadQueue.h"
#include "quorvalib/platform/Tick.h"
#include "quorvalib/system/JobThread.h"

TOV_DEFINE_LOG_CHANNEL(AthrMan);

namespace core = quorvalib::core;
namespace platform = quorvalib::platform;

namespace {
std::atomic<AthrMan*> g_manager{nullptr};
}

AthrMan::AthrMan() { g_manager.store(this, std::memory_order_release); }

AthrMan* AthrMan::Global() { return g_manager.load(std::memory_order_acquire); }

AthrMan::~AthrMan() {
    AthrMan* self = this;
    g_manager.compare_exchange_strong(self, nullptr);
    std::vector<std::shared_ptr<Athr>> running;
    {
        std::lock_guard guard(lock_);
        running.swap(threads_);
    }
    if (running.empty()) return;
    for (const auto& thread : running) thread->PostMsg(platform::kWmQuit, 0, 0);
    const uint32_t start = platform::GetTickCount();
    std::vector<std::shared_ptr<Athr>> late;
    for (auto& thread : running) {
        const int32_t left = static_cast<int32_t>(Athr::kStopTimeoutMs) -
                             platform::TickDiff(platform::GetTickCount(), start);
        if (thread->WaitFinished(left > 0 ? static_cast<uint32_t>(left) : 0)) {
            thread->Join();
            thread.reset();
        } else {
            late.push_back(std::move(thread));
        }
    }
    for (auto& thread : late) {
        thread->HardStop();
        thread.reset();  // an abandoned thread keeps its object until it ends
    }
}

bool AthrMan::AddThread(std::shared_ptr<Athr> thread) {
    if (!thread || !thread->CreateThread(kThreadStackSize)) {
        TOV_LOG_ERROR(AthrMan, "AthrMan::AddThread: Athr::CreateThread failed!");
        if (thread && thread->ThreadId() != 0) thread->HardStop();
        return false;
    }
    std::lock_guard guard(lock_);
    threads_.push_back(std::move(thread));
    return true;
}

bool AthrMan::AnotherThreadCount() {
    return AddThread(std::make_shared<JobThread>());
}

bool AthrMan::Nastartuj(std::unique_ptr<core::JobRequest>& request) {
    if (!request) return false;
    std::lock_guard guard(lock_);
    for (const auto& thread : threads_) {
        auto* jobThread = dynamic_cast<JobThread*>(thread.get());
        if (!jobThread || !jobThread->IsIdle()) continue;
        // Reserved until the job starts there, so the next request picks another thread.
        jobThread->Reserve();
        core::JobRequest* posted = request.release();  // the message carries it now
        if (!jobThread->PostMsg(core::kMsgStartJob, reinterpret_cast<intptr_t>(posted),
                                core::kStartJobTag)) {
            request.reset(posted);
            TOV_LOG_ERROR(AthrMan, "PostMsg failed for thread %p: message=%04X, request=%p, id=%d",
                          static_cast<const void*>(jobThread), core::kMsgStartJob,
                          static_cast<const void*>(posted), core::kStartJobTag);
            return false;
        }
        return true;
    }
    return false;
}

size_t AthrMan::IdleCount() const {
    std::lock_guard guard(lock_);
    size_t idle = 0;
    for (const auto& thread : threads_) {
        auto* jobThread = dynamic_cast<JobThread*>(thread.get());
        if (jobThread && jobThread->IsIdle()) ++idle;
    }
    return idle;
}

bool AthrMan::StartJob(std::unique_ptr<core::JobRequest>& request) {
    if (!request) return false;
    std::lock_guard guard(lock_);
    while (!Nastartuj(request)) {
        if (IdleCount() == 0 && !AnotherThreadCount()) return false;
    }
    return true;
}

bool AthrMan::CancelJob(core::IJob* job, uint32_t kindMask) {
    if (!job) return false;
    std::lock_guard guard(lock_);
    bool matched = false;
    for (const auto& thread : threads_) {
        auto* jobThread = dynamic_cast<JobThread*>(thread.get());
        if (!jobThread || (jobThread->BusyMarker() & 0xFF) != 0x81 ||
            jobThread->CurrentJob() != job) {
            continue;
        }
        if (kindMask != 0 && (kindMask & job->Kind()) == 0) continue;
        matched = true;
        if (!job->Cancel()) {
            jobThread->PostMsg(core::kMsgAbortJob, reinterpret_cast<intptr_t>(job), 0);
        }
    }
    return matched;
}

size_t AthrMan::ThreadCount() const {
    std::lock_guard guard(lock_);
    return threads_.size();
}

std::shared_ptr<Athr> AthrMan::ThreadAt(size_t index) const {
    std::lock_guard guard(lock_);
    return index < threads_.size() ? threads_[index] : nullptr;
}
