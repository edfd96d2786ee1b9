#pragma once

// Test helper: records every log line of the channels it is attached to, from any thread.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/debug/Log.h"
#include "common/debug/LogSink.h"

namespace common::debug::testing {

class LogRecorder final : public LogSink {
public:
    struct Line {
        std::string channel;
        int level = 0;
        std::string message;
        LogLocation location;
    };

    // Attaches itself to the channels that `selection` names, at `level`, until destroyed.
    explicit LogRecorder(std::string_view selection = "ALL", int level = kLogDebug)
        : LogSink("") {
        Attach(*this, selection, level);
    }
    ~LogRecorder() override { Detach(*this); }

    void Write(const LogLocation& location, const char* channelName, int level, uint32_t,
               const std::string& message) override {
        std::lock_guard guard(lock_);
        lines_.push_back({channelName, level, message, location});
    }

    // A copy, so that lines arriving meanwhile do not disturb the caller.
    std::vector<Line> Lines() const {
        std::lock_guard guard(lock_);
        return lines_;
    }

    bool Has(int level, std::string_view message) const {
        return Any([&](const Line& line) {
            return line.level == level && line.message == message;
        });
    }
    bool Has(std::string_view message) const {
        return Any([&](const Line& line) { return line.message == message; });
    }
    bool HasPrefix(int level, std::string_view prefix) const {
        return Any([&](const Line& line) {
            return line.level == level && line.message.starts_with(prefix);
        });
    }

    // Every line as "channel(level): message", one a line, for failure output.
    std::string Text() const {
        std::string text;
        for (const Line& line : Lines()) {
            text += line.channel + "(" + std::to_string(line.level) + "): " + line.message + "\n";
        }
        return text;
    }

    void Clear() {
        std::lock_guard guard(lock_);
        lines_.clear();
    }

private:
    template <typename Predicate>
    bool Any(Predicate predicate) const {
        std::lock_guard guard(lock_);
        for (const Line& line : lines_) {
            if (predicate(line)) return true;
        }
        return false;
    }

    mutable std::mutex lock_;
    std::vector<Line> lines_;
};

}  // namespace common::debug::testing
