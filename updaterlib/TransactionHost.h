#pragma once

#include <memory>

#include "quorvalib/files/Astring.h"
#include "updaterlib/ProgressEvent.h"

class Athr;

namespace quorvalib::network::http {
class HttpDownloadManager;
}

namespace updaterlib {

class PackageDatabase;
class PackageTransaction;

// What a package transaction needs of the updater service that runs it. Everything is called
// on the service's thread, except ReportProcessProgress, which a target's file task may also
// call from the job thread of a running installation.
class TransactionHost {
public:
    virtual ~TransactionHost() = default;

    virtual std::shared_ptr<PackageDatabase> Database() = 0;
    // The folder of the package database and of all downloaded package files.
    virtual Astring DataFolder() const = 0;
    virtual std::shared_ptr<quorvalib::network::http::HttpDownloadManager> DownloadManager() = 0;
    // The service's thread: transactions, tasks, their events, steppers and timers run there.
    virtual Athr& ServiceThread() = 0;
    // Download and check progress of a preparation (dropped while a cancellation is pending).
    virtual void PostProgress(std::unique_ptr<ProgressEvent> progress) = 0;
    // Install and removal progress from the transaction's work totals.
    virtual void ReportProcessProgress(PackageTransaction& transaction) = 0;
};

}  // namespace updaterlib
