#include "updaterlib/SynchronizationService.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "common/debug/Log.h"
#include "quorvalib/files/Afile.h"
#include "quorvalib/files/AfileStream.h"
#include "quorvalib/files/FileSystem.h"
#include "quorvalib/files/ProgramSettings.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "updaterlib/PackageParser.h"
#include "updaterlib/SynchronizationHost.h"

TOV_DEFINE_LOG_CHANNEL(SynchronizationService);

namespace updaterlib {
namespace http = quorvalib::network::http;

namespace {

constexpr const char* kPreparing = "preparing for download";
constexpr const char* kDownloading = "downloading available packages info";
constexpr const char* kParsing = "parsing packages info";
constexpr const char* kMerging = "merging database info";

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Codes of the download manager that mean the server never answered: 451 + the back end's
// number (451 alone is a stream failure, and 500 on are server statuses).
bool IsNoAnswer(int code) { return code <= 0 || (code > http::HttpEvent::kNoAnswer && code < 500); }

}  // namespace

SynchronizationService::SynchronizationService(SynchronizationTarget target,
                                               const ScreenSizeSource* screenSize,
                                               std::string cacheFilePath,
                                               std::shared_ptr<http::HttpDownloadManager> manager,
                                               SynchronizationHost* host, Aini* settings)
    : target_(std::move(target)),
      screenSize_(screenSize),
      cacheFilePath_(std::move(cacheFilePath)),
      manager_(std::move(manager)),
      host_(host) {
    Aini& ini = settings ? *settings : quorvalib::files::GetSettings();
    baseUrl_ = Trimmed(ini.ReadString(kSection, kPackagesUrlKey).view());
    if (baseUrl_.empty() || baseUrl_.front() == ';') {
        baseUrl_ = kDefaultPackagesUrl;
        ini.SetValue(kSection, kPackagesUrlKey, baseUrl_);
        if (!ini.Save()) {
            TOV_LOG_WARNING(SynchronizationService, "Unable to write settings file '%s'.", ini.Path());
        }
    }
    const Astring rcText = ini.ReadString(kSection, kRcStatusKey);
    const std::string_view rc = Trimmed(rcText.view());
    int value = -1;
    const auto [end, error] = std::from_chars(rc.data(), rc.data() + rc.size(), value);
    rcStatus_ = (error == std::errc() && end == rc.data() + rc.size()) ? value : -1;
}

SynchronizationService::~SynchronizationService() {
    // The manager's notifier is emitted on other threads: leave it under its lock.
    if (manager_) manager_->Disconnect(*this);
}

void SynchronizationService::Synchronize() {
    cancelled_.store(false);
    requestId_.store(kNoRequest);
    if (manager_) manager_->Disconnect(*this);
    const int result = DownloadAvailablePackages();
    if (result != kOk) OnSynchronizationDone(result);
}

int SynchronizationService::DownloadAvailablePackages() {
    _Progress(0, kPreparing);
    if (!manager_) {
        TOV_LOG_ERROR(SynchronizationService, "Download Manager does not exists.");
        return kNoDownloadManager;
    }
    const size_t slash = cacheFilePath_.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        TOV_LOG_ERROR(SynchronizationService, "Cache file '%s' is root.", cacheFilePath_);
        return kCacheIsRoot;
    }
    const std::string directory = cacheFilePath_.substr(0, slash);
    if (!quorvalib::files::IsDirectory(directory)) {
        std::error_code error;
        std::filesystem::create_directories(directory, error);
        if (!quorvalib::files::IsDirectory(directory)) {
            TOV_LOG_ERROR(SynchronizationService, "Unable to create cache dir '%s'.", directory);
            return kCacheDirectoryFailed;
        }
    }
    if (quorvalib::files::FileExists(cacheFilePath_) &&
        !quorvalib::files::DeleteFile(cacheFilePath_)) {
        TOV_LOG_ERROR(SynchronizationService, "Failed to delete old file '%s'.", cacheFilePath_);
        return kOldCacheFileFailed;
    }
    auto file = std::make_shared<Afile>();
    if (!file->Create(cacheFilePath_)) {
        TOV_LOG_ERROR(SynchronizationService, "Unable to create cache file '%s'.", cacheFilePath_);
        return kOldCacheFileFailed;
    }
    auto stream = std::make_shared<AfileStream>(AfileDevice(file), http::kDownloadStreamBuffer);
    std::unique_ptr<http::HttpRequest> request = manager_->CreateRequest(stream);
    if (!request) {
        TOV_LOG_ERROR(SynchronizationService, "Download Manager refused the request.");
        return kRequestRefused;
    }
    request->SetUrl(baseUrl_);
    request->SetGet(false);
    request->AddParameter("platform", target_.platform);
    request->AddParameter("appversion", target_.applicationVersion);
    request->AddParameter("installer", target_.installerVersion);
    request->AddParameter("installer_platform", target_.installerPlatform);
    request->AddParameter("brand", target_.brand);
    request->AddParameter("lang", host_ ? host_->GetLanguageCode() : std::string());
    if (screenSize_ && screenSize_->Width() > 0 && screenSize_->Height() > 0) {
        request->AddParameter("width", std::to_string(screenSize_->Width()));
        request->AddParameter("height", std::to_string(screenSize_->Height()));
    }
    if (rcStatus_ >= 0) request->AddParameter("rcstatus", std::to_string(rcStatus_));

