#pragma once

// The package updater of one install target, on a thread of its own:
//
//   auto service = std::make_shared<UpdaterService>(folder, "wince", manager, &locales,
//                                                   "linux", "1.0.0");
//   service->ConnectTaskDone(page, &Page::OnTaskDone);
//   service->CreateThread();                 // opens the database; state 5 -> 0 (or -1)
//   service->StartSynchronization();         // ... TaskDoneEvent kind 1
//   service->PreparePackages(orders);        // ... kind 2: downloaded and checked
//   service->ProcessPackages();              // ... kind 3: installed and removed
//   service->HardStop();                     // before the last reference goes
//
// Commands are accepted only while idle (else answered at once with code 17) and each accepted
// one ends with exactly one TaskDoneEvent. The public notifiers have no dispatcher: handlers
// run on the emitting thread (the service's, a transfer thread, or the caller's for refusals
// and Cancel), one emission at a time under the service's lock; connect through the service.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "quorvalib/core/ListenerBase.h"
#include "quorvalib/core/Notifier.h"
#include "quorvalib/files/Astring.h"
#include "quorvalib/system/Athr.h"
#include "updaterlib/GroupModel.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageModel.h"
#include "updaterlib/SynchronizationHost.h"
#include "updaterlib/TransactionHost.h"
#include "updaterlib/UpdaterEvents.h"
#include "updaterlib/UpdaterResult.h"

class Aini;

namespace quorvalib::localization {
class LocalizationConfig;
}

