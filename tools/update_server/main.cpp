// tov-update-server --repo DIR [--listen HOST:PORT]: serves a package repository until
// interrupted (SIGINT or SIGTERM).

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "common/debug/LogSink.h"
#include "common/debug/StdErrSink.h"
#include "tools/update_server/UpdateServer.h"

namespace {

constexpr char kUsage[] =
    "usage: tov-update-server --repo DIR [--listen HOST:PORT]\n"
    "  --repo DIR          the repository folder (repository.ini and package folders)\n"
    "  --listen HOST:PORT  address to listen on (default 127.0.0.1:8080; port 0: a free one)\n";

int UsageError(const std::string& message) {
    std::cerr << "tov-update-server: " << message << "\n" << kUsage;
    return 2;
}

bool ParseListen(const std::string& text, std::string& host, int& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(digits);
    return port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
    std::string repository;
    std::string host = "127.0.0.1";
    int port = 8080;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if ((argument == "--repo" || argument == "--listen") && i + 1 >= argc) {
            return UsageError(argument + " needs a value");
        }
        if (argument == "--repo") {
            repository = argv[++i];
        } else if (argument == "--listen") {
            if (!ParseListen(argv[++i], host, port)) {
                return UsageError("--listen expects HOST:PORT, e.g. 127.0.0.1:8080");
            }
        } else {
            return UsageError("unknown argument '" + argument + "'");
        }
    }
    if (repository.empty()) return UsageError("--repo is required");

    common::debug::StdErrSink log("RYwc");
    common::debug::Attach(log, "UpdateServer", 3);

    // Blocked before any thread starts, so every thread inherits the mask and only sigwait
    // below sees the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    update_server::UpdateServer server(repository);
    if (!server.Start(host, port)) {
        std::cerr << "tov-update-server: " << server.Error() << "\n";
        return 1;
    }
    // Scripts read the address from this line.
    std::cout << "tov-update-server: listening on " << server.BaseUrl() << "/" << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.Stop();
    std::cout << "tov-update-server: stopped" << std::endl;
    return 0;
}
