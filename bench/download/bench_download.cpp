// Downloads a large file from a loopback server through HttpDownloadManager into a file, and
// the same file with `curl -o` from the same server, and prints the throughput ratio and the
// peak memory of the download (it streams, so the peak must not follow the file size).
//
//   bench_download [MiB=512] [rounds=3] [folder=current folder]

#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quorvalib/files/Afile.h"
#include "quorvalib/files/AfileStream.h"
#include "quorvalib/files/FileSystem.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "tools/kestrova_wizard/http/HttpFactoryWizard.h"

namespace http = quorvalib::network::http;
using Clock = std::chrono::steady_clock;

namespace {

// Serves `size` bytes of a fixed pattern from a small buffer, never the whole file.
class LoopbackServer {
public:
    explicit LoopbackServer(uint64_t size) : chunk_(256 * 1024) {
        for (size_t i = 0; i < chunk_.size(); ++i) chunk_[i] = static_cast<char>('a' + i % 26);
        server_.Get("/big", [this, size](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                size, "application/octet-stream",
                [this, size](size_t offset, size_t length, httplib::DataSink& sink) {
                    const size_t n = std::min<uint64_t>({length, chunk_.size(), size - offset});
                    return sink.write(chunk_.data(), n);
                });
        });
        // Bound and listening here: connections wait in the backlog until the loop accepts.
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~LoopbackServer() {
        server_.stop();
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/big"; }
    bool Running() const { return port_ > 0; }

private:
    std::vector<char> chunk_;
    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
};

// kB values of /proc/self/status.
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    }
    return -1;
}

// Starts a new peak: VmHWM falls back to the current resident size.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

class EndWaiter : public quorvalib::core::ListenerBase {
public:
    void OnEnd(http::HttpEvent& event) {
        std::lock_guard guard(lock_);
        code_ = event.code;
        ended_ = true;
        changed_.notify_all();
    }
    int Wait() {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return ended_; });
        ended_ = false;
        return code_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool ended_ = false;
    int code_ = 0;
};

struct Result {
    double seconds = 0;
    uint64_t bytes = 0;
    int code = 0;
};

Result DownloadWithManager(http::HttpDownloadManager& manager, EndWaiter& waiter,
                           const std::string& url, const std::string& path, std::streamsize buffer) {
    Result result;
    auto file = std::make_shared<Afile>();
    if (!file->Create(path)) return result;
    const auto start = Clock::now();
    {
        auto stream = buffer > 0 ? std::make_shared<AfileStream>(AfileDevice(file), buffer)
                                 : std::make_shared<AfileStream>(AfileDevice(file));
        std::unique_ptr<http::HttpRequest> request = manager.CreateRequest(stream);
        request->SetUrl(url);
        request->SetGet(true);
        manager.Submit(std::move(request));
    }
    result.code = waiter.Wait();
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.bytes = file->Size();
    return result;
}

Result DownloadWithCurl(const std::string& url, const std::string& path) {
    Result result;
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execlp("curl", "curl", "-s", "-o", path.c_str(), url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    result.bytes = in ? static_cast<uint64_t>(in.tellg()) : 0;
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string folder = argc > 3 ? argv[3] : ".";
    const uint64_t size = mib << 20;
    // The file stream's buffer is the caller's choice: the stream's default and 64 KiB.
    const std::streamsize buffers[] = {0, http::kDownloadStreamBuffer};

    LoopbackServer server(size);
    if (!server.Running()) {
        std::fprintf(stderr, "the loopback server could not listen\n");
        return 1;
    }
    auto manager = http::HttpDownloadManager::Create();
    manager->SetFactory(std::make_unique<HttpFactoryWizard>(kestrova_wizard::TransferOptions{}));
    EndWaiter waiter;
    manager->ConnectFinished(waiter, &EndWaiter::OnEnd);

    const std::string ours = folder + "/bench_download_manager.bin";
    const std::string theirs = folder + "/bench_download_curl.bin";
    std::vector<double> curlRates, managerRates[2];
    long peakGrowthKb = 0;
    for (int round = 0; round < rounds; ++round) {
        const Result c = DownloadWithCurl(server.Url(), theirs);
        quorvalib::files::DeleteFile(theirs);
        if (c.code != 0 || c.bytes != size) {
            std::fprintf(stderr, "round %d: curl exit %d, %llu bytes\n", round, c.code,
                         static_cast<unsigned long long>(c.bytes));
            return 1;
        }
        curlRates.push_back(static_cast<double>(size) / (1 << 20) / c.seconds);
        std::printf("round %d: curl -o %.1f MiB/s", round, curlRates.back());
        for (int b = 0; b < 2; ++b) {
            const long before = StatusKb("VmRSS");
            const bool peakReset = ResetPeak();
            const Result m = DownloadWithManager(*manager, waiter, server.Url(), ours, buffers[b]);
            const long peak = StatusKb("VmHWM");
            quorvalib::files::DeleteFile(ours);
            if (m.code != 200 || m.bytes != size) {
                std::fprintf(stderr, "\nround %d: manager code %d, %llu bytes\n", round, m.code,
                             static_cast<unsigned long long>(m.bytes));
                return 1;
            }
            managerRates[b].push_back(static_cast<double>(size) / (1 << 20) / m.seconds);
            if (peakReset) peakGrowthKb = std::max(peakGrowthKb, peak - before);
            std::printf(", manager (%s buffer) %.1f MiB/s, peak %+ld kB", b ? "64 KiB" : "default",
                        managerRates[b].back(), peak - before);
        }
        std::printf("\n");
    }
    manager->Disconnect(waiter);

    const double curl = Median(curlRates);
    std::printf("file %llu MiB, %d rounds, medians:\n", static_cast<unsigned long long>(mib), rounds);
    std::printf("curl -o                                %8.1f MiB/s\n", curl);
    for (int b = 0; b < 2; ++b) {
        const double rate = Median(managerRates[b]);
        std::printf("HttpDownloadManager, %-14s    %8.1f MiB/s  ratio %.2f (goal >= 0.80) %s\n",
                    b ? "64 KiB buffer" : "default buffer", rate, rate / curl,
                    rate / curl >= 0.8 ? "met" : "MISSED");
    }
    std::printf("peak memory of a download above the resident size before it: %ld kB (VmHWM)\n",
                peakGrowthKb);
    return 0;
}
