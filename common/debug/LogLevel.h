#pragma once

namespace common::debug {

// Severity: a smaller number is more severe; a sink attached at N receives levels 1..N.
enum LogLevel : int {
    kLogError = 1,
    kLogWarning = 2,
    kLogInfo = 3,
    kLogDebug = 4,
};

// "Error", "Warning", "Info", "Debug"; "-" for anything else.
const char* LevelName(int level);
// First character of the level's name.
char LevelLetter(int level);

}  // namespace common::debug
