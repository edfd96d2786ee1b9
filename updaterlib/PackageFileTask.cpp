#include "updaterlib/PackageFileTask.h"

#include <cerrno>

#include "common/debug/Log.h"
#include "quorvalib/core/AsyncMd5.h"
#include "quorvalib/core/JobFinishedEvent.h"
#include "quorvalib/core/JobRequest.h"
#include "quorvalib/core/ProgressMonitorEvent.h"
#include "quorvalib/files/Afile.h"
#include "quorvalib/files/AfileStream.h"
#include "quorvalib/files/FileSystem.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "quorvalib/platform/FileInfo.h"
#include "quorvalib/system/AthrMan.h"
#include "updaterlib/Md5Text.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageTask.h"
#include "updaterlib/PackageTransaction.h"
#include "updaterlib/SafePath.h"
#include "updaterlib/TransactionHost.h"

TOV_DEFINE_LOG_CHANNEL(PackageFileTask);
TOV_DEFINE_LOG_CHANNEL(StatusReports);

namespace updaterlib {

namespace core = quorvalib::core;
namespace files = quorvalib::files;
namespace http = quorvalib::network::http;

namespace {

uint32_t SystemError() { return static_cast<uint32_t>(errno); }

}  // namespace

// Listens to the download manager on the transfer thread and carries copies of this file's
// events to the service thread. Connected only to the manager's notifiers, so the manager's
// Disconnect (which drops every connection of a listener) touches nothing else.
class PackageFileTask::HttpRelay : public core::ListenerBase {
public:
    explicit HttpRelay(PackageFileTask& owner) : owner_(owner) {}

