#pragma once

// tovctl: the updater service driven from the command line, with the updater's own local
// install target on the data folder.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/tovctl/TovctlOptions.h"

class Aini;

namespace updaterlib {
class UpdaterService;
}

namespace tovctl {

class ServiceEvents;
struct ServiceNotice;
class StopSignal;
class ProgressDisplay;
struct Selection;

class Tovctl {
public:
    // `stop` delivers Ctrl+C; progress goes to `out` as a bar when `terminal`, else as lines.
    Tovctl(TovctlOptions options, StopSignal& stop, std::FILE* out, std::FILE* err,
           bool terminal);
    ~Tovctl();

    // Runs the command; one of the exit codes of TovctlOptions.h.
    int Run();

private:
    bool _Start();
    void _Stop();
    int _Sync();
    int _List();
    int _Install();
    int _Remove();
    int _Status();
    // Prepares and then processes the orders, as the wizard's download and installation
    // dialogs do.
    int _Apply(const Selection& selection, const char* verb);
    // Runs until the task-done notice of `task` arrives; false when it cannot wait.
    bool _WaitForTask(int32_t task, int32_t& code, std::string& message);
    // Runs until the service leaves its start state; the new state.
    int32_t _WaitForStart();
    // One round of the main loop: shows progress, handles Ctrl+C; false on a wait failure.
    bool _Pump(std::vector<ServiceNotice>& ends);
    int _Failed(const std::string& what, int32_t code, const std::string& message);
    void _Print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const TovctlOptions options_;
    StopSignal& stop_;
    std::FILE* const out_;
    std::FILE* const err_;
    const bool terminal_;
    std::string dataFolder_;
    std::unique_ptr<ServiceEvents> events_;
    std::unique_ptr<ProgressDisplay> progress_;
    std::shared_ptr<updaterlib::UpdaterService> service_;
    std::unique_ptr<Aini> settings_;  // the run's copy of the settings (--server)
    bool cancelRequested_ = false;
};

// The text of a result code of the updater service, for codes whose event has none.
const char* ResultText(int32_t code);

}  // namespace tovctl
