#include "quorvalib/system/AthrMan.h"

#include <gtest/gtest.h>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/core/JobSimpleCall.h"
#include "quorvalib/platform/ThreadQueue.h"
#include "quorvalib/platform/Tick.h"
#include "quorvalib/system/JobThread.h"
#include "quorvalib/system/SystemTestSupport.h"

namespace {

using namespace systemtest;
using common::debug::testing::LogRecorder;
namespace core = quorvalib::core;
namespace platform = quorvalib::platform;

std::unique_ptr<core::JobRequest> Request(std::unique_ptr<core::IJob> job, core::Notifier& finished,
                                          uintptr_t userValue = 0) {
    auto request = std::make_unique<core::JobRequest>();
    request->job = std::move(job);
    request->finished = &finished;
    request->userValue = userValue;
    return request;
}

class AthrManTest : public ::testing::Test {
protected:
    Receiver receiver;  // outlives the pool: finished events go to it
    std::unique_ptr<AthrMan> pool = std::make_unique<AthrMan>();
};

TEST_F(AthrManTest, RunsAJobOnAPoolThreadAndHandsItBackToTheReceiver) {
    EXPECT_EQ(AthrMan::Global(), pool.get());
    std::atomic<uint32_t> ranOn{0};
    auto request = Request(std::make_unique<core::JobSimpleCall<int>>(0x4000, [&] {
                               ranOn = platform::CurrentThreadId();
                               return 42;
                           }),
                           *receiver.finished, 9);
    ASSERT_TRUE(pool->StartJob(request));
    EXPECT_EQ(request, nullptr);  // handed over
    ASSERT_TRUE(receiver.collector.WaitFor(1));
    auto& finished = receiver.collector.At(0);
    auto* job = dynamic_cast<core::JobSimpleCall<int>*>(finished.job.get());
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->Result(), 42);
    EXPECT_EQ(finished.userValue, 9u);
    EXPECT_FALSE(finished.aborted);
    ASSERT_EQ(pool->ThreadCount(), 1u);
    EXPECT_EQ(ranOn, pool->ThreadAt(0)->ThreadId());
    EXPECT_NE(ranOn, receiver.thread->ThreadId());
}

TEST_F(AthrManTest, PoolGrowsOnlyWhenEveryThreadIsBusyAndThreadsAreReused) {
    ASSERT_TRUE(pool->AnotherThreadCount());
    auto first = std::make_unique<ControlledJob>(1, false);
    auto second = std::make_unique<ControlledJob>(1, false);
    first->holdInStep = second->holdInStep = 1;
    ControlledJob* a = first.get();
    ControlledJob* b = second.get();
    auto r1 = Request(std::move(first), *receiver.finished);
    auto r2 = Request(std::move(second), *receiver.finished);
    ASSERT_TRUE(pool->StartJob(r1));
    ASSERT_TRUE(pool->StartJob(r2));  // the only thread is reserved: a second one is added
    EXPECT_EQ(pool->ThreadCount(), 2u);
    // Both run at the same time, each on its own thread.
    ASSERT_TRUE(a->running.Wait(kLongWait));
    ASSERT_TRUE(b->running.Wait(kLongWait));
    a->release.Set();
    b->release.Set();
    ASSERT_TRUE(receiver.collector.WaitFor(2));

    // Idle threads are reused: a third job does not add a thread.
    auto r3 = Request(std::make_unique<ControlledJob>(1, false), *receiver.finished);
    ASSERT_TRUE(pool->StartJob(r3));
    ASSERT_TRUE(receiver.collector.WaitFor(3));
    EXPECT_EQ(pool->ThreadCount(), 2u);
}

TEST_F(AthrManTest, CooperativeCancelStopsTheJobAtItsNextStepWithoutAbort) {
    auto owned = std::make_unique<ControlledJob>(-1, true, 1024);
    ControlledJob* job = owned.get();
    auto request = Request(std::move(owned), *receiver.finished);
    ASSERT_TRUE(pool->StartJob(request));
    ASSERT_TRUE(job->running.Wait(kLongWait));
    EXPECT_FALSE(pool->CancelJob(job, 0x8000));  // other kind: left alone
    EXPECT_FALSE(job->IsCancelled());
    EXPECT_TRUE(pool->CancelJob(job, 1024));
    ASSERT_TRUE(receiver.collector.WaitFor(1));
    EXPECT_FALSE(receiver.collector.At(0).aborted);
    EXPECT_TRUE(receiver.collector.At(0).job->IsCancelled());
}

