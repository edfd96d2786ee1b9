#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

#include "common/debug/LogSink.h"

namespace common::debug {

// Standard error, one colour letter per level ("RYwc": red errors, yellow warnings, ...).
// A terminal gets the console form; anything else gets the plain form.
class StdErrSink final : public LogSink {
public:
    explicit StdErrSink(std::string colors);
    // For tests: a given stream, with the console form or not.
    StdErrSink(std::string colors, std::FILE* stream, bool console);
    ~StdErrSink() override;

    void Write(const LogLocation& location, const char* channelName, int level, uint32_t threadId,
               const std::string& message) override;

    // The escape sequence of a colour letter ("" for "w" and unknown letters).
    static std::string_view ColorEscape(char letter);

private:
    std::mutex lock_;
    std::FILE* const stream_;
    const bool console_;
};

}  // namespace common::debug
