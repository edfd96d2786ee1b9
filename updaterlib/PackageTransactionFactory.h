#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "updaterlib/Package.h"
#include "updaterlib/PackageTransaction.h"

namespace updaterlib {

class PackageFileTask;
class PackageTask;
class TransactionHost;

// Makes transactions for one install target. This base installs into the local data folder;
// a target's factory derives and makes its own package and file tasks.
class PackageTransactionFactory {
public:
    // Tests shorten the retry delay; the program keeps the default.
    explicit PackageTransactionFactory(
        uint32_t retryBaseDelayMs = PackageTransaction::kRetryBaseDelayMs);
    virtual ~PackageTransactionFactory();

    // One task per package that has something to do: removals first, then installations, each
    // in the given order. Null when a task could not be made.
    std::unique_ptr<PackageTransaction> CreateTransaction(TransactionHost& host, int32_t mode,
                                                          const std::vector<Package>& packages);

protected:
    virtual std::unique_ptr<PackageTask> _CreatePackageTask(PackageTransaction& transaction,
                                                            const Package& package);
    virtual std::unique_ptr<PackageFileTask> _CreatePackageFileTask(PackageTask& task,
                                                                    const PackageFile& file);

private:
    const uint32_t retryBaseDelayMs_;
};

}  // namespace updaterlib
