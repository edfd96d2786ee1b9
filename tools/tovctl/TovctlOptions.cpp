#include "tools/tovctl/TovctlOptions.h"

namespace tovctl {

const char* const kUsage =
    "usage: tovctl [--data DIR] [--server URL] COMMAND\n"
    "commands:\n"
    "  sync                       fetch the server's catalogue into the package database\n"
    "  list                       packages that can be installed or updated, by group\n"
    "  list --installed           installed packages, by group\n"
    "  install NAME[@VERSION]...  install (highest version when none given) plus every\n"
    "                             mandatory package; an installed other version is replaced\n"
    "  remove NAME...             remove installed packages\n"
    "  status                     service state, database version, package counts\n"
    "options:\n"
    "  --data DIR     folder of the package database and the installed files\n"
    "  --server URL   update server for this run (the settings are not changed)\n";

bool ParseCommandLine(const std::vector<std::string>& arguments, TovctlOptions& options,
                      std::string& error) {
    options = TovctlOptions();
    size_t i = 0;
    for (; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return true;
        }
        if (argument == "--data" || argument == "--server") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                error = argument + " needs a value";
                return false;
            }
            (argument == "--data" ? options.dataFolder : options.serverUrl) = arguments[++i];
            continue;
        }
        if (argument.rfind("-", 0) == 0) {
            error = "unknown option '" + argument + "'";
            return false;
        }
        break;
    }
    if (i == arguments.size()) {
        error = "no command given";
        return false;
    }
    options.command = arguments[i++];
    const std::vector<std::string> rest(arguments.begin() + static_cast<long>(i),
                                        arguments.end());
    if (options.command == "sync" || options.command == "status") {
        if (!rest.empty()) {
            error = options.command + " takes no arguments";
            return false;
        }
    } else if (options.command == "list") {
        if (rest.size() > 1 || (rest.size() == 1 && rest[0] != "--installed")) {
            error = "list takes only --installed";
            return false;
        }
        options.installed = !rest.empty();
    } else if (options.command == "install" || options.command == "remove") {
        if (rest.empty()) {
            error = options.command + " needs at least one package name";
            return false;
        }
        for (const std::string& name : rest) {
            if (name.empty() || name.front() == '-' || name.front() == '@' ||
                name.back() == '@' || (options.command == "remove" &&
                                       name.find('@') != std::string::npos)) {
                error = "bad package name '" + name + "'";
                return false;
            }
        }
        options.packages = rest;
    } else {
        error = "unknown command '" + options.command + "'";
        return false;
    }
    return true;
}

}  // namespace tovctl
