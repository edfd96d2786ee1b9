#pragma once

// A package database built by the catalogue merge, for the list model tests:
//   maps (top) > europe, asia;  voices (top)
//   first catalogue: cz 1.0, de 1.0, at 1.0 (europe), jp 1.0 (asia); cz, at and jp installed
//   second catalogue: cz 2.0 (an update), de 1.0, jp 1.0, a voice without translation;
//   at is no longer offered (outdated, still installed), asia holds only installed packages.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorvalib/files/TestTempFolder.h"
#include "quorvalib/localization/LocalizationConfig.h"
#include "quorvalib/sqlite/Command.h"
#include "updaterlib/PackageDatabase.h"

namespace updaterlib::modeltest {

class FixedLanguage final : public quorvalib::localization::LocalizationConfig {
public:
    explicit FixedLanguage(std::string name) : name_(std::move(name)) {}
    std::string GetLanguageCode() const override { return "1029"; }
    std::string GetLanguageName() const override { return name_; }

private:
    std::string name_;
};

inline PackageGroup ModelGroup(const std::string& name, const std::string& parent,
                               int32_t required = 0) {
    PackageGroup g;
    g.name = name;
    g.parent_name = parent;
    g.translation = name + " shown";
    g.description = "about " + name;
    g.type = kTypeMap;
    g.required = required;
    return g;
}

inline Package ModelPackage(const std::string& name, const std::string& version,
                            const std::string& group, uint32_t size,
                            const std::string& translation) {
    Package p(name, version, name == "voice" ? kTypeVoice : kTypeMap, false);
    p.status = kStatusAvailable;
    p.operation = kOperationNone;
    p.groups = {group};
    p.translation = translation;
    p.description = name + " " + version;
    p.size = size;
    p.country_code = name == "voice" ? "" : name;
    p.map_format = 3;
    p.map_provider = 7;
    p.map_release = 2024;
    p.recommended = name == "de";
    p.trial = name == "de" ? "30" : "";
    return p;
}

class ListModelFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db_.Init(folder_.Path(), &language_), PackageDatabase::kOk);
        const std::vector<PackageGroup> groups = {
            ModelGroup("maps", "", 1), ModelGroup("europe", "maps"), ModelGroup("asia", "maps"),
            ModelGroup("voices", "")};
        ASSERT_EQ(db_.UpdateDatabase(groups, {ModelPackage("cz", "1.0", "europe", 1000, "Cesko"),
                                              ModelPackage("de", "1.0", "europe", 3000, "Nemecko"),
                                              ModelPackage("at", "1.0", "europe", 500, "Rakousko"),
                                              ModelPackage("jp", "1.0", "asia", 700, "Japonsko")}),
                  PackageDatabase::kOk);
        for (const char* name : {"cz", "at", "jp"}) {
            ASSERT_EQ(db_.SetPackageStatus(PackageId(name, "1.0"), kStatusInstalled),
                      PackageDatabase::kOk);
        }
        ASSERT_EQ(db_.UpdateDatabase(groups, {ModelPackage("cz", "2.0", "europe", 2000, "Cesko"),
                                              ModelPackage("de", "1.0", "europe", 3000, "Nemecko"),
                                              ModelPackage("jp", "1.0", "asia", 700, "Japonsko"),
                                              ModelPackage("voice", "1.0", "voices", 90, "")}),
                  PackageDatabase::kOk);
        // The merge stores an empty display name as text; the catalogue may also carry none.
        ASSERT_TRUE(db_.ExecuteNonQuery("UPDATE tov_packages SET translation = NULL, "
                                        "description = NULL WHERE name = 'voice'"));
    }

    int32_t Id(const char* sql, const std::string& a, const std::string& b = {}) {
        quorvalib::sqlite::Command command(db_);
        EXPECT_TRUE(command.Create(sql));
        command.Bind(a, 1);
        if (!b.empty()) command.Bind(b, 2);
        return command.GetRow() ? command.GetInt(0) : -100;
    }
    int32_t PackageId(const std::string& name, const std::string& version) {
        return Id("SELECT id FROM tov_packages WHERE name = ? AND version = ?", name, version);
    }
    int32_t GroupId(const std::string& name) {
        return Id("SELECT id FROM tov_groups WHERE name = ?", name);
    }

    TestTempFolder folder_;
    FixedLanguage language_{"czech"};
    PackageDatabase db_;
};

}  // namespace updaterlib::modeltest
