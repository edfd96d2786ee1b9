#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "quorvalib/core/ListenerBase.h"
#include "updaterlib/Package.h"
#include "updaterlib/ProgressEvent.h"
#include "updaterlib/TaskError.h"

namespace updaterlib {

class PackageFileTask;
class PackageTransaction;

// The work for one package inside a transaction, one action at a time, one file at a time.
// Everything runs on the updater service's thread.
class PackageTask : public quorvalib::core::ListenerBase {
public:
    enum Stage : int32_t {
        kStageNeedsDownload = 0,
        kStageDownloaded = 2,  // needs its check
        kStagePrepared = 4,    // needs its installation
        kStageDone = 9,
        kStageFailed = 10,
    };
    enum Action : int32_t {
        kActionUndefined = 0,
        kActionDownload = 1,
        kActionCheck = 2,
        kActionInstall = 3,
        kActionUninstall = 4,
    };
    static constexpr int kActionCount = 5;
    // How a step or file ended (OnFileFinished, OnPackageTaskDone).
    enum DoneKind : int32_t { kDone = 0, kRetry = 1, kFailed = 2 };

    // "UNDEFINED", "DOWNLOAD", "CHECK", "INSTALL", "UNINSTALL".
    static const char* ActionName(int32_t action);

    // A prepared package (status 3) starts at kStagePrepared: no download, no check.
    PackageTask(PackageTransaction& transaction, Package package);
    ~PackageTask() override;  // deletes the file tasks

    // Work of the whole package for install and removal progress: bytes here, files for
    // LocalPackageTask. Only the package's own order counts.
    virtual uint64_t InstallWorkTotal() const;
    virtual uint64_t UninstallWorkTotal() const;
    uint64_t InstallWorkDone() const;
    uint64_t UninstallWorkDone() const;

    // Advances the current action by one file (or finishes it).
    void Step();
    // Marks the task aborted, aborts its files and reverts its orders. True when it has files
    // and every file's abort said true.
    bool Abort();
    // Puts the package's orders and files back as before the transaction; false when a
    // database call or a file's undo failed.
    bool Revert();
    // Ends the current action with an error; retried at most once.
    void ReportError(const TaskError& error, bool retryable);
    void ReportDone();
    // From a file task: kDone, kRetry (the file moves to the end of the list and the action
    // continues later) or kFailed (the package fails).
    void OnFileFinished(PackageFileTask& file, int32_t kind, const TaskError& error);
    // From a file task: download (kind 3) or check (kind 4) bytes of the file, in `done`.
    void OnFileProgress(ProgressEvent& progress);
    void AddFileTask(std::unique_ptr<PackageFileTask> file);

    PackageTransaction& Transaction() const { return transaction_; }
    const Package& GetPackage() const { return package_; }
    // Keeps the copy in step with what was written to the database.
    void SetStatus(int32_t status) { package_.status = status; }
    int32_t Stage() const { return stage_; }
    void SetStage(int32_t stage) { stage_ = stage; }
    int32_t CurrentAction() const { return action_; }
    void SetAction(int32_t action) { action_ = action; }
    const TaskError& LastError() const { return lastError_; }
    void SetLastError(const TaskError& error) { lastError_ = error; }
    int32_t Retries() const { return retries_; }
    bool Aborted() const { return aborted_; }
    void SetAborted(bool aborted) { aborted_ = aborted; }
    uint64_t DownloadedBytes() const { return downloadedBytes_; }
    uint64_t CheckedBytes() const { return checkedBytes_; }
    const std::vector<std::unique_ptr<PackageFileTask>>& FileTasks() const { return files_; }

private:
    PackageTransaction& transaction_;
    Package package_;
    std::vector<std::unique_ptr<PackageFileTask>> files_;  // a retried file moves to the end
    int32_t stage_ = kStageNeedsDownload;
    TaskError lastError_;
    int32_t retries_ = 0;
    int32_t action_ = kActionUndefined;
    uint64_t downloadedBytes_ = 0;
    uint64_t checkedBytes_ = 0;
    bool aborted_ = false;
};

}  // namespace updaterlib
