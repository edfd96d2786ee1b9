#include "updaterlib/PackageDatabase.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "quorvalib/localization/LocalizationConfig.h"
#include "quorvalib/sqlite/Command.h"
#include "updaterlib/DefaultDataDirectory.h"
#include "updaterlib/Md5Text.h"
#include "updaterlib/PackageDatabaseSchema.h"
#include "updaterlib/PackageDbLog.h"

TOV_DEFINE_LOG_CHANNEL(PackageDb);

namespace updaterlib {

using quorvalib::sqlite::Command;

namespace {

const char* const kPackageColumns =
    "SELECT id, name, mandatory, translation, description, version, type, status, operation, "
    "size, skin_width, skin_height, skin_density, voice_speaker, voice_lang, outdated, "
    "country_code, map_format, recommended, trial, map_provider, map_release "
    "FROM tov_packages ";
const char* const kSelectFiles =
    "SELECT id, pkgid, file_path, md5, target_dir, source_path, mode FROM tov_package_files "
    "WHERE pkgid = :package_id";
const char* const kSelectGroups = "SELECT gid FROM tov_grouped_packages WHERE pkgid = :package_id";
const char* const kSetStatus = "UPDATE tov_packages SET status= :status WHERE id= :id";
const char* const kSetOrder = "UPDATE tov_packages SET operation= :order WHERE id= :id";
const char* const kSetFileMode = "UPDATE tov_package_files SET mode= :mode WHERE id= :id";
const char* const kSelectInstalledOlder =
    "SELECT old_package.id FROM tov_packages new_package INNER JOIN tov_packages old_package "
    "ON new_package.name = old_package.name AND new_package.id != old_package.id AND "
    "old_package.status = :status WHERE new_package.id = :id";

std::string Where(const char* format, int first, int second = 0) {
    char where[64];
    snprintf(where, sizeof where, format, first, second);
    return where;
}

}  // namespace

PackageDatabase::~PackageDatabase() {
    // Closed here, not by the base, so that a rollback on the way reaches this class's hook.
    std::lock_guard guard(lock_);
    Close();
}

std::string PackageDatabase::Path() const {
    std::lock_guard guard(lock_);
    return path_;
}

bool PackageDatabase::OnError(int code, sqlite3*, const char* message, const char* sql) {
    lastError_ = code != 0 ? code : SQLITE_ERROR;
    TOV_LOG_ERROR(PackageDb, "Sqlite error: %s on query %s", message, sql);
    return false;
}

bool PackageDatabase::_Run(const char* sql, std::initializer_list<IntParameter> parameters) {
    Command command(*this);
    if (!command.Create(sql)) {
        return false;
    }
    for (const IntParameter& parameter : parameters) {
        if (!command.Bind(parameter.value, parameter.name)) {
            return false;
        }
    }
    return command.Execute();
}

bool PackageDatabase::_Begin(const char* sql) { return ExecuteNonQuery(sql); }

// Rolls back whatever transaction is open and reports the failed statement.
int PackageDatabase::_Fail() {
    Rollback();
    return kQueryFailed;
}

// --- Init, creation and upgrade -----------------------------------------------------------

int PackageDatabase::Init(const std::string& directory,
                          const quorvalib::localization::LocalizationConfig* localeProvider) {
    std::lock_guard guard(lock_);
    if (IsOpen()) {
        Close();
    }
    const int result = _Open(directory, localeProvider);
    if (result != kOk && IsOpen()) {
        // A file this class cannot use stays closed, so no later operation touches it.
        Close();
    }
    return result;
}

int PackageDatabase::_Open(const std::string& directory,
                           const quorvalib::localization::LocalizationConfig* localeProvider) {
    const std::string folder = directory.empty() ? DefaultDataDirectory() : directory;
    if (folder.empty()) {
        TOV_LOG_ERROR(PackageDb,
                      "Failed to open package database '%s': no data directory is set.",
                      kFileName);
        return kOpenFailed;
    }
    path_ = folder + "/" + kFileName;
    _ClearError();
    if (!Open(path_)) {
        TOV_LOG_ERROR(PackageDb, "Failed to open package database '%s'.", path_.c_str());
        return kOpenFailed;
    }
    if (!CreateCollation(&collationLocale_)) {
        return kAppInfoMissing;
    }
    if (localeProvider) {
        collationLocale_.Set(localeProvider->GetLanguageName());
    }
    sqlite3_extended_result_codes(Handle(), 1);
    return _CheckVersionAndUpgrade();
}

int PackageDatabase::_CheckVersionAndUpgrade() {
    _ClearError();
    if (!TableExists("app_info")) {
        if (_LastError() != 0) {
            TOV_LOG_ERROR(PackageDb, "Failed to check sqlite_master.");
            return kQueryFailed;
        }
        return _CreateDb();
    }
    Command version(*this);
    if (version.Create("SELECT db_version FROM app_info") && version.GetRow()) {
        const int stored = version.GetInt(0);
        version.Finalize();
        if (stored == schema::kCurrentVersion) {
            return kOk;
        }
        return _UpgradeDb(stored) ? kOk : kUpgradeFailed;
    }
    version.Finalize();
    if (_LastError() == 0) {
        TOV_LOG_ERROR(PackageDb, "Wrong number of records in app_info table.");
        return kAppInfoMissing;
    }
    TOV_LOG_ERROR(PackageDb, "Failed to check package database version.");
    return kQueryFailed;
}

int PackageDatabase::_CreateDb() {
    if (!IsOpen()) {
        return kNotOpen;
    }
    if (!_Begin("begin immediate transaction")) {
        return kQueryFailed;  // nothing of ours to roll back
    }
    for (const char* statement : schema::CreationStatements()) {
        if (!ExecuteNonQuery(statement)) {
            return _Fail();
        }
    }
    if (!_Run(schema::kInsertAppInfo, {{":version", 1}, {":state", -1}}) ||
        !ExecuteNonQuery("commit")) {
        return _Fail();
    }
    return _UpgradeDb(1) ? kOk : _Fail();
}

bool PackageDatabase::_UpgradeDbToCommands(int version,
                                           const std::vector<const char*>& statements) {
    for (const char* statement : statements) {
        if (!ExecuteNonQuery(statement)) {
            TOV_LOG_ERROR(PackageDb, "Failed to upgrade package database to version %d on query %s",
                          version, statement);
            return false;
        }
    }
    if (!_Run(schema::kUpdateVersion, {{":NEW_VERSION", version}})) {
        TOV_LOG_ERROR(PackageDb, "Failed to upgrade package database to version %d on query %s",
                      version, schema::kUpdateVersion);
        return false;
    }
    return true;
}

bool PackageDatabase::_UpgradeDb(int version) {
    if (!_Begin("begin immediate transaction")) {
        return false;
    }
    int current = version;
    for (const schema::UpgradeStep& step : schema::UpgradeSteps()) {
        if (step.version != current + 1) {
            continue;
        }
        if (!_UpgradeDbToCommands(step.version, step.statements)) {
            Rollback();
            return false;
        }
        current = step.version;
    }
    if (current != schema::kCurrentVersion) {
        // Newer than this program, or no version at all: refused, the file stays as it was.
        TOV_LOG_ERROR(PackageDb, "Incompatible database version %d.", current);
        Rollback();
        return false;
    }
    if (!ExecuteNonQuery("commit")) {
        TOV_LOG_ERROR(PackageDb, "Database upgrade failed.");
        Rollback();
        return false;
    }
    return true;
}

// --- Reading packages ---------------------------------------------------------------------

bool PackageDatabase::_ReadFiles(Command& files, Package& package) {
    _ClearError();
    if (!files.Bind(package.id, ":package_id")) {
        return false;
    }
    while (files.GetRow()) {
        PackageFile file;
        file.id = files.GetInt("id");
        file.pkgid = package.id;
        file.file_path = files.GetText("file_path");
        const std::string md5 = files.GetText("md5");
        if (!Md5TextToBytes(md5, file.md5)) {
            // Kept without a digest: its check then fails instead of passing.
            TOV_LOG_ERROR(PackageDb, "Invalid md5 text '%s' of package file %d.", md5.c_str(),
                          file.id);
        }
        file.target_dir = files.GetText("target_dir");
        file.source_path = files.GetText("source_path");
        file.mode = files.GetInt("mode");
        package.files.push_back(std::move(file));
    }
    return _LastError() == 0;
}

bool PackageDatabase::_ReadGroups(Command& groups, Package& package) {
    _ClearError();
    if (!groups.Bind(package.id, ":package_id")) {
        return false;
    }
    while (groups.GetRow()) {
        package.groups.push_back(groups.GetText("gid"));
    }
    return _LastError() == 0;
}

int PackageDatabase::_ReadPackages(const std::string& where, std::vector<Package>& packages) {
    packages.clear();
    Command select(*this);
    Command files(*this);
    Command groups(*this);
    _ClearError();
    if (!select.Create(std::string(kPackageColumns) + where) || !files.Create(kSelectFiles) ||
        !groups.Create(kSelectGroups)) {
        TOV_LOG_ERROR(PackageDb, "Failed to read packages %s.", where.c_str());
        packages.clear();
        return kQueryFailed;
    }
    while (select.GetRow()) {
        Package package;
        package.id = select.GetInt("id");
        package.name = select.GetText("name");
        package.mandatory = select.GetInt("mandatory") != 0;
        package.translation = select.GetText("translation");
        package.description = select.GetText("description");
        package.version = select.GetText("version");
        package.type = select.GetInt("type");
        package.status = select.GetInt("status");
        package.operation = select.GetInt("operation");
        package.size = static_cast<uint32_t>(select.GetInt("size"));
        package.skin_width = static_cast<int16_t>(select.GetInt("skin_width"));
        package.skin_height = static_cast<int16_t>(select.GetInt("skin_height"));
        package.skin_density = static_cast<int16_t>(select.GetInt("skin_density"));
        package.voice_speaker = select.GetText("voice_speaker");
        package.voice_lang = select.GetText("voice_lang");
        package.outdated = select.GetInt("outdated") != 0;
        package.country_code = select.GetText("country_code");
        package.map_format = select.GetInt("map_format");
        package.recommended = select.GetInt("recommended") != 0;
        package.trial = select.GetText("trial");
        package.map_provider = select.GetInt("map_provider");
        package.map_release = select.GetInt("map_release");
        if (!_ReadFiles(files, package) || !_ReadGroups(groups, package)) {
            TOV_LOG_ERROR(PackageDb, "Failed to read the files and groups of package %d.",
                          package.id);
            packages.clear();
            return kQueryFailed;
        }
        packages.push_back(std::move(package));
        _ClearError();
    }
    if (_LastError() != 0) {
        TOV_LOG_ERROR(PackageDb, "Failed to read packages %s.", where.c_str());
        packages.clear();
        return kQueryFailed;
    }
    return kOk;
}

int PackageDatabase::_ReadPackagesByIds(const std::vector<int32_t>& ids,
                                        std::vector<Package>& packages) {
    if (ids.empty()) {
        packages.clear();
        return kEmptyIdList;
    }
    std::string where = "WHERE id IN (";
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) {
            where += ", ";
        }
        where += std::to_string(ids[i]);
    }
    where += ")";
    return _ReadPackages(where, packages);
}

