#pragma once

#include <cstdint>

#include "updaterlib/QueryTableModel.h"

namespace updaterlib {

class PackageDatabase;

// The groups below one parent (-1: the top level) that hold something to install (install
// mode) or to remove (uninstall mode), themselves or further down. A snapshot made once.
class GroupModel : public QueryTableModel {
public:
    enum Mode : int32_t { kInstall = 0, kUninstall = 1 };
    enum Column : int32_t {
        kGroupId, kGroupName, kGroupType, kChildrenCount, kRequired, kDescription, kColumnCount
    };
    static constexpr int32_t kTopLevel = -1;

    static const char* const kInstallQuery;
    static const char* const kUninstallQuery;

    // Any mode but kInstall and kUninstall gives an empty model.
    GroupModel(int32_t mode, PackageDatabase& database, int32_t parentId);

    int32_t Mode() const { return mode_; }
    int32_t ParentId() const { return parentId_; }

private:
    const int32_t mode_;
    const int32_t parentId_;
};

}  // namespace updaterlib
