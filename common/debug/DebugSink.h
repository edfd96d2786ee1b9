#pragma once

#include "common/debug/LogSink.h"

namespace common::debug {

// Debugger output; on this platform that is the system log.
class DebugSink final : public LogSink {
public:
    DebugSink();
    ~DebugSink() override;

    void Write(const LogLocation& location, const char* channelName, int level, uint32_t threadId,
               const std::string& message) override;

    // "path(line) : Level Channel [tid]: message\r\n", invalid UTF-8 replaced.
    static std::string FormatLine(const LogLocation& location, const char* channelName, int level,
                                  uint32_t threadId, const std::string& message);
};

}  // namespace common::debug