int PackageDatabase::GetPackagesReadyToInstall(std::vector<Package>& packages) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        packages.clear();
        return kNotOpen;
    }
    return _ReadPackages(Where("WHERE operation=%i AND status=%i", kOperationInstall,
                               kStatusPrepared),
                         packages);
}

int PackageDatabase::GetPackagesToUninstall(std::vector<Package>& packages) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        packages.clear();
        return kNotOpen;
    }
    return _ReadPackages(Where("WHERE operation=%i AND status>=%i", kOperationUninstall,
                               kStatusPreparing),
                         packages);
}

int PackageDatabase::GetPreparingPackages(std::vector<Package>& packages) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        packages.clear();
        return kNotOpen;
    }
    return _ReadPackages(Where("WHERE status=%i", kStatusPreparing), packages);
}

// --- Orders, states and modes -------------------------------------------------------------

int PackageDatabase::SetPackageOrders(const std::vector<PackageOrder>& orders,
                                      std::vector<Package>& packages) {
    std::lock_guard guard(lock_);
    packages.clear();
    if (!IsOpen()) {
        return kNotOpen;
    }
    if (!_Begin("begin transaction")) {
        return kQueryFailed;  // nothing of ours to roll back
    }
    std::vector<int32_t> ids;
    for (const PackageOrder& order : orders) {
        if (order.operation == kOperationInstall) {
            Command older(*this);
            _ClearError();
            int32_t olderId = 0;
            if (older.Create(kSelectInstalledOlder) &&
                older.Bind(int32_t{kStatusInstalled}, ":status") && older.Bind(order.id, ":id") &&
                older.GetRow()) {
                olderId = older.GetInt(0);
            }
            if (_LastError() != 0) {
                return _Fail();
            }
            older.Finalize();
            if (olderId > 0) {
                if (!_Run(kSetOrder, {{":order", kOperationUninstall}, {":id", olderId}})) {
                    return _Fail();
                }
                ids.push_back(olderId);
            }
        }
        ids.push_back(order.id);
        if (!_Run(kSetOrder, {{":order", order.operation}, {":id", order.id}})) {
            return _Fail();
        }
    }
    if (_ReadPackagesByIds(ids, packages) != kOk) {
        TOV_LOG_ERROR(PackageDb, "Failed to read the ordered packages.");
        packages.clear();
        return _Fail();
    }
    if (!ExecuteNonQuery("commit")) {
        packages.clear();
        return _Fail();
    }
    return kOk;
}

