#include "updaterlib/PackageModel.h"

#include <gtest/gtest.h>

#include <locale.h>

#include <string>
#include <thread>
#include <vector>

#include "updaterlib/ListModelFixture_test.h"

namespace updaterlib {
namespace {

using modeltest::ListModelFixture;

std::vector<std::string> Names(const PackageModel& model) {
    std::vector<std::string> names;
    for (int32_t row = 0; row < model.RowCount(); ++row) {
        names.emplace_back(model.GetText(row, PackageModel::kName));
    }
    return names;
}

int32_t RowOf(const PackageModel& model, int32_t id) {
    for (int32_t row = 0; row < model.RowCount(); ++row) {
        if (model.GetInt(row, PackageModel::kId) == id) return row;
    }
    return -1;
}

using PackageModelTest = ListModelFixture;

TEST_F(PackageModelTest, InstallModeListsUpdatesWithTheInstalledVersion) {
    PackageModel model(PackageModel::kInstall, db_, GroupId("europe"));
    // cz 1.0 is installed and at 1.0 outdated: neither is offered.
    ASSERT_EQ(Names(model), (std::vector<std::string>{"Cesko", "Nemecko"}));

    const int32_t update = RowOf(model, PackageId("cz", "2.0"));
    ASSERT_GE(update, 0);
    EXPECT_STREQ(model.GetText(update, PackageModel::kVersion), "2.0");
    EXPECT_EQ(model.GetInt(update, PackageModel::kSize), 2000);
    EXPECT_EQ(model.GetInt(update, PackageModel::kStatus), kStatusAvailable);
    EXPECT_EQ(model.GetInt(update, PackageModel::kOperation), kOperationNone);
    EXPECT_EQ(model.GetInt(update, PackageModel::kOutdated), 0);
    EXPECT_EQ(model.GetInt(update, PackageModel::kOldId), PackageId("cz", "1.0"));
    EXPECT_STREQ(model.GetText(update, PackageModel::kOldVersion), "1.0");
    EXPECT_EQ(model.GetInt(update, PackageModel::kOldSize), 1000);

    const int32_t fresh = RowOf(model, PackageId("de", "1.0"));
    ASSERT_GE(fresh, 0);
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kOldId), 0);
    EXPECT_STREQ(model.GetText(fresh, PackageModel::kOldVersion), "");
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kOldSize), 0);
    EXPECT_STREQ(model.GetText(fresh, PackageModel::kDescription), "de 1.0");
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kType), kTypeMap);
    EXPECT_STREQ(model.GetText(fresh, PackageModel::kCountryCode), "de");
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kMapFormat), 3);
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kMapProvider), 7);
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kMapRelease), 2024);
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kRecommended), 1);
    EXPECT_EQ(model.GetInt(fresh, PackageModel::kMandatory), 0);
    EXPECT_STREQ(model.GetText(fresh, PackageModel::kTrial), "30");
}

TEST_F(PackageModelTest, InstallModeKeepsPreparingPackagesAndDropsPreparedOnes) {
    ASSERT_EQ(db_.SetPackageStatus(PackageId("de", "1.0"), kStatusPreparing), 0);
    ASSERT_EQ(db_.SetPackageStatus(PackageId("cz", "2.0"), kStatusPrepared), 0);
    PackageModel install(PackageModel::kInstall, db_, GroupId("europe"));
    EXPECT_EQ(Names(install), (std::vector<std::string>{"Nemecko"}));
    PackageModel uninstall(PackageModel::kUninstall, db_, GroupId("europe"));
    EXPECT_EQ(RowOf(uninstall, PackageId("cz", "2.0")) >= 0, true);
    EXPECT_EQ(RowOf(uninstall, PackageId("de", "1.0")), -1);
}

TEST_F(PackageModelTest, UninstallModeListsInstalledPackagesOutdatedIncluded) {
    PackageModel model(PackageModel::kUninstall, db_, GroupId("europe"));
    ASSERT_EQ(Names(model), (std::vector<std::string>{"Cesko", "Rakousko"}));
    const int32_t outdated = RowOf(model, PackageId("at", "1.0"));
    ASSERT_GE(outdated, 0);
    EXPECT_EQ(model.GetInt(outdated, PackageModel::kOutdated), 1);
    EXPECT_EQ(model.GetInt(outdated, PackageModel::kStatus), kStatusInstalled);
    for (int32_t row = 0; row < model.RowCount(); ++row) {
        EXPECT_EQ(model.GetInt(row, PackageModel::kOldId), -1);
        EXPECT_STREQ(model.GetText(row, PackageModel::kOldVersion), "");
        EXPECT_EQ(model.GetInt(row, PackageModel::kOldSize), 0);
    }
    EXPECT_EQ(RowOf(model, PackageId("cz", "1.0")) >= 0, true);
}

