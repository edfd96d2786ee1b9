#pragma once

// Test helpers: a fresh folder below the system temporary folder, removed with its contents,
// and the whole-file reads and writes the tests check files with.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TestTempFolder {
public:
    TestTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tovfilesXXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TestTempFolder() {
        std::error_code ignored;
        if (!path_.empty()) {
            // Read-only entries must not stop the clean-up.
            for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
            }
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TestTempFolder(const TestTempFolder&) = delete;
    TestTempFolder& operator=(const TestTempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The bytes of the file, empty when it cannot be read.
inline std::string ReadFileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void WriteFileContent(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}