    requestId_.store(request->Id());
    manager_->ConnectFinished(*this, &SynchronizationService::OnHttpEvent);
    // Reported before the request is queued: a fast answer must not overtake this step.
    _Progress(25, kDownloading);
    if (manager_->Submit(std::move(request)) < 1) {
        requestId_.store(kNoRequest);
        manager_->Disconnect(*this);
        return kRequestRefused;
    }
    return kOk;
}

void SynchronizationService::Cancel() {
    SetCancelled();
    const uint64_t id = requestId_.load();
    if (manager_ && id != kNoRequest) manager_->RemoveTask(id);
}

void SynchronizationService::OnHttpEvent(http::HttpEvent& event) {
    if (cancelled_.load()) {
        if (event.taskId == requestId_.load()) manager_->Disconnect(*this);
        return;  // the host has reported the cancellation
    }
    uint64_t expected = event.taskId;
    if (expected == kNoRequest || !requestId_.compare_exchange_strong(expected, kNoRequest)) return;
    manager_->Disconnect(*this);

    const int status = event.code;
    if (status >= 200 && status <= 299) {
        const int result = _ParseAndMerge();
        if (result != kOk && result != kServerError) OnSynchronizationDone(result);
    } else if (IsNoAnswer(status)) {
        OnSynchronizationDone(kHttpFailed, kConnectionMessage);
    } else {
        OnSynchronizationDone(kHttpFailed, HttpErrorMessage(status));
    }
}

std::string SynchronizationService::HttpErrorMessage(int status) {
    return "(Error code [6-" + std::to_string(status) + "]). Please contact technical support.";
}

int SynchronizationService::_ParseAndMerge() {
    _Progress(50, kParsing);
    PackageParser parser;
    if (!parser.Parse(cacheFilePath_)) {
        TOV_LOG_ERROR(SynchronizationService, "Failed to parse packages info '%s'.", cacheFilePath_);
        return kCatalogueUnreadable;
    }
    if (!parser.GetErrorText().empty()) {
        OnSynchronizationDone(kServerError, parser.GetErrorText());
        return kServerError;
    }
    if (!host_) {
        TOV_LOG_ERROR(SynchronizationService, "Updater service does not exists.");
        return kOk;
    }
    _Progress(75, kMerging);
    if (host_->MergeCatalogue(parser.GetGroups(), parser.GetPackages()) != 0) return kMergeFailed;
    OnSynchronizationDone(kOk);
    return kOk;
}

void SynchronizationService::OnSynchronizationDone(int code, const std::string& message) {
    if (!host_) {
        TOV_LOG_ERROR(SynchronizationService, "Updater service does not exists.");
        return;
    }
    host_->OnSynchronizationDone(code, message);
}

void SynchronizationService::_Progress(uint64_t done, const char* text) {
    if (host_) {
        host_->PostProgress(std::make_unique<ProgressEvent>(ProgressEvent::kSynchronization, done, 0,
                                                            100, 0, Astring(text)));
    }
}

}  // namespace updaterlib
