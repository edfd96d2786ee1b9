// tovctl [--data DIR] [--server URL] COMMAND: the package updater from the command line.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/debug/LogSink.h"
#include "common/debug/StdErrSink.h"
#include "quorvalib/system/AthrMan.h"
#include "tools/tovctl/StopSignal.h"
#include "tools/tovctl/Tovctl.h"
#include "tools/tovctl/TovctlOptions.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    tovctl::TovctlOptions options;
    std::string error;
    if (!tovctl::ParseCommandLine(arguments, options, error)) {
        std::fprintf(stderr, "tovctl: %s\n%s", error.c_str(), tovctl::kUsage);
        return tovctl::kExitUsage;
    }
    if (options.help) {
        std::fputs(tovctl::kUsage, stdout);
        return tovctl::kExitOk;
    }
    // Before any thread starts, so that every thread inherits the blocked signals.
    tovctl::StopSignal stop;
    // Errors of the library say why an operation failed.
    common::debug::StdErrSink errors("RYwc");
    common::debug::Attach(errors, "ALL", 1);
    AthrMan pool;
    tovctl::Tovctl program(options, stop, stdout, stderr, isatty(STDOUT_FILENO) != 0);
    return program.Run();
}
