#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/files/TestTempFolder.h"
#include "updaterlib/CatalogueGenerator.h"
#include "updaterlib/Md5Text.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageParser.h"

namespace updaterlib {
namespace {

using common::debug::testing::LogRecorder;

PackageGroup Group(const std::string& name, const std::string& parent = "",
                   const std::string& translation = "") {
    PackageGroup g;
    g.name = name;
    g.parent_name = parent;
    g.translation = translation.empty() ? name + " shown" : translation;
    g.type = kTypeMap;
    return g;
}

PackageFile File(const std::string& path, const std::string& dir, const std::string& md5,
                 const std::string& url) {
    PackageFile f;
    f.file_path = path;
    f.target_dir = dir;
    Md5TextToBytes(md5, f.md5);
    f.source_path = url;
    return f;
}

// As the parser makes it: available, no order.
Package Pkg(const std::string& name, const std::string& version, int32_t type,
            std::vector<std::string> groups, std::vector<PackageFile> files = {}) {
    Package p(name, version, type, false);
    p.status = kStatusAvailable;
    p.operation = kOperationNone;
    p.groups = std::move(groups);
    p.files = std::move(files);
    p.translation = name + " " + version;
    p.size = 1000;
    return p;
}

class Merge : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(db_.Init(folder_.Path()), 0); }

    int Run(const std::vector<PackageGroup>& groups, const std::vector<Package>& packages) {
        return db_.UpdateDatabase(groups, packages);
    }

