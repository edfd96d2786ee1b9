#include "updaterlib/PackageDatabaseSchema.h"

namespace updaterlib::schema {
namespace {

const char* const kCreatePackages =
    "CREATE TABLE tov_packages (\n"
    "id            INTEGER PRIMARY KEY, \n"
    "name          TEXT, \n"
    "mandatory     INTEGER DEFAULT 0, \n"
    "translation   TEXT COLLATE WCSCOLL, \n"
    "description   TEXT, \n"
    "version       TEXT, \n"
    "type          INTEGER, \n"
    "status        INTEGER DEFAULT 0, \n"
    "operation     INTEGER, \n"
    "size          INTEGER, \n"
    "skin_width    INTEGER, \n"
    "skin_height   INTEGER, \n"
    "skin_density  INTEGER, \n"
    "voice_speaker TEXT, \n"
    "voice_lang    TEXT, \n"
    "outdated      INTEGER DEFAULT 0, \n"
    "CONSTRAINT package_unique UNIQUE (name, version, type)\n"
    ")";

const char* const kCreatePackageFiles =
    "CREATE TABLE tov_package_files (\n"
    "id INTEGER PRIMARY KEY, \n"
    "pkgid INTEGER, \n"
    "file_path TEXT, \n"
    "md5 TEXT, \n"
    "target_dir TEXT, \n"
    "source_path TEXT, \n"
    "mode INTEGER, \n"
    "FOREIGN KEY (pkgid) REFERENCES tov_packages(id) \n"
    ")";

const char* const kCreateGroupedPackages =
    "CREATE TABLE tov_grouped_packages (\n"
    "pkgid INTEGER, \n"
    "gid INTEGER, \n"
    "FOREIGN KEY (pkgid) REFERENCES tov_packages (id), \n"
    "FOREIGN KEY (gid) REFERENCES tov_groups (id), \n"
    "PRIMARY KEY (gid, pkgid)\n"
    ")";

const char* const kCreateGroups =
    "CREATE TABLE tov_groups (\n"
    "id INTEGER PRIMARY KEY, \n"
    "parent INTEGER, \n"
    "name TEXT UNIQUE, \n"
    "translation TEXT, \n"
    "type INTEGER, \n"
    "description TEXT, \n"
    "FOREIGN KEY (parent) REFERENCES tov_groups(id) \n"
    ")";

const char* const kCreateAppInfo =
    "CREATE TABLE app_info (\n"
    "db_version INTEGER NOT NULL,\n"
    "updater_state\tINTEGER NOT NULL,\n"
    "version TEXT, \n"
    "platform TEXT,\n"
    "brand TEXT\n"
    ")";

const char* const kCreateRecursiveGroups =
    "CREATE TABLE tov_recursive_groups (\n"
    "gid INTEGER,\n"
    "contains INTEGER,\n"
    "PRIMARY KEY (gid,contains),\n"
    "FOREIGN KEY (gid) REFERENCES tov_groups,\n"
    "FOREIGN KEY (contains) REFERENCES tov_groups \n"
    ")";

const char* const kViewToInstall =
    "CREATE VIEW tov_group_contain_package_to_install AS\n"
    "SELECT\n"
    "    g.id id\n"
    "FROM tov_groups g\n"
    "WHERE EXISTS (\n"
    "    SELECT 1\n"
    "    FROM tov_recursive_groups subgroup\n"
    "    INNER JOIN tov_grouped_packages grouped_package "
    "ON grouped_package.gid = subgroup.contains\n"
    "    INNER JOIN tov_packages package ON package.id = grouped_package.pkgid\n"
    "    WHERE package.status < 3 AND subgroup.gid = g.id\n"
    ")";

const char* const kViewToUninstall =
    "CREATE VIEW tov_group_contain_package_to_uninstall AS\n"
    "SELECT\n"
    "    g.id id\n"
    "FROM tov_groups g\n"
    "WHERE EXISTS (\n"
    "    SELECT 1\n"
    "    FROM tov_recursive_groups subgroup\n"
    "    INNER JOIN tov_grouped_packages grouped_package "
    "ON grouped_package.gid = subgroup.contains\n"
    "    INNER JOIN tov_packages package ON package.id = grouped_package.pkgid\n"
    "    WHERE package.status >= 3 AND subgroup.gid = g.id\n"
    ")";

}  // namespace

const char* const kInsertAppInfo =
    "INSERT INTO app_info (db_version, updater_state) VALUES (:version, :state)";
const char* const kUpdateVersion = "UPDATE app_info SET db_version=:NEW_VERSION";

const std::vector<const char*>& CreationStatements() {
    static const std::vector<const char*> statements = {
        "DROP TABLE IF EXISTS tov_packages",
        "DROP TABLE IF EXISTS tov_package_files",
        "DROP TABLE IF EXISTS tov_grouped_packages",
        "DROP TABLE IF EXISTS tov_groups",
        "DROP TABLE IF EXISTS app_info",
        kCreatePackages,
        kCreatePackageFiles,
        kCreateGroupedPackages,
        kCreateGroups,
        kCreateAppInfo,
    };
    return statements;
}

const std::vector<UpgradeStep>& UpgradeSteps() {
    static const std::vector<UpgradeStep> steps = {
        {2, {kCreateRecursiveGroups}},
        {3, {kViewToUninstall, kViewToInstall}},
        {4,
         {"ALTER TABLE tov_packages ADD country_code TEXT",
          "ALTER TABLE tov_packages ADD map_format INTEGER DEFAULT 0",
          "ALTER TABLE tov_packages ADD recommended INTEGER DEFAULT 0",
          "ALTER TABLE tov_groups ADD required INTEGER DEFAULT 0"}},
        {5,
         {"ALTER TABLE tov_packages ADD trial TEXT DEFAULT NULL",
          "ALTER TABLE tov_packages ADD map_provider INTEGER DEFAULT NULL",
          "ALTER TABLE tov_packages ADD map_release INTEGER DEFAULT NULL"}},
    };
    return steps;
}

}  // namespace updaterlib::schema
