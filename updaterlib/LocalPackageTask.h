#pragma once

#include "updaterlib/PackageTask.h"

namespace updaterlib {

// A package installed into the data folder itself: its work is counted in files.
class LocalPackageTask : public PackageTask {
public:
    using PackageTask::PackageTask;

    uint64_t InstallWorkTotal() const override;
    uint64_t UninstallWorkTotal() const override;
};

}  // namespace updaterlib
