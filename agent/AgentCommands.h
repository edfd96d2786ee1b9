#pragma once

// The agent's commands. Each gives its answer text, or nothing when it fails.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace agent {

// Dispatches token 1 (compared exactly) with its arguments. Unknown commands answer
// kNotImplemented; failed ones kFailed.
struct Answer {
    std::u16string value;
    bool failed = false;
};
Answer RunCommand(const std::vector<std::u16string>& tokens);

inline constexpr std::u16string_view kFailed = u"error occured";
inline constexpr std::u16string_view kNotImplemented = u"not implemented";

std::optional<std::u16string> GetAgentVersion();
std::optional<std::u16string> GetMountPoints();
std::optional<std::u16string> GetFileVersion(const std::u16string& path);
std::optional<std::u16string> GetMD5FileChecksum(const std::u16string& path);
std::optional<std::u16string> GetDbVersion(const std::u16string& path);
std::optional<std::u16string> GetFpakVersion(const std::u16string& path);
std::optional<std::u16string> GetVersions(const std::vector<std::u16string>& paths);

}  // namespace agent
