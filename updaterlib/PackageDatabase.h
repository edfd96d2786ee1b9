#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "quorvalib/sqlite/CollationLocale.h"
#include "quorvalib/sqlite/Connection.h"
#include "updaterlib/Package.h"
#include "updaterlib/PackageGroup.h"

namespace quorvalib::localization {
class LocalizationConfig;
}

namespace quorvalib::sqlite {
class Command;
}

namespace updaterlib {

// An order for one package: set its operation (kOperationNone, kOperationUninstall,
// kOperationInstall).
struct PackageOrder {
    int32_t id;
    int32_t operation;
};

// The per-target record of offered, prepared and installed packages: the SQLite file
// "packages". Shared by the updater service, the transaction factory and the list models,
// which take Lock() around their own queries on the connection. Every public operation holds
// the lock for its whole run; the lock is recursive, so operations may call each other.
class PackageDatabase : public quorvalib::sqlite::Connection {
public:
    // Result codes of every operation.
    enum Result : int {
        kOk = 0,
        kUpgradeFailed = 1,    // Init: an existing file could not be brought to the version
        kOpenFailed = 2,       // Init
        kNotOpen = 3,          // also: no application package (SetApplicationFromInstalled)
        kQueryFailed = 4,
        kNoAppInfoRow = 5,     // GetPlatform, GetBrand
        kEmptyIdList = 6,      // reading by ids
        kAppInfoMissing = 7,   // Init and the setters; also a failed collation registration
    };

    static constexpr const char* kFileName = "packages";

    PackageDatabase() = default;
    ~PackageDatabase() override;

    // Opens or creates "<directory>/packages" and brings it to the current version. An empty
    // directory means the program's data directory. The locale provider's language name
    // selects the collation locale of display names. May be called again to reopen; a failed
    // Init leaves the database closed.
    int Init(const std::string& directory = {},
             const quorvalib::localization::LocalizationConfig* localeProvider = nullptr);

    int GetPackagesReadyToInstall(std::vector<Package>& packages);
    int GetPackagesToUninstall(std::vector<Package>& packages);
    int GetPreparingPackages(std::vector<Package>& packages);

    // Applies the orders in one transaction; an install order also orders the removal of the
    // installed older version of the same name. Returns every package touched.
    int SetPackageOrders(const std::vector<PackageOrder>& orders, std::vector<Package>& packages);
    int SetPackageStatus(int32_t packageId, int32_t status);
    int SetPackageOrder(int32_t packageId, int32_t operation);
    int SetFileMode(int32_t fileId, int32_t mode);
    int MarkFileInstalled(int32_t fileId);
    int ResetFileMode(int32_t fileId);
    // After a package was removed from the target: an outdated package is deleted with its
    // files and memberships, a current one becomes available with no order.
    int FinishUninstall(const Package& package);

    int GetPlatform(std::string& platform);
    int GetBrand(std::string& brand);
    int SetVersion(const std::string& version);
    int SetPlatform(const std::string& platform);
    int SetBrand(const std::string& brand);
    int SetUpdaterState(int32_t state);
    // Copies the version of the current application package into app_info.
    int SetApplicationFromInstalled();

    // Merges a parsed catalogue (PackageDatabaseMerge.cpp) in one immediate transaction:
    // kOk, kNotOpen, or kQueryFailed after a rollback that leaves the file as it was.
    int UpdateDatabase(const std::vector<PackageGroup>& groups,
                       const std::vector<Package>& packages);

    // The list models hold this around their own queries on the connection.
    std::recursive_mutex& Lock() const { return lock_; }
    // The file's path after Init; empty before.
    std::string Path() const;

    bool OnError(int code, sqlite3* handle, const char* message, const char* sql) override;

protected:
    // Shared by the getters and the catalogue merge; callers hold the lock.

    // Reads the packages that "SELECT <columns> FROM tov_packages <where>" selects, in row
    // order, each with its files and group ids. Clears the vector first. kOk or kQueryFailed.
    int _ReadPackages(const std::string& where, std::vector<Package>& packages);
    // "WHERE id IN (...)"; kEmptyIdList for no ids.
    int _ReadPackagesByIds(const std::vector<int32_t>& ids, std::vector<Package>& packages);

    // Prepares sql, binds the integer parameters by name and runs it once.
    struct IntParameter {
        const char* name;
        int32_t value;
    };
    bool _Run(const char* sql, std::initializer_list<IntParameter> parameters);

    // Indexes for the merge's per-row queries (PackageDatabaseMerge.cpp); readers that do not
    // know them ignore them, so db_version stays. Callers hold the lock.
    bool _CreateMergeIndexes();

    // The SQLite code of the last failure that reached OnError since _ClearError; 0 when none.
    // Tells "no row" apart from "the query failed".
    int _LastError() const { return lastError_; }
    void _ClearError() { lastError_ = 0; }

private:
    int _Open(const std::string& directory,
              const quorvalib::localization::LocalizationConfig* localeProvider);
    int _CheckVersionAndUpgrade();
    int _CreateDb();
    bool _UpgradeDb(int version);
    bool _UpgradeDbToCommands(int version, const std::vector<const char*>& statements);
    bool _ReadFiles(quorvalib::sqlite::Command& files, Package& package);
    bool _ReadGroups(quorvalib::sqlite::Command& groups, Package& package);
    int _GetAppInfoText(const char* sql, std::string& text);
    int _CheckAppInfoRow(const char* sql);
    int _SetAppInfoText(const char* checkSql, const char* updateSql, const char* parameter,
                        const std::string& value);
    bool _Begin(const char* sql);
    int _Fail();

    mutable std::recursive_mutex lock_;
    std::string path_;
    quorvalib::sqlite::CollationLocale collationLocale_;
    int lastError_ = 0;
};

}  // namespace updaterlib
