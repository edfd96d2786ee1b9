#include "updaterlib/PackageDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/localization/LocalizationConfig.h"
#include "quorvalib/sqlite/Command.h"
#include "quorvalib/sqlite/TestSupport_test.h"
#include "quorvalib/files/ProgramSettings.h"
#include "updaterlib/DefaultDataDirectory.h"

namespace updaterlib {
namespace {

using common::debug::kLogError;
using common::debug::testing::LogRecorder;
using quorvalib::sqlite::testing::TempDir;

// The statements the file format is made of, written out here on their own so that a change
// to the program's copy shows up as a failure.
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

const std::vector<const char*> kVersion1 = {kCreatePackages, kCreatePackageFiles,
                                            kCreateGroupedPackages, kCreateGroups,
                                            kCreateAppInfo};
const std::map<int, std::vector<const char*>> kSteps = {
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

int BinaryCompare(void*, int leftBytes, const void* left, int rightBytes, const void* right) {
    const int common = std::min(leftBytes, rightBytes);
    const int order = std::memcmp(left, right, static_cast<size_t>(common));
    return order != 0 ? order : leftBytes - rightBytes;
}

// A plain SQLite connection, independent of the classes under test.
class RawDb {
public:
    explicit RawDb(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
        sqlite3_create_collation(db_, "WCSCOLL", SQLITE_UTF16, nullptr, &BinaryCompare);
        sqlite3_exec(db_, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    }
    ~RawDb() { sqlite3_close(db_); }
    void Exec(const std::string& sql) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    // Rows of one query, each row's columns joined by "|", NULL as "<null>".
    std::vector<std::string> Rows(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db_);
        std::vector<std::string> rows;
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = sqlite3_column_text(statement, i);
                row += (i ? "|" : "") +
                       std::string(text ? reinterpret_cast<const char*>(text) : "<null>");
            }
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
        return rows;
    }
    std::map<std::string, std::string> Schema() {
        std::map<std::string, std::string> schema;
        for (const std::string& row : Rows("SELECT type || ' ' || name, ifnull(sql, '<null>') "
                                           "FROM sqlite_master")) {
            const size_t bar = row.find('|');
            schema[row.substr(0, bar)] = row.substr(bar + 1);
        }
        return schema;
    }

private:
    sqlite3* db_ = nullptr;
};

// A file as an older program left it at the given version.
void BuildAtVersion(const std::string& path, int version) {
    RawDb db(path);
    for (const char* statement : kVersion1) {
        db.Exec(statement);
    }
    db.Exec("INSERT INTO app_info (db_version, updater_state) VALUES (1, 7)");
    for (const auto& [step, statements] : kSteps) {
        if (step > version) {
            break;
        }
        for (const char* statement : statements) {
            db.Exec(statement);
        }
        db.Exec("UPDATE app_info SET db_version=" + std::to_string(step));
    }
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Records the statements that connections opened while it lives run, in order. Installed as an
// automatic extension, so it sees the connection Init opens from its first statement on.
class StatementTrace {
public:
    StatementTrace() {
        current_ = this;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&Install));
    }
    ~StatementTrace() {
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&Install));
        current_ = nullptr;
    }
    // The statements from the first "begin immediate transaction" on.
    std::vector<std::string> FromFirstBegin() const {
        auto first = std::find(statements_.begin(), statements_.end(),
                               "begin immediate transaction");
        return std::vector<std::string>(first, statements_.end());
    }

private:
    static int Install(sqlite3* db, char**, const void*) {
        sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &Record, nullptr);
        return SQLITE_OK;
    }
    static int Record(unsigned, void*, void* statement, void*) {
        const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
        if (current_ && sql) {
            current_->statements_.push_back(sql);
        }
        return 0;
    }
    static inline StatementTrace* current_ = nullptr;
    std::vector<std::string> statements_;
};

// The statements an upgrade from the given version runs, in order, in one transaction.
std::vector<std::string> ExpectedUpgrade(int from) {
    std::vector<std::string> expected = {"begin immediate transaction"};
    for (const auto& [step, statements] : kSteps) {
        if (step > from) {
            expected.insert(expected.end(), statements.begin(), statements.end());
            expected.push_back("UPDATE app_info SET db_version=:NEW_VERSION");
        }
    }
    expected.push_back("commit");
    return expected;
}

class InitTest : public ::testing::Test {
protected:
    std::string File() const { return dir.File("packages"); }
    TempDir dir;
    LogRecorder sink{"ALL"};
};