    // Rows of a query, columns joined with "|", NULL written as "NULL".
    std::vector<std::string> Rows(const std::string& sql) {
        std::vector<std::string> rows;
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_.Handle(), sql.c_str(), -1, &statement, nullptr),
                  SQLITE_OK)
            << sql;
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                if (i) row += "|";
                const auto* text = sqlite3_column_text(statement, i);
                row += text ? reinterpret_cast<const char*>(text) : "NULL";
            }
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
        return rows;
    }
    std::string One(const std::string& sql) {
        const auto rows = Rows(sql);
        return rows.size() == 1 ? rows[0] : "<" + std::to_string(rows.size()) + " rows>";
    }
    void Exec(const std::string& sql) {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db_.Handle(), sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "") << " in " << sql;
    }
    std::vector<std::string> Snapshot() {
        std::vector<std::string> all;
        for (const char* table : {"tov_packages", "tov_package_files", "tov_grouped_packages",
                                  "tov_groups", "tov_recursive_groups", "app_info"}) {
            all.push_back(std::string("== ") + table);
            for (auto& row : Rows(std::string("SELECT * FROM ") + table + " ORDER BY 1, 2")) {
                all.push_back(std::move(row));
            }
        }
        return all;
    }
    std::string FileBytes() {
        std::ifstream file(folder_ / PackageDatabase::kFileName, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::vector<std::string> Closure() {
        return Rows("SELECT a.name, b.name FROM tov_recursive_groups r JOIN tov_groups a ON "
                    "a.id = r.gid JOIN tov_groups b ON b.id = r.contains ORDER BY 1, 2");
    }
    std::string ParentOf(const std::string& group) {
        return One("SELECT coalesce(p.name, g.parent) FROM tov_groups g LEFT JOIN tov_groups p "
                   "ON p.id = g.parent WHERE g.name = '" + group + "'");
    }
    int32_t PackageId(const std::string& name, const std::string& version, int type) {
        const auto id = One("SELECT id FROM tov_packages WHERE name='" + name + "' AND version='" +
                            version + "' AND type=" + std::to_string(type));
        return id.starts_with("<") ? -1 : std::stoi(id);
    }

    TestTempFolder folder_;
    PackageDatabase db_;
    LogRecorder log_{"PackageDb"};
};

TEST_F(Merge, FirstMergeStoresTheWholeCatalogue) {
    std::vector<PackageGroup> groups = {Group("A"), Group("B", "A"), Group("C", "B")};
    groups[2].required = 1;
    groups[2].description = "about C";
    Package map = Pkg("europe", "2.1", kTypeMap, {"C", "A"},
                      {File("eu.fpak", "maps", "00112233445566778899AABBCCDDEEFF", "http://x/eu"),
                       File("eu.idx", "maps", "abc", "http://x/idx")});
    map.mandatory = true;
    map.recommended = true;
    map.size = 4000000000u;  // beyond 31 bits
    map.description = "";
    map.country_code = "CZ";
    map.map_format = 26;
    map.map_provider = 4;
    map.map_release = 2011;
    map.trial = "30";
    map.skin_width = 800;
    std::vector<Package> packages = {map, Pkg("anna", "1", kTypeVoice, {"B"})};

    ASSERT_EQ(Run(groups, packages), 0) << log_.Text();

    // The caller's records are not touched.
    EXPECT_EQ(groups[0].id, -1);
    EXPECT_EQ(packages[0].id, -1);

    EXPECT_EQ(Rows("SELECT name, version, type, status, operation, size, mandatory, recommended, "
                   "outdated, translation, description, country_code, map_format, map_provider, "
                   "map_release, trial, skin_width, skin_height, voice_lang FROM tov_packages "
                   "ORDER BY name"),
              (std::vector<std::string>{
                  "anna|1|4|1|1|1000|0|0|0|anna 1|||0|0|0||-1|-1|",
                  "europe|2.1|3|1|1|4000000000|1|1|0|europe 2.1||CZ|26|4|2011|30|800|-1|"}));
    EXPECT_EQ(One("SELECT typeof(description) FROM tov_packages WHERE name='europe'"), "text");
    EXPECT_EQ(Rows("SELECT p.name, f.file_path, f.target_dir, f.md5, f.source_path, f.mode FROM "
                   "tov_package_files f JOIN tov_packages p ON p.id = f.pkgid ORDER BY f.id"),
              (std::vector<std::string>{
                  "europe|eu.fpak|maps|00112233445566778899aabbccddeeff|http://x/eu|1",
                  "europe|eu.idx|maps|0abc|http://x/idx|1"}));
    EXPECT_EQ(Rows("SELECT p.name, g.name FROM tov_grouped_packages m JOIN tov_packages p ON "
                   "p.id = m.pkgid JOIN tov_groups g ON g.id = m.gid ORDER BY 1, 2"),
              (std::vector<std::string>{"anna|B", "europe|A", "europe|C"}));
    EXPECT_EQ(Rows("SELECT name, translation, type, required, coalesce(description, 'NULL') FROM "
                   "tov_groups ORDER BY name"),
              (std::vector<std::string>{"A|A shown|3|0|", "B|B shown|3|0|",
                                        "C|C shown|3|1|about C"}));
    EXPECT_EQ(ParentOf("A"), "NULL");
    EXPECT_EQ(ParentOf("B"), "A");
    EXPECT_EQ(ParentOf("C"), "B");
    EXPECT_EQ(Closure(), (std::vector<std::string>{"A|A", "A|B", "A|C", "B|B", "B|C", "C|C"}));

    // The packages read back through the getters' shared reader.
    std::vector<Package> ready;
    ASSERT_EQ(db_.SetPackageStatus(PackageId("europe", "2.1", kTypeMap), kStatusPrepared), 0);
    ASSERT_EQ(db_.SetPackageOrder(PackageId("europe", "2.1", kTypeMap), kOperationInstall), 0);
    ASSERT_EQ(db_.GetPackagesReadyToInstall(ready), 0);
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].files.size(), 2u);
    EXPECT_EQ(Md5BytesToText(ready[0].files[0].md5), "00112233445566778899aabbccddeeff");
}