TEST_F(AthrManTest, JobThatCannotStopItselfIsAbortedByMessage) {
    auto owned = std::make_unique<ControlledJob>(-1, false);
    ControlledJob* job = owned.get();
    auto request = Request(std::move(owned), *receiver.finished);
    ASSERT_TRUE(pool->StartJob(request));
    ASSERT_TRUE(job->running.Wait(kLongWait));
    EXPECT_TRUE(pool->CancelJob(job, 0));
    ASSERT_TRUE(receiver.collector.WaitFor(1));
    EXPECT_TRUE(receiver.collector.At(0).aborted);
    EXPECT_EQ(receiver.collector.At(0).job.get(), job);
    auto jobThread = std::dynamic_pointer_cast<JobThread>(pool->ThreadAt(0));
    ASSERT_NE(jobThread, nullptr);
    EXPECT_TRUE(jobThread->IsIdle());  // idle before the receiver got the job
    EXPECT_EQ(jobThread->CurrentJob(), nullptr);
}

TEST_F(AthrManTest, CancelOfAJobStillOnItsWayMatchesNothing) {
    ASSERT_TRUE(pool->AnotherThreadCount());
    auto thread = std::dynamic_pointer_cast<JobThread>(pool->ThreadAt(0));
    // Keep the thread busy with a call, so the start message waits behind it.
    SyncEvent inCall(SyncEvent::Mode::Manual), release(SyncEvent::Mode::Manual);
    ASSERT_TRUE(thread->PostCall([&] {
        inCall.Set();
        release.Wait();
    }));
    ASSERT_TRUE(inCall.Wait(kLongWait));
    auto owned = std::make_unique<ControlledJob>(1, true);
    ControlledJob* job = owned.get();
    auto request = Request(std::move(owned), *receiver.finished);
    ASSERT_TRUE(pool->StartJob(request));
    EXPECT_EQ(thread->BusyMarker(), quorvalib::eventloop::kJobReserved);
    EXPECT_FALSE(pool->CancelJob(job, 0));
    EXPECT_FALSE(job->IsCancelled());
    release.Set();
    ASSERT_TRUE(receiver.collector.WaitFor(1));
    EXPECT_EQ(receiver.collector.At(0).job->IsCancelled(), false);
    EXPECT_EQ(job->runs, 1);
}

// A job thread that tells the test when its object is finally destroyed.
class ObservedJobThread : public JobThread {
public:
    explicit ObservedJobThread(SyncEvent& gone) : gone_(gone) {}
    ~ObservedJobThread() override { gone_.Set(); }

private:
    SyncEvent& gone_;
};

TEST_F(AthrManTest, StoppingThePoolAbandonsAThreadStuckInAJobAfterTheLimit) {
    LogRecorder log("ALL");
    SyncEvent gone(SyncEvent::Mode::Manual);
    ASSERT_TRUE(pool->AddThread(std::make_shared<ObservedJobThread>(gone)));
    ASSERT_TRUE(pool->AnotherThreadCount());  // an idle one that stops at once
    const uint32_t stuckId = pool->ThreadAt(0)->ThreadId();
    auto owned = std::make_unique<ControlledJob>(1, false);
    owned->holdInStep = 1;
    ControlledJob* job = owned.get();
    auto request = Request(std::move(owned), *receiver.finished);
    ASSERT_TRUE(pool->StartJob(request));
    ASSERT_TRUE(job->running.Wait(kLongWait));

    const uint32_t start = platform::GetTickCount();
    pool.reset();
    EXPECT_GE(platform::TickDiff(platform::GetTickCount(), start), 5000);
    EXPECT_EQ(AthrMan::Global(), nullptr);
    std::vector<std::string> warnings;
    for (const auto& line : log.Lines()) {
        if (line.level == common::debug::kLogWarning) warnings.push_back(line.message);
    }
    EXPECT_EQ(warnings, std::vector<std::string>{"Forced termination of thread #" +
                                                 std::to_string(stuckId) + "."});
    EXPECT_FALSE(gone.IsSet());  // still running: never freed under it

    job->release.Set();  // the job, its thread and its loop were kept alive until now
    ASSERT_TRUE(receiver.collector.WaitFor(1));
    EXPECT_EQ(receiver.collector.At(0).job.get(), job);
    ASSERT_TRUE(gone.Wait(kLongWait));
}

TEST(AthrManEmpty, StoppingAnEmptyPoolReturnsAtOnce) {
    auto pool = std::make_unique<AthrMan>();
    pool.reset();
    EXPECT_EQ(AthrMan::Global(), nullptr);
}

}  // namespace
