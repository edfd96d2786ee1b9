#include "updaterlib/PackageDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/sqlite/Command.h"
#include "quorvalib/sqlite/TestSupport_test.h"

namespace updaterlib {
namespace {

using common::debug::kLogError;
using common::debug::testing::LogRecorder;
using quorvalib::sqlite::Command;
using quorvalib::sqlite::testing::TempDir;

// Rows of one query on the database's own connection, columns joined by "|".
std::vector<std::string> Rows(PackageDatabase& db, const std::string& sql) {
    std::lock_guard guard(db.Lock());
    Command select(db);
    EXPECT_TRUE(select.Create(sql)) << sql;
    std::vector<std::string> rows;
    while (select.GetRow()) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(select.Statement()); ++i) {
            row += (i ? "|" : "") + std::string(select.IsNull(i) ? "<null>" : select.GetText(i));
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<int32_t> Ids(const std::vector<Package>& packages) {
    std::vector<int32_t> ids;
    for (const Package& package : packages) {
        ids.push_back(package.id);
    }
    return ids;
}

class PackageDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db->Init(dir.Path().string()), PackageDatabase::kOk);
        // The tests need no durability; the shared machine's disk is slow to sync.
        ASSERT_TRUE(db->ExecuteNonQuery("PRAGMA synchronous = OFF"));
        ASSERT_TRUE(db->ExecuteNonQuery(
            "INSERT INTO tov_packages (id, name, version, type, status, operation, outdated) "
            "VALUES (1, 'nav', '1.0', 1, 4, 1, 1), (2, 'nav', '2.0', 1, 1, 1, 0), "
            "(4, 'voice', '1', 4, 2, 4, 0), (5, 'skin', '1', 2, 4, 2, 0), "
            "(6, 'font', '1', 5, 2, 2, 0);"
            "INSERT INTO tov_packages (id, name, mandatory, translation, description, version, "
            "type, status, operation, size, skin_width, skin_height, skin_density, voice_speaker,"
            " voice_lang, outdated, country_code, map_format, recommended, trial, map_provider, "
            "map_release) VALUES (3, 'map_cz', 1, 'Česko', NULL, '2024', 3, 3, 4, 3000000000, "
            "-1, 480, 160, 'Jana', 'cs', 0, 'CZ', 2, 1, 'demo', 7, 2024);"
            "INSERT INTO tov_package_files (id, pkgid, file_path, md5, target_dir, source_path, "
            "mode) VALUES (10, 3, 'cz.map', 'abc', 'maps', 'http://x/cz.map', 4), "
            "(11, 3, 'cz.idx', 'd41d8cd98f00b204e9800998ecf8427e', 'maps', 'http://x/cz.idx', 3),"
            "(12, 1, 'nav.exe', NULL, '', 'http://x/nav.exe', 5);"
            "INSERT INTO tov_groups (id, name) VALUES (1, 'maps'), (2, 'europe');"
            "INSERT INTO tov_grouped_packages (pkgid, gid) VALUES (3, 1), (3, 2), (1, 1);"));
    }
    // A trigger that makes every change to one package fail, to force a failure mid-way.
    void BreakPackage(int id) {
        const std::string when = " ON tov_packages WHEN OLD.id = " + std::to_string(id) +
                                 " BEGIN SELECT RAISE(ABORT, 'broken package'); END;";
        ASSERT_TRUE(db->ExecuteNonQuery("CREATE TRIGGER broken_update BEFORE UPDATE" + when +
                                        "CREATE TRIGGER broken_delete BEFORE DELETE" + when));
    }
    TempDir dir;
    LogRecorder sink{"PackageDb"};
    std::shared_ptr<PackageDatabase> db = std::make_shared<PackageDatabase>();
};