TEST_F(Merge, KnownPackageKeepsItsStateAndGetsFreshDescriptiveColumns) {
    const std::vector<PackageGroup> groups = {Group("G")};
    Package first = Pkg("europe", "2.1", kTypeMap, {"G"},
                        {File("a", "maps", "11", "http://old/a"),
                         File("b", "maps", "22", "http://old/b")});
    first.mandatory = true;
    ASSERT_EQ(Run(groups, {first}), 0) << log_.Text();
    const int32_t id = PackageId("europe", "2.1", kTypeMap);
    Exec("UPDATE tov_packages SET status=4, operation=2, outdated=1 WHERE id=" +
         std::to_string(id));
    Exec("UPDATE tov_package_files SET mode=5");

    Package second = Pkg("europe", "2.1", kTypeMap, {"G"},
                         {File("a", "maps", "ff", "http://new/a"),       // same identity
                          File("b", "other", "ee", "http://new/b"),      // other folder
                          File("c", "maps", "dd", "http://new/c")});     // not known
    second.size = 99;
    second.status = kStatusAvailable;
    second.translation = "Europe";
    second.description = "All of it";
    second.recommended = true;
    second.country_code = "EU";
    second.map_format = 7;
    second.map_provider = 2;
    second.map_release = 2012;
    second.trial = "t";
    second.voice_lang = "cs";
    second.skin_density = 3;
    // Same name and version, other type: a package of its own.
    const Package voice = Pkg("europe", "2.1", kTypeVoice, {"G"});
    ASSERT_EQ(Run(groups, {second, voice}), 0) << log_.Text();

    EXPECT_EQ(PackageId("europe", "2.1", kTypeMap), id);
    EXPECT_EQ(One("SELECT status, operation, size, outdated, mandatory, recommended, translation, "
                  "description, country_code, map_format, map_provider, map_release, trial, "
                  "voice_lang, skin_density FROM tov_packages WHERE id=" + std::to_string(id)),
              "4|2|1000|0|0|1|Europe|All of it|EU|7|2|2012|t|cs|3");
    EXPECT_EQ(Rows("SELECT file_path, target_dir, md5, source_path, mode FROM tov_package_files "
                   "WHERE pkgid=" + std::to_string(id) + " ORDER BY id"),
              (std::vector<std::string>{"a|maps|11|http://new/a|5", "b|maps|22|http://old/b|5"}));
    EXPECT_NE(PackageId("europe", "2.1", kTypeVoice), -1);
    EXPECT_EQ(One("SELECT count(*) FROM tov_packages"), "2");
}

TEST_F(Merge, KnownGroupIsRefreshedByName) {
    ASSERT_EQ(Run({Group("top"), Group("G", "top", "Old")}, {Pkg("p", "1", kTypeMap, {"G"})}), 0);
    const std::string id = One("SELECT id FROM tov_groups WHERE name='G'");
    PackageGroup changed = Group("G", "top", "New");
    changed.type = kTypeVoice;
    changed.required = 1;
    changed.description = "now described";
    ASSERT_EQ(Run({Group("top"), changed}, {Pkg("p", "1", kTypeMap, {"G"})}), 0) << log_.Text();
    EXPECT_EQ(One("SELECT id, translation, type, required, description FROM tov_groups WHERE "
                  "name='G'"),
              id + "|New|4|1|now described");
    EXPECT_EQ(ParentOf("G"), "top");
}

