#pragma once

// The work for one file of a package: download into the data folder under "<name>~", MD5
// check on a job thread, installation and removal as jobs. Every step is recorded in the
// file's mode in the package database. Runs on the updater service's thread; only the two
// download-manager handlers (transfer thread) and the install and removal calls (job thread)
// run elsewhere.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "quorvalib/core/JobSimpleCall.h"
#include "quorvalib/core/ListenerBase.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/files/Astring.h"
#include "updaterlib/PackageFile.h"
#include "updaterlib/TaskError.h"

namespace quorvalib::core {
class AsyncMd5;
class IJob;
class JobFinishedEvent;
class ProgressMonitorEvent;
}  // namespace quorvalib::core

namespace quorvalib::network::http {
class HttpEvent;
class HttpProgressEvent;
}  // namespace quorvalib::network::http

namespace updaterlib {

class PackageTask;
class PackageTransaction;
class TransactionHost;

class PackageFileTask : public quorvalib::core::ListenerBase {
public:
    enum State : int32_t {
        kNew = 0,
        kNeedsDownload = 1,  // after a failed download or check
        kDownloading = 2,
        kDownloaded = 3,
        kChecking = 4,
        kChecked = 5,
        kInstalling = 6,
        kRemoving = 8,
        kDone = 9,  // installed or removed
    };
    static constexpr uint32_t kInstallJobKind = 0x4000;
    static constexpr uint32_t kRemovalJobKind = 0x8000;
    static constexpr uint64_t kNoRequest = static_cast<uint64_t>(-1);

    // What an install or removal job works on, taken when the job starts, so that the job
    // thread never reads what the service thread may change meanwhile.
    struct JobContext {
        PackageFile file;
        int32_t packageStatus;  // the package's status in the task's copy
        Astring finalPath;      // data folder / target_dir / file_path
        Astring localPath;      // the downloaded copy ("~"), or the final path for mode 5
    };

    PackageFileTask(PackageTask& task, PackageFile file);
    // Disconnects from the download manager. A job still running must not outlive its task:
    // the transaction is destroyed only after it ended.
    ~PackageFileTask() override;

    // Work done for install and removal progress; counted by the target (0 here).
    virtual uint64_t InstallWorkDone() const { return 0; }
    virtual uint64_t UninstallWorkDone() const { return 0; }

    // Each returns false when it could not start (the failure is already reported).
    bool StartDownload();
    bool StartCheck();
    bool StartInstall();
    bool StartRemoval();

    // Stops what runs, by state. False only when a running download could not be removed at
    // once (its end still comes, as cancelled).
    bool Abort();
    // The file's mode back to 1 and its downloaded copy deleted; false when either failed.
    bool _UndoInstall();

    // Size of the file at the local path; 0 when it is missing.
    uint64_t LocalFileSize() const;
    Astring FinalPath() const;
    Astring LocalPath() const;
    // Both file_path and target_dir stay inside the data folder.
    bool HasSafePaths() const;

    // The transaction's Start: a fresh retry count, not aborted.
    void ResetForStart();
    int32_t State() const { return state_; }
    int32_t Retries() const { return retries_; }
    bool Aborted() const { return aborted_.load(); }
    uint64_t DownloadedBytes() const { return downloadedBytes_; }
    uint64_t CheckedBytes() const { return checkedBytes_; }
    const PackageFile& File() const { return file_; }
    const TaskError& LastError() const { return lastError_; }
    PackageTask& GetPackageTask() const { return task_; }

protected:
    // Run on a job thread. Errors are returned, with category 0 meaning success.
    virtual TaskError InstallImpl(const JobContext& context) = 0;
    virtual TaskError RemoveImpl(const JobContext& context) = 0;

    TransactionHost& Host() const;
    JobContext MakeJobContext() const;

private:
    class HttpRelay;
    using TaskJob = quorvalib::core::JobSimpleCall<TaskError>;

    void OnHttpEvent(quorvalib::network::http::HttpEvent& event);
    void OnHttpProgress(quorvalib::network::http::HttpProgressEvent& event);
    void OnMd5Progress(quorvalib::core::ProgressMonitorEvent& event);
    void OnJobFinishedEvent(quorvalib::core::JobFinishedEvent& event);
    void OnMd5JobFinished(std::unique_ptr<quorvalib::core::AsyncMd5> job);
    void OnMd5Failed();
    void OnTaskJobFinished(std::unique_ptr<TaskJob> job, bool install, bool jobAborted);
    bool StartTaskJob(std::unique_ptr<TaskJob> job);
    void AbortOutcome();

    void ReportError(const TaskError& error, bool retryable);
    void ReportDone();
    // Fails the package for good with this error.
    void FailPackage(const TaskError& error);
    void SendProgress(uint32_t kind, uint64_t done);
    // Writes the mode (database and copy); a failure is reported and the step stops.
    bool SetFileMode(int32_t mode);
    int WriteFileMode(int32_t mode);
    // Refuses a file whose paths leave the data folder (reported, fails the package).
    bool RefuseUnsafe();
    bool MakeDownloadFolder() const;
    void DisconnectRelay();

    PackageTask& task_;
    PackageFile file_;
    std::recursive_mutex lock_;  // Abort against the abort checks
    std::atomic<bool> aborted_{false};
    int32_t retries_ = 0;
    int32_t state_ = kNew;
    TaskError lastError_;
    uint64_t downloadedBytes_ = 0;
    uint64_t checkedBytes_ = 0;

    quorvalib::core::Notifier httpEvents_;
    quorvalib::core::Notifier httpProgress_;
    quorvalib::core::Notifier jobFinished_;
    std::unique_ptr<HttpRelay> relay_;
    bool relayConnected_ = false;
    uint64_t requestId_ = kNoRequest;

    quorvalib::core::AsyncMd5* checkJob_ = nullptr;  // while it runs (owned by its thread)
    TaskJob* runningJob_ = nullptr;                  // install or removal job while it runs
    std::unique_ptr<TaskJob> installJob_;            // the last finished ones
    std::unique_ptr<TaskJob> removalJob_;
};

}  // namespace updaterlib
