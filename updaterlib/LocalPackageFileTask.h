#pragma once

#include "updaterlib/PackageFileTask.h"

namespace updaterlib {

// A file installed into the data folder itself: installation renames the downloaded copy.
class LocalPackageFileTask : public PackageFileTask {
public:
    using PackageFileTask::PackageFileTask;

    // 1 once the file is installed or removed: the package task counts files.
    uint64_t InstallWorkDone() const override { return State() == kDone ? 1 : 0; }
    uint64_t UninstallWorkDone() const override { return State() == kDone ? 1 : 0; }

protected:
    TaskError InstallImpl(const JobContext& context) override;
    TaskError RemoveImpl(const JobContext& context) override;
};

}  // namespace updaterlib