TEST_F(Merge, PackagesNoLongerOfferedAreOutdatedAndRemovedUnlessDownloaded) {
    const std::vector<PackageGroup> groups = {Group("G")};
    Package installedMandatory =
        Pkg("installed", "1", kTypeApplication, {"G"}, {File("i", "", "1", "u")});
    installedMandatory.mandatory = true;
    ASSERT_EQ(Run(groups, {Pkg("dropped", "1", kTypeMap, {"G"}, {File("d", "", "1", "u")}),
                           installedMandatory, Pkg("preparing", "1", kTypeMap, {"G"}),
                           Pkg("prepared", "1", kTypeMap, {"G"}),
                           Pkg("versioned", "1", kTypeMap, {"G"}, {File("v", "", "1", "u")}),
                           Pkg("versioned", "2", kTypeMap, {"G"})}),
              0);
    Exec("UPDATE tov_packages SET status=4 WHERE name='installed'");
    Exec("UPDATE tov_packages SET status=2 WHERE name='preparing'");
    Exec("UPDATE tov_packages SET status=3 WHERE name='prepared'");
    Exec("UPDATE tov_packages SET status=4 WHERE name='versioned' AND version='1'");

    // The new catalogue lists versions 2 and 3 of "versioned" and nothing else.
    ASSERT_EQ(Run(groups, {Pkg("versioned", "2", kTypeMap, {"G"}),
                           Pkg("versioned", "3", kTypeMap, {"G"})}),
              0)
        << log_.Text();

    EXPECT_EQ(Rows("SELECT name, version, status, outdated, mandatory FROM tov_packages ORDER BY "
                   "name, version"),
              (std::vector<std::string>{"installed|1|4|1|0", "prepared|1|3|1|0",
                                        "preparing|1|2|1|0", "versioned|1|4|1|0",
                                        "versioned|2|1|0|0", "versioned|3|1|0|0"}));
    // "dropped" went with its files and memberships; the rest keep theirs.
    EXPECT_EQ(Rows("SELECT file_path FROM tov_package_files ORDER BY 1"),
              (std::vector<std::string>{"i", "v"}));
    EXPECT_EQ(One("SELECT count(*) FROM tov_grouped_packages WHERE pkgid NOT IN (SELECT id FROM "
                  "tov_packages)"),
              "0");
    EXPECT_EQ(One("SELECT count(*) FROM tov_grouped_packages"), "6");
}

TEST_F(Merge, MandatoryFollowsTheNewCatalogueOnly) {
    Package a = Pkg("a", "1", kTypeMap, {"G"});
    a.mandatory = true;
    Package b = Pkg("b", "1", kTypeMap, {"G"});
    b.mandatory = true;
    ASSERT_EQ(Run({Group("G")}, {a, b}), 0);
    Exec("UPDATE tov_packages SET status=4");  // installed: they stay even when not listed
    b.mandatory = false;
    Package c = Pkg("c", "1", kTypeMap, {"G"});
    c.mandatory = true;
    ASSERT_EQ(Run({Group("G")}, {b, c}), 0);
    EXPECT_EQ(Rows("SELECT name, mandatory FROM tov_packages ORDER BY name"),
              (std::vector<std::string>{"a|0", "b|0", "c|1"}));
}

TEST_F(Merge, ClosureFollowsTheTreeAcrossMerges) {
    const std::vector<Package> packages = {Pkg("p", "1", kTypeMap, {"C"}),
                                           Pkg("q", "1", kTypeMap, {"D"})};
    ASSERT_EQ(Run({Group("A"), Group("B", "A"), Group("C", "B"), Group("D", "A")}, packages), 0);
    EXPECT_EQ(Closure(), (std::vector<std::string>{"A|A", "A|B", "A|C", "A|D", "B|B", "B|C",
                                                   "C|C", "D|D"}));
    // C moves from B to D; B then holds no package and is deleted.
    ASSERT_EQ(Run({Group("A"), Group("B", "A"), Group("C", "D"), Group("D", "A")}, packages), 0)
        << log_.Text();
    EXPECT_EQ(ParentOf("C"), "D");
    EXPECT_EQ(One("SELECT count(*) FROM tov_groups WHERE name='B'"), "0");
    EXPECT_EQ(Closure(), (std::vector<std::string>{"A|A", "A|C", "A|D", "C|C", "D|C", "D|D"}));
    // A parent listed after its child is resolved in the second pass.
    ASSERT_EQ(Run({Group("C", "D"), Group("D", "A"), Group("A")}, packages), 0);
    EXPECT_EQ(Closure(), (std::vector<std::string>{"A|A", "A|C", "A|D", "C|C", "D|C", "D|D"}));
}

