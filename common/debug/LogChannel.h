#pragma once

#include <atomic>

namespace common::debug {

class LogSink;

// One statically allocated channel per logging class. Slots change only while logging is
// configured and at exit; dispatch reads them without the logging lock, hence the atomics.
struct LogChannel {
    static constexpr int kSlots = 4;

    explicit LogChannel(const char* channelName);
    LogChannel(const LogChannel&) = delete;
    LogChannel& operator=(const LogChannel&) = delete;

    // The two comparisons of a disabled call.
    bool Enabled(int level) const {
        return level <= maxLevel.load(std::memory_order_relaxed) &&
               sinks[0].load(std::memory_order_acquire) != nullptr;
    }

    const char* const name;
    std::atomic<int> maxLevel{0};
    std::atomic<LogSink*> sinks[kSlots]{};
    std::atomic<int> levels[kSlots]{};
    LogChannel* const next;
};

// Newest first; channels are linked in before main runs and never freed.
LogChannel* FirstChannel();

}  // namespace common::debug

// A channel shared by several files: declare it in a header, define it in exactly one file.
#define TOV_DECLARE_LOG_CHANNEL(name) extern ::common::debug::LogChannel g_logChannel_##name
#define TOV_DEFINE_LOG_CHANNEL(name) ::common::debug::LogChannel g_logChannel_##name(#name)