int PackageDatabase::SetPackageStatus(int32_t packageId, int32_t status) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        return kNotOpen;
    }
    return _Run(kSetStatus, {{":status", status}, {":id", packageId}}) ? kOk : kQueryFailed;
}

int PackageDatabase::SetPackageOrder(int32_t packageId, int32_t operation) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        return kNotOpen;
    }
    return _Run(kSetOrder, {{":order", operation}, {":id", packageId}}) ? kOk : kQueryFailed;
}

int PackageDatabase::SetFileMode(int32_t fileId, int32_t mode) {
    // Locked as well: the connection is shared, and an unlocked write could land inside another
    // thread's transaction and be rolled back with it.
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        return kNotOpen;
    }
    return _Run(kSetFileMode, {{":mode", mode}, {":id", fileId}}) ? kOk : kQueryFailed;
}

int PackageDatabase::MarkFileInstalled(int32_t fileId) {
    std::lock_guard guard(lock_);
    return SetFileMode(fileId, kFileInstalled);
}

int PackageDatabase::ResetFileMode(int32_t fileId) {
    std::lock_guard guard(lock_);
    return SetFileMode(fileId, kFileNotDownloaded);
}

int PackageDatabase::FinishUninstall(const Package& package) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        return kNotOpen;
    }
    if (!_Begin("begin transaction")) {
        return kQueryFailed;  // nothing of ours to roll back
    }
    const int32_t id = package.id;
    bool done;
    if (package.outdated) {
        done = _Run("DELETE FROM tov_grouped_packages WHERE pkgid= :id", {{":id", id}}) &&
               _Run("DELETE FROM tov_package_files WHERE pkgid= :id", {{":id", id}}) &&
               _Run("DELETE FROM tov_packages WHERE id= :id", {{":id", id}});
    } else {
        done = _Run(kSetStatus, {{":status", kStatusAvailable}, {":id", id}}) &&
               _Run(kSetOrder, {{":order", kOperationNone}, {":id", id}});
    }
    if (!done || !ExecuteNonQuery("commit")) {
        return _Fail();
    }
    return kOk;
}

