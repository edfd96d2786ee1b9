#include "quorvalib/files/ProgramSettings.h"

#include <memory>
#include <mutex>

#include "quorvalib/files/FileSystem.h"
#include "quorvalib/files/LogConfiguration.h"
#include "quorvalib/platform/ProgramFile.h"

namespace quorvalib::files {
namespace {

struct Locations {
    Astring programName;
    Astring programDirectory;
    Astring settingsFile;
};

const Locations& GetLocations() {
    static const Locations locations = [] {
        Locations made;
        Astring file(platform::ProgramFilePath());
        file.ToForwardSlashes();
        made.programName = file.FilePart().StripExtension();
        made.programDirectory = Astring(platform::ProgramDirectory()).ToForwardSlashes();
        made.settingsFile = detail::FindSettingsFile(made.programDirectory, made.programName);
        return made;
    }();
    return locations;
}

std::mutex& DataLock() {
    static std::mutex lock;
    return lock;
}

// Guarded by DataLock.
bool g_dataKnown = false;
Astring g_dataDirectory;

Astring ProductSubfolder(const Astring& documents) {
    Astring folder = documents;
    folder.AppendPath(kProductFolderName);
    return folder;
}

}  // namespace

namespace detail {

Astring FindSettingsFile(const Astring& programDirectory, const Astring& programName) {
    const Astring own = Astring::Format("%s/%s.ini", programDirectory, programName);
    if (!FileExists(own)) {
        const Astring shared = Astring::Format("%s/%s.ini", programDirectory, kProductFolderName);
        if (FileExists(shared)) return shared;
    }
    return own;
}

Astring FindDataDirectory(const Astring& documentsFolder, const Astring& programDirectory,
                          const Astring& programName) {
    if (!documentsFolder.IsEmpty()) {
        const Astring folder = ProductSubfolder(documentsFolder);
        if (FileExists(Astring::Format("%s/%s.ini", folder, programName)) ||
            FileExists(Astring::Format("%s/%s.ini", folder, kProductFolderName))) {
            return folder;
        }
    }
    return programDirectory;
}

}  // namespace detail

const Astring& ProgramName() { return GetLocations().programName; }
const Astring& ProgramDirectory() { return GetLocations().programDirectory; }
const Astring& SettingsFilePath() { return GetLocations().settingsFile; }

Astring DataDirectory() {
    std::lock_guard guard(DataLock());
    if (!g_dataKnown) {
        Astring documents;
        GetDocumentsFolder(documents);
        g_dataDirectory = detail::FindDataDirectory(documents, ProgramDirectory(), ProgramName());
        g_dataKnown = true;
    }
    return g_dataDirectory;
}

Astring LogFilePath() {
    const Astring data = DataDirectory();
    if (data.IsEmpty() || ProgramName().IsEmpty()) return {};
    return Astring::Format("%s/%s.log", data, ProgramName());
}

bool SetDataDirectory(const Astring& path) {
    Astring chosen;
    bool result = false;
    if (!path.IsEmpty()) {
        result = IsDirectory(path);
        chosen = result ? path : ProgramDirectory();
    } else {
        Astring documents;
        if (!GetDocumentsFolder(documents)) return false;
        const Astring folder = ProductSubfolder(documents);
        // The documents folder itself may not exist yet on a fresh account.
        MakeDirectory(documents);
        MakeDirectory(folder);
        if (!IsDirectory(folder)) return false;
        chosen = folder;
        result = true;
    }
    while (chosen.Size() > 1 && chosen.EndsWith("/")) chosen = chosen.Substring(0, chosen.Length() - 1);
    std::lock_guard guard(DataLock());
    g_dataDirectory = chosen;
    g_dataKnown = true;
    return result;
}

Aini& GetSettings() {
    static std::unique_ptr<Aini> settings;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        const Astring& path = SettingsFilePath();
        settings = std::make_unique<Aini>(path);
        if (!FileExists(path)) {
            settings->SetDefaults();
            settings->Save();  // writes nothing: nothing was modified
        } else if (!path.IsEmpty()) {
            Afile& file = settings->File();
            if (file.OpenRead()) {
                if (settings->Load()) ConfigureLogging(*settings);
                file.Close();
            }
        }
    });
    return *settings;
}

}  // namespace quorvalib::files
