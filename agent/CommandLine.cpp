#include "agent/CommandLine.h"

namespace agent {

std::vector<std::u16string> TokenizeCommandLine(std::u16string_view commandLine,
                                                size_t minimumCount) {
    std::vector<std::u16string> tokens;
    std::u16string token;
    bool quoted = false;
    for (const char16_t unit : commandLine) {
        if (unit == u'"') {
            quoted = !quoted;
        } else if (unit == u' ' && !quoted) {
            if (!token.empty()) {
                tokens.push_back(std::move(token));
                token.clear();
            }
        } else {
            token += unit;
        }
    }
    if (!token.empty()) {
        tokens.push_back(std::move(token));
    }
    if (tokens.size() < minimumCount) {
        tokens.resize(minimumCount);
    }
    return tokens;
}

}  // namespace agent
