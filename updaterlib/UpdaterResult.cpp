#include "updaterlib/UpdaterResult.h"

namespace updaterlib {

const char* UpdaterResultText(int32_t code) {
    switch (code) {
        case 1: case 2: case 3: case 4: case 5:
        case 8: case 9: case 10: case 11: case 12: case 13: case 15: case 16:
            return "internal error";
        case 6: return "download failed";
        case 17: return "something went wrong and we don't know what";
        case 19: return "file integrity check failed";
        case 20: return "I/O";
        case 21: return "not enough free space";
        case 22: return "cancelled";
        case 24: return "unknown";
        case 25: return "network access was denied";
        case 26: return "version change check";
        default: return "";
    }
}

}  // namespace updaterlib
