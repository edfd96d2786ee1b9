#include "tools/update_server/ManifestReader.h"

#include <fstream>
#include <sstream>

namespace update_server {
namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

const std::string* ManifestSection::Find(const std::string& key) const {
    const std::string* found = nullptr;
    for (const ManifestEntry& entry : entries) {
        if (entry.key == key) found = &entry.value;
    }
    return found;
}

bool ManifestReader::Parse(const std::string& text, std::vector<ManifestSection>& sections,
                           std::string& error) {
    sections.clear();
    std::istringstream input(text);
    std::string raw;
    int number = 0;
    while (std::getline(input, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') {
                error = "line " + std::to_string(number) + ": section header without ']'";
                return false;
            }
            const std::string header = Trim(line.substr(1, line.size() - 2));
            const auto space = header.find_first_of(" \t");
            ManifestSection section;
            section.kind = header.substr(0, space);
            section.argument = space == std::string::npos ? "" : Trim(header.substr(space));
            section.line = number;
            if (section.kind.empty()) {
                error = "line " + std::to_string(number) + ": empty section header";
                return false;
            }
            sections.push_back(std::move(section));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            error = "line " + std::to_string(number) + ": expected 'key = value'";
            return false;
        }
        if (sections.empty()) {
            error = "line " + std::to_string(number) + ": entry before the first section";
            return false;
        }
        ManifestEntry entry{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), number};
        if (entry.key.empty()) {
            error = "line " + std::to_string(number) + ": entry without a key";
            return false;
        }
        sections.back().entries.push_back(std::move(entry));
    }
    return true;
}

bool ManifestReader::ParseFile(const std::string& path, std::vector<ManifestSection>& sections,
                               std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    if (!Parse(text.str(), sections, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace update_server
