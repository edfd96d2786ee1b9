#pragma once

// The command line of tovctl.

#include <string>
#include <vector>

namespace tovctl {

struct TovctlOptions {
    std::string dataFolder;  // empty: the program's data folder
    std::string serverUrl;   // empty: "PackagesUrl" of the settings
    std::string command;     // sync, list, install, remove, status
    bool installed = false;  // list --installed
    std::vector<std::string> packages;  // install and remove
    bool help = false;
};

// Exit codes: success, a failed operation, a usage error, an operation cut short by Ctrl+C.
enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitInterrupted = 130 };

extern const char* const kUsage;

// False with a message for the user when the command line is not valid.
bool ParseCommandLine(const std::vector<std::string>& arguments, TovctlOptions& options,
                      std::string& error);

}  // namespace tovctl
