#include "quorvalib/platform/ProgramFile.h"

#include <unistd.h>

#include <vector>

namespace quorvalib::platform {

std::string ProgramFilePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 2);  // the link may have been cut short
    }
}

std::string ProgramDirectory() {
    const std::string file = ProgramFilePath();
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return file.substr(0, slash);
}

}  // namespace quorvalib::platform