TEST_F(Merge, ParentThatIsNotFound) {
    ASSERT_EQ(Run({Group("top"), Group("old", "top"), Group("moved", "top")},
                  {Pkg("p", "1", kTypeMap, {"old", "moved", "top"})}),
              0);
    const std::vector<Package> packages = {
        Pkg("p", "1", kTypeMap, {"old", "moved", "orphan", "top"})};

    // "orphan" is new and names an unknown parent; "moved" names an unknown parent now;
    // "old" names none any more.
    ASSERT_EQ(Run({Group("top"), Group("old"), Group("moved", "nowhere"),
                   Group("orphan", "nowhere")},
                  packages),
              0)
        << log_.Text();
    EXPECT_EQ(ParentOf("orphan"), "NULL");
    EXPECT_EQ(ParentOf("moved"), "top");
    EXPECT_EQ(ParentOf("old"), "-1");
    EXPECT_EQ(ParentOf("top"), "-1");
    EXPECT_EQ(Closure(), (std::vector<std::string>{"moved|moved", "old|old", "orphan|orphan",
                                                   "top|moved", "top|top"}));
}

TEST_F(Merge, EmptyGroupsAreDeleted) {
    const std::vector<PackageGroup> groups = {Group("maps"), Group("europe", "maps"),
                                              Group("asia", "maps"), Group("voices")};
    ASSERT_EQ(Run(groups, {Pkg("cz", "1", kTypeMap, {"europe"}), Pkg("jp", "1", kTypeMap, {"asia"}),
                           Pkg("anna", "1", kTypeVoice, {"voices"})}),
              0);
    ASSERT_EQ(Run(groups, {Pkg("cz", "1", kTypeMap, {"europe"})}), 0) << log_.Text();
    EXPECT_EQ(Rows("SELECT name FROM tov_groups ORDER BY name"),
              (std::vector<std::string>{"europe", "maps"}));
}

TEST_F(Merge, SameCatalogueTwiceIsStable) {
    CatalogueShape shape;
    shape.packages = 300;
    shape.groups = 40;
    shape.filesPerPackage = 2;
    PackageParser parser;
    ASSERT_TRUE(parser.ParseBuffer(CatalogueGenerator(shape).Document()));
    ASSERT_EQ(Run(parser.GetGroups(), parser.GetPackages()), 0) << log_.Text();
    ASSERT_EQ(Run(parser.GetGroups(), parser.GetPackages()), 0) << log_.Text();
    const auto second = Snapshot();
    ASSERT_EQ(Run(parser.GetGroups(), parser.GetPackages()), 0) << log_.Text();
    EXPECT_EQ(Snapshot(), second);
    EXPECT_EQ(One("SELECT count(*) FROM tov_packages"), "300");
    EXPECT_EQ(One("SELECT count(*) FROM tov_package_files"), "600");
    EXPECT_EQ(One("SELECT count(*) FROM tov_groups"), "40");
    // Every group contains itself, and each leaf sits below two ancestors.
    const CatalogueGenerator generator(shape);
    EXPECT_EQ(One("SELECT count(*) FROM tov_recursive_groups"),
              std::to_string(generator.TopLevelGroups() + 2 * generator.MiddleGroups() +
                             3 * generator.LeafGroups()));
}

