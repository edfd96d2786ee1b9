// The agent's command-line tokenizer over any UTF-16 text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "agent/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string line;
    for (size_t i = 0; i + 1 < size; i += 2) {
        line += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    const auto tokens = agent::TokenizeCommandLine(line);
    if (tokens.size() < 6) {
        __builtin_trap();
    }
    size_t units = 0;
    bool padding = false;
    for (const auto& token : tokens) {
        if (token.find(u'"') != std::u16string::npos) {
            __builtin_trap();  // quotes belong to no token
        }
        if (token.empty()) {
            padding = true;
        } else if (padding) {
            __builtin_trap();  // empty tokens are only the padding at the end
        }
        units += token.size();
    }
    if (units > line.size()) {
        __builtin_trap();
    }
    return 0;
}
