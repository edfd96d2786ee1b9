#include "common/debug/StdErrSink.h"

#include <unistd.h>

#include <boost/format.hpp>

#include "common/debug/Log.h"
#include "common/debug/Utf8Text.h"

namespace common::debug {
namespace {
constexpr std::string_view kReset = "\033[0m";
}  // namespace

StdErrSink::StdErrSink(std::string colors)
    : StdErrSink(std::move(colors), stderr, ::isatty(STDERR_FILENO) == 1) {}

StdErrSink::StdErrSink(std::string colors, std::FILE* stream, bool console)
    : LogSink(std::move(colors)), stream_(stream), console_(console) {}

StdErrSink::~StdErrSink() { Detach(*this); }  // before the lock goes, see FileSink

std::string_view StdErrSink::ColorEscape(char letter) {
    switch (letter) {
        case 'R': return "\033[31;1m";
        case 'G': return "\033[32;1m";
        case 'Y': return "\033[33;1m";
        case 'B': return "\033[34;1m";
        case 'M': return "\033[35;1m";
        case 'C': return "\033[36;1m";
        case 'W': return "\033[1m";
        case 'r': return "\033[31m";
        case 'g': return "\033[32m";
        case 'y': return "\033[33m";
        case 'b': return "\033[34m";
        case 'm': return "\033[35m";
        case 'c': return "\033[36m";
        default: return "";
    }
}

void StdErrSink::Write(const LogLocation& location, const char* channelName, int level,
                       uint32_t threadId, const std::string& message) {
    const std::string& colors = Parameter();
    const bool hasLetter = level >= 1 && static_cast<size_t>(level) <= colors.size();
    const char letter = hasLetter ? colors[level - 1] : 'w';
    const std::string_view escape = ColorEscape(letter);

    std::string line(escape);
    line += (boost::format("%s:%d:%c %s [%x]: ") % location.fileName % location.line %
             LevelLetter(level) % channelName % threadId).str();
    if (console_) {
        // A terminal is reset after every line, as the console's attribute is.
        line += ReplaceInvalidUtf8(message);
        line += kReset;
    } else {
        line += message;
        if (hasLetter && letter != 'w') line += kReset;
    }
    line += '\n';

    std::lock_guard guard(lock_);
    std::fwrite(line.data(), 1, line.size(), stream_);
    std::fflush(stream_);
}

}  // namespace common::debug
