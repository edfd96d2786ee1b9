#pragma once

// Test helper: a small repository in a temporary folder.

#include <filesystem>
#include <fstream>
#include <string>

#include "quorvalib/files/TestTempFolder.h"

namespace update_server::testing {

inline void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Two groups (maps > europe), an application (mandatory, two files) and a map in version 1.0.
class RepositoryFixture {
public:
    RepositoryFixture() {
        WriteFile(root_ / "repository.ini",
                  "[repository]\nplatforms = wince linux\n"
                  "[group maps]\ntype = map\ndisplay-name = Maps\ndisplay-name.cs = Mapy\n"
                  "[group europe]\ntype = map\nparent = maps\nrequired = one\n"
                  "description = Maps of Europe\ndisplay-name = Europe\n");
        WriteFile(root_ / "app/1.0/package.ini",
                  "[package]\nname = navigator\nversion = 1.0\ntype = app\nrequired = true\n"
                  "display-name = Navigator\ndisplay-name.cs = Navigace\n"
                  "description = The navigation application & its data\n"
                  "[file]\npath = navigator.bin\n"
                  "[file]\npath = defaults.cfg\ndstdir = config\nsource = data/defaults.cfg\n");
        WriteFile(root_ / "app/1.0/navigator.bin", kAppBinary);
        WriteFile(root_ / "app/1.0/data/defaults.cfg", kAppConfig);
        AddMap("1.0", kMapV1);
    }

    void AddMap(const std::string& version, const std::string& content) {
        const std::string folder = root_ / ("maps/cz/" + version);
        WriteFile(folder + "/package.ini",
                  "[package]\nname = map-cz\nversion = " + version +
                      "\ntype = map\ngroups = europe\ndisplay-name = Czechia\n"
                      "map = 1A OS 2011\n[file]\npath = cz.map\ndstdir = maps\n");
        WriteFile(folder + "/cz.map", content);
    }

    const std::string& Root() const { return root_.Path(); }
    std::string operator/(const std::string& name) const { return root_ / name; }

    static constexpr const char* kAppBinary = "\x7f" "ELF navigator binary\n";
    static constexpr const char* kAppConfig = "volume=7\n";
    static constexpr const char* kMapV1 = "map of Czechia, first edition";

private:
    TestTempFolder root_;
};

}  // namespace update_server::testing
