#include "updaterlib/OldLayout.h"

#include "common/debug/Log.h"
#include "quorvalib/files/Afile.h"
#include "quorvalib/files/FileSystem.h"

TOV_DEFINE_LOG_CHANNEL(OldLayout);

namespace updaterlib {
namespace {

constexpr const char* kOldDirectories[] = {"fonts", "gps",    "history", "loc",    "maps",
                                           "scripts", "skins", "traces",  "voices", "defs"};
constexpr const char* kOldProgram = "Kestrova.exe";

Astring Join(const Astring& folder, const char* name) {
    Astring path = folder;
    path.AppendPath(name);
    return path;
}

}  // namespace

OldLayout DetectOldLayout(const Astring& folder) {
    if (quorvalib::files::IsDirectory(Join(folder, "defs"))) {
        return {3, 1};
    }
    return {};
}

bool RemoveOldLayout(const Astring& folder, int32_t version) {
    if (version != 1) {
        return false;
    }
    for (const char* name : kOldDirectories) {
        const Astring path = Join(folder, name);
        if (!quorvalib::files::FileExists(path)) {
            continue;
        }
        Afile directory;
        directory.SetPath(path);
        if (!quorvalib::files::RemoveTree(path) || !directory.Delete()) {
            TOV_LOG_ERROR(OldLayout, "updaterlib::RemoveOldLayout: cannot remove '%s'.",
                          path.c_str());
            return false;
        }
    }
    const Astring program = Join(folder, kOldProgram);
    if (quorvalib::files::FileExists(program) && !quorvalib::files::DeleteFile(program)) {
        TOV_LOG_ERROR(OldLayout, "updaterlib::RemoveOldLayout: cannot delete '%s'.",
                      program.c_str());
        return false;
    }
    return true;
}

}  // namespace updaterlib
