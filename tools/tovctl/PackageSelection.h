#pragma once

// Turns the package names of an install or remove command into package orders, the way the
// wizard's package grid marks them.

#include <cstdint>
#include <string>
#include <vector>

#include "updaterlib/PackageDatabase.h"

namespace tovctl {

// One package version of the database.
struct PackageRow {
    int32_t id = -1;
    std::string name;
    std::string version;
    std::string displayName;
    int32_t status = 0;
    int32_t type = 0;
    bool mandatory = false;
    bool outdated = false;  // no longer offered by the server
    int64_t size = 0;
    std::vector<int32_t> groups;
};

struct Selection {
    std::vector<updaterlib::PackageOrder> orders;
    std::vector<std::string> notes;  // what was added or skipped, for the user
};

// Every package version of the database, ordered by name and id; false on a database failure.
bool ReadPackageRows(updaterlib::PackageDatabase& database, std::vector<PackageRow>& rows);

// Orders "-1" below 0 when a is lower than b: dot-separated parts, numbers compared as
// numbers, other parts as text.
int CompareVersions(const std::string& a, const std::string& b);

// NAME[@VERSION] specs: the named version (or the highest offered), plus the highest offered
// version of every mandatory package; each gets operation 4 unless already installed, and any
// other installed or prepared version of the same name gets operation 2. False with a message
// when a name or version is not in the database.
bool SelectInstall(const std::vector<PackageRow>& rows, const std::vector<std::string>& specs,
                   Selection& selection, std::string& error);

// Every installed or prepared version of the named packages gets operation 2. False with a
// message when a name has none.
bool SelectRemove(const std::vector<PackageRow>& rows, const std::vector<std::string>& names,
                  Selection& selection, std::string& error);

}  // namespace tovctl
