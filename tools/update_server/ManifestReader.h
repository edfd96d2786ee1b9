#pragma once

// Reads the repository's manifest files: "[kind argument]" section headers followed by
// "key = value" lines; "#" and ";" start comment lines.

#include <string>
#include <utility>
#include <vector>

namespace update_server {

struct ManifestEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct ManifestSection {
    std::string kind;      // the header's first word
    std::string argument;  // the rest of the header, trimmed; may be empty
    int line = 0;
    std::vector<ManifestEntry> entries;

    // The value of the last entry with this key, or null.
    const std::string* Find(const std::string& key) const;
};

class ManifestReader {
public:
    // False with a message naming the line when the text is not in the manifest format.
    static bool Parse(const std::string& text, std::vector<ManifestSection>& sections,
                      std::string& error);
    // Reads and parses a file; the message names the file.
    static bool ParseFile(const std::string& path, std::vector<ManifestSection>& sections,
                          std::string& error);
};

}  // namespace update_server
