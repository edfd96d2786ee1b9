#pragma once

#include <cstdio>
#include <mutex>

#include "common/debug/LogSink.h"

namespace common::debug {

// Appends lines to a file, opened on the first write and flushed after every line so that
// the log survives a crash.
class FileSink final : public LogSink {
public:
    explicit FileSink(std::string path);
    ~FileSink() override;

    void Write(const LogLocation& location, const char* channelName, int level, uint32_t threadId,
               const std::string& message) override;

private:
    std::mutex lock_;
    std::FILE* stream_ = nullptr;
};

}  // namespace common::debug
