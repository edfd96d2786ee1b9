#include "updaterlib/PackageTransactionFactory.h"

#include <new>

#include "common/debug/Log.h"
#include "updaterlib/LocalPackageFileTask.h"
#include "updaterlib/LocalPackageTask.h"

TOV_DEFINE_LOG_CHANNEL(PackageTransactionFactory);

namespace updaterlib {

PackageTransactionFactory::PackageTransactionFactory(uint32_t retryBaseDelayMs)
    : retryBaseDelayMs_(retryBaseDelayMs) {}

PackageTransactionFactory::~PackageTransactionFactory() = default;

std::unique_ptr<PackageTask> PackageTransactionFactory::_CreatePackageTask(
    PackageTransaction& transaction, const Package& package) {
    try {
        return std::make_unique<LocalPackageTask>(transaction, package);
    } catch (const std::bad_alloc&) {
        TOV_LOG_ERROR(PackageTransactionFactory, "Failed to allocate memory for PackageTask.");
        return nullptr;
    }
}

std::unique_ptr<PackageFileTask> PackageTransactionFactory::_CreatePackageFileTask(
    PackageTask& task, const PackageFile& file) {
    try {
        return std::make_unique<LocalPackageFileTask>(task, file);
    } catch (const std::bad_alloc&) {
        TOV_LOG_ERROR(PackageTransactionFactory, "Failed to allocate memory for PackageFileTask.");
        return nullptr;
    }
}

std::unique_ptr<PackageTransaction> PackageTransactionFactory::CreateTransaction(
    TransactionHost& host, int32_t mode, const std::vector<Package>& packages) {
    std::unique_ptr<PackageTransaction> transaction;
    try {
        transaction = std::make_unique<PackageTransaction>(host, mode, retryBaseDelayMs_);
    } catch (const std::bad_alloc&) {
        TOV_LOG_ERROR(PackageTransactionFactory,
                      "Failed to allocate memory for PackageTransaction.");
        return nullptr;
    }
    std::vector<std::unique_ptr<PackageTask>> removals;
    std::vector<std::unique_ptr<PackageTask>> installations;
    for (const Package& package : packages) {
        std::unique_ptr<PackageTask> task = _CreatePackageTask(*transaction, package);
        if (!task) return nullptr;
        for (const PackageFile& file : package.files) {
            std::unique_ptr<PackageFileTask> fileTask = _CreatePackageFileTask(*task, file);
            if (!fileTask) return nullptr;
            task->AddFileTask(std::move(fileTask));
        }
        if (package.operation == kOperationUninstall && package.status != kStatusAvailable) {
            removals.push_back(std::move(task));
        } else if (package.operation == kOperationInstall && package.status != kStatusInstalled) {
            installations.push_back(std::move(task));
        }
    }
    for (auto& task : removals) transaction->AppendTask(std::move(task));
    for (auto& task : installations) transaction->AppendTask(std::move(task));
    return transaction;
}

}  // namespace updaterlib
