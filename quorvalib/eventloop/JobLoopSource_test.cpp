#include "quorvalib/eventloop/JobLoopSource.h"

#include <gtest/gtest.h>

#include "quorvalib/core/JobFinishedEvent.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/eventloop/EventLoop.h"
#include "quorvalib/eventloop/JobHost.h"
#include "quorvalib/eventloop/JobStarterLoopSource.h"
#include "quorvalib/eventloop/LoopTestSupport.h"

namespace quorvalib::eventloop {
namespace {

using testing::LoopOwner;
using testing::ScriptedSource;

// Runs `steps` steps (for ever when negative); calls `onStep` with the step number.
class StepJob : public core::IJob {
public:
    StepJob(int steps, bool* destroyed = nullptr) : steps_(steps), destroyed_(destroyed) {}
    ~StepJob() override {
        if (destroyed_) *destroyed_ = true;
    }
    bool Run() override {
        ++runs;
        if (onStep) onStep(runs);
        return steps_ < 0 || runs < steps_;
    }
    int runs = 0;
    std::function<void(int)> onStep;

private:
    int steps_;
    bool* destroyed_;
};

class FinishedReceiver : public core::ListenerBase {
public:
    explicit FinishedReceiver(LoopOwner& owner) : owner_(owner) {}
    void OnFinished(core::JobFinishedEvent& event) {
        job = std::move(event.job);
        aborted = event.aborted;
        userValue = event.userValue;
        elapsed = event.endTick - event.startTick;
        ++events;
        owner_.Quit();
    }
    std::unique_ptr<core::IJob> job;
    bool aborted = false;
    uintptr_t userValue = 0;
    uint32_t elapsed = 0;
    int events = 0;

private:
    LoopOwner& owner_;
};

class JobLoopTest : public ::testing::Test {
protected:
    JobLoopTest() {
        starter.SetAutoDelete(false);
        starter.Attach(&loop);
        core::Connect(receiver, finished, &FinishedReceiver::OnFinished);
    }
    StepJob* Post(std::unique_ptr<StepJob> job, uintptr_t userValue = 0) {
        StepJob* raw = job.get();
        auto request = std::make_unique<core::JobRequest>();
        request->job = std::move(job);
        request->finished = &finished;
        request->userValue = userValue;
        EXPECT_TRUE(owner.PostMsg(core::kMsgStartJob, reinterpret_cast<intptr_t>(request.get()),
                                  core::kStartJobTag));
        request.release();  // the message carries it now
        return raw;
    }

    // A source that takes message 0x500 off the queue, journals "handler" and, with `quit`,
    // ends the run.
    std::unique_ptr<ScriptedSource> AttachHandler(std::vector<std::string>& journal, bool quit) {
        auto handler = std::make_unique<ScriptedSource>("handler", 1000, journal,
                                                        std::vector<uint32_t>{0x500});
        handler->check = [this] { return loop.CurrentMessage() == 0x500; };
        handler->dispatch = [this, quit] {
            loop.ConsumeMessage();
            if (quit) owner.Quit();
            return true;
        };
        handler->Attach(&loop);
        return handler;
    }

    LoopOwner owner;
    EventLoop loop{&owner};
    JobStarterLoopSource starter;
    core::Notifier finished;  // delivers at once, on the loop thread
    FinishedReceiver receiver{owner};
};

TEST_F(JobLoopTest, JobRunsStepByStepAndIsHandedOverWhenFinished) {
    StepJob* job = Post(std::make_unique<StepJob>(3), 77);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(receiver.events, 1);
    EXPECT_EQ(receiver.job.get(), job);
    EXPECT_EQ(job->runs, 3);
    EXPECT_FALSE(receiver.aborted);
    EXPECT_EQ(receiver.userValue, 77u);
    EXPECT_LT(receiver.elapsed, 0x80000000u);
    EXPECT_EQ(owner.markers, (std::vector<uint32_t>{kJobRunning, kJobIdle}));
    EXPECT_TRUE(loop.PolledSources().empty());
}

TEST_F(JobLoopTest, MessagesAreHandledBetweenSteps) {
    std::vector<std::string> journal;
    const auto handler = AttachHandler(journal, false);
    StepJob* job = Post(std::make_unique<StepJob>(4));
    job->onStep = [&](int step) {
        journal.push_back("step" + std::to_string(step));
        if (step == 1) owner.PostMsg(0x500, 0, 0);
    };
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(journal, (std::vector<std::string>{"step1", "handler", "step2", "step3", "step4"}));
}

TEST_F(JobLoopTest, AbortForThisJobOrAnyJobEndsItAndStillHandsItOver) {
    for (bool any : {false, true}) {
        receiver.events = 0;
        owner.markers.clear();
        StepJob* job = Post(std::make_unique<StepJob>(-1));
        job->onStep = [&, job, any](int step) {
            if (step == 2) {
                owner.PostMsg(core::kMsgAbortJob, any ? 0 : reinterpret_cast<intptr_t>(job), 0);
            }
        };
        EXPECT_TRUE(loop.Run());
        EXPECT_EQ(receiver.events, 1);
        EXPECT_TRUE(receiver.aborted);
        EXPECT_EQ(receiver.job.get(), job);
        EXPECT_EQ(job->runs, 2);
        EXPECT_EQ(owner.markers, (std::vector<uint32_t>{kJobRunning, kJobIdle}));
    }
}

TEST_F(JobLoopTest, AbortForAFinishedJobIsSwallowed) {
    std::vector<std::string> journal;
    const auto handler = AttachHandler(journal, true);
    StepJob* job = Post(std::make_unique<StepJob>(1));
    EXPECT_TRUE(loop.Run());
    owner.PostMsg(core::kMsgAbortJob, reinterpret_cast<intptr_t>(job), 0);
    owner.PostMsg(0x500, 0, 0);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(journal, std::vector<std::string>{"handler"});
}

TEST_F(JobLoopTest, UnfinishedJobDiesWithItsSource) {
    bool destroyed = false;
    {
        EventLoop other(&owner);
        auto source = std::make_unique<JobLoopSource>(
            core::JobRequest{std::make_unique<StepJob>(-1, &destroyed), &finished, 0, 0});
        other.AttachOwned(std::move(source));
    }
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(receiver.events, 0);
}

TEST_F(JobLoopTest, StartMessageWithAWrongTagIsDroppedNotRepeated) {
    std::vector<std::string> journal;
    const auto handler = AttachHandler(journal, true);
    owner.PostMsg(core::kMsgStartJob, 0, 0x42);
    owner.PostMsg(0x500, 0, 0);
    EXPECT_TRUE(loop.Run());
    EXPECT_EQ(journal, std::vector<std::string>{"handler"});
    EXPECT_TRUE(loop.PolledSources().empty());
}

}  // namespace
}  // namespace quorvalib::eventloop