// --- app_info -----------------------------------------------------------------------------

int PackageDatabase::_GetAppInfoText(const char* sql, std::string& text) {
    text.clear();
    if (!IsOpen()) {
        return kNotOpen;
    }
    Command select(*this);
    _ClearError();
    if (select.Create(sql) && select.GetRow()) {
        text = select.GetText(0);
        return kOk;
    }
    return _LastError() != 0 ? kQueryFailed : kNoAppInfoRow;
}

int PackageDatabase::GetPlatform(std::string& platform) {
    std::lock_guard guard(lock_);
    return _GetAppInfoText("SELECT platform FROM app_info", platform);
}

int PackageDatabase::GetBrand(std::string& brand) {
    std::lock_guard guard(lock_);
    return _GetAppInfoText("SELECT brand FROM app_info", brand);
}

int PackageDatabase::_CheckAppInfoRow(const char* sql) {
    Command select(*this);
    _ClearError();
    if (select.Create(sql) && select.GetRow()) {
        return kOk;
    }
    if (_LastError() != 0) {
        return kQueryFailed;
    }
    TOV_LOG_ERROR(PackageDb, "Wrong number of records in app_info table.");
    return kAppInfoMissing;
}

int PackageDatabase::_SetAppInfoText(const char* checkSql, const char* updateSql,
                                     const char* parameter, const std::string& value) {
    if (!IsOpen()) {
        return kNotOpen;
    }
    if (const int checked = _CheckAppInfoRow(checkSql); checked != kOk) {
        return checked;
    }
    Command update(*this);
    return update.Create(updateSql) && update.Bind(value, parameter) && update.Execute()
               ? kOk
               : kQueryFailed;
}

