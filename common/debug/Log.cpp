#include "common/debug/Log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "common/debug/LogSink.h"

namespace common::debug {

std::string FileNamePart(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string QualifiedFunctionName(const char* prettyFunction) {
    if (prettyFunction == nullptr) return {};
    const std::string text(prettyFunction);
    // The parameter list starts at the first "(" outside template brackets; "operator()" and
    // lambdas ("<lambda()>") are the cases that make the bracket count necessary.
    int angle = 0;
    size_t open = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<') ++angle;
        else if (c == '>' && angle > 0) --angle;
        else if (c == '(' && angle == 0) {
            if (i >= 8 && text.compare(i - 8, 8, "operator") == 0 && i + 1 < text.size() &&
                text[i + 1] == ')') {
                ++i;  // "operator()": the first pair is the name
                continue;
            }
            open = i;
            break;
        }
    }
    const std::string head = text.substr(0, open);
    // The return type ends at the last space outside template brackets.
    angle = 0;
    size_t start = 0;
    for (size_t i = head.size(); i-- > 0;) {
        const char c = head[i];
        if (c == '>') ++angle;
        else if (c == '<' && angle > 0) --angle;
        else if (c == ' ' && angle == 0) {
            start = i + 1;
            break;
        }
    }
    return head.substr(start);
}

uint32_t CurrentThreadId() {
    thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
    return id;
}

void Dispatch(const LogChannel& channel, const LogLocation& location, int level,
              const std::string& message) {
    const uint32_t threadId = CurrentThreadId();
    for (int slot = 0; slot < LogChannel::kSlots; ++slot) {
        LogSink* sink = channel.sinks[slot].load(std::memory_order_acquire);
        if (sink == nullptr) break;
        if (channel.levels[slot].load(std::memory_order_relaxed) >= level) {
            sink->Write(location, channel.name, level, threadId, message);
        }
    }
}

LogCallSite::LogCallSite(const char* path, int line, const char* prettyFunction, const char* format)
    : formatText_(format ? format : "") {
    location_.path = path ? path : "";
    location_.fileName = FileNamePart(location_.path);
    location_.line = line;
    location_.function = QualifiedFunctionName(prettyFunction);
    try {
        // Too few or too many arguments must not throw out of a logging call.
        format_.exceptions(boost::io::all_error_bits & ~(boost::io::too_few_args_bit |
                                                         boost::io::too_many_args_bit));
        format_.parse(formatText_);
    } catch (...) {
        formatValid_ = false;  // an unparsable format is logged as it stands
    }
}

}  // namespace common::debug
