#pragma once

#include <cstdint>

#include "updaterlib/QueryTableModel.h"

namespace updaterlib {

class PackageDatabase;

// The packages of one group as the install page lists them: in install mode the current
// packages that can be installed or updated (with the installed version of the same name in
// the "old_" columns), in uninstall mode the installed and prepared ones. A snapshot made once.
class PackageModel : public QueryTableModel {
public:
    enum Mode : int32_t { kInstall = 0, kUninstall = 1 };
    enum Column : int32_t {
        kId, kName, kSize, kMandatory, kOutdated, kDescription, kVersion, kStatus, kOperation,
        kType, kOldId, kOldVersion, kOldSize, kCountryCode, kMapFormat, kMapProvider,
        kMapRelease, kRecommended, kTrial, kColumnCount
    };

    static const char* const kInstallQuery;
    static const char* const kUninstallQuery;

    // Any mode but kInstall and kUninstall gives an empty model.
    PackageModel(int32_t mode, PackageDatabase& database, int32_t groupId);

    int32_t Mode() const { return mode_; }
    int32_t GroupId() const { return groupId_; }

private:
    const int32_t mode_;
    const int32_t groupId_;
};

}  // namespace updaterlib