namespace updaterlib {

class PackageTransaction;
class PackageTransactionFactory;
class SynchronizationService;
class TransactionStatusEvent;

class UpdaterService : public Athr,
                       public quorvalib::core::ListenerBase,
                       public SynchronizationHost,
                       public TransactionHost {
public:
    enum State : int32_t {
        kStateFailed = -1,  // the database could not be opened, or a state could not be stored
        kStateIdle = 0,
        kStateSynchronizing = 1,
        kStatePreparing = 2,
        kStateProcessing = 3,
        kStateMade = 5,  // the thread has not finished its start yet
    };

    UpdaterService(Astring dataFolder, std::string platform,
                   std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager,
                   const quorvalib::localization::LocalizationConfig* localization,
                   std::string installerPlatform, std::string installerVersion);
    ~UpdaterService() override;

    // Before work starts.
    void SetTransactionFactory(std::shared_ptr<PackageTransactionFactory> factory);
    // The settings the synchronization reads its server from (the program settings when
    // null); before the first synchronization. Not owned.
    void SetSettings(Aini* settings) { settings_ = settings; }

    int32_t GetState() const { return state_.load(std::memory_order_acquire); }

    void StartSynchronization();
    void PreparePackages(const std::vector<PackageOrder>& orders);
    void ProcessPackages();
    void Cancel();

    // Snapshots of the database for the user interface; the caller owns them.
    std::unique_ptr<PackageModel> CreatePackageModel(int32_t mode, int32_t groupId);
    std::unique_ptr<GroupModel> CreateGroupModel(int32_t mode, int32_t parentId);

    // ProgressEvent, TaskDoneEvent, StateChangedEvent. Connect before CreateThread, or any
    // time through these (they take the service's lock); disconnect before the listener dies.
    template <typename L, typename C>
    void ConnectProgress(L& listener, void (C::*handler)(ProgressEvent&)) {
        std::lock_guard guard(lock_);
        quorvalib::core::Connect(listener, progressNotifier_, handler);
    }
    template <typename L, typename C>
    void ConnectTaskDone(L& listener, void (C::*handler)(TaskDoneEvent&)) {
        std::lock_guard guard(lock_);
        quorvalib::core::Connect(listener, taskDoneNotifier_, handler);
    }
    template <typename L, typename C>
    void ConnectStateChanged(L& listener, void (C::*handler)(StateChangedEvent&)) {
        std::lock_guard guard(lock_);
        quorvalib::core::Connect(listener, stateChangedNotifier_, handler);
    }
    // Marks all of the listener's connections dead; safe inside a handler.
    void Disconnect(quorvalib::core::ListenerBase& listener);

    // SynchronizationHost and TransactionHost.
    std::string GetLanguageCode() const override;
    void PostProgress(std::unique_ptr<ProgressEvent> progress) override;
    int MergeCatalogue(const std::vector<PackageGroup>& groups,
                       const std::vector<Package>& packages) override;
    void OnSynchronizationDone(int code, const std::string& message) override;
    std::shared_ptr<PackageDatabase> Database() override { return database_; }
    Astring DataFolder() const override { return dataFolder_; }
    std::shared_ptr<quorvalib::network::http::HttpDownloadManager> DownloadManager() override {
        return manager_;
    }
    Athr& ServiceThread() override { return *this; }
    void ReportProcessProgress(PackageTransaction& transaction) override;

    // The code an operation ends with for a transaction's end.
    static int32_t ResultCodeOf(const TransactionStatusEvent& status);

    const Astring& CacheFile() const { return cacheFile_; }
    const std::string& Brand() const { return brand_; }
    const std::string& Platform() const { return platform_; }

protected:
    bool InitInstance() override;
    int ExitInstance() override;
    // Bytes free on the data folder's volume.
    virtual uint64_t _FreeSpace() const;

private:
    void _Initialize();
    // Callers hold the lock.
    void _SetState(int32_t state);
    void _Emit(quorvalib::core::Notifier& notifier, std::unique_ptr<quorvalib::core::Event> event);
    void _Refuse(int32_t kind);

    // Service thread.
    void OnStartSynchronization(SynchronizationParams& params);
    void OnPreparePackages(PreparePackagesParams& params);
    void OnStartProcessPackages(VoidParams& params);
    void OnTransactionCommand(PrepareCommandEvent& command);
    void OnTransactionStatus(TransactionStatusEvent& status);
    void _StartPreparePackages(const std::vector<Package>& packages);
    bool _StartTransaction(std::unique_ptr<PackageTransaction> transaction);
    void _EndPreparation(int32_t code);
    void _EndProcessing(int32_t code);

    const Astring dataFolder_;
    const std::string brand_ = "1";
    std::string platform_;
    const std::string applicationVersion_;  // no operation sets it
    const std::string installerPlatform_;
    const std::string installerVersion_;
    const Astring cacheFolder_;
    const Astring cacheFile_;
    const std::shared_ptr<quorvalib::network::http::HttpDownloadManager> manager_;
    const quorvalib::localization::LocalizationConfig* const localization_;
    Aini* settings_ = nullptr;
    // Made here so that the pointer never changes; opened by _Initialize.
    const std::shared_ptr<PackageDatabase> database_ = std::make_shared<PackageDatabase>();

    // Guards the state, the flags below, every emission of the public notifiers and the
    // posting of commands. Recursive: handlers may call back into the service.
    mutable std::recursive_mutex lock_;
    std::atomic<int32_t> state_{kStateMade};
    bool cancelRequested_ = false;
    bool synchronizationRunning_ = false;  // the accepted run has not been ended yet
    uint64_t synchronizationRun_ = 0;      // counts accepted runs

    quorvalib::core::Notifier progressNotifier_;
    quorvalib::core::Notifier taskDoneNotifier_;
    quorvalib::core::Notifier stateChangedNotifier_;
    // Delivered on this service's thread.
    quorvalib::core::Notifier synchronizationCommand_;
    quorvalib::core::Notifier prepareCommand_;
    quorvalib::core::Notifier processCommand_;
    quorvalib::core::Notifier transactionCommand_;

    std::shared_ptr<PackageTransactionFactory> factory_;
    // Made under the lock on the service thread; Cancel reads it under the lock.
    std::shared_ptr<SynchronizationService> synchronization_;
    std::unique_ptr<PackageTransaction> transaction_;          // service thread only
};

}  // namespace updaterlib
