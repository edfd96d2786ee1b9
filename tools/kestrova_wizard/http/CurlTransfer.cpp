#include "tools/kestrova_wizard/http/CurlTransfer.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

namespace kestrova_wizard {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(250);
constexpr std::string_view kNotFoundText = "404 Not Found";

void AppendEncoded(std::string& out, const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

}  // namespace

void InitializeCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string BuildRequestUrl(const std::string& url,
                            const std::vector<std::pair<std::string, std::string>>& parameters) {
    std::string text = url;
    char separator = '?';
    for (const auto& [name, value] : parameters) {
        text += separator;
        AppendEncoded(text, name);
        text += '=';
        AppendEncoded(text, value);
        separator = '&';
    }
    return text;
}

CurlTransfer::CurlTransfer(std::string url, std::ostream& output, const std::atomic<bool>& cancelled,
                           ProgressCallback progress, TransferOptions options)
    : url_(std::move(url)),
      output_(output),
      cancelled_(cancelled),
      progress_(std::move(progress)),
      options_(options) {}

int CurlTransfer::Perform() {
    if (!output_) return transfer_code::kNoAnswer;
    const auto start = output_.tellp();
    position_ = start == std::ostream::pos_type(-1) ? -1 : static_cast<int64_t>(start);

    InitializeCurlOnce();
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) return transfer_code::kNoAnswer;
    CURL* curl = handle.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(curl, CURLOPT_HEADER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, options_.verifyPeer ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, options_.verifyPeer ? 2L : 0L);
    curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    // The transfer-info callback sees a cancel even while no byte arrives; the time-outs end a
    // connection that never comes up and a body that stalls.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnTransferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options_.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options_.lowSpeedTimeSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, options_.receiveBufferBytes);

    const CURLcode performed = curl_easy_perform(curl);
    if (cancelled_.load()) return transfer_code::kCancelled;
    if (notFoundPage_) return transfer_code::kNotFound;
    if (streamFailed_) return transfer_code::kNoAnswer;
    long status = 0;
    const bool haveStatus = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK;
    const int failure = transfer_code::kNoAnswer + static_cast<int>(performed);
    if (!haveStatus || status == 0) return failure;
    // A body cut off after a success status did not arrive: that is a failure, not a 2xx.
    if (performed != CURLE_OK && status >= 200 && status < 300) return failure;
    return static_cast<int>(status);
}

size_t CurlTransfer::OnWrite(char* data, size_t size, size_t count, void* self) {
    auto& transfer = *static_cast<CurlTransfer*>(self);
    if (transfer.cancelled_.load()) return 0;
    if (!transfer.output_) {
        transfer.streamFailed_ = true;
        return 0;
    }
    const size_t n = size * count;
    if (transfer.position_ == 0 && transfer.written_ == 0 && n > 13 && data[0] == '<' &&
        std::string_view(data, n).find(kNotFoundText) != std::string_view::npos) {
        transfer.notFoundPage_ = true;  // a server's error page is not content
        return 0;
    }
    transfer.output_.write(data, static_cast<std::streamsize>(n));
    if (!transfer.output_) {
        transfer.streamFailed_ = true;
        return 0;
    }
    const auto now = transfer.output_.tellp();
    const int64_t position = now == std::ostream::pos_type(-1) ? transfer.position_ + static_cast<int64_t>(n)
                                                             : static_cast<int64_t>(now);
    const int64_t advanced = position - transfer.position_;
    transfer.position_ = position;
    transfer.written_ += static_cast<int64_t>(n);

    const auto tick = std::chrono::steady_clock::now();
    if (transfer.progress_ && (!transfer.reportedOnce_ || tick - transfer.lastProgress_ >= kProgressInterval)) {
        transfer.reportedOnce_ = true;
        transfer.lastProgress_ = tick;
        transfer.progress_(static_cast<uint64_t>(position));
    }
    if (advanced != static_cast<int64_t>(n)) {
        transfer.streamFailed_ = true;  // a short count makes libcurl end the transfer
        return 0;
    }
    return n;
}

int CurlTransfer::OnTransferInfo(void* self, long long, long long, long long, long long) {
    return static_cast<CurlTransfer*>(self)->cancelled_.load() ? 1 : 0;
}

}  // namespace kestrova_wizard
