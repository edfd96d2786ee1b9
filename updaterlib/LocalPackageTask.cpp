#include "updaterlib/LocalPackageTask.h"

namespace updaterlib {

uint64_t LocalPackageTask::InstallWorkTotal() const {
    return GetPackage().operation == kOperationInstall ? FileTasks().size() : 0;
}

uint64_t LocalPackageTask::UninstallWorkTotal() const {
    return GetPackage().operation == kOperationUninstall ? FileTasks().size() : 0;
}

}  // namespace updaterlib
