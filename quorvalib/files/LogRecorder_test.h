#pragma once

// Test helper: records every log line of the channels it is attached to.

#include <mutex>
#include <string>
#include <vector>

#include "common/debug/Log.h"
#include "common/debug/LogSink.h"

class LogRecorder final : public common::debug::LogSink {
public:
    struct Line {
        std::string channel;
        int level;
        std::string message;
    };

    explicit LogRecorder(const char* selection = "ALL", int level = common::debug::kLogDebug)
        : LogSink("") {
        common::debug::Attach(*this, selection, level);
    }
    ~LogRecorder() override { common::debug::Detach(*this); }

    void Write(const common::debug::LogLocation&, const char* channelName, int level, uint32_t,
               const std::string& message) override {
        std::lock_guard guard(lock_);
        lines_.push_back({channelName, level, message});
    }

    std::vector<Line> Lines() {
        std::lock_guard guard(lock_);
        return lines_;
    }

private:
    std::mutex lock_;
    std::vector<Line> lines_;
};
