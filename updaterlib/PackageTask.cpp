#include "updaterlib/PackageTask.h"

#include <algorithm>

#include "common/debug/Log.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageFileTask.h"
#include "updaterlib/PackageTransaction.h"
#include "updaterlib/TransactionHost.h"

TOV_DEFINE_LOG_CHANNEL(PackageTask);

namespace updaterlib {

const char* PackageTask::ActionName(int32_t action) {
    static const char* const kNames[kActionCount] = {"UNDEFINED", "DOWNLOAD", "CHECK", "INSTALL",
                                                     "UNINSTALL"};
    return action >= 0 && action < kActionCount ? kNames[action] : kNames[0];
}

PackageTask::PackageTask(PackageTransaction& transaction, Package package)
    : transaction_(transaction), package_(std::move(package)) {
    if (package_.status == kStatusPrepared) stage_ = kStagePrepared;
}

PackageTask::~PackageTask() = default;

uint64_t PackageTask::InstallWorkTotal() const {
    return package_.operation == kOperationInstall ? package_.size : 0;
}

uint64_t PackageTask::UninstallWorkTotal() const {
    return package_.operation == kOperationUninstall ? package_.size : 0;
}

uint64_t PackageTask::InstallWorkDone() const {
    if (package_.operation != kOperationInstall) return 0;
    uint64_t done = 0;
    for (const auto& file : files_) done += file->InstallWorkDone();
    return done;
}

uint64_t PackageTask::UninstallWorkDone() const {
    if (package_.operation != kOperationUninstall) return 0;
    uint64_t done = 0;
    for (const auto& file : files_) done += file->UninstallWorkDone();
    return done;
}

void PackageTask::AddFileTask(std::unique_ptr<PackageFileTask> file) {
    // What earlier runs already left on disk counts as done.
    const int32_t mode = file->File().mode;
    const uint64_t size =
        mode >= kFileDownloading && mode <= kFileInstalled ? file->LocalFileSize() : 0;
    if (mode == kFileDownloading || mode == kFileDownloaded) {
        downloadedBytes_ += size;
    } else if (mode == kFileChecked || mode == kFileInstalled) {
        downloadedBytes_ += size;
        checkedBytes_ += size;
    }
    files_.push_back(std::move(file));
}

void PackageTask::Step() {
    // Nothing runs on once the transaction has sent its end.
    if (transaction_.Finished()) return;
    if (aborted_) {
        ReportError(TaskError::Cancelled(), false);
        return;
    }
    // A file's start may report at once and reorder the list: return right after it.
    switch (action_) {
    case kActionDownload:
        for (const auto& file : files_) {
            if (file->State() < PackageFileTask::kDownloading) {
                file->StartDownload();
                return;
            }
        }
        stage_ = kStageDownloaded;
        ReportDone();
        return;
    case kActionCheck: {
        for (const auto& file : files_) {
            if (file->State() < PackageFileTask::kChecking) {
                file->StartCheck();
                return;
            }
        }
        const bool allChecked = std::all_of(files_.begin(), files_.end(), [](const auto& file) {
            return file->State() == PackageFileTask::kChecked;
        });
        if (!allChecked) {
            stage_ = kStageDownloaded;
            ReportError(TaskError::Make(TaskError::kIncomplete, TaskError::kCodeCheck), true);
            return;
        }
        stage_ = kStagePrepared;
        ReportDone();
        return;
    }
    case kActionInstall:
        for (const auto& file : files_) {
            if (file->State() != PackageFileTask::kDone) {
                if (!file->StartInstall()) stage_ = kStageFailed;
                return;
            }
        }
        stage_ = kStageDone;
        ReportDone();
        return;
    case kActionUninstall:
        for (const auto& file : files_) {
            if (file->State() < PackageFileTask::kDownloading) {
                if (!file->StartRemoval()) stage_ = kStageFailed;
                return;
            }
        }
        stage_ = kStageDone;
        ReportDone();
        return;
    default:
        return;
    }
}

void PackageTask::ReportError(const TaskError& error, bool retryable) {
    lastError_ = error;
    int32_t kind = kFailed;
    if (retryable) {
        ++retries_;
        kind = retries_ == 1 ? kRetry : kFailed;
    }
    transaction_.OnPackageTaskDone(*this, kind, error);
}

void PackageTask::ReportDone() {
    lastError_ = {};
    transaction_.OnPackageTaskDone(*this, kDone, {});
}

void PackageTask::OnFileFinished(PackageFileTask& file, int32_t kind, const TaskError& error) {
    switch (kind) {
    case kDone:
        if (action_ == kActionDownload) downloadedBytes_ += file.DownloadedBytes();
        if (action_ == kActionCheck) checkedBytes_ += file.CheckedBytes();
        transaction_.AttachStepper(*this);
        return;
    case kRetry: {
        const auto found = std::find_if(files_.begin(), files_.end(),
                                        [&](const auto& each) { return each.get() == &file; });
        if (found != files_.end()) std::rotate(found, found + 1, files_.end());
        // The server may come back: a download waits, except after 416, whose partial file
        // was already deleted.
        const bool wait = action_ == kActionDownload &&
                          !(error.category == TaskError::kHttp && error.code == 416);
        const uint64_t retries = static_cast<uint64_t>(file.Retries());
        const uint64_t delay = wait ? retries * retries * transaction_.RetryBaseDelayMs() : 0;
        if (delay > 0) {
            transaction_.StartRetryTimer(*this, static_cast<uint32_t>(delay));
        } else {
            transaction_.AttachStepper(*this);
        }
        return;
    }
    default:
        stage_ = kStageFailed;
        lastError_ = error;
        transaction_.OnPackageTaskDone(*this, kFailed, error);
        return;
    }
}

void PackageTask::OnFileProgress(ProgressEvent& progress) {
    if (progress.kind == ProgressEvent::kDownloading) progress.done += downloadedBytes_;
    if (progress.kind == ProgressEvent::kChecking) progress.done += checkedBytes_;
    progress.total = package_.size;
    transaction_.OnFileProgress(*this, progress);
}

bool PackageTask::Abort() {
    aborted_ = true;
    bool all = !files_.empty();
    for (const auto& file : files_) {
        if (!file->Abort()) all = false;
    }
    Revert();
    stage_ = kStageNeedsDownload;
    return all;
}

bool PackageTask::Revert() {
    bool ok = true;
    if (package_.operation == kOperationInstall) {
        for (const auto& file : files_) {
            if (!file->_UndoInstall()) ok = false;
        }
    }
    const std::shared_ptr<PackageDatabase> database = transaction_.Host().Database();
    if (database->SetPackageOrder(package_.id, kOperationNone) != PackageDatabase::kOk) ok = false;
    switch (package_.operation) {
    case kOperationInstall:
        if (database->SetPackageStatus(package_.id, kStatusAvailable) != PackageDatabase::kOk) {
            ok = false;
        } else {
            package_.status = kStatusAvailable;
        }
        break;
    case kOperationUninstall:
        if (stage_ == kStageDone) {
            TOV_LOG_WARNING(PackageTask, "Cannot revert delete task %s, it is already done.",
                            package_.name);
        } else if (database->SetPackageStatus(package_.id, kStatusInstalled) !=
                   PackageDatabase::kOk) {
            ok = false;
        } else {
            package_.status = kStatusInstalled;
        }
        break;
    default:
        TOV_LOG_WARNING(PackageTask, "Unexpected order %d in transaction.", package_.operation);
        break;
    }
    return ok;
}

}  // namespace updaterlib
