#include "quorvalib/core/ProgressMonitor.h"

#include <gtest/gtest.h>

#include <vector>

#include "quorvalib/core/ProgressMonitorEvent.h"

namespace quorvalib::core {
namespace {

uint32_t g_now = 0;
uint32_t FakeClock() { return g_now; }

class Reports : public ListenerBase {
public:
    void OnProgress(ProgressMonitorEvent& event) { seen.push_back({event.done, event.rate}); }
    struct Seen {
        uint64_t done;
        uint64_t rate;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
};

class ProgressMonitorTest : public ::testing::Test {
protected:
    ProgressMonitorTest() {
        monitor.SetClock(&FakeClock);
        Connect(reports, monitor.Progress(), &Reports::OnProgress);
    }
    ProgressMonitor monitor{nullptr};
    Reports reports;
};

TEST_F(ProgressMonitorTest, FirstChunkReportsAndTheNextThresholdFollowsTheSpeed) {
    g_now = 1000;
    monitor.Add(1000);  // 1000 bytes in 1000 ms since tick 0
    ASSERT_EQ(reports.seen.size(), 1u);
    EXPECT_EQ(reports.seen[0], (Reports::Seen{1000, 1000}));
    EXPECT_EQ(monitor.NextReport(), 1000u + 500u * 1000u / 1000u);

    g_now = 1100;
    monitor.Add(400);  // below the threshold of 1500: nothing
    EXPECT_EQ(reports.seen.size(), 1u);

    g_now = 1250;
    monitor.Add(100);  // 500 bytes in 250 ms since the last report
    ASSERT_EQ(reports.seen.size(), 2u);
    EXPECT_EQ(reports.seen[1], (Reports::Seen{1500, 2000}));
    EXPECT_EQ(monitor.NextReport(), 1500u + 500u * 500u / 250u);
}

TEST_F(ProgressMonitorTest, SecondCrossingInTheSameTickMovesTheThresholdByTwiceTheBytes) {
    g_now = 2000;
    monitor.Add(10);
    ASSERT_EQ(reports.seen.size(), 1u);
    const uint64_t threshold = monitor.NextReport();
    monitor.Add(threshold);  // crosses again, same tick
    EXPECT_EQ(reports.seen.size(), 1u);
    EXPECT_EQ(monitor.NextReport(), monitor.Done() + 2 * threshold);
    EXPECT_EQ(monitor.Done(), 10 + threshold);
}

TEST_F(ProgressMonitorTest, ElapsedTimeIsRightAcrossTheTickWrap) {
    g_now = 0xFFFFFF00u;
    monitor.Add(1);
    g_now = 0x00000100u;  // 512 ms later
    monitor.Add(1023);
    ASSERT_EQ(reports.seen.size(), 2u);
    EXPECT_EQ(reports.seen[1].rate, 1023u * 1000u / 512u);
}

}  // namespace
}  // namespace quorvalib::core