TEST_F(PackageDatabaseTest, ReadsEveryFieldWithFilesAndGroups) {
    std::vector<Package> packages(2);
    ASSERT_EQ(db->GetPackagesReadyToInstall(packages), PackageDatabase::kOk);
    ASSERT_EQ(packages.size(), 1u);
    const Package& p = packages[0];
    EXPECT_EQ(p.id, 3);
    EXPECT_EQ(p.name, "map_cz");
    EXPECT_TRUE(p.mandatory);
    EXPECT_EQ(p.translation, "Česko");
    EXPECT_EQ(p.description, "");  // NULL text
    EXPECT_EQ(p.version, "2024");
    EXPECT_EQ(p.type, kTypeMap);
    EXPECT_EQ(p.status, kStatusPrepared);
    EXPECT_EQ(p.operation, kOperationInstall);
    EXPECT_EQ(p.size, 3000000000u);  // above the 32-bit signed range
    EXPECT_EQ(p.skin_width, -1);
    EXPECT_EQ(p.skin_height, 480);
    EXPECT_EQ(p.skin_density, 160);
    EXPECT_EQ(p.voice_speaker, "Jana");
    EXPECT_EQ(p.voice_lang, "cs");
    EXPECT_FALSE(p.outdated);
    EXPECT_EQ(p.country_code, "CZ");
    EXPECT_EQ(p.map_format, 2);
    EXPECT_TRUE(p.recommended);
    EXPECT_EQ(p.trial, "demo");
    EXPECT_EQ(p.map_provider, 7);
    EXPECT_EQ(p.map_release, 2024);
    EXPECT_EQ(p.groups, (std::vector<std::string>{"1", "2"}));
    ASSERT_EQ(p.files.size(), 2u);
    EXPECT_EQ(p.files[0].id, 10);
    EXPECT_EQ(p.files[0].pkgid, 3);
    EXPECT_EQ(p.files[0].file_path, "cz.map");
    EXPECT_EQ(p.files[0].md5, (std::vector<uint8_t>{0x0a, 0xbc}));
    EXPECT_EQ(p.files[0].target_dir, "maps");
    EXPECT_EQ(p.files[0].source_path, "http://x/cz.map");
    EXPECT_EQ(p.files[0].mode, kFileChecked);
    EXPECT_EQ(p.files[1].md5.size(), 16u);
    EXPECT_EQ(p.files[1].mode, kFileDownloaded);
}

TEST_F(PackageDatabaseTest, GettersSelectByOrderAndStatus) {
    struct Case {
        const char* name;
        std::function<int(std::vector<Package>&)> get;
        std::vector<int32_t> ids;
    };
    const Case cases[] = {
        {"ready", [this](auto& out) { return db->GetPackagesReadyToInstall(out); }, {3}},
        {"uninstall", [this](auto& out) { return db->GetPackagesToUninstall(out); }, {5, 6}},
        {"preparing", [this](auto& out) { return db->GetPreparingPackages(out); }, {4, 6}},
    };
    for (const Case& c : cases) {
        std::vector<Package> packages(3);
        ASSERT_EQ(c.get(packages), PackageDatabase::kOk) << c.name;
        EXPECT_EQ(Ids(packages), c.ids) << c.name;
    }
}

TEST_F(PackageDatabaseTest, ReadFailureGivesCode4AndNoPackages) {
    ASSERT_TRUE(db->ExecuteNonQuery("DROP TABLE tov_grouped_packages"));
    std::vector<Package> packages(1);
    EXPECT_EQ(db->GetPackagesReadyToInstall(packages), PackageDatabase::kQueryFailed);
    EXPECT_TRUE(packages.empty());
    EXPECT_TRUE(sink.Has(kLogError, "Sqlite error: no such table: tov_grouped_packages on query "
                                    "SELECT gid FROM tov_grouped_packages WHERE pkgid = "
                                    ":package_id"));
}

TEST_F(PackageDatabaseTest, InstallOrderAlsoOrdersRemovalOfTheInstalledOlderVersion) {
    std::vector<Package> packages;
    ASSERT_EQ(db->SetPackageOrders({{2, kOperationInstall}, {6, kOperationNone}}, packages),
              PackageDatabase::kOk);
    EXPECT_EQ(Ids(packages), (std::vector<int32_t>{1, 2, 6}));
    EXPECT_EQ(Rows(*db, "SELECT id, operation FROM tov_packages WHERE id IN (1, 2, 6) "
                        "ORDER BY id"),
              (std::vector<std::string>{"1|2", "2|4", "6|1"}));
    for (const Package& package : packages) {
        EXPECT_EQ(package.operation, package.id == 1 ? 2 : package.id == 2 ? 4 : 1);
    }
}

TEST_F(PackageDatabaseTest, SetPackageOrdersFailuresChangeNothing) {
    const auto before = Rows(*db, "SELECT id, operation FROM tov_packages ORDER BY id");
    std::vector<Package> packages(1);
    EXPECT_EQ(db->SetPackageOrders({}, packages), PackageDatabase::kQueryFailed);
    EXPECT_TRUE(packages.empty());

    BreakPackage(5);
    EXPECT_EQ(db->SetPackageOrders({{2, kOperationInstall}, {5, kOperationNone}}, packages),
              PackageDatabase::kQueryFailed);
    EXPECT_TRUE(packages.empty());
    EXPECT_EQ(Rows(*db, "SELECT id, operation FROM tov_packages ORDER BY id"), before);
    EXPECT_TRUE(sink.HasPrefix(kLogError, "Sqlite error: broken package on query UPDATE"));
}

