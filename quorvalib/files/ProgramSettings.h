#pragma once

// The program's standard locations and its settings file, one process-wide Aini loaded on
// first use; loading it configures logging from its section "LOG".

#include "quorvalib/files/Aini.h"
#include "quorvalib/files/Astring.h"

namespace quorvalib::files {

inline constexpr char kProductFolderName[] = "Quorva GPS Navigation";

// The running program's file name without folder and extension.
const Astring& ProgramName();
// The running program's folder, "/"-separated, without a trailing "/".
const Astring& ProgramDirectory();
// "<program folder>/<program name>.ini", or "<program folder>/Quorva GPS Navigation.ini" when
// only that one exists.
const Astring& SettingsFilePath();
// The documents folder's "Quorva GPS Navigation" subfolder when it holds the program's settings
// file (either name), else the program folder; SetDataDirectory changes it.
Astring DataDirectory();
// "<data folder>/<program name>.log".
Astring LogFilePath();

// A non-empty path becomes the data folder if it exists (true), else the program folder is
// used (false). An empty path selects the documents folder's "Quorva GPS Navigation"
// subfolder, created if needed (false when it cannot be).
bool SetDataDirectory(const Astring& path);

// The settings file, loaded on the first call (which also configures logging). Safe to call
// from several threads; the Aini itself is for one thread at a time.
Aini& GetSettings();

namespace detail {
// The rules behind SettingsFilePath and DataDirectory, for given folders.
Astring FindSettingsFile(const Astring& programDirectory, const Astring& programName);
Astring FindDataDirectory(const Astring& documentsFolder, const Astring& programDirectory,
                          const Astring& programName);
}  // namespace detail

}  // namespace quorvalib::files
