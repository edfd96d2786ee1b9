#pragma once

// Events of the updater service: what it tells its listeners, and the commands it posts to its
// own thread.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "quorvalib/core/Event.h"
#include "updaterlib/PackageDatabase.h"

namespace updaterlib {

class StateChangedEvent : public quorvalib::core::Event {
public:
    StateChangedEvent(int32_t newState, int32_t oldState)
        : newState(newState), oldState(oldState) {}
    int32_t newState;
    int32_t oldState;
};

// The end of an operation (or the answer to a refused command, code 17).
class TaskDoneEvent : public quorvalib::core::Event {
public:
    enum Kind : int32_t { kSynchronization = 1, kPreparation = 2, kProcessing = 3 };
    TaskDoneEvent(int32_t kind, int32_t code, std::string message)
        : kind(kind), code(code), message(std::move(message)) {}
    int32_t kind;
    int32_t code;
    std::string message;  // UTF-8, may be empty
};

class SynchronizationParams : public quorvalib::core::Event {};

class PreparePackagesParams : public quorvalib::core::Event {
public:
    explicit PreparePackagesParams(std::vector<PackageOrder> orders) : orders(std::move(orders)) {}
    std::vector<PackageOrder> orders;
};

class VoidParams : public quorvalib::core::Event {};

class PrepareCommandEvent : public quorvalib::core::Event {
public:
    static constexpr int32_t kAbort = 0;
    explicit PrepareCommandEvent(int32_t command) : command(command) {}
    int32_t command;
};

}  // namespace updaterlib