    void OnFinished(http::HttpEvent& event) {
        if (event.taskId != expected_.load()) return;
        core::Emit(owner_.httpEvents_, std::make_unique<http::HttpEvent>(event.taskId, event.code));
    }
    void OnProgress(http::HttpProgressEvent& event) {
        if (owner_.aborted_.load() || event.taskId != expected_.load()) return;
        core::Emit(owner_.httpProgress_,
                   std::make_unique<http::HttpProgressEvent>(event.taskId, event.received));
    }
    void Expect(uint64_t id) { expected_.store(id); }

private:
    PackageFileTask& owner_;
    std::atomic<uint64_t> expected_{kNoRequest};
};

PackageFileTask::PackageFileTask(PackageTask& task, PackageFile file)
    : task_(task),
      file_(std::move(file)),
      httpEvents_(&task.Transaction().Host().ServiceThread()),
      httpProgress_(&task.Transaction().Host().ServiceThread()),
      jobFinished_(&task.Transaction().Host().ServiceThread()),
      relay_(std::make_unique<HttpRelay>(*this)) {
    core::Connect(*this, httpEvents_, &PackageFileTask::OnHttpEvent);
    core::Connect(*this, httpProgress_, &PackageFileTask::OnHttpProgress);
    core::Connect(*this, jobFinished_, &PackageFileTask::OnJobFinishedEvent);
}

PackageFileTask::~PackageFileTask() {
    const uint64_t running = requestId_;
    DisconnectRelay();
    // Nobody would read the rest of that download.
    if (running != kNoRequest) {
        if (const auto manager = Host().DownloadManager()) manager->RemoveTask(running);
    }
}

TransactionHost& PackageFileTask::Host() const { return task_.Transaction().Host(); }

bool PackageFileTask::HasSafePaths() const {
    return IsSafeRelativePath(file_.file_path, false) && IsSafeRelativePath(file_.target_dir, true);
}

Astring PackageFileTask::FinalPath() const {
    Astring path = Host().DataFolder();
    if (!file_.target_dir.empty()) path.AppendPath(file_.target_dir);
    path.AppendPath(file_.file_path);
    return path;
}

Astring PackageFileTask::LocalPath() const {
    Astring path = FinalPath();
    if (file_.mode != kFileInstalled) path += "~";
    return path;
}

uint64_t PackageFileTask::LocalFileSize() const {
    if (!HasSafePaths()) return 0;
    const auto attributes = quorvalib::platform::GetFileAttributes(LocalPath().str());
    return attributes && !attributes->directory ? attributes->size : 0;
}

PackageFileTask::JobContext PackageFileTask::MakeJobContext() const {
    return {file_, task_.GetPackage().status, FinalPath(), LocalPath()};
}

void PackageFileTask::ResetForStart() {
    std::lock_guard guard(lock_);
    retries_ = 0;
    aborted_.store(false);
}

bool PackageFileTask::RefuseUnsafe() {
    if (HasSafePaths()) return false;
    // A catalogue path that leaves the data folder is never followed.
    TOV_LOG_ERROR(PackageFileTask, "Refusing file '%s' in folder '%s': its path leaves the data "
                  "folder.", file_.file_path, file_.target_dir);
    ReportError(TaskError::Make(TaskError::kInconsistent, 0), false);
    return true;
}

// ---- reporting --------------------------------------------------------------------------

void PackageFileTask::ReportError(const TaskError& error, bool retryable) {
    lastError_ = error;
    if (retryable) {
        ++retries_;
        if (retries_ == 1) {
            task_.OnFileFinished(*this, PackageTask::kRetry, error);
            return;
        }
    }
    FailPackage(error);
}

void PackageFileTask::FailPackage(const TaskError& error) {
    task_.SetStage(PackageTask::kStageFailed);
    task_.SetLastError(error);
    task_.Transaction().OnPackageTaskDone(task_, PackageTask::kFailed, error);
}

void PackageFileTask::ReportDone() {
    lastError_ = {};
    task_.OnFileFinished(*this, PackageTask::kDone, {});
}

void PackageFileTask::SendProgress(uint32_t kind, uint64_t done) {
    ProgressEvent progress(kind, done, 0, 0, 0, Astring(file_.file_path));
    task_.OnFileProgress(progress);
}

int PackageFileTask::WriteFileMode(int32_t mode) {
    const std::shared_ptr<PackageDatabase> database = Host().Database();
    // SetFileMode takes no lock of its own; job threads write modes too.
    std::lock_guard guard(database->Lock());
    const int result = database->SetFileMode(file_.id, mode);
    if (result == PackageDatabase::kOk) file_.mode = mode;
    return result;
}

bool PackageFileTask::SetFileMode(int32_t mode) {
    const int result = WriteFileMode(mode);
    if (result == PackageDatabase::kOk) return true;
    ReportError(TaskError::Make(TaskError::kDatabase, static_cast<uint32_t>(result)), false);
    return false;
}

// ---- download ---------------------------------------------------------------------------

bool PackageFileTask::MakeDownloadFolder() const {
    const Astring dataFolder = Host().DataFolder();
    if (!files::IsDirectory(dataFolder)) {
        errno = ENOENT;
        return false;
    }
    Astring folder = dataFolder;
    std::string_view rest = file_.target_dir;
    while (!rest.empty()) {
        const size_t end = rest.find_first_of("/\\");
        const std::string_view part = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (part.empty()) continue;
        folder.AppendPath(part);
        if (!files::MakeDirectory(folder)) return false;
    }
    return true;
}

bool PackageFileTask::StartDownload() {
    downloadedBytes_ = 0;
    if (RefuseUnsafe()) return false;
    if (file_.source_path.empty()) {
        // Nothing would ever report this file: fail its package.
        TOV_LOG_ERROR(PackageFileTask, "File %s has no download address.", file_.file_path);
        ReportError(TaskError::Make(TaskError::kInconsistent, 0), false);
        return false;
    }
    state_ = kDownloading;
    if (!MakeDownloadFolder()) {
        ReportError(TaskError::Make(TaskError::kSystem, SystemError()), true);
        return false;
    }
    // Always a fresh file: no transfer resumes, so old bytes beyond the new end would stay.
    auto output = std::make_shared<Afile>();
    if (!output->Create(LocalPath())) {
        ReportError(TaskError::Make(TaskError::kSystem,
                                    static_cast<uint32_t>(output->PlatformError())),
                    true);
        return false;
    }
    const std::shared_ptr<http::HttpDownloadManager> manager = Host().DownloadManager();
    std::unique_ptr<http::HttpRequest> request =
        manager ? manager->CreateRequest(std::make_shared<AfileStream>(
                      AfileDevice(output), http::kDownloadStreamBuffer))
                : nullptr;
    output.reset();
    if (!request) {
        TOV_LOG_ERROR(PackageFileTask, "No download request for file %s.", file_.file_path);
        ReportError(TaskError::Make(TaskError::kInconsistent, 0), false);
        return false;
    }
    request->SetUrl(file_.source_path);
    request->SetGet(true);
    if (!SetFileMode(kFileDownloading)) return false;
    relay_->Expect(request->Id());
    if (!relayConnected_) {
        manager->ConnectFinished(*relay_, &HttpRelay::OnFinished);
        manager->ConnectProgress(*relay_, &HttpRelay::OnProgress);
        relayConnected_ = true;
    }
    requestId_ = request->Id();
    manager->Submit(std::move(request));
    return true;
}

void PackageFileTask::DisconnectRelay() {
    relay_->Expect(kNoRequest);
    if (!relayConnected_) return;
    // Under the manager's listener lock: once this returns no handler runs on the relay.
    if (const auto manager = Host().DownloadManager()) manager->Disconnect(*relay_);
    relayConnected_ = false;
}

void PackageFileTask::OnHttpProgress(http::HttpProgressEvent& event) {
    if (event.taskId != requestId_ || aborted_.load()) return;
    downloadedBytes_ = event.received;
    SendProgress(ProgressEvent::kDownloading, downloadedBytes_);
}

void PackageFileTask::OnHttpEvent(http::HttpEvent& event) {
    if (event.taskId != requestId_) return;
    requestId_ = kNoRequest;
    DisconnectRelay();
    {
        std::unique_lock guard(lock_);
        if (aborted_.load()) {
            guard.unlock();
            AbortOutcome();
            return;
        }
    }
    const int32_t code = event.code;
    if (code >= 100 && code <= 299) {
        state_ = kDownloaded;
        TOV_LOG_INFO(StatusReports, "File %s successfully downloaded with code %d",
                     file_.file_path, code);
        if (!SetFileMode(kFileDownloaded)) return;
        ReportDone();
        return;
    }
    if (code >= 500 && code <= 599) {
        state_ = kNeedsDownload;
        ReportError(TaskError::Make(TaskError::kHttp, static_cast<uint32_t>(code)), false);
        return;
    }
    state_ = kNeedsDownload;
    if (code == 416) {
        // The partial file is what the server refused to continue: start from nothing.
        const Astring local = LocalPath();
        if (files::FileExists(local) && !files::DeleteFile(local)) {
            ReportError(TaskError::Make(TaskError::kSystem, SystemError()), false);
            return;
        }
    }
    ReportError(TaskError::Make(TaskError::kHttp, static_cast<uint32_t>(code)), true);
}

// ---- check ------------------------------------------------------------------------------

bool PackageFileTask::StartCheck() {
    if (RefuseUnsafe()) return false;
    auto job = std::make_unique<core::AsyncMd5>(LocalPath(), &Host().ServiceThread());
    core::AsyncMd5* raw = job.get();
    core::Connect(*this, raw->Progress().Progress(), &PackageFileTask::OnMd5Progress);
    auto request = std::make_unique<core::JobRequest>();
    request->job = std::move(job);
    request->finished = &jobFinished_;
    AthrMan* pool = AthrMan::Global();
    if (!pool || !pool->StartJob(request)) {
        request.reset();  // the job's notifier drops our connection with it
        ReportError(TaskError::Make(TaskError::kIncomplete, TaskError::kCodeCheck), true);
        return false;
    }
    state_ = kChecking;
    checkJob_ = raw;
    return true;
}

void PackageFileTask::OnMd5Progress(core::ProgressMonitorEvent& event) {
    checkedBytes_ = event.done;
    SendProgress(ProgressEvent::kChecking, checkedBytes_);
}

void PackageFileTask::OnJobFinishedEvent(core::JobFinishedEvent& event) {
    std::unique_ptr<core::IJob> job = std::move(event.job);
    if (!job) return;
    switch (job->Kind()) {
    case core::AsyncMd5::kKind:
        OnMd5JobFinished(
            std::unique_ptr<core::AsyncMd5>(static_cast<core::AsyncMd5*>(job.release())));
        return;
    case kInstallJobKind:
    case kRemovalJobKind: {
        const bool install = job->Kind() == kInstallJobKind;
        OnTaskJobFinished(std::unique_ptr<TaskJob>(static_cast<TaskJob*>(job.release())), install,
                          event.aborted);
        return;
    }
    default:
        TOV_LOG_ERROR(PackageFileTask, "Handling unknown job.");
        ReportError(TaskError::Make(TaskError::kInconsistent, 0), false);
        return;
    }
}

void PackageFileTask::OnMd5JobFinished(std::unique_ptr<core::AsyncMd5> job) {
    checkJob_ = nullptr;
    {
        std::unique_lock guard(lock_);
        if (aborted_.load()) {
            guard.unlock();
            AbortOutcome();
            return;
        }
    }
    if (job->Error() != 0 || !job->HasDigest()) {
        TOV_LOG_ERROR(PackageFileTask, "MD5Sum of %s failed with error: %d", file_.file_path,
                      job->Error());
        ++retries_;
        lastError_ = TaskError::Make(TaskError::kSystem, static_cast<uint32_t>(job->Error()));
        state_ = kNeedsDownload;
        if (retries_ < 2) {
            task_.OnFileFinished(*this, PackageTask::kRetry, lastError_);
        } else {
            FailPackage(lastError_);
        }
        return;
    }
    const Astring hex = job->HexDigest();
    std::vector<uint8_t> digest;
    Md5TextToBytes(hex.str(), digest);
    bool match = true;
    for (size_t i = 0; i < file_.md5.size(); ++i) {
        if (i >= digest.size() || digest[i] != file_.md5[i]) {
            match = false;
            break;
        }
    }
    if (!match) {
        TOV_LOG_WARNING(StatusReports,
                        "Failed MD5 check of file %s: downloaded file has %s, should have %s",
                        file_.file_path, hex, Md5BytesToText(file_.md5));
        OnMd5Failed();
        return;
    }
    TOV_LOG_INFO(StatusReports, "MD5 check of file %s finished successfully", file_.file_path);
    state_ = kChecked;
    checkedBytes_ = LocalFileSize();
    SendProgress(ProgressEvent::kChecking, checkedBytes_);
    if (!SetFileMode(kFileChecked)) return;
    ReportDone();
}

void PackageFileTask::OnMd5Failed() {
    state_ = kNeedsDownload;
    task_.SetAction(PackageTask::kActionDownload);  // the retry downloads the file again
    const Astring local = LocalPath();
    if (files::FileExists(local)) {
        if (!files::DeleteFile(local)) {
            const uint32_t error = SystemError();
            TOV_LOG_ERROR(PackageFileTask, "Failed to delete file %s", file_.file_path);
            ReportError(TaskError::Make(TaskError::kSystem, error), false);
            return;
        }
        TOV_LOG_INFO(PackageFileTask, "Deleted file %s because invalid checksum", file_.file_path);
        if (!SetFileMode(kFileNotDownloaded)) return;
        ReportError(TaskError::Make(TaskError::kIncomplete, TaskError::kCodeCheck), true);
        return;
    }
    TOV_LOG_ERROR(PackageFileTask, "Integrity check failed, file %s does not exist.", local);
    if (!SetFileMode(kFileNotDownloaded)) return;
    ++retries_;
    lastError_ = TaskError::Make(TaskError::kInconsistent, 0);
    if (retries_ > 1) {
        FailPackage(lastError_);
    } else {
        task_.OnFileFinished(*this, PackageTask::kRetry, lastError_);
    }
}

// ---- install and removal ----------------------------------------------------------------

bool PackageFileTask::StartTaskJob(std::unique_ptr<TaskJob> job) {
    TaskJob* raw = job.get();
    auto request = std::make_unique<core::JobRequest>();
    request->job = std::move(job);
    request->finished = &jobFinished_;
    AthrMan* pool = AthrMan::Global();
    if (!pool || !pool->StartJob(request)) return false;
    runningJob_ = raw;
    return true;
}

bool PackageFileTask::StartInstall() {
    if (RefuseUnsafe()) return false;
    const std::shared_ptr<PackageDatabase> database = Host().Database();
    auto job = std::make_unique<TaskJob>(
        kInstallJobKind, [this, context = MakeJobContext(), database]() -> TaskError {
            const TaskError error = InstallImpl(context);
            if (error.category != 0) return error;
            if (database->MarkFileInstalled(context.file.id) != PackageDatabase::kOk) {
                return TaskError::Make(TaskError::kDatabase, 0);
            }
            return {};
        });
    installJob_.reset();
    if (!StartTaskJob(std::move(job))) {
        ReportError(TaskError::Make(TaskError::kIncomplete, TaskError::kCodeInstallJob), true);
        return false;
    }
    state_ = kInstalling;
    return true;
}

bool PackageFileTask::StartRemoval() {
    if (RefuseUnsafe()) return false;
    if (file_.mode <= kFileNotDownloaded) {
        state_ = kDone;  // nothing on disk
        ReportDone();
        return true;
    }
    const std::shared_ptr<PackageDatabase> database = Host().Database();
    auto job = std::make_unique<TaskJob>(
        kRemovalJobKind, [this, context = MakeJobContext(), database]() -> TaskError {
            const TaskError error = RemoveImpl(context);
            if (error.category != 0) return error;
            if (database->ResetFileMode(context.file.id) != PackageDatabase::kOk) {
                return TaskError::Make(TaskError::kDatabase, 0);
            }
            return {};
        });
    removalJob_.reset();
    if (!StartTaskJob(std::move(job))) {
        ReportError(TaskError::Make(TaskError::kIncomplete, TaskError::kCodeRemovalJob), true);
        return false;
    }
    state_ = kRemoving;
    return true;
}

void PackageFileTask::OnTaskJobFinished(std::unique_ptr<TaskJob> job, bool install,
                                        bool jobAborted) {
    runningJob_ = nullptr;
    const TaskError result = job->Result();
    if (install) {
        installJob_ = std::move(job);
    } else {
        removalJob_ = std::move(job);
    }
    if (install && task_.GetPackage().operation == kOperationInstall) {
        std::unique_lock guard(lock_);
        if (aborted_.load()) {
            // The job may have recorded the file after the abort reverted it: revert again.
            guard.unlock();
            AbortOutcome();
            return;
        }
    }
    state_ = kDone;
    // A job stopped before its call ran removed nothing.
    if (!install && !jobAborted && result.category == 0) file_.mode = kFileNotDownloaded;
    Host().ReportProcessProgress(task_.Transaction());
    if (result.category != 0) {
        ReportError(result, false);
    } else {
        ReportDone();
    }
}

// ---- abort ------------------------------------------------------------------------------

bool PackageFileTask::Abort() {
    std::lock_guard guard(lock_);
    aborted_.store(true);
    AthrMan* pool = AthrMan::Global();
    switch (state_) {
    case kDownloading: {
        const auto manager = Host().DownloadManager();
        const bool removed = manager && manager->RemoveTask(requestId_);
        state_ = kNeedsDownload;
        return removed;
    }
    case kChecking:
        if (pool && checkJob_) pool->CancelJob(checkJob_, core::AsyncMd5::kKind);
        state_ = kDownloaded;
        return true;
    case kInstalling:
        if (pool && runningJob_) pool->CancelJob(runningJob_, kInstallJobKind);
        state_ = kChecked;
        return true;
    case kRemoving:
        if (pool && runningJob_) pool->CancelJob(runningJob_, kRemovalJobKind);
        state_ = kNeedsDownload;
        return true;
    default:
        if (task_.GetPackage().operation == kOperationInstall) _UndoInstall();
        return true;
    }
}

void PackageFileTask::AbortOutcome() {
    std::lock_guard guard(lock_);
    _UndoInstall();
    lastError_ = TaskError::Cancelled();
    FailPackage(lastError_);
}

bool PackageFileTask::_UndoInstall() {
    if (WriteFileMode(kFileNotDownloaded) != PackageDatabase::kOk) {
        TOV_LOG_ERROR(PackageFileTask, "Failed to revert changes in database for canceled file "
                      "'%s'.", LocalPath());
        return false;
    }
    // The copy's mode is 1 now, so this names the "~" copy, never an installed file.
    const Astring local = LocalPath();
    if (HasSafePaths() && files::FileExists(local) && !files::DeleteFile(local)) {
        TOV_LOG_ERROR(PackageFileTask, "Failed to delete canceled file '%s'.", local);
        return false;
    }
    return true;
}

}  // namespace updaterlib
