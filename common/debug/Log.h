#pragma once

// The logging call every class uses:
//
//   TOV_DEFINE_LOG_CHANNEL(PackageDb);            // once, in the class's .cpp
//   TOV_LOG_ERROR(PackageDb, "Failed to open package database '%s'.", path);
//
// A call whose channel has no sink at that level costs two comparisons: nothing is formatted
// and nothing is allocated. Each call site parses its format once, on first use.

#include <cstdint>
#include <string>

#include <boost/format.hpp>

#include "common/debug/LogChannel.h"
#include "common/debug/LogLevel.h"

namespace common::debug {

// Filled once per call site.
struct LogLocation {
    std::string path;      // as the build gives it
    std::string fileName;  // the part after the last "/" or "\"
    int line = 0;
    std::string function;  // fully qualified, without return type and parameters
};

// "void ns::Class::Method(int) const" -> "ns::Class::Method"; empty for an empty text.
std::string QualifiedFunctionName(const char* prettyFunction);
// The part of a path after its last "/" or "\" (the whole path if it has neither).
std::string FileNamePart(const std::string& path);

// Calls each attached sink whose slot level accepts the message, in slot order. Takes no lock.
void Dispatch(const LogChannel& channel, const LogLocation& location, int level,
              const std::string& message);

// The calling thread's 32-bit identifier (the kernel thread id).
uint32_t CurrentThreadId();

namespace detail {
// A null C string must not reach the stream.
inline const char* Printable(const char* text) { return text ? text : "(null)"; }
inline const char* Printable(char* text) { return text ? text : "(null)"; }
template <typename T>
const T& Printable(const T& value) { return value; }
}  // namespace detail

class LogCallSite {
public:
    LogCallSite(const char* path, int line, const char* prettyFunction, const char* format);

    template <typename... Args>
    void Write(const LogChannel& channel, int level, const Args&... args) const noexcept {
        try {
            if (!formatValid_) {
                Dispatch(channel, location_, level, formatText_);
                return;
            }
            boost::format message(format_);
            static_cast<void>((message % ... % detail::Printable(args)));
            Dispatch(channel, location_, level, message.str());
        } catch (...) {
            // Logging never reports its own failures.
        }
    }

private:
    LogLocation location_;
    boost::format format_;
    std::string formatText_;
    bool formatValid_ = true;
};

}  // namespace common::debug

#define TOV_LOG(channel, level, format, ...)                                                  \
    do {                                                                                      \
        const ::common::debug::LogChannel& tovLogChannel_ = g_logChannel_##channel;           \
        const int tovLogLevel_ = (level);                                                     \
        if (tovLogChannel_.Enabled(tovLogLevel_)) {                                           \
            static const ::common::debug::LogCallSite tovLogSite_(__FILE__, __LINE__,         \
                                                                  __PRETTY_FUNCTION__, format); \
            tovLogSite_.Write(tovLogChannel_, tovLogLevel_ __VA_OPT__(, ) __VA_ARGS__);       \
        }                                                                                     \
    } while (0)

#define TOV_LOG_ERROR(channel, ...) TOV_LOG(channel, ::common::debug::kLogError, __VA_ARGS__)
#define TOV_LOG_WARNING(channel, ...) TOV_LOG(channel, ::common::debug::kLogWarning, __VA_ARGS__)
#define TOV_LOG_INFO(channel, ...) TOV_LOG(channel, ::common::debug::kLogInfo, __VA_ARGS__)
#define TOV_LOG_DEBUG(channel, ...) TOV_LOG(channel, ::common::debug::kLogDebug, __VA_ARGS__)
