#pragma once

#include <cstdint>
#include <string>

namespace updaterlib {

// One group of the catalogue's group tree; fields carry the names of their columns.
struct PackageGroup {
    std::string name;
    std::string translation;
    std::string parent_name;  // resolved to tov_groups.parent by the merge; empty at the top
    std::string description;
    int32_t type = 0;
    int32_t id = -1;
    int32_t required = 0;
};

}  // namespace updaterlib
