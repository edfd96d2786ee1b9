#pragma once

// The agent's command line: tokens split at spaces outside double quotes.

#include <string>
#include <string_view>
#include <vector>

namespace agent {

// A space outside quotes ends a token; a double quote switches quoting and belongs to no
// token; empty tokens are dropped. The list is padded with empty tokens to `minimumCount`.
std::vector<std::u16string> TokenizeCommandLine(std::u16string_view commandLine,
                                                size_t minimumCount = 6);

}  // namespace agent