TEST_F(Merge, ReadersUnderTheLockSeeOneWholeCatalogue) {
    CatalogueShape shape;
    shape.groups = 6;
    shape.filesPerPackage = 1;
    shape.packages = 30;
    PackageParser small;
    ASSERT_TRUE(small.ParseBuffer(CatalogueGenerator(shape).Document()));
    shape.packages = 60;
    PackageParser large;
    ASSERT_TRUE(large.ParseBuffer(CatalogueGenerator(shape).Document()));

    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 8; ++i) {
            const PackageParser& next = i % 2 ? small : large;
            EXPECT_EQ(Run(next.GetGroups(), next.GetPackages()), 0);
        }
        done = true;
    });
    std::set<std::string> seen;
    while (!done) {
        std::lock_guard guard(db_.Lock());
        seen.insert(One("SELECT count(*) || '/' || (SELECT count(*) FROM tov_package_files) FROM "
                        "tov_packages"));
    }
    writer.join();
    for (const auto& counts : seen) {
        EXPECT_TRUE(counts == "0/0" || counts == "30/30" || counts == "60/60") << counts;
    }
}

// A catalogue that reaches every step: it updates a known group and package, inserts new ones,
// leaves one package and one group behind, and needs memberships cleaned and written.
class MergeFailure : public Merge {
protected:
    void SetUp() override {
        Merge::SetUp();
        Package old = Pkg("old", "1", kTypeMap, {"gone"}, {File("o", "d", "1", "u")});
        old.mandatory = true;
        ASSERT_EQ(Run({Group("top"), Group("kept", "top"), Group("gone")},
                      {Pkg("kept", "1", kTypeMap, {"kept"}, {File("k", "d", "1", "u")}), old}),
                  0);
    }
    int RunNext() {
        return Run({Group("top"), Group("kept", "top", "Kept again"), Group("new", "kept")},
                   {Pkg("kept", "1", kTypeMap, {"kept"}, {File("k", "d", "1", "u2")}),
                    Pkg("fresh", "1", kTypeMap, {"new"}, {File("f", "d", "1", "u")})});
    }
};

TEST_F(MergeFailure, NextCatalogueMergesWithoutInjectedFailures) {
    ASSERT_EQ(RunNext(), 0) << log_.Text();
    EXPECT_EQ(Rows("SELECT name FROM tov_packages ORDER BY 1"),
              (std::vector<std::string>{"fresh", "kept"}));
    EXPECT_EQ(Rows("SELECT name FROM tov_groups ORDER BY 1"),
              (std::vector<std::string>{"kept", "new", "top"}));
}

TEST_F(MergeFailure, EveryFailedStepRollsBackTheWholeMerge) {
    struct Case {
        const char* trigger;  // the table event that fails, "BEFORE ... ON ..."
        const char* line;     // the step's own log line, empty where it has none
    };
    const Case cases[] = {
        {"BEFORE INSERT ON tov_groups", ""},
        {"BEFORE UPDATE OF translation ON tov_groups",
         "Failed to update group record, id 1, display name=top shown, type=3, parent name= "
         "id=-1, required:0, e:1811"},
        // "new" is inserted with its parent, so only the parents pass updates it.
        {"BEFORE UPDATE OF parent ON tov_groups WHEN new.name = 'new'", ""},
        {"BEFORE DELETE ON tov_recursive_groups", ""},
        {"BEFORE INSERT ON tov_recursive_groups", ""},
        {"BEFORE UPDATE OF outdated ON tov_packages", "Failed to mark all packages as outdated."},
        {"BEFORE UPDATE OF mandatory ON tov_packages", "Failed to unmark all mandatory packages."},
        {"BEFORE UPDATE OF translation ON tov_packages", "Failed to update package record 1."},
        {"BEFORE UPDATE OF source_path ON tov_package_files", ""},
        {"BEFORE INSERT ON tov_packages", "Failed to create new package record."},
        {"BEFORE INSERT ON tov_package_files", "Failed to create new package file record."},
        {"BEFORE DELETE ON tov_grouped_packages", "Failed to clean old membership of package #1."},
        {"BEFORE INSERT ON tov_grouped_packages", "Failed to insert package member ship in group."},
        {"BEFORE DELETE ON tov_package_files", ""},
        {"BEFORE DELETE ON tov_packages", ""},
        {"BEFORE DELETE ON tov_groups", "Failed to delete empty groups."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger);
        Exec(std::string("CREATE TRIGGER inject ") + c.trigger +
             " BEGIN SELECT RAISE(ABORT, 'injected'); END");
        const auto before = Snapshot();
        EXPECT_EQ(RunNext(), 4);
        EXPECT_EQ(Snapshot(), before);
        if (*c.line) {
            EXPECT_TRUE(log_.Has(c.line)) << log_.Text();
        }
        EXPECT_NE(log_.Text().find("injected"), std::string::npos) << log_.Text();
        Exec("DROP TRIGGER inject");
    }
    // Nothing of a failed merge lingers: the next one still works.
    ASSERT_EQ(RunNext(), 0) << log_.Text();
}