TEST_F(InitTest, NewFileHasExactlyTheSchemaAtVersion5) {
    auto db = std::make_shared<PackageDatabase>();
    ASSERT_EQ(db->Init(dir.Path().string()), PackageDatabase::kOk);
    EXPECT_EQ(db->Path(), dir.Path().string() + "/packages");
    db.reset();

    RawDb made(File());
    std::map<std::string, std::string> schema = made.Schema();
    // Tables and views that no later step alters are stored exactly as their statements.
    EXPECT_EQ(schema["table tov_package_files"], kCreatePackageFiles);
    EXPECT_EQ(schema["table tov_grouped_packages"], kCreateGroupedPackages);
    EXPECT_EQ(schema["table app_info"], kCreateAppInfo);
    EXPECT_EQ(schema["table tov_recursive_groups"], kCreateRecursiveGroups);
    EXPECT_EQ(schema["view tov_group_contain_package_to_install"], kViewToInstall);
    EXPECT_EQ(schema["view tov_group_contain_package_to_uninstall"], kViewToUninstall);
    // The altered ones equal what the statements produce when run in order.
    const std::string reference = dir.File("reference");
    BuildAtVersion(reference, 5);
    EXPECT_EQ(schema, RawDb(reference).Schema());

    EXPECT_EQ(made.Rows("SELECT db_version, updater_state, version, platform, brand "
                        "FROM app_info"),
              std::vector<std::string>{"5|-1|<null>|<null>|<null>"});
}

TEST_F(InitTest, CreationRunsExactlyTheStatementsInOrder) {
    StatementTrace trace;
    PackageDatabase db;
    ASSERT_EQ(db.Init(dir.Path().string()), PackageDatabase::kOk);
    std::vector<std::string> expected = {
        "begin immediate transaction",
        "DROP TABLE IF EXISTS tov_packages",
        "DROP TABLE IF EXISTS tov_package_files",
        "DROP TABLE IF EXISTS tov_grouped_packages",
        "DROP TABLE IF EXISTS tov_groups",
        "DROP TABLE IF EXISTS app_info",
    };
    expected.insert(expected.end(), kVersion1.begin(), kVersion1.end());
    expected.push_back(
        "INSERT INTO app_info (db_version, updater_state) VALUES (:version, :state)");
    expected.push_back("commit");
    const std::vector<std::string> upgrade = ExpectedUpgrade(1);
    expected.insert(expected.end(), upgrade.begin(), upgrade.end());
    EXPECT_EQ(trace.FromFirstBegin(), expected);
}

TEST_F(InitTest, OlderVersionsAreUpgradedKeepingTheirData) {
    for (int version = 1; version <= 4; ++version) {
        SCOPED_TRACE(version);
        const std::string path = File();
        std::filesystem::remove(path);
        BuildAtVersion(path, version);
        RawDb(path).Exec("INSERT INTO tov_packages (name, version, type, status) "
                         "VALUES ('nav', '1.0', 1, 4)");
        PackageDatabase db;
        {
            StatementTrace trace;
            ASSERT_EQ(db.Init(dir.Path().string()), PackageDatabase::kOk);
            EXPECT_EQ(trace.FromFirstBegin(), ExpectedUpgrade(version));
        }
        db.Close();

        RawDb upgraded(path);
        const std::string reference = dir.File("reference" + std::to_string(version));
        BuildAtVersion(reference, 5);
        EXPECT_EQ(upgraded.Schema(), RawDb(reference).Schema());
        EXPECT_EQ(upgraded.Rows("SELECT db_version, updater_state FROM app_info"),
                  std::vector<std::string>{"5|7"});
        EXPECT_EQ(upgraded.Rows("SELECT name, status, map_format, recommended, trial "
                                "FROM tov_packages"),
                  std::vector<std::string>{"nav|4|0|0|<null>"});
    }
}

TEST_F(InitTest, UpgradeRunsInOneTransaction) {
    // Version 3 with a column that step 5 adds: step 4 succeeds, step 5 fails, and nothing of
    // step 4 may stay behind.
    BuildAtVersion(File(), 3);
    RawDb(File()).Exec("ALTER TABLE tov_packages ADD trial TEXT");
    const std::string before = FileBytes(File());
    PackageDatabase db;
    EXPECT_EQ(db.Init(dir.Path().string()), PackageDatabase::kUpgradeFailed);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(FileBytes(File()), before);
    EXPECT_TRUE(sink.Has(kLogError, "Failed to upgrade package database to version 5 on query "
                                    "ALTER TABLE tov_packages ADD trial TEXT DEFAULT NULL"));
}

TEST_F(InitTest, VersionsOutsideTheHistoryAreRefusedAndLeftUnchanged) {
    for (int version : {0, 6, -1, 100}) {
        SCOPED_TRACE(version);
        std::filesystem::remove(File());
        BuildAtVersion(File(), 5);
        RawDb(File()).Exec("UPDATE app_info SET db_version=" + std::to_string(version));
        const std::string before = FileBytes(File());
        sink.Clear();
        auto db = std::make_shared<PackageDatabase>();
        EXPECT_EQ(db->Init(dir.Path().string()), PackageDatabase::kUpgradeFailed);
        EXPECT_TRUE(sink.Has(kLogError,
                             "Incompatible database version " + std::to_string(version) + "."));
        // Never opened for use.
        std::string platform;
        EXPECT_EQ(db->GetPlatform(platform), PackageDatabase::kNotOpen);
        db.reset();
        EXPECT_EQ(FileBytes(File()), before);
    }
}

