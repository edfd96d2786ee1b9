#include "quorvalib/core/AsyncMd5.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "quorvalib/core/JobFinishedEvent.h"
#include "quorvalib/core/ProgressMonitorEvent.h"
#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/platform/ThreadQueue.h"
#include "quorvalib/system/AthrMan.h"

namespace quorvalib::core {
namespace {

using platform::SyncEvent;
constexpr uint32_t kLongWait = 60000;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "asyncmd5-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = path_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return bytes;
}

// Runs the job to its end on this thread; returns the number of steps.
int RunToEnd(IJob& job) {
    int steps = 1;
    while (job.Run()) ++steps;
    return steps;
}

class ProgressLog : public ListenerBase {
public:
    void OnProgress(ProgressMonitorEvent& event) {
        std::lock_guard guard(lock);
        done.push_back(event.done);
        threads.push_back(platform::CurrentThreadId());
    }
    std::mutex lock;
    std::vector<uint64_t> done;
    std::vector<uint32_t> threads;
};

TEST(AsyncMd5, EmptyFileFinishesAtItsFirstStepWithTheEmptyDigest) {
    TempFolder folder;
    AsyncMd5 job(folder.Write("empty", ""), nullptr);
    EXPECT_EQ(RunToEnd(job), 1);
    EXPECT_EQ(job.Error(), 0);
    ASSERT_TRUE(job.HasDigest());
    EXPECT_EQ(job.HexDigest().str(), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(job.Kind(), 1024u);
}

TEST(AsyncMd5, DigestsOneChunkPerStepAndReportsProgress) {
    struct Case {
        size_t size;
        int steps;
    };
    const Case cases[] = {{1, 2}, {65535, 2}, {65536, 3}, {3 * 65535 + 10, 5}};
    TempFolder folder;
    for (const Case& c : cases) {
        const std::string bytes = Pattern(c.size);
        AsyncMd5 job(folder.Write("f" + std::to_string(c.size), bytes), nullptr);
        ProgressLog progress;
        Connect(progress, job.Progress().Progress(), &ProgressLog::OnProgress);
        EXPECT_EQ(RunToEnd(job), c.steps) << c.size;
        EXPECT_EQ(job.Error(), 0);
        EXPECT_EQ(job.HexDigest().str(), Md5::Of(bytes).HexDigest().str()) << c.size;
        ASSERT_FALSE(progress.done.empty());
        EXPECT_EQ(progress.done.front(), std::min<size_t>(c.size, 65535));  // first chunk reports
        EXPECT_EQ(job.Progress().Done(), c.size);
    }
}

TEST(AsyncMd5, CancelledBeforeItsFirstStepFinishesWithoutOpening) {
    TempFolder folder;
    AsyncMd5 job(folder.Path("missing"), nullptr);  // opening it would set an error
    EXPECT_TRUE(job.Cancel());
    EXPECT_TRUE(job.IsCancelled());
    EXPECT_FALSE(job.Run());
    EXPECT_EQ(job.Error(), 0);
    EXPECT_FALSE(job.HasDigest());
    EXPECT_TRUE(job.HexDigest().empty());
}

TEST(AsyncMd5, CancelHonouredAtTheNextStep) {
    TempFolder folder;
    AsyncMd5 job(folder.Write("big", Pattern(4 * 65535)), nullptr);
    EXPECT_TRUE(job.Run());
    job.Cancel();
    EXPECT_FALSE(job.Run());
    EXPECT_FALSE(job.HasDigest());
    EXPECT_EQ(job.Progress().Done(), 65535u);
}

TEST(AsyncMd5, MissingFileFinishesAtItsFirstStepWithFileNotFound) {
    TempFolder folder;
    AsyncMd5 job(folder.Path("missing"), nullptr);
    EXPECT_EQ(RunToEnd(job), 1);
    EXPECT_EQ(job.Error(), ENOENT);
    EXPECT_FALSE(job.HasDigest());
}

class Collector : public ListenerBase {
public:
    void OnFinished(JobFinishedEvent& event) {
        job = std::move(event.job);
        finishedOn = platform::CurrentThreadId();
        done.Set();
    }
    std::unique_ptr<IJob> job;
    uint32_t finishedOn = 0;
    SyncEvent done{SyncEvent::Mode::Manual};
};

TEST(AsyncMd5, RunsThroughThePoolWithProgressOnTheCreatorsThread) {
    TempFolder folder;
    const std::string bytes = Pattern(10 * 65535 + 123);
    const std::string path = folder.Write("pooled", bytes);
    auto creator = std::make_shared<Athr>();
    ASSERT_TRUE(creator->CreateThread());
    Notifier finished(creator.get());
    ProgressLog progress;
    Collector collector;
    AthrMan pool;

    auto job = std::make_unique<AsyncMd5>(path, creator.get());
    AsyncMd5* md5 = job.get();
    SyncEvent started(SyncEvent::Mode::Manual);
    std::atomic<bool> startedOk{false};
    // The creator connects and starts the job on its own thread.
    creator->PostCall([&] {
        Connect(progress, md5->Progress().Progress(), &ProgressLog::OnProgress);
        Connect(collector, finished, &Collector::OnFinished);
        auto request = std::make_unique<JobRequest>();
        request->job = std::move(job);
        request->finished = &finished;
        startedOk = pool.StartJob(request);
        started.Set();
    });
    ASSERT_TRUE(started.Wait(kLongWait));
    ASSERT_TRUE(startedOk);
    ASSERT_TRUE(collector.done.Wait(kLongWait));
    // Everything below was written on the creator thread before `done` was set.
    ASSERT_EQ(collector.job.get(), md5);
    EXPECT_EQ(md5->Error(), 0);
    EXPECT_EQ(md5->HexDigest().str(), Md5::Of(bytes).HexDigest().str());
    EXPECT_EQ(collector.finishedOn, creator->ThreadId());
    std::lock_guard guard(progress.lock);
    ASSERT_FALSE(progress.done.empty());
    for (uint32_t id : progress.threads) EXPECT_EQ(id, creator->ThreadId());
    for (size_t i = 1; i < progress.done.size(); ++i) EXPECT_GT(progress.done[i], progress.done[i - 1]);
    EXPECT_TRUE(creator->HardStop());
}

}  // namespace
}  // namespace quorvalib::core