TEST_F(MergeFailure, CyclicGroupTreeFailsTheMerge) {
    const auto before = Snapshot();
    const std::string bytes = FileBytes();
    EXPECT_EQ(Run({Group("A", "B"), Group("B", "A")}, {Pkg("p", "1", kTypeMap, {"A"})}), 4);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Run({Group("self", "self")}, {Pkg("p", "1", kTypeMap, {"self"})}), 4);
    EXPECT_EQ(Snapshot(), before);
    // A cycle through a known group: "top" (in the database) is made a child of "kept".
    EXPECT_EQ(Run({Group("top", "kept"), Group("kept", "top")}, {}), 4);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(FileBytes() == bytes) << "the file itself must be as it was";
}

TEST_F(MergeFailure, UnknownGroupFailsTheMerge) {
    const auto before = Snapshot();
    EXPECT_EQ(Run({Group("top")}, {Pkg("p", "1", kTypeMap, {"top", "missing"})}), 4);
    EXPECT_TRUE(log_.Has("Failed to find group id, group 'missing'")) << log_.Text();
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(MergeFailure, FailedGroupLookupIsNotTakenForANewGroup) {
    Exec("ALTER TABLE tov_groups RENAME COLUMN name TO label");
    EXPECT_EQ(RunNext(), 4);
    EXPECT_TRUE(log_.Has("Failed to search existing record.")) << log_.Text();
    Exec("ALTER TABLE tov_groups RENAME COLUMN label TO name");
    EXPECT_EQ(RunNext(), 0) << log_.Text();
}

TEST_F(MergeFailure, BusyDatabaseFailsToBegin) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((folder_ / PackageDatabase::kFileName).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin immediate transaction", nullptr, nullptr, nullptr),
              SQLITE_OK);
    const auto before = Snapshot();
    EXPECT_EQ(RunNext(), 4);
    EXPECT_TRUE(log_.Has("Failed to begin transaction.")) << log_.Text();
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(RunNext(), 0) << log_.Text();
}

TEST(MergeClosed, ClosedDatabaseIsNotTouched) {
    PackageDatabase db;
    EXPECT_EQ(db.UpdateDatabase({Group("g")}, {}), 3);
}

TEST_F(Merge, RepeatedGroupInOnePackageIsOneMembership) {
    ASSERT_EQ(Run({Group("G")}, {Pkg("p", "1", kTypeMap, {"G", "G"})}), 0) << log_.Text();
    EXPECT_EQ(One("SELECT count(*) FROM tov_grouped_packages"), "1");
}

TEST_F(Merge, IndexesServeThePerRowQueries) {
    ASSERT_EQ(Run({}, {}), 0);
    for (const char* sql :
         {"SELECT 1 FROM tov_package_files WHERE pkgid=1 AND file_path='a' AND target_dir='b'",
          "SELECT 1 FROM tov_grouped_packages WHERE pkgid=1",
          "SELECT id FROM tov_groups WHERE parent=1"}) {
        const auto plan = Rows(std::string("EXPLAIN QUERY PLAN ") + sql);
        std::string text;
        for (const auto& row : plan) text += row + "\n";
        EXPECT_EQ(text.find("SCAN"), std::string::npos) << sql << "\n" << text;
    }
}

}  // namespace
}  // namespace updaterlib
