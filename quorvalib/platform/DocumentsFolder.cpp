#include "quorvalib/platform/DocumentsFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace quorvalib::platform {
namespace {

std::string ExpandHome(std::string value, std::string_view home) {
    if (value == "$HOME" || value.starts_with("$HOME/")) {
        value.replace(0, 5, home);
    } else if (value.starts_with("${HOME}")) {
        value.replace(0, 7, home);
    }
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    return value;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::optional<std::string> HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return std::string(found->pw_dir);
    }
    return std::nullopt;
}

std::optional<std::string> ParseUserDirsDocuments(std::string_view content, std::string_view home) {
    std::optional<std::string> result;
    size_t start = 0;
    while (start <= content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = Trim(content.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#') continue;
        constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR";
        if (!line.starts_with(kKey)) continue;
        line = Trim(line.substr(kKey.size()));
        if (line.empty() || line.front() != '=') continue;
        line = Trim(line.substr(1));
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
            line = line.substr(1, line.size() - 2);
        }
        if (line.empty()) continue;
        result = ExpandHome(std::string(line), home);  // the last assignment wins, as in a shell
    }
    return result;
}

std::optional<std::string> DocumentsFolder() {
    const std::optional<std::string> home = HomeFolder();
    if (!home) return std::nullopt;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else {
        config = *home + "/.config";
    }
    std::ifstream file(config + "/user-dirs.dirs");
    if (file) {
        std::ostringstream content;
        content << file.rdbuf();
        if (auto documents = ParseUserDirsDocuments(content.str(), *home)) return documents;
    }
    if (const char* env = std::getenv("XDG_DOCUMENTS_DIR"); env && *env) {
        return ExpandHome(env, *home);
    }
    return *home + "/Documents";
}

}  // namespace quorvalib::platform
