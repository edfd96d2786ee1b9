#include "common/debug/LogLevel.h"

namespace common::debug {

const char* LevelName(int level) {
    switch (level) {
        case kLogError: return "Error";
        case kLogWarning: return "Warning";
        case kLogInfo: return "Info";
        case kLogDebug: return "Debug";
        default: return "-";
    }
}

char LevelLetter(int level) { return LevelName(level)[0]; }

}  // namespace common::debug
