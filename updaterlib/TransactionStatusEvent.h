#pragma once

#include <cstdint>

#include "quorvalib/core/Event.h"
#include "updaterlib/TaskError.h"

namespace updaterlib {

class PackageTransaction;

// The one end of a package transaction.
class TransactionStatusEvent : public quorvalib::core::Event {
public:
    enum Result : int32_t {
        kDone = 0,          // every task done
        kTaskFailed = 1,    // a task failed (also a cancelled file operation)
        kAborted = 2,       // aborted between tasks, or an order or stage that makes no sense
    };

    TransactionStatusEvent(PackageTransaction* transaction, int32_t result, TaskError error)
        : transaction(transaction), result(result), error(error) {}

    PackageTransaction* transaction;
    int32_t result;
    TaskError error;  // all zero on success
};

}  // namespace updaterlib
