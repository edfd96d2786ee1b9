#include "updaterlib/PackageTransaction.h"

#include <algorithm>

#include "common/debug/Log.h"
#include "quorvalib/eventloop/EventLoop.h"
#include "quorvalib/eventloop/TimerLoopSource.h"
#include "quorvalib/system/Athr.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageFileTask.h"
#include "updaterlib/TransactionHost.h"

TOV_DEFINE_LOG_CHANNEL(PackageTransaction);

namespace updaterlib {

using quorvalib::eventloop::LoopTimer;

PackageTransaction::PackageTaskIdleStepper::PackageTaskIdleStepper(PackageTask& task,
                                                                   std::weak_ptr<void> alive)
    : EventLoopSource("PackageTaskIdleStepper/task", kPriority), task_(task),
      alive_(std::move(alive)) {}

bool PackageTransaction::PackageTaskIdleStepper::Prepare(int32_t& timeoutMs) {
    timeoutMs = 0;
    return true;
}

bool PackageTransaction::PackageTaskIdleStepper::Check() { return true; }

bool PackageTransaction::PackageTaskIdleStepper::Dispatch() {
    if (!alive_.expired()) task_.Step();
    return false;
}

PackageTransaction::PackageTransaction(TransactionHost& host, int32_t mode,
                                       uint32_t retryBaseDelayMs)
    : host_(host),
      mode_(mode),
      retryBaseDelayMs_(retryBaseDelayMs),
      statusNotifier_(&host.ServiceThread()) {}

PackageTransaction::~PackageTransaction() {
    alive_.reset();         // steppers still attached do nothing
    retryTimers_.clear();   // their sources remove themselves
    tasks_.clear();
}

bool PackageTransaction::Start() {
    if (tasks_.empty()) return false;
    abortRequested_ = false;
    finished_ = false;
    state_ = mode_ == kPrepare ? kPreparing : kProcessing;
    for (const auto& task : tasks_) {
        task->SetAborted(false);
        for (const auto& file : task->FileTasks()) file->ResetForStart();
    }
    Next();
    return !finished_;
}

PackageTask* PackageTransaction::CurrentTask(int32_t action) const {
    return action >= 0 && action < PackageTask::kActionCount ? current_[action] : nullptr;
}

void PackageTransaction::Next() {
    while (!finished_) {
        const auto found = std::find_if(tasks_.begin(), tasks_.end(), [](const auto& task) {
            return task->Stage() != PackageTask::kStageDone;
        });
        if (abortRequested_) {
            Finish(TaskError::Cancelled(), TransactionStatusEvent::kAborted);
            return;
        }
        if (found == tasks_.end()) {
            finalError_ = {};
            quorvalib::core::Emit(statusNotifier_, std::make_unique<TransactionStatusEvent>(
                                                       this, TransactionStatusEvent::kDone,
                                                       TaskError{}));
            state_ = kSucceeded;
            finished_ = true;
            return;
        }
        PackageTask& task = **found;
        switch (task.GetPackage().operation) {
        case kOperationNone:
            task.SetStage(PackageTask::kStageDone);
            continue;
        case kOperationUninstall:
            StartAction(task, PackageTask::kActionUninstall);
            return;
        case kOperationInstall:
            switch (task.Stage()) {
            case PackageTask::kStageNeedsDownload:
                StartAction(task, PackageTask::kActionDownload);
                return;
            case PackageTask::kStageDownloaded:
                StartAction(task, PackageTask::kActionCheck);
                return;
            case PackageTask::kStagePrepared:
                if (mode_ == kProcess) {
                    StartAction(task, PackageTask::kActionInstall);
                    return;
                }
                task.SetStage(PackageTask::kStageDone);  // prepared is done for a preparation
                continue;
            default:
                break;
            }
            break;
        default:
            break;
        }
        Finish(TaskError::Make(TaskError::kInconsistent, 0), TransactionStatusEvent::kAborted);
        return;
    }
}

bool PackageTransaction::SetStatus(PackageTask& task, int32_t status) {
    const int result = host_.Database()->SetPackageStatus(task.GetPackage().id, status);
    if (result != PackageDatabase::kOk) {
        task.ReportError(TaskError::Make(TaskError::kDatabase, static_cast<uint32_t>(result)),
                         false);
        return false;
    }
    task.SetStatus(status);
    return true;
}

void PackageTransaction::StartAction(PackageTask& task, int32_t action) {
    if (task.GetPackage().status == kStatusAvailable && !SetStatus(task, kStatusPreparing)) return;
    current_[action] = &task;
    task.SetAction(action);
    task.Step();
}

void PackageTransaction::ClearCurrent(PackageTask& task) {
    for (PackageTask*& current : current_) {
        if (current == &task) current = nullptr;
    }
}

void PackageTransaction::MoveToEnd(PackageTask& task) {
    const auto found = std::find_if(tasks_.begin(), tasks_.end(),
                                    [&](const auto& each) { return each.get() == &task; });
    if (found == tasks_.end()) return;
    std::unique_ptr<PackageTask> moved = std::move(*found);
    tasks_.erase(found);
    tasks_.push_back(std::move(moved));
}

bool PackageTransaction::FailedToRecord(PackageTask& task, int databaseResult) {
    // A package whose installation or removal cannot be recorded ends the transaction: nothing
    // else would ever report it.
    if (databaseResult == PackageDatabase::kOk) return false;
    task.SetStage(PackageTask::kStageFailed);
    task.SetLastError(TaskError::Make(TaskError::kDatabase, static_cast<uint32_t>(databaseResult)));
    Finish(task.LastError(), TransactionStatusEvent::kTaskFailed);
    return true;
}

void PackageTransaction::OnPackageTaskDone(PackageTask& task, int32_t kind,
                                           const TaskError& error) {
    if (finished_) return;
    const Package& package = task.GetPackage();
    if (kind == PackageTask::kDone) {
        const std::shared_ptr<PackageDatabase> database = host_.Database();
        switch (task.CurrentAction()) {
        case PackageTask::kActionDownload:
            TOV_LOG_INFO(PackageTransaction, "Package %s is downloaded, starting check.",
                         package.name);
            current_[PackageTask::kActionDownload] = nullptr;
            StartAction(task, PackageTask::kActionCheck);
            return;
        case PackageTask::kActionCheck:
            if (!SetStatus(task, kStatusPrepared)) return;
            TOV_LOG_INFO(PackageTransaction, "Package %s is prepared.", package.name);
            ClearCurrent(task);
            Next();
            return;
        case PackageTask::kActionInstall: {
            int result = database->SetPackageStatus(package.id, kStatusInstalled);
            if (result == PackageDatabase::kOk) {
                task.SetStatus(kStatusInstalled);
                result = database->SetPackageOrder(package.id, kOperationNone);
            }
            ClearCurrent(task);
            if (FailedToRecord(task, result)) return;
            TOV_LOG_INFO(PackageTransaction, "Package %s is installed.", package.name);
            Next();
            return;
        }
        case PackageTask::kActionUninstall: {
            const int result = database->FinishUninstall(package);
            ClearCurrent(task);
            if (FailedToRecord(task, result)) return;
            TOV_LOG_INFO(PackageTransaction, "Package %s is uninstalled.", package.name);
            Next();
            return;
        }
        default:
            ClearCurrent(task);
            Finish(TaskError::Make(TaskError::kInconsistent, 0), TransactionStatusEvent::kAborted);
            return;
        }
    }
    if (kind == PackageTask::kRetry) {
        TOV_LOG_WARNING(PackageTransaction,
                        "Package %s has failed to %s, because category %d code %d, but will be "
                        "retried.",
                        package.name, PackageTask::ActionName(task.CurrentAction()),
                        error.category, error.code);
        ClearCurrent(task);
        task.SetStage(PackageTask::kStageNeedsDownload);
        MoveToEnd(task);
        Next();
        return;
    }
    TOV_LOG_WARNING(PackageTransaction,
                    "Package %s has failed to %s, because category %d code %d, no retry.",
                    package.name, PackageTask::ActionName(task.CurrentAction()), error.category,
                    error.code);
    ClearCurrent(task);
    Finish(task.LastError(), TransactionStatusEvent::kTaskFailed);
}

void PackageTransaction::Finish(const TaskError& error, int32_t result) {
    finalError_ = error;
    quorvalib::core::Emit(statusNotifier_,
                          std::make_unique<TransactionStatusEvent>(this, result, error));
    state_ = kEnded;
    finished_ = true;
}

bool PackageTransaction::Abort() {
    abortRequested_ = true;
    if (finished_) return false;
    TOV_LOG_INFO(PackageTransaction, "Aborting current package transaction.");
    bool all = !tasks_.empty();
    for (const auto& task : tasks_) {
        if (!task->Abort()) all = false;
    }
    // A task waiting for its retry notices the abort at once instead of after the delay.
    for (const auto& timer : retryTimers_) quorvalib::eventloop::StartTimer(*timer, 1, 0);
    return all;
}

void PackageTransaction::AttachStepper(PackageTask& task) {
    host_.ServiceThread().Loop().AttachOwned(
        std::make_unique<PackageTaskIdleStepper>(task, std::weak_ptr<void>(alive_)));
}

void PackageTransaction::StartRetryTimer(PackageTask& task, uint32_t delayMs) {
    auto timer = std::make_unique<LoopTimer>(host_.ServiceThread().Loop(), "PackageTaskRetry",
                                             nullptr);
    LoopTimer* raw = timer.get();
    // The loop runs a copy of the callback, so removing the timer from inside it is safe.
    raw->callback = [this, raw, &task] {
        RemoveRetryTimer(raw);
        task.Step();
    };
    retryTimers_.push_back(std::move(timer));
    quorvalib::eventloop::StartTimer(*raw, 1, delayMs);
}

void PackageTransaction::RemoveRetryTimer(LoopTimer* timer) {
    retryTimers_.remove_if([timer](const auto& each) { return each.get() == timer; });
}

void PackageTransaction::OnFileProgress(PackageTask& task, ProgressEvent& progress) {
    const uint64_t size = task.GetPackage().size;
    uint64_t downloaded = progress.kind == ProgressEvent::kDownloading ? progress.done : size;
    uint64_t checked = progress.kind == ProgressEvent::kDownloading ? 0 : progress.done;
    const uint64_t itemDone = downloaded + checked;
    uint64_t totalSize = 0;
    for (const auto& each : tasks_) {
        if (each->GetPackage().operation != kOperationInstall) continue;
        totalSize += each->GetPackage().size;
        if (each.get() == &task) continue;
        if (each->Stage() > 1) downloaded += each->DownloadedBytes();
        if (each->Stage() > 3) checked += each->CheckedBytes();
    }
    host_.PostProgress(std::make_unique<ProgressEvent>(progress.kind, downloaded + checked,
                                                       itemDone, 2 * totalSize, 2 * uint64_t{size},
                                                       progress.text));
}

}  // namespace updaterlib
