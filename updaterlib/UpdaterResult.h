#pragma once

#include <cstdint>

namespace updaterlib {

// Result codes of the updater service's operations, as the user interface gets them.
enum UpdaterResult : int32_t {
    kResultDone = 0,
    kResultDownloadFailed = 6,
    kResultInternalError = 8,
    kResultProcessListFailed = 9,  // processing: the packages could not be read or marked
    kResultUnknownFailure = 17,    // also the answer to a refused command
    kResultCheckFailed = 19,
    kResultIoFailed = 20,
    kResultNoFreeSpace = 21,
    kResultCancelled = 22,
};

// The message a preparation's end carries for a code; "" for codes without one.
const char* UpdaterResultText(int32_t code);

}  // namespace updaterlib
