#include "updaterlib/UpdaterService.h"

#include <utility>

#include "common/debug/Log.h"
#include "quorvalib/eventloop/AsyncCallLoopSource.h"
#include "quorvalib/files/FileSystem.h"
#include "quorvalib/localization/LocalizationConfig.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "updaterlib/PackageFileTask.h"
#include "updaterlib/PackageTask.h"
#include "updaterlib/PackageTransaction.h"
#include "updaterlib/PackageTransactionFactory.h"
#include "updaterlib/SynchronizationService.h"
#include "updaterlib/TransactionStatusEvent.h"

TOV_DEFINE_LOG_CHANNEL(UpdaterService);

namespace updaterlib {

using quorvalib::core::Connect;
using quorvalib::core::Emit;

namespace {

Astring Joined(const Astring& folder, const char* name) {
    Astring path = folder;
    path.AppendPath(name);
    return path;
}

}  // namespace

int32_t UpdaterService::ResultCodeOf(const TransactionStatusEvent& status) {
    if (status.result == TransactionStatusEvent::kDone) {
        return kResultDone;
    }
    switch (status.error.category) {
        case TaskError::kCancelled:
            TOV_LOG_INFO(UpdaterService, "Transaction canceled by user.");
            return kResultCancelled;
        case TaskError::kHttp:
        case 2:
            return kResultDownloadFailed;
        case TaskError::kIncomplete:
            return kResultCheckFailed;
        case TaskError::kSystem:
            return kResultIoFailed;
        case TaskError::kDatabase:
            return kResultInternalError;
        default:
            return kResultUnknownFailure;
    }
}

namespace {

// The path of the first file the task has not finished; empty without a task.
Astring FirstUnfinishedFile(const PackageTask* task) {
    if (task == nullptr) {
        return {};
    }
    for (const auto& file : task->FileTasks()) {
        if (file->State() != PackageFileTask::kDone) {
            return Astring(file->File().file_path);
        }
    }
    return {};
}

}  // namespace

UpdaterService::UpdaterService(
    Astring dataFolder, std::string platform,
    std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager,
    const quorvalib::localization::LocalizationConfig* localization,
    std::string installerPlatform, std::string installerVersion)
    : dataFolder_(std::move(dataFolder)),
      platform_(std::move(platform)),
      installerPlatform_(std::move(installerPlatform)),
      installerVersion_(std::move(installerVersion)),
      cacheFolder_(Joined(dataFolder_, "updates")),
      cacheFile_(Joined(cacheFolder_, "updates.xml")),
      manager_(std::move(manager)),
      localization_(localization),
      synchronizationCommand_(this),
      prepareCommand_(this),
      processCommand_(this),
      transactionCommand_(this),
      factory_(std::make_shared<PackageTransactionFactory>()) {
    // Delivered on this service's thread, which does not run yet.
    Connect(*this, synchronizationCommand_, &UpdaterService::OnStartSynchronization);
    Connect(*this, prepareCommand_, &UpdaterService::OnPreparePackages);
    Connect(*this, processCommand_, &UpdaterService::OnStartProcessPackages);
    Connect(*this, transactionCommand_, &UpdaterService::OnTransactionCommand);
}

UpdaterService::~UpdaterService() {
    // The transaction's tasks may still be connected to the download manager.
    transaction_.reset();
    synchronization_.reset();
}

void UpdaterService::SetTransactionFactory(std::shared_ptr<PackageTransactionFactory> factory) {
    factory_ = std::move(factory);
}

bool UpdaterService::InitInstance() {
    if (!Athr::InitInstance()) {
        return false;
    }
    return quorvalib::eventloop::PostCall(CallSource(), [this] { _Initialize(); });
}

int UpdaterService::ExitInstance() {
    // The transaction's file tasks and the synchronization are connected to the download
    // manager, whose transfer threads reach this service through them. They go here, on the
    // thread that owns them, before anyone can start destroying the service.
    transaction_.reset();
    std::shared_ptr<SynchronizationService> synchronization;
    {
        std::lock_guard guard(lock_);
        synchronization = std::move(synchronization_);
    }
    // Outside the lock: its disconnection waits for the manager's listener lock, whose holders
    // take this service's lock.
    synchronization.reset();
    return Athr::ExitInstance();
}

void UpdaterService::_Initialize() {
    const int result = database_->Init(dataFolder_.str(), localization_);
    std::lock_guard guard(lock_);
    if (result != PackageDatabase::kOk) {
        TOV_LOG_ERROR(UpdaterService, "Failed to initialize package database on service start.");
        const int32_t old = state_.exchange(kStateFailed);
        _Emit(stateChangedNotifier_, std::make_unique<StateChangedEvent>(kStateFailed, old));
        return;
    }
    if (platform_.empty()) {
        database_->GetPlatform(platform_);
    }
    _SetState(kStateIdle);
}

void UpdaterService::_SetState(int32_t state) {
    const int32_t old = state_.load();
    const int result = database_->SetUpdaterState(state);
    const int32_t now = result == PackageDatabase::kOk ? state : kStateFailed;
    state_.store(now, std::memory_order_release);
    _Emit(stateChangedNotifier_, std::make_unique<StateChangedEvent>(now, old));
}

void UpdaterService::_Emit(quorvalib::core::Notifier& notifier,
                           std::unique_ptr<quorvalib::core::Event> event) {
    std::lock_guard guard(lock_);
    Emit(notifier, std::move(event));
}

void UpdaterService::_Refuse(int32_t kind) {
    _Emit(taskDoneNotifier_, std::make_unique<TaskDoneEvent>(kind, kResultUnknownFailure, ""));
}

void UpdaterService::Disconnect(quorvalib::core::ListenerBase& listener) {
    std::lock_guard guard(lock_);
    quorvalib::core::DisconnectAllDeferred(listener);
}

std::unique_ptr<PackageModel> UpdaterService::CreatePackageModel(int32_t mode, int32_t groupId) {
    return std::make_unique<PackageModel>(mode, *database_, groupId);
}

std::unique_ptr<GroupModel> UpdaterService::CreateGroupModel(int32_t mode, int32_t parentId) {
    return std::make_unique<GroupModel>(mode, *database_, parentId);
}

std::string UpdaterService::GetLanguageCode() const {
    return localization_ ? localization_->GetLanguageCode() : std::string();
}

// --- Synchronization ------------------------------------------------------------------------

void UpdaterService::StartSynchronization() {
    std::lock_guard guard(lock_);
    if (GetState() != kStateIdle) {
        _Refuse(TaskDoneEvent::kSynchronization);
        return;
    }
    // A cancel pressed earlier must not silence this run's progress.
    cancelRequested_ = false;
    synchronizationRunning_ = true;
    ++synchronizationRun_;
    _SetState(kStateSynchronizing);
    Emit(synchronizationCommand_, std::make_unique<SynchronizationParams>());
}

void UpdaterService::OnStartSynchronization(SynchronizationParams&) {
    uint64_t run = 0;
    {
        std::lock_guard guard(lock_);
        if (!synchronizationRunning_) {
            return;  // cancelled before it began
        }
        run = synchronizationRun_;
        if (!synchronization_) {
            SynchronizationTarget target{brand_, platform_, applicationVersion_,
                                         installerPlatform_, installerVersion_};
            synchronization_ = std::make_shared<SynchronizationService>(
                std::move(target), nullptr, cacheFile_.str(), manager_, this, settings_);
        }
    }
    // Not under the lock: the download manager's ends come with its listener lock held and
    // then take this service's lock.
    synchronization_->Synchronize();
    bool cancelled = false;
    {
        std::lock_guard guard(lock_);
        cancelled = !synchronizationRunning_ || synchronizationRun_ != run;
    }
    if (cancelled) {
        // A Cancel came while the request was being made: it may have missed the request.
        synchronization_->Cancel();
    }
}

int UpdaterService::MergeCatalogue(const std::vector<PackageGroup>& groups,
                                   const std::vector<Package>& packages) {
    const int result = database_->UpdateDatabase(groups, packages);
    if (!brand_.empty()) {
        database_->SetBrand(brand_);
    }
    if (!platform_.empty()) {
        database_->SetPlatform(platform_);
    }
    if (!applicationVersion_.empty()) {
        database_->SetVersion(applicationVersion_);
    } else {
        database_->SetApplicationFromInstalled();
    }
    return result;
}

void UpdaterService::OnSynchronizationDone(int code, const std::string& message) {
    std::lock_guard guard(lock_);
    if (!synchronizationRunning_) {
        return;  // already ended by Cancel: a late end of the same run
    }
    synchronizationRunning_ = false;
    _SetState(kStateIdle);
    _Emit(taskDoneNotifier_,
          std::make_unique<TaskDoneEvent>(TaskDoneEvent::kSynchronization, code, message));
}

// --- Preparation ----------------------------------------------------------------------------

void UpdaterService::PreparePackages(const std::vector<PackageOrder>& orders) {
    std::lock_guard guard(lock_);
    _Emit(progressNotifier_,
          std::make_unique<ProgressEvent>(ProgressEvent::kPreparationRequested, 0, 0, 0, 0,
                                          Astring()));
    if (GetState() != kStateIdle) {
        _Refuse(TaskDoneEvent::kPreparation);
        return;
    }
    // Cleared here rather than on the service thread, so that a Cancel that arrives before
    // the transaction starts still aborts it and keeps its progress quiet.
    cancelRequested_ = false;
    Emit(prepareCommand_, std::make_unique<PreparePackagesParams>(orders));
    _SetState(kStatePreparing);
}

void UpdaterService::OnPreparePackages(PreparePackagesParams& params) {
    transaction_.reset();
    std::vector<Package> packages;
    if (database_->SetPackageOrders(params.orders, packages) != PackageDatabase::kOk) {
        _EndPreparation(kResultInternalError);
        return;
    }
    std::vector<Package> work;
    for (Package& package : packages) {
        if (package.operation == kOperationUninstall ||
            (package.operation == kOperationInstall && package.status != kStatusPrepared)) {
            work.push_back(std::move(package));
        }
    }
    if (work.empty()) {
        _EndPreparation(kResultDone);
        return;
    }
    _StartPreparePackages(work);
}

uint64_t UpdaterService::_FreeSpace() const { return quorvalib::files::FreeSpace(dataFolder_); }

void UpdaterService::_StartPreparePackages(const std::vector<Package>& packages) {
    int64_t netSize = 0;
    for (const Package& package : packages) {
        if (package.operation == kOperationInstall) {
            netSize += package.size;
        } else if (package.operation == kOperationUninstall) {
            netSize -= package.size;
        }
    }
    if (netSize > 0 && static_cast<uint64_t>(netSize) > _FreeSpace()) {
        _EndPreparation(kResultNoFreeSpace);
        return;
    }
    if (!_StartTransaction(
            factory_->CreateTransaction(*this, PackageTransaction::kPrepare, packages))) {
        TOV_LOG_WARNING(UpdaterService, "StartTransaction failed.");
        _EndPreparation(kResultCancelled);
    }
}

void UpdaterService::_EndPreparation(int32_t code) {
    std::lock_guard guard(lock_);
    _SetState(kStateIdle);
    _Emit(taskDoneNotifier_, std::make_unique<TaskDoneEvent>(TaskDoneEvent::kPreparation, code,
                                                             UpdaterResultText(code)));
}

// --- Processing -----------------------------------------------------------------------------

void UpdaterService::ProcessPackages() {
    std::lock_guard guard(lock_);
    const int32_t state = GetState();
    if (state == kStateProcessing) {
        return;
    }
    if (state != kStateIdle) {
        _Refuse(TaskDoneEvent::kProcessing);
        return;
    }
    cancelRequested_ = false;
    _SetState(kStateProcessing);
    Emit(processCommand_, std::make_unique<VoidParams>());
}

void UpdaterService::OnStartProcessPackages(VoidParams&) {
    std::vector<Package> ready;
    std::vector<Package> removals;
    std::vector<Package> preparing;
    if (database_->GetPackagesReadyToInstall(ready) != PackageDatabase::kOk ||
        database_->GetPackagesToUninstall(removals) != PackageDatabase::kOk ||
        database_->GetPreparingPackages(preparing) != PackageDatabase::kOk) {
        _EndProcessing(kResultProcessListFailed);
        return;
    }
    // Downloads that never completed are removed.
    for (const Package& package : preparing) {
        if (database_->SetPackageOrder(package.id, kOperationUninstall) != PackageDatabase::kOk) {
            _EndProcessing(kResultProcessListFailed);
            return;
        }
    }
    if (!preparing.empty() &&
        database_->GetPreparingPackages(preparing) != PackageDatabase::kOk) {
        _EndProcessing(kResultProcessListFailed);
        return;
    }
    std::vector<Package> list = std::move(removals);
    list.insert(list.end(), preparing.begin(), preparing.end());
    list.insert(list.end(), ready.begin(), ready.end());
    if (list.empty()) {
        _EndProcessing(kResultDone);
        return;
    }
    if (!_StartTransaction(
            factory_->CreateTransaction(*this, PackageTransaction::kProcess, list))) {
        TOV_LOG_WARNING(UpdaterService, "StartTransaction failed.");
        _EndProcessing(kResultCancelled);
    }
}

void UpdaterService::_EndProcessing(int32_t code) {
    if (applicationVersion_.empty()) {
        database_->SetApplicationFromInstalled();
    }
    std::lock_guard guard(lock_);
    _SetState(kStateIdle);
    _Emit(taskDoneNotifier_,
          std::make_unique<TaskDoneEvent>(TaskDoneEvent::kProcessing, code, std::string()));
}

// --- Transactions ---------------------------------------------------------------------------

bool UpdaterService::_StartTransaction(std::unique_ptr<PackageTransaction> transaction) {
    if (!transaction) {
        return false;
    }
    transaction_ = std::move(transaction);
    Connect(*this, transaction_->StatusNotifier(), &UpdaterService::OnTransactionStatus);
    if (transaction_->Start()) {
        return true;
    }
    // A transaction that ended at once has its status event on the way; that event ends the
    // operation, so it must not be ended twice.
    return transaction_->Finished();
}

void UpdaterService::OnTransactionCommand(PrepareCommandEvent& command) {
    if (command.command == PrepareCommandEvent::kAbort && transaction_) {
        transaction_->Abort();
    }
}

void UpdaterService::OnTransactionStatus(TransactionStatusEvent& status) {
    if (status.transaction != transaction_.get()) {
        return;
    }
    TOV_LOG_INFO(UpdaterService, "Updater transaction result: %d", status.result);
    const int32_t code = ResultCodeOf(status);
    if (transaction_->GetMode() == PackageTransaction::kPrepare) {
        _EndPreparation(code);
    } else {
        _EndProcessing(code);
    }
}

// --- Cancel and progress --------------------------------------------------------------------

void UpdaterService::Cancel() {
    std::shared_ptr<SynchronizationService> synchronization;
    {
        std::lock_guard guard(lock_);
        if (GetState() == kStateSynchronizing) {
            synchronization = synchronization_;
            if (synchronization) {
                synchronization->SetCancelled();
            }
            OnSynchronizationDone(kResultCancelled, std::string());
            state_.store(kStateIdle, std::memory_order_release);
        } else {
            if (cancelRequested_) {
                return;
            }
            cancelRequested_ = true;
            _Emit(progressNotifier_,
                  std::make_unique<ProgressEvent>(ProgressEvent::kCancellationRequested, 0, 0, 0,
                                                  0, Astring()));
            Emit(transactionCommand_,
                 std::make_unique<PrepareCommandEvent>(PrepareCommandEvent::kAbort));
            return;
        }
    }
    // Outside the lock: removing a queued request reports its end on this thread, through the
    // download manager's own lock.
    if (synchronization) {
        synchronization->Cancel();
    }
}

void UpdaterService::PostProgress(std::unique_ptr<ProgressEvent> progress) {
    std::lock_guard guard(lock_);
    if (cancelRequested_ || !progress) {
        return;
    }
    _Emit(progressNotifier_, std::move(progress));
}

void UpdaterService::ReportProcessProgress(PackageTransaction& transaction) {
    uint64_t installDone = 0;
    uint64_t installTotal = 0;
    uint64_t removeDone = 0;
    uint64_t removeTotal = 0;
    for (const auto& task : transaction.Tasks()) {
        installDone += task->InstallWorkDone();
        installTotal += task->InstallWorkTotal();
        removeDone += task->UninstallWorkDone();
        removeTotal += task->UninstallWorkTotal();
    }
    std::lock_guard guard(lock_);
    if (installTotal != 0) {
        _Emit(progressNotifier_,
              std::make_unique<ProgressEvent>(
                  ProgressEvent::kInstalling, installDone, 0, installTotal, 0,
                  FirstUnfinishedFile(transaction.CurrentTask(PackageTask::kActionInstall))));
    }
    if (removeTotal != 0) {
        _Emit(progressNotifier_,
              std::make_unique<ProgressEvent>(
                  ProgressEvent::kRemoving, removeDone, 0, removeTotal, 0,
                  FirstUnfinishedFile(transaction.CurrentTask(PackageTask::kActionUninstall))));
    }
}

}  // namespace updaterlib
