#pragma once

// Logging set up from section "LOG" of a settings file: a debugger sink always, a standard
// error sink and a file sink when their keys select anything.

#include "quorvalib/files/Aini.h"
#include "quorvalib/files/Astring.h"

namespace quorvalib::files {

// Uses the program's log file path for the file sink.
void ConfigureLogging(Aini& settings);
// With the given log file (no file sink when it is empty).
void ConfigureLogging(Aini& settings, const Astring& logFilePath);

}  // namespace quorvalib::files
