#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace common::debug {

struct LogLocation;

// An output device for log lines. Constructing a sink registers it; destroying it unlinks it
// and detaches it from every channel, both under the logging lock.
class LogSink {
public:
    explicit LogSink(std::string parameter);
    virtual ~LogSink();
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    virtual void Write(const LogLocation& location, const char* channelName, int level,
                       uint32_t threadId, const std::string& message) = 0;

    // The file path, the colour letters, or empty.
    const std::string& Parameter() const { return parameter_; }

private:
    friend class SinkRegistry;
    const std::string parameter_;
    LogSink* newer_ = nullptr;  // intrusive registry links, newest first
    LogSink* older_ = nullptr;
};

// Attaches the sink to the channels that the selection text names ("ALL", "ALLBUT,...",
// items split at "," or ";") at the given level. Runs under the logging lock.
void Attach(LogSink& sink, std::string_view selection, int level);
// Clears the sink from every channel, keeping each channel's occupied slots contiguous.
void Detach(LogSink& sink);

// Hands a heap sink to the registry, which destroys it at exit (newest first) or on
// DestroySinks().
LogSink& AdoptSink(std::unique_ptr<LogSink> sink);
// Destroys every adopted sink, newest first.
void DestroySinks();

}  // namespace common::debug