int PackageDatabase::SetVersion(const std::string& version) {
    std::lock_guard guard(lock_);
    return _SetAppInfoText("SELECT version FROM app_info", "UPDATE app_info SET version= :version",
                           ":version", version);
}

int PackageDatabase::SetPlatform(const std::string& platform) {
    std::lock_guard guard(lock_);
    return _SetAppInfoText("SELECT platform FROM app_info",
                           "UPDATE app_info SET platform= :platform", ":platform", platform);
}

int PackageDatabase::SetBrand(const std::string& brand) {
    std::lock_guard guard(lock_);
    return _SetAppInfoText("SELECT brand FROM app_info", "UPDATE app_info SET brand= :brand",
                           ":brand", brand);
}

int PackageDatabase::SetUpdaterState(int32_t state) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        return kNotOpen;
    }
    if (const int checked = _CheckAppInfoRow("SELECT updater_state FROM app_info");
        checked != kOk) {
        return checked;
    }
    return _Run("UPDATE app_info SET updater_state= :state", {{":state", state}}) ? kOk
                                                                                 : kQueryFailed;
}

int PackageDatabase::SetApplicationFromInstalled() {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        return kNotOpen;
    }
    Command select(*this);
    _ClearError();
    const char* const sql =
        "SELECT version FROM tov_packages WHERE type=? AND NOT outdated=1 LIMIT 1";
    if (!select.Create(sql) ||
        !select.Bind(int32_t{kTypeApplication}, 1)) {
        return kQueryFailed;
    }
    if (!select.GetRow()) {
        if (_LastError() != 0) {
            return kQueryFailed;
        }
        TOV_LOG_ERROR(PackageDb, "No current application version found.");
        return kNotOpen;
    }
    const std::string version = select.GetText(0);
    select.Finalize();
    Command update(*this);
    return update.Create("UPDATE app_info SET version=? WHERE 1") && update.Bind(version, 1) &&
                   update.Execute()
               ? kOk
               : kQueryFailed;
}

}  // namespace updaterlib