TEST_F(PackageModelTest, NullTranslationShowsTheNameAndSortsFirst) {
    ASSERT_TRUE(db_.ExecuteNonQuery(
        "UPDATE tov_packages SET translation = NULL WHERE name = 'de'"));
    PackageModel model(PackageModel::kInstall, db_, GroupId("europe"));
    EXPECT_EQ(Names(model), (std::vector<std::string>{"de", "Cesko"}));

    PackageModel voices(PackageModel::kInstall, db_, GroupId("voices"));
    ASSERT_EQ(voices.RowCount(), 1);
    EXPECT_STREQ(voices.GetText(0, PackageModel::kName), "voice");
    EXPECT_STREQ(voices.GetText(0, PackageModel::kDescription), "");  // NULL
}

TEST_F(PackageModelTest, DisplayNamesFollowTheLanguageCollation) {
    locale_t czech = newlocale(LC_COLLATE_MASK, "cs_CZ.UTF-8", nullptr);
    if (czech == nullptr) {
        GTEST_SKIP() << "cs_CZ.UTF-8 is not installed";
    }
    freelocale(czech);
    // In Czech "Č" sorts between "C" and "D"; by bytes it would come after "D".
    ASSERT_TRUE(db_.ExecuteNonQuery(
        "UPDATE tov_packages SET translation = 'Čechy' WHERE name = 'cz';"
        "UPDATE tov_packages SET translation = 'Dánsko' WHERE name = 'de';"));
    PackageModel model(PackageModel::kInstall, db_, GroupId("europe"));
    EXPECT_EQ(Names(model), (std::vector<std::string>{"Čechy", "Dánsko"}));
}

TEST_F(PackageModelTest, ColumnsTypesAndOutOfRangeAnswers) {
    PackageModel model(PackageModel::kInstall, db_, GroupId("europe"));
    ASSERT_EQ(model.ColumnCount(), 19);
    const std::vector<std::pair<const char*, int32_t>> columns = {
        {"id", 2},        {"name", 1},         {"size", 2},         {"mandatory", 2},
        {"outdated", 2},  {"description", 1},  {"version", 1},      {"status", 2},
        {"operation", 2}, {"type", 2},         {"old_id", 2},       {"old_version", 1},
        {"old_size", 2},  {"country_code", 1}, {"map_format", 2},   {"map_provider", 2},
        {"map_release", 2}, {"recommended", 2}, {"trial", 1}};
    for (int32_t column = 0; column < 19; ++column) {
        EXPECT_STREQ(model.ColumnName(column), columns[column].first);
        EXPECT_EQ(model.ColumnType(column), columns[column].second);
        // The wrong accessor for the column's type.
        if (columns[column].second == 1) {
            EXPECT_EQ(model.GetInt(0, column), -1) << column;
        } else {
            EXPECT_EQ(model.GetText(0, column), nullptr) << column;
        }
    }
    for (int32_t column : {-1, 19}) {
        EXPECT_EQ(model.ColumnName(column), nullptr);
        EXPECT_EQ(model.ColumnType(column), -1);
        EXPECT_EQ(model.GetText(0, column), nullptr);
        EXPECT_EQ(model.GetInt(0, column), -1);
    }
    for (int32_t row : {-1, model.RowCount()}) {
        EXPECT_EQ(model.GetText(row, PackageModel::kName), nullptr);
        EXPECT_EQ(model.GetInt(row, PackageModel::kId), -1);
    }
}

TEST_F(PackageModelTest, UnknownModesAndFailedQueriesGiveEmptyModels) {
    EXPECT_EQ(PackageModel(2, db_, GroupId("europe")).RowCount(), 0);
    EXPECT_EQ(PackageModel(-1, db_, GroupId("europe")).RowCount(), 0);
    EXPECT_EQ(PackageModel(PackageModel::kInstall, db_, 99999).RowCount(), 0);
    PackageDatabase closed;
    PackageModel none(PackageModel::kInstall, closed, 1);
    EXPECT_EQ(none.RowCount(), 0);
    EXPECT_EQ(none.ColumnCount(), 19);
}

// The model's query and a writer on another thread are serialized by the database's lock.
TEST_F(PackageModelTest, ModelsMadeWhileAnotherThreadWritesSeeWholeStates) {
    const int32_t de = PackageId("de", "1.0");
    const int32_t europe = GroupId("europe");
    std::thread writer([&] {
        for (int i = 0; i < 40; ++i) {
            std::lock_guard guard(db_.Lock());
            // Both rows change inside one locked step: a reader sees both or neither.
            db_.SetPackageStatus(de, kStatusInstalled);
            db_.SetPackageStatus(de, kStatusAvailable);
        }
    });
    for (int i = 0; i < 40; ++i) {
        PackageModel model(PackageModel::kInstall, db_, europe);
        ASSERT_EQ(model.RowCount(), 2);
    }
    writer.join();
}

}  // namespace
}  // namespace updaterlib
