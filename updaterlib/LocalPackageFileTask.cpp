#include "updaterlib/LocalPackageFileTask.h"

#include <cerrno>

#include "common/debug/Log.h"
#include "quorvalib/files/FileSystem.h"
#include "updaterlib/Package.h"

TOV_DEFINE_LOG_CHANNEL(LocalPackageFileTask);

namespace updaterlib {

namespace files = quorvalib::files;

TaskError LocalPackageFileTask::InstallImpl(const JobContext& context) {
    switch (context.file.mode) {
    case kFileInstalled:
        return {};
    case kFileChecked:
        if (!files::MoveFile(context.localPath, context.finalPath)) {
            const int error = errno;
            TOV_LOG_ERROR(LocalPackageFileTask, "Installation failed, file path: %s",
                          context.finalPath);
            return TaskError::Make(TaskError::kSystem, static_cast<uint32_t>(error));
        }
        return {};
    default:
        TOV_LOG_ERROR(LocalPackageFileTask,
                      "Database state is not consistent, package intended to be installed "
                      "constains files not prepared for installation!");
        return TaskError::Make(TaskError::kInconsistent, 0);
    }
}

TaskError LocalPackageFileTask::RemoveImpl(const JobContext& context) {
    // A package that was only downloaded has nothing at the final path that belongs to it.
    const bool downloadedOnly = context.packageStatus == kStatusPreparing ||
                                context.packageStatus == kStatusPrepared;
    const Astring path = downloadedOnly ? context.finalPath + "~" : context.finalPath;
    if (files::FileExists(path) && !files::DeleteFile(path)) {
        return TaskError::Make(TaskError::kSystem, static_cast<uint32_t>(errno));
    }
    return {};
}

}  // namespace updaterlib