TEST_F(InitTest, FailuresBeforeTheUpgrade) {
    PackageDatabase db;
    // A folder that does not exist.
    EXPECT_EQ(db.Init(dir.File("missing")), PackageDatabase::kOpenFailed);
    EXPECT_TRUE(sink.Has(kLogError, "Failed to open package database '" + dir.File("missing") +
                                        "/packages'."));
    // app_info without a row.
    {
        RawDb raw(File());
        raw.Exec("CREATE TABLE app_info (db_version INTEGER)");
    }
    EXPECT_EQ(db.Init(dir.Path().string()), PackageDatabase::kAppInfoMissing);
    EXPECT_TRUE(sink.Has(kLogError, "Wrong number of records in app_info table."));

    // app_info that cannot be read.
    std::filesystem::remove(File());
    RawDb(File()).Exec("CREATE TABLE app_info (other INTEGER)");
    EXPECT_EQ(db.Init(dir.Path().string()), PackageDatabase::kQueryFailed);
    EXPECT_TRUE(sink.Has(kLogError, "Failed to check package database version."));

    // Not a database at all: reported, never overwritten.
    std::filesystem::remove(File());
    std::ofstream(File()) << "this is not a database file, but it is long enough to look like "
                             "one to anybody who does not check its header bytes first......";
    const std::string before = FileBytes(File());
    EXPECT_EQ(db.Init(dir.Path().string()), PackageDatabase::kQueryFailed);
    EXPECT_TRUE(sink.Has(kLogError, "Failed to check sqlite_master."));
    EXPECT_EQ(FileBytes(File()), before);
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(InitTest, NoFolderMeansTheProgramsDataDirectory) {
    const Astring previous = quorvalib::files::DataDirectory();
    ASSERT_TRUE(quorvalib::files::SetDataDirectory(dir.Path().string()));
    ASSERT_EQ(DefaultDataDirectory(), dir.Path().string());
    PackageDatabase db;
    EXPECT_EQ(db.Init(""), PackageDatabase::kOk);
    EXPECT_EQ(db.Path(), dir.Path().string() + "/packages");
    EXPECT_TRUE(std::filesystem::exists(File()));
    db.Close();
    quorvalib::files::SetDataDirectory(previous);
}

TEST_F(InitTest, InitAgainReopens) {
    PackageDatabase db;
    ASSERT_EQ(db.Init(dir.Path().string()), PackageDatabase::kOk);
    ASSERT_EQ(db.SetPlatform("pna"), PackageDatabase::kOk);
    TempDir other;
    ASSERT_EQ(db.Init(other.Path().string()), PackageDatabase::kOk);
    std::string platform = "x";
    EXPECT_EQ(db.GetPlatform(platform), PackageDatabase::kOk);
    EXPECT_EQ(platform, "");
    ASSERT_EQ(db.Init(dir.Path().string()), PackageDatabase::kOk);
    EXPECT_EQ(db.GetPlatform(platform), PackageDatabase::kOk);
    EXPECT_EQ(platform, "pna");
}

class FixedLocale final : public quorvalib::localization::LocalizationConfig {
public:
    explicit FixedLocale(std::string name) : name_(std::move(name)) {}
    std::string GetLanguageCode() const override { return "1029"; }
    std::string GetLanguageName() const override { return name_; }

private:
    std::string name_;
};

std::vector<std::string> TranslationsInOrder(PackageDatabase& db) {
    std::lock_guard guard(db.Lock());
    quorvalib::sqlite::Command select(db);
    EXPECT_TRUE(select.Create("SELECT translation FROM tov_packages ORDER BY translation"));
    std::vector<std::string> names;
    while (select.GetRow()) {
        names.push_back(select.GetText(0));
    }
    return names;
}

TEST_F(InitTest, DisplayNamesSortByTheProvidersLocale) {
    {
        PackageDatabase db;
        ASSERT_EQ(db.Init(dir.Path().string()), PackageDatabase::kOk);
        ASSERT_TRUE(db.ExecuteNonQuery(
            "INSERT INTO tov_packages (name, version, type, translation) VALUES "
            "('a', '1', 3, 'Chorvatsko'), ('b', '1', 3, 'Česko'), ('c', '1', 3, 'Dánsko'), "
            "('d', '1', 3, 'Cypr'), ('e', '1', 3, 'Hondurasu')"));
        // No provider: the process's locale, "C" here, is code-point order.
        EXPECT_EQ(TranslationsInOrder(db), (std::vector<std::string>{
                                               "Chorvatsko", "Cypr", "Dánsko", "Hondurasu",
                                               "Česko"}));
    }
    const FixedLocale czech("czech");
    PackageDatabase db;
    ASSERT_EQ(db.Init(dir.Path().string(), &czech), PackageDatabase::kOk);
    EXPECT_EQ(TranslationsInOrder(db), (std::vector<std::string>{
                                           "Cypr", "Česko", "Dánsko", "Hondurasu",
                                           "Chorvatsko"}));
    // A language the machine has no locale for falls back to "C".
    const FixedLocale unknown("klingon");
    ASSERT_EQ(db.Init(dir.Path().string(), &unknown), PackageDatabase::kOk);
    EXPECT_EQ(TranslationsInOrder(db).front(), "Chorvatsko");
}

}  // namespace
}  // namespace updaterlib
