#pragma once

#include <cstdint>
#include <utility>

#include "quorvalib/core/Event.h"
#include "quorvalib/files/Astring.h"

namespace updaterlib {

// Progress of the updater's work; listeners show done against total.
//   kind 0 synchronization step (done 0, 25, 50 or 75 of 100, the step's text)
//   kind 1 installing, 2 removing, 3 downloading, 4 checking (current file path)
//   kind 5 a preparation was requested, 6 a cancellation was requested (all zero)
class ProgressEvent : public quorvalib::core::Event {
public:
    enum Kind : uint32_t {
        kSynchronization = 0,
        kInstalling = 1,
        kRemoving = 2,
        kDownloading = 3,
        kChecking = 4,
        kPreparationRequested = 5,
        kCancellationRequested = 6,
    };

    ProgressEvent(uint32_t kind, uint64_t done, uint64_t itemDone, uint64_t total, uint64_t itemTotal,
                  Astring text)
        : kind(kind), done(done), itemDone(itemDone), total(total), itemTotal(itemTotal),
          text(std::move(text)) {}

    uint32_t kind;
    uint64_t done;
    uint64_t itemDone;
    uint64_t total;
    uint64_t itemTotal;
    Astring text;
};

}  // namespace updaterlib
