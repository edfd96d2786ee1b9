#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace updaterlib {

// File modes stored in tov_package_files.mode.
enum FileMode : int32_t {
    kFileNotDownloaded = 1,
    kFileDownloading = 2,
    kFileDownloaded = 3,
    kFileChecked = 4,
    kFileInstalled = 5,
};

// One file of a package version; fields carry the names of their columns.
struct PackageFile {
    std::string file_path;    // relative file name
    std::string target_dir;   // relative folder on the target
    std::vector<uint8_t> md5;  // 16 bytes when known; stored as hexadecimal text
    std::string source_path;  // download address
    int32_t mode = kFileNotDownloaded;
    int32_t id = -1;
    int32_t pkgid = -1;
};

}  // namespace updaterlib