TEST_F(PackageDatabaseTest, AFailedBeginLeavesTheCallersTransactionAlone) {
    std::lock_guard guard(db->Lock());
    ASSERT_TRUE(db->ExecuteNonQuery("begin; UPDATE tov_packages SET status = 1 WHERE id = 4"));
    std::vector<Package> packages;
    EXPECT_EQ(db->SetPackageOrders({{2, kOperationInstall}}, packages),
              PackageDatabase::kQueryFailed);
    Package skin;
    skin.id = 5;
    EXPECT_EQ(db->FinishUninstall(skin), PackageDatabase::kQueryFailed);
    EXPECT_EQ(sqlite3_get_autocommit(db->Handle()), 0);
    ASSERT_TRUE(db->ExecuteNonQuery("commit"));
    EXPECT_EQ(Rows(*db, "SELECT status FROM tov_packages WHERE id = 4"),
              std::vector<std::string>{"1"});
}

TEST_F(PackageDatabaseTest, StatusOrderAndFileModeSetters) {
    EXPECT_EQ(db->SetPackageStatus(2, kStatusPreparing), PackageDatabase::kOk);
    EXPECT_EQ(db->SetPackageOrder(2, kOperationInstall), PackageDatabase::kOk);
    EXPECT_EQ(db->SetFileMode(10, kFileDownloading), PackageDatabase::kOk);
    EXPECT_EQ(db->MarkFileInstalled(11), PackageDatabase::kOk);
    EXPECT_EQ(db->ResetFileMode(12), PackageDatabase::kOk);
    EXPECT_EQ(Rows(*db, "SELECT status, operation FROM tov_packages WHERE id = 2"),
              std::vector<std::string>{"2|4"});
    EXPECT_EQ(Rows(*db, "SELECT id, mode FROM tov_package_files ORDER BY id"),
              (std::vector<std::string>{"10|2", "11|5", "12|1"}));

    ASSERT_TRUE(db->ExecuteNonQuery("DROP TABLE tov_package_files"));
    EXPECT_EQ(db->SetFileMode(10, kFileDownloading), PackageDatabase::kQueryFailed);
    EXPECT_TRUE(sink.HasPrefix(kLogError, "Sqlite error: no such table: tov_package_files"));
}

TEST_F(PackageDatabaseTest, FinishUninstallDeletesOutdatedAndResetsCurrent) {
    std::vector<Package> packages;
    ASSERT_EQ(db->SetPackageOrders({{2, kOperationInstall}}, packages), PackageDatabase::kOk);
    ASSERT_EQ(packages[0].id, 1);
    ASSERT_TRUE(packages[0].outdated);
    EXPECT_EQ(db->FinishUninstall(packages[0]), PackageDatabase::kOk);
    EXPECT_TRUE(Rows(*db, "SELECT id FROM tov_packages WHERE id = 1").empty());
    EXPECT_TRUE(Rows(*db, "SELECT id FROM tov_package_files WHERE pkgid = 1").empty());
    EXPECT_TRUE(Rows(*db, "SELECT gid FROM tov_grouped_packages WHERE pkgid = 1").empty());

    Package skin;
    skin.id = 5;
    EXPECT_EQ(db->FinishUninstall(skin), PackageDatabase::kOk);
    EXPECT_EQ(Rows(*db, "SELECT status, operation FROM tov_packages WHERE id = 5"),
              std::vector<std::string>{"1|1"});
}

TEST_F(PackageDatabaseTest, FinishUninstallFailureKeepsEverything) {
    BreakPackage(3);
    Package map;
    map.id = 3;
    map.outdated = true;
    EXPECT_EQ(db->FinishUninstall(map), PackageDatabase::kQueryFailed);
    // The files and memberships deleted before the failure are back.
    EXPECT_EQ(Rows(*db, "SELECT count(*) FROM tov_package_files WHERE pkgid = 3"),
              std::vector<std::string>{"2"});
    EXPECT_EQ(Rows(*db, "SELECT count(*) FROM tov_grouped_packages WHERE pkgid = 3"),
              std::vector<std::string>{"2"});
}

TEST_F(PackageDatabaseTest, AppInfoTexts) {
    std::string text = "stale";
    EXPECT_EQ(db->GetPlatform(text), PackageDatabase::kOk);
    EXPECT_EQ(text, "");  // NULL
    EXPECT_EQ(db->SetPlatform("pna"), PackageDatabase::kOk);
    EXPECT_EQ(db->SetBrand("quorva"), PackageDatabase::kOk);
    EXPECT_EQ(db->SetVersion("3.1"), PackageDatabase::kOk);
    EXPECT_EQ(db->SetUpdaterState(2), PackageDatabase::kOk);
    EXPECT_EQ(db->GetPlatform(text), PackageDatabase::kOk);
    EXPECT_EQ(text, "pna");
    EXPECT_EQ(db->GetBrand(text), PackageDatabase::kOk);
    EXPECT_EQ(text, "quorva");
    EXPECT_EQ(Rows(*db, "SELECT db_version, updater_state, version FROM app_info"),
              std::vector<std::string>{"5|2|3.1"});
}

