#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "updaterlib/PackageFile.h"

namespace updaterlib {

// tov_packages.type
enum PackageType : int32_t {
    kTypeUnknown = 0,
    kTypeApplication = 1,
    kTypeSkin = 2,
    kTypeMap = 3,
    kTypeVoice = 4,
    kTypeFont = 5,
    kTypeApplicationData = 6,
    kTypeTranslation = 8,
};

// tov_packages.status
enum PackageStatus : int32_t {
    kStatusAvailable = 1,
    kStatusPreparing = 2,
    kStatusPrepared = 3,
    kStatusInstalled = 4,
};

// tov_packages.operation
enum PackageOperation : int32_t {
    kOperationNone = 1,
    kOperationUninstall = 2,
    kOperationInstall = 4,
};

// One package version, from the database or the catalogue; fields carry the names of their
// columns. A plain value, copied freely.
struct Package {
    Package() = default;
    Package(std::string name, std::string version, int32_t type, bool mandatory)
        : name(std::move(name)), version(std::move(version)), type(type), mandatory(mandatory) {}

    std::string name;
    std::string version;
    std::string translation;  // display name
    std::string baseurl;      // catalogue only
    int32_t type = kTypeUnknown;
    int32_t status = 0;
    int32_t operation = 0;
    bool recommended = false;
    bool mandatory = false;
    bool outdated = false;
    std::vector<PackageFile> files;
    // Catalogue: the names of the package's groups; database: their ids as decimal text.
    std::vector<std::string> groups;
    uint32_t size = 0;   // download size in bytes
    std::string brand;   // catalogue only
    std::string description;
    int16_t skin_width = -1;
    int16_t skin_height = -1;
    int16_t skin_density = -1;
    std::string voice_speaker;
    std::string voice_lang;
    std::string country_code;
    int32_t map_format = 0;
    int32_t map_provider = 0;
    int32_t map_release = 0;
    int32_t id = -1;  // -1: not in the database yet
    std::string trial;
};

}  // namespace updaterlib
