#pragma once

// One set of package orders carried out on the updater service's thread:
//
//   auto transaction = factory.CreateTransaction(host, PackageTransaction::kPrepare, packages);
//   Connect(listener, transaction->StatusNotifier(), &Listener::OnStatus);  // one event
//   transaction->Start();
//
// Tasks are worked one at a time and one action at a time; the transaction advances from the
// service thread's loop after every completed step, so that thread never blocks. Destroy the
// transaction on that thread, once its status event has arrived (a file operation still in
// flight reports to its file task).

#include <cstdint>
#include <deque>
#include <list>
#include <memory>

#include "quorvalib/core/ListenerBase.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/eventloop/EventLoopSource.h"
#include "updaterlib/PackageTask.h"
#include "updaterlib/ProgressEvent.h"
#include "updaterlib/TaskError.h"
#include "updaterlib/TransactionStatusEvent.h"

namespace quorvalib::eventloop {
struct LoopTimer;
}

namespace updaterlib {

class TransactionHost;

class PackageTransaction : public quorvalib::core::ListenerBase {
public:
    enum Mode : int32_t {
        kPrepare = 0,  // install tasks stop once downloaded and checked; removals run
        kProcess = 1,  // install tasks are installed as well
    };
    enum State : int32_t { kSucceeded = 0, kPreparing = 1, kProcessing = 3, kEnded = 4 };
    // A failed download is repeated after (retries^2 x this) milliseconds.
    static constexpr uint32_t kRetryBaseDelayMs = 20000;

    // Runs one package task's Step once, at a later turn of the loop.
    class PackageTaskIdleStepper : public quorvalib::eventloop::EventLoopSource {
    public:
        static constexpr int32_t kPriority = 3000;
        PackageTaskIdleStepper(PackageTask& task, std::weak_ptr<void> alive);
        bool Prepare(int32_t& timeoutMs) override;
        bool Check() override;
        bool Dispatch() override;

    private:
        PackageTask& task_;
        std::weak_ptr<void> alive_;  // expires with the transaction
    };

    PackageTransaction(TransactionHost& host, int32_t mode,
                       uint32_t retryBaseDelayMs = kRetryBaseDelayMs);
    // Deletes the tasks and cancels pending retries and steppers.
    ~PackageTransaction() override;

    // True when a first action was started; false when there is nothing to do or the
    // transaction ended at once (its status event is then on its way).
    bool Start();
    // Asks every task to stop and reverts their orders; the transaction ends later with
    // {category 0, code 1028}. False once the status event was sent.
    bool Abort();
    void OnPackageTaskDone(PackageTask& task, int32_t kind, const TaskError& error);

    // For the tasks.
    void StartAction(PackageTask& task, int32_t action);
    void AttachStepper(PackageTask& task);
    void StartRetryTimer(PackageTask& task, uint32_t delayMs);
    uint32_t RetryBaseDelayMs() const { return retryBaseDelayMs_; }
    // Rewrites one file's download or check progress for the whole preparation.
    void OnFileProgress(PackageTask& task, ProgressEvent& progress);
    void AppendTask(std::unique_ptr<PackageTask> task) { tasks_.push_back(std::move(task)); }

    TransactionHost& Host() const { return host_; }
    // TransactionStatusEvent, delivered on the service thread.
    quorvalib::core::Notifier& StatusNotifier() { return statusNotifier_; }
    int32_t GetMode() const { return mode_; }
    int32_t GetState() const { return state_; }
    const TaskError& FinalError() const { return finalError_; }
    bool Finished() const { return finished_; }
    bool AbortRequested() const { return abortRequested_; }
    const std::deque<std::unique_ptr<PackageTask>>& Tasks() const { return tasks_; }
    // The task in that action, or null.
    PackageTask* CurrentTask(int32_t action) const;
    size_t PendingRetries() const { return retryTimers_.size(); }

private:
    void Next();
    void Finish(const TaskError& error, int32_t result);
    // Writes the package's status (database and copy); on failure the task reports it.
    bool SetStatus(PackageTask& task, int32_t status);
    void ClearCurrent(PackageTask& task);
    // Ends the transaction when recording an installed or removed package failed.
    bool FailedToRecord(PackageTask& task, int databaseResult);
    void MoveToEnd(PackageTask& task);
    void RemoveRetryTimer(quorvalib::eventloop::LoopTimer* timer);

    TransactionHost& host_;
    const int32_t mode_;
    const uint32_t retryBaseDelayMs_;
    std::deque<std::unique_ptr<PackageTask>> tasks_;  // a retried task moves to the end
    PackageTask* current_[PackageTask::kActionCount] = {};
    quorvalib::core::Notifier statusNotifier_;
    std::list<std::unique_ptr<quorvalib::eventloop::LoopTimer>> retryTimers_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // steppers hold a weak reference
    int32_t state_ = kSucceeded;
    TaskError finalError_;
    bool abortRequested_ = false;
    bool finished_ = false;
};

}  // namespace updaterlib
