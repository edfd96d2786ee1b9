#pragma once

#include <memory>
#include <string>
#include <vector>

#include "updaterlib/Package.h"
#include "updaterlib/PackageGroup.h"
#include "updaterlib/ProgressEvent.h"

namespace updaterlib {

// What a SynchronizationService needs of the updater service that owns it. Called on the
// thread that runs the step: the service's thread for the first steps, the HTTP transfer
// thread (or the caller of RemoveTask) for the parse, the merge and most ends.
class SynchronizationHost {
public:
    virtual ~SynchronizationHost() = default;

    // The language code sent to the server as "lang".
    virtual std::string GetLanguageCode() const = 0;
    // One synchronization step (kind 0).
    virtual void PostProgress(std::unique_ptr<ProgressEvent> progress) = 0;
    // Merges the parsed catalogue into the target's package database and does the app_info
    // updates; returns the database's result (0 on success).
    virtual int MergeCatalogue(const std::vector<PackageGroup>& groups,
                               const std::vector<Package>& packages) = 0;
    // The one end of a synchronization: its result code and a message for the user (may be
    // empty).
    virtual void OnSynchronizationDone(int code, const std::string& message) = 0;
};

}  // namespace updaterlib
