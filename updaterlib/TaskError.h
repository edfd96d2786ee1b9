#pragma once

#include <cstdint>

namespace updaterlib {

// The outcome of one step of a package or file task (also the result of the updater's jobs).
// All zero means success; every error has the error flag 1.
struct TaskError {
    enum Category : uint32_t {
        kCancelled = 0,     // code kCodeCancelled
        kHttp = 1,          // code: HTTP status or the download manager's own code
        kIncomplete = 3,    // a step was not completed or its result failed the check
        kSystem = 4,        // code: system error or the digest job's error
        kDatabase = 5,      // code: the database's result code, or 0
        kInconsistent = 6,  // code 0
    };
    static constexpr uint32_t kCodeCheck = 1027;
    static constexpr uint32_t kCodeCancelled = 1028;
    static constexpr uint32_t kCodeInstallJob = 1029;
    static constexpr uint32_t kCodeRemovalJob = 1030;

    static TaskError Make(uint32_t category, uint32_t code) { return {category, 1, code}; }
    static TaskError Cancelled() { return Make(kCancelled, kCodeCancelled); }

    bool IsError() const { return error != 0; }
    bool operator==(const TaskError&) const = default;

    uint32_t category = 0;
    uint32_t error = 0;
    uint32_t code = 0;
};

}  // namespace updaterlib
