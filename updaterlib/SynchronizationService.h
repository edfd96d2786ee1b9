#pragma once

// Fetches the catalogue of one install target from the update server into a cache file,
// parses it and hands it to the host's merge. Every run ends with exactly one
// SynchronizationHost::OnSynchronizationDone, except a cancelled one, which the host ends.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "quorvalib/core/ListenerBase.h"

class Aini;

namespace quorvalib::network::http {
class HttpDownloadManager;
class HttpEvent;
}  // namespace quorvalib::network::http

namespace updaterlib {

class SynchronizationHost;

// Gives the screen size sent to the server; no such source exists in this system.
class ScreenSizeSource {
public:
    virtual ~ScreenSizeSource() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};

// The target's description, sent as request parameters.
struct SynchronizationTarget {
    std::string brand;
    std::string platform;
    std::string applicationVersion;
    std::string installerPlatform;
    std::string installerVersion;
};

class SynchronizationService : public quorvalib::core::ListenerBase {
public:
    enum Result : int {
        kOk = 0,
        kNoDownloadManager = 1,
        kCacheIsRoot = 2,
        kCacheDirectoryFailed = 3,
        kOldCacheFileFailed = 4,  // also: the new cache file cannot be created
        kRequestRefused = 5,
        kHttpFailed = 6,
        kCatalogueUnreadable = 7,
        kMergeFailed = 8,
        kCancelled = 22,  // reported by the host
        kServerError = 23,
    };

    static constexpr const char* kSection = "Updater";
    static constexpr const char* kPackagesUrlKey = "PackagesUrl";
    static constexpr const char* kRcStatusKey = "RcStatus";
    static constexpr const char* kDefaultPackagesUrl = "http://localhost:8080/catalogue";
    static constexpr uint64_t kNoRequest = UINT64_MAX;

    static constexpr const char* kConnectionMessage =
        "Connection to the internet is not established. Please check your internet connection.";

    // Reads section "Updater" of `settings` (the program settings when null); a missing
    // "PackagesUrl" gets the default written back.
    SynchronizationService(SynchronizationTarget target, const ScreenSizeSource* screenSize,
                           std::string cacheFilePath,
                           std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager,
                           SynchronizationHost* host, Aini* settings = nullptr);
    ~SynchronizationService() override;

    // Starts one run; its outcome always arrives later through OnSynchronizationDone.
    void Synchronize();
    // Prepares the cache file and queues the request: 0 or a failure code.
    int DownloadAvailablePackages();
    // Connected to the download manager's end of every task; acts on its own request only.
    void OnHttpEvent(quorvalib::network::http::HttpEvent& event);
    void OnSynchronizationDone(int code, const std::string& message = {});

    // Set before the request is removed: the run's late end is then swallowed.
    void SetCancelled() { cancelled_.store(true); }
    // SetCancelled, then removes the request from the download manager; the host reports 22.
    void Cancel();
    uint64_t RequestId() const { return requestId_.load(); }

    const std::string& BaseUrl() const { return baseUrl_; }
    int RcStatus() const { return rcStatus_; }
    // "(Error code [6-<status>]). Please contact technical support."
    static std::string HttpErrorMessage(int status);

private:
    int _ParseAndMerge();
    void _Progress(uint64_t done, const char* text);

    const SynchronizationTarget target_;
    const ScreenSizeSource* const screenSize_;
    const std::string cacheFilePath_;
    const std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager_;
    SynchronizationHost* const host_;
    std::string baseUrl_;
    int rcStatus_ = -1;
    std::atomic<uint64_t> requestId_{kNoRequest};
    std::atomic<bool> cancelled_{false};
};

}  // namespace updaterlib
