// AsyncMd5 through the job pool against the plain MD5 code on the same file.
// Prints both throughputs and their ratio (goal: AsyncMd5 at least 0.85 of plain).
// Usage: bench_md5job [size in MiB, default 1024]

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "quorvalib/core/AsyncMd5.h"
#include "quorvalib/core/JobFinishedEvent.h"
#include "quorvalib/core/ProgressMonitorEvent.h"
#include "quorvalib/files/Afile.h"
#include "quorvalib/files/Md5.h"
#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/system/AthrMan.h"

namespace core = quorvalib::core;
using quorvalib::platform::SyncEvent;
using Clock = std::chrono::steady_clock;

namespace {

// CPU time of the whole process (all threads): steadier than wall time on a shared machine.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
    void Keep(double w, double c) {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
};

class Creator : public core::ListenerBase {
public:
    void OnFinished(core::JobFinishedEvent& event) {
        job = std::move(event.job);
        done.Set();
    }
    void OnProgress(core::ProgressMonitorEvent&) { ++reports; }
    std::unique_ptr<core::IJob> job;
    int reports = 0;
    SyncEvent done{SyncEvent::Mode::Manual};
};

bool WriteFile(const std::string& path, uint64_t bytes) {
    Afile file;
    if (!file.Create(path)) return false;
    std::vector<uint8_t> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 131 + i / 977);
    for (uint64_t written = 0; written < bytes; written += block.size()) {
        block[0] = static_cast<uint8_t>(written >> 20);
        if (!file.Write(block.data(), std::min<uint64_t>(block.size(), bytes - written))) return false;
    }
    file.Close();
    return true;
}

double Plain(const std::string& path, std::string& digest) {
    const auto start = Clock::now();
    Md5 md5;
    if (!Md5::OfFile(path, md5)) return 0;
    digest = md5.HexDigest().str();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Pooled(AthrMan& pool, Athr& creatorThread, const std::string& path, std::string& digest,
              int& reports) {
    core::Notifier finished(&creatorThread);
    Creator creator;
    SyncEvent started(SyncEvent::Mode::Manual);
    Clock::time_point start;
    bool ok = false;
    creatorThread.PostCall([&] {
        auto job = std::make_unique<core::AsyncMd5>(path, &creatorThread);
        core::Connect(creator, job->Progress().Progress(), &Creator::OnProgress);
        core::Connect(creator, finished, &Creator::OnFinished);
        auto request = std::make_unique<core::JobRequest>();
        request->job = std::move(job);
        request->finished = &finished;
        start = Clock::now();
        ok = pool.StartJob(request);
        started.Set();
    });
    started.Wait();
    if (!ok) return 0;
    creator.done.Wait();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    auto* md5 = static_cast<core::AsyncMd5*>(creator.job.get());
    digest = md5->Error() == 0 ? md5->HexDigest().str() : "error";
    reports = creator.reports;
    SyncEvent cleaned(SyncEvent::Mode::Manual);
    creatorThread.PostCall([&] {  // listeners belong to the creator thread
        core::DisconnectAllDeferred(creator);
        creator.job.reset();
        cleaned.Set();
    });
    cleaned.Wait();
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const uint64_t bytes = mib << 20;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("bench_md5job_" + std::to_string(getpid()))).string();
    if (!WriteFile(path, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    AthrMan pool;
    auto creatorThread = std::make_shared<Athr>();
    if (!creatorThread->CreateThread()) return 1;

    std::string warm;
    Plain(path, warm);  // page cache warm-up, so both sides read from memory
    Timing plain, pooled;
    std::string plainDigest, pooledDigest;
    int reports = 0;
    for (int round = 0; round < 3; ++round) {
        double cpu = CpuSeconds();
        const double plainWall = Plain(path, plainDigest);
        plain.Keep(plainWall, CpuSeconds() - cpu);
        cpu = CpuSeconds();
        const double pooledWall = Pooled(pool, *creatorThread, path, pooledDigest, reports);
        pooled.Keep(pooledWall, CpuSeconds() - cpu);
    }
    std::filesystem::remove(path);
    creatorThread->HardStop();

    const double mb = static_cast<double>(bytes) / (1 << 20);
    std::printf("MD5 of a %llu MiB file (best of 3, warm page cache)\n",
                static_cast<unsigned long long>(mib));
    std::printf("  plain Md5::OfFile:     %.3f s wall (%.1f MiB/s), %.3f s CPU\n", plain.wall,
                mb / plain.wall, plain.cpu);
    std::printf("  AsyncMd5 through pool: %.3f s wall (%.1f MiB/s), %.3f s CPU, %d progress events\n",
                pooled.wall, mb / pooled.wall, pooled.cpu, reports);
    const double ratio = plain.wall / pooled.wall;
    const double cpuRatio = plain.cpu / pooled.cpu;
    std::printf("  throughput ratio %.3f wall, %.3f CPU (goal >= 0.85): %s\n", ratio, cpuRatio,
                std::min(ratio, cpuRatio) >= 0.85 ? "met" : "NOT met");
    if (plainDigest != pooledDigest) {
        std::printf("  ERROR: digests differ: %s vs %s\n", plainDigest.c_str(), pooledDigest.c_str());
        return 1;
    }
    std::printf("  digests agree: %s\n", plainDigest.c_str());
    return 0;
}
