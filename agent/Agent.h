#pragma once

// One start of the agent: the running flag, one command, its answer, the exit code.

#include <string>
#include <string_view>

namespace agent {

inline constexpr char16_t kRunningFlag[] = u"\\tov_agent_running.flg";
inline constexpr char16_t kOutputFile[] = u"\\tov_agent_output.dta";

// The answer file's bytes: "[" section "]" U+000A value, UTF-16LE without byte-order mark.
std::string FormatAnswer(std::u16string_view section, std::u16string_view value);

// Creates the running flag, runs the command, writes the answer, deletes the flag (with up to
// 5 more tries 50 ms apart). Returns 1 after a failed command (or when no answer could be
// written) and 0 otherwise.
int AgentMain(std::u16string_view commandLine);

}  // namespace agent
