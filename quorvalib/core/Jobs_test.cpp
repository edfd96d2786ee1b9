#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "quorvalib/core/FutureImpl.h"
#include "quorvalib/core/JobSimpleCall.h"
#include "quorvalib/core/Singleton.h"

namespace quorvalib::core {
namespace {

TEST(JobSimpleCall, CallsOnceKeepsTheResultAndTheKind) {
    int calls = 0;
    JobSimpleCall<std::string> job(0x4000, [&] {
        ++calls;
        return std::string("done");
    });
    IJob& base = job;
    EXPECT_FALSE(base.Run());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(job.Result(), "done");
    EXPECT_EQ(base.Kind(), 0x4000u);
    EXPECT_FALSE(base.Cancel());  // a plain call cannot stop half-way
    EXPECT_FALSE(base.IsCancelled());
}

struct Registry : Singleton<Registry> {
    int value = 0;
};

TEST(Singleton, PublishesTheLiveObjectAndSurvivesAReplacedOne) {
    EXPECT_EQ(Registry::Instance(), nullptr);
    {
        auto first = std::make_unique<Registry>();
        EXPECT_EQ(Registry::Instance(), first.get());
        Registry second;
        EXPECT_EQ(Registry::Instance(), &second);
        first.reset();  // the replaced one must not clear the newer instance
        EXPECT_EQ(Registry::Instance(), &second);
    }
    EXPECT_EQ(Registry::Instance(), nullptr);
}

TEST(FutureImpl, WaiterSeesTheValueSetByAnotherThread) {
    FutureImpl<bool> future;
    EXPECT_FALSE(future.Wait(0));
    std::thread setter([&] { future.Set(true); });
    ASSERT_TRUE(future.Wait(30000));
    EXPECT_TRUE(future.Value());
    EXPECT_TRUE(future.Wait(0));  // stays set
    setter.join();
}

}  // namespace
}  // namespace quorvalib::core
