#include "common/debug/FileSink.h"

#include <chrono>
#include <ctime>

#include "common/debug/Log.h"

namespace common::debug {

FileSink::FileSink(std::string path) : LogSink(std::move(path)) {}

FileSink::~FileSink() {
    // Unlink before closing: the base destructor would run too late for a writer that races us.
    Detach(*this);
    std::lock_guard guard(lock_);
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
}

void FileSink::Write(const LogLocation& location, const char* channelName, int level,
                     uint32_t threadId, const std::string& message) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                            now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);

    std::lock_guard guard(lock_);
    if (!stream_) {
        stream_ = std::fopen(Parameter().c_str(), "a");
        if (!stream_) return;  // dropped; the next line tries again
    }
    std::fprintf(stream_, "[%02d:%02d:%02d.%03d] %c [%x] %s:%d:%s: %s in %s\n", local.tm_hour,
                 local.tm_min, local.tm_sec, static_cast<int>(millis), LevelLetter(level), threadId,
                 location.fileName.c_str(), location.line, channelName, message.c_str(),
                 location.function.c_str());
    std::fflush(stream_);
}

}  // namespace common::debug
