#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace kestrova_wizard {

// How a transfer treats the network; the defaults suit the update server.
struct TransferOptions {
    bool verifyPeer = true;         // TLS peers are verified unless the settings turn it off
    long connectTimeoutSeconds = 30;
    long lowSpeedTimeSeconds = 60;  // a transfer slower than 1 byte/s this long is ended
    long receiveBufferBytes = 128 * 1024;  // libcurl's chunk: fewer, larger writes to the stream
};

// Completion codes of one transfer, as the download manager reports them.
namespace transfer_code {
constexpr int kNotFound = 404;
constexpr int kCancelled = 450;
constexpr int kNoAnswer = 451;  // plus libcurl's error number
}  // namespace transfer_code

// The URL followed by "?name=value&..." with names and values percent-encoded (RFC 3986
// unreserved characters kept), or the URL alone without parameters.
std::string BuildRequestUrl(const std::string& url,
                            const std::vector<std::pair<std::string, std::string>>& parameters);

// One GET streamed into `output`. Runs on the calling thread until the transfer ends and
// returns its completion code: the HTTP status; 404 when the body starts as an HTML page saying
// "404 Not Found" (nothing of it is written); 450 when `cancelled` was seen, even while nothing
// arrives; 451 when the stream fails; 451 + libcurl's code when no complete answer came.
// `progress` gets the stream position at most every 250 ms, the first time with the first chunk.
class CurlTransfer {
public:
    using ProgressCallback = std::function<void(uint64_t position)>;

    CurlTransfer(std::string url, std::ostream& output, const std::atomic<bool>& cancelled,
                 ProgressCallback progress, TransferOptions options = {});

    int Perform();

private:
    static size_t OnWrite(char* data, size_t size, size_t count, void* self);
    static int OnTransferInfo(void* self, long long, long long, long long, long long);

    const std::string url_;
    std::ostream& output_;
    const std::atomic<bool>& cancelled_;
    const ProgressCallback progress_;
    const TransferOptions options_;

    bool notFoundPage_ = false;
    bool streamFailed_ = false;
    int64_t position_ = 0;
    int64_t written_ = 0;
    bool reportedOnce_ = false;
    std::chrono::steady_clock::time_point lastProgress_;
};

// libcurl's process-wide set-up, done once before the first transfer.
void InitializeCurlOnce();

}  // namespace kestrova_wizard
