#include "quorvalib/platform/PlatformThread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>

#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/platform/ThreadQueue.h"

namespace quorvalib::platform {
namespace {

TEST(PlatformThread, RunsOnlyAfterResumeWithItsIdAndStack) {
    std::atomic<bool> setUp{false};
    std::atomic<bool> sawSetUp{false};
    std::atomic<uint32_t> idInside{0};
    std::atomic<size_t> stackInside{0};
    PlatformThread thread;
    ASSERT_TRUE(thread.Create(300000, [&] {
        sawSetUp = setUp.load();
        idInside = CurrentThreadId();
        pthread_attr_t attributes;
        pthread_getattr_np(pthread_self(), &attributes);
        size_t size = 0;
        pthread_attr_getstacksize(&attributes, &size);
        pthread_attr_destroy(&attributes);
        stackInside = size;
    }));
    EXPECT_NE(thread.Id(), 0u);
    setUp = true;  // the body must see everything done before Resume
    thread.Resume();
    thread.Join();
    EXPECT_TRUE(sawSetUp);
    EXPECT_EQ(idInside, thread.Id());
    EXPECT_GE(stackInside, 300000u);
}

TEST(PlatformThread, NeverResumedThreadEndsWithoutRunningItsBody) {
    std::atomic<bool> ran{false};
    {
        PlatformThread thread;
        ASSERT_TRUE(thread.Create(0, [&] { ran = true; }));
    }
    EXPECT_FALSE(ran);
}

TEST(PlatformThread, DetachedThreadRunsOnAlone) {
    SyncEvent done(SyncEvent::Mode::Manual);
    SyncEvent release(SyncEvent::Mode::Manual);
    {
        PlatformThread thread;
        ASSERT_TRUE(thread.Create(0, [&] {
            release.Wait();
            done.Set();
        }));
        thread.Resume();
        thread.Detach();
        EXPECT_FALSE(thread.Joinable());
    }
    release.Set();
    EXPECT_TRUE(done.Wait(30000));
}

}  // namespace
}  // namespace quorvalib::platform
