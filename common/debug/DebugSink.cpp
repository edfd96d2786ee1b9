#include "common/debug/DebugSink.h"

#include <syslog.h>

#include <boost/format.hpp>

#include "common/debug/Log.h"
#include "common/debug/Utf8Text.h"

namespace common::debug {
namespace {

int SyslogPriority(int level) {
    switch (level) {
        case kLogError: return LOG_ERR;
        case kLogWarning: return LOG_WARNING;
        case kLogInfo: return LOG_INFO;
        default: return LOG_DEBUG;
    }
}

}  // namespace

DebugSink::DebugSink() : LogSink(std::string()) {}

DebugSink::~DebugSink() = default;

std::string DebugSink::FormatLine(const LogLocation& location, const char* channelName, int level,
                                  uint32_t threadId, const std::string& message) {
    std::string line = location.path;
    line += '(';
    line += std::to_string(location.line);
    line += ") : ";
    line += LevelName(level);
    line += ' ';
    line += channelName;
    line += " [";
    line += (boost::format("%x") % threadId).str();
    line += "]: ";
    line += message;
    line += "\r\n";
    return ReplaceInvalidUtf8(line);
}

void DebugSink::Write(const LogLocation& location, const char* channelName, int level,
                      uint32_t threadId, const std::string& message) {
    std::string line = FormatLine(location, channelName, level, threadId, message);
    // The system log keeps records, not lines.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    ::syslog(SyslogPriority(level), "%s", line.c_str());
}

}  // namespace common::debug