TEST_F(PackageDatabaseTest, AppInfoWithoutItsRow) {
    ASSERT_TRUE(db->ExecuteNonQuery("DELETE FROM app_info"));
    std::string text;
    EXPECT_EQ(db->GetPlatform(text), PackageDatabase::kNoAppInfoRow);
    EXPECT_EQ(db->GetBrand(text), PackageDatabase::kNoAppInfoRow);
    EXPECT_EQ(db->SetPlatform("x"), PackageDatabase::kAppInfoMissing);
    EXPECT_EQ(db->SetBrand("x"), PackageDatabase::kAppInfoMissing);
    EXPECT_EQ(db->SetVersion("x"), PackageDatabase::kAppInfoMissing);
    EXPECT_EQ(db->SetUpdaterState(1), PackageDatabase::kAppInfoMissing);
    EXPECT_TRUE(Rows(*db, "SELECT * FROM app_info").empty());  // no row was made up

    ASSERT_TRUE(db->ExecuteNonQuery("DROP TABLE app_info"));
    EXPECT_EQ(db->GetPlatform(text), PackageDatabase::kQueryFailed);
    EXPECT_EQ(db->SetUpdaterState(1), PackageDatabase::kQueryFailed);
}

TEST_F(PackageDatabaseTest, SetApplicationFromInstalled) {
    EXPECT_EQ(db->SetApplicationFromInstalled(), PackageDatabase::kOk);
    EXPECT_EQ(Rows(*db, "SELECT version FROM app_info"), std::vector<std::string>{"2.0"});

    ASSERT_TRUE(db->ExecuteNonQuery("UPDATE tov_packages SET outdated = 1 WHERE type = 1"));
    EXPECT_EQ(db->SetApplicationFromInstalled(), PackageDatabase::kNotOpen);
    EXPECT_TRUE(sink.Has(kLogError, "No current application version found."));
    EXPECT_EQ(Rows(*db, "SELECT version FROM app_info"), std::vector<std::string>{"2.0"});
}

TEST_F(PackageDatabaseTest, EveryOperationAnswers3WhileClosed) {
    std::lock_guard guard(db->Lock());  // recursive: the operations below take it again
    ASSERT_TRUE(db->Close());
    std::vector<Package> packages(1);
    std::string text;
    Package package;
    const std::vector<std::function<int()>> operations = {
        [&] { return db->GetPackagesReadyToInstall(packages); },
        [&] { return db->GetPackagesToUninstall(packages); },
        [&] { return db->GetPreparingPackages(packages); },
        [&] { return db->SetPackageOrders({{2, 4}}, packages); },
        [&] { return db->SetPackageStatus(2, 2); },
        [&] { return db->SetPackageOrder(2, 2); },
        [&] { return db->SetFileMode(10, 2); },
        [&] { return db->MarkFileInstalled(10); },
        [&] { return db->ResetFileMode(10); },
        [&] { return db->FinishUninstall(package); },
        [&] { return db->GetPlatform(text); },
        [&] { return db->GetBrand(text); },
        [&] { return db->SetVersion("1"); },
        [&] { return db->SetPlatform("p"); },
        [&] { return db->SetBrand("b"); },
        [&] { return db->SetUpdaterState(1); },
        [&] { return db->SetApplicationFromInstalled(); },
    };
    for (size_t i = 0; i < operations.size(); ++i) {
        EXPECT_EQ(operations[i](), PackageDatabase::kNotOpen) << "operation " << i;
    }
    EXPECT_TRUE(packages.empty());
}

TEST_F(PackageDatabaseTest, SharedByThreadsThatTakeItsLock) {
    constexpr int kRounds = 100;
    std::vector<std::thread> threads;
    std::vector<int> failures(3, 0);
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            failures[0] += db->SetPackageStatus(4, i % 2 ? 2 : 3) != 0;
            failures[0] += db->SetFileMode(10, 1 + i % 5) != 0;
        }
    });
    threads.emplace_back([&] {
        std::vector<Package> packages;
        for (int i = 0; i < kRounds; ++i) {
            std::vector<Package> ordered;
            failures[1] += db->SetPackageOrders({{4, i % 2 ? 4 : 1}}, ordered) != 0;
            failures[1] += db->GetPreparingPackages(packages) != 0;
        }
    });
    threads.emplace_back([&] {
        // A list model's own query under the database's lock.
        for (int i = 0; i < kRounds; ++i) {
            std::lock_guard guard(db->Lock());
            Command count(*db);
            failures[2] += !(count.Create("SELECT count(*) FROM tov_packages") && count.GetRow() &&
                             count.GetInt(0) == 6);
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, (std::vector<int>{0, 0, 0}));
}

}  // namespace
}  // namespace updaterlib
