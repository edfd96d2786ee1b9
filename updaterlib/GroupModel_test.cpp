#include "updaterlib/GroupModel.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "updaterlib/ListModelFixture_test.h"

namespace updaterlib {
namespace {

using GroupModelTest = modeltest::ListModelFixture;

// group name -> children_count
std::map<std::string, int32_t> Groups(const GroupModel& model) {
    std::map<std::string, int32_t> groups;
    for (int32_t row = 0; row < model.RowCount(); ++row) {
        groups[model.GetText(row, GroupModel::kGroupName)] =
            model.GetInt(row, GroupModel::kChildrenCount);
    }
    return groups;
}

TEST_F(GroupModelTest, InstallModeSkipsGroupsWhosePackagesAreAllInstalled) {
    GroupModel top(GroupModel::kInstall, db_, GroupModel::kTopLevel);
    // asia holds only installed packages: maps counts europe alone.
    EXPECT_EQ(Groups(top), (std::map<std::string, int32_t>{{"maps shown", 1},
                                                           {"voices shown", 0}}));
    GroupModel below(GroupModel::kInstall, db_, GroupId("maps"));
    EXPECT_EQ(Groups(below), (std::map<std::string, int32_t>{{"europe shown", 0}}));
    EXPECT_EQ(below.ParentId(), GroupId("maps"));
}

TEST_F(GroupModelTest, UninstallModeListsGroupsWithInstalledPackages) {
    GroupModel top(GroupModel::kUninstall, db_, GroupModel::kTopLevel);
    EXPECT_EQ(Groups(top), (std::map<std::string, int32_t>{{"maps shown", 2}}));
    GroupModel below(GroupModel::kUninstall, db_, GroupId("maps"));
    EXPECT_EQ(Groups(below), (std::map<std::string, int32_t>{{"europe shown", 0},
                                                             {"asia shown", 0}}));
}

TEST_F(GroupModelTest, ColumnsOfARow) {
    ASSERT_TRUE(db_.ExecuteNonQuery("UPDATE tov_groups SET translation = NULL "
                                    "WHERE name = 'voices'"));
    GroupModel top(GroupModel::kInstall, db_, GroupModel::kTopLevel);
    ASSERT_EQ(top.RowCount(), 2);
    for (int32_t row = 0; row < top.RowCount(); ++row) {
        const std::string name = top.GetText(row, GroupModel::kGroupName);
        const bool maps = name == "maps shown";
        EXPECT_TRUE(maps || name == "voices") << name;
        EXPECT_EQ(top.GetInt(row, GroupModel::kGroupId), GroupId(maps ? "maps" : "voices"));
        EXPECT_EQ(top.GetInt(row, GroupModel::kGroupType), kTypeMap);
        EXPECT_EQ(top.GetInt(row, GroupModel::kRequired), maps ? 1 : 0);
        EXPECT_STREQ(top.GetText(row, GroupModel::kDescription),
                     maps ? "about maps" : "about voices");
    }
}

TEST_F(GroupModelTest, ATopLevelGroupMayHaveParentMinusOne) {
    // The merge writes -1 for an existing group that lost its parent name.
    ASSERT_TRUE(db_.ExecuteNonQuery("UPDATE tov_groups SET parent = -1 WHERE name = 'voices'"));
    GroupModel top(GroupModel::kInstall, db_, GroupModel::kTopLevel);
    EXPECT_EQ(Groups(top).count("voices shown"), 1u);
}

TEST_F(GroupModelTest, ColumnsTypesAndOutOfRangeAnswers) {
    GroupModel model(GroupModel::kInstall, db_, GroupModel::kTopLevel);
    ASSERT_EQ(model.ColumnCount(), 6);
    const std::pair<const char*, int32_t> columns[] = {
        {"group_id", 2}, {"group_name", 1}, {"group_type", 2},
        {"children_count", 2}, {"required", 2}, {"description", 1}};
    for (int32_t column = 0; column < 6; ++column) {
        EXPECT_STREQ(model.ColumnName(column), columns[column].first);
        EXPECT_EQ(model.ColumnType(column), columns[column].second);
    }
    EXPECT_EQ(model.ColumnName(6), nullptr);
    EXPECT_EQ(model.ColumnType(6), -1);
    EXPECT_EQ(model.GetInt(0, GroupModel::kGroupName), -1);
    EXPECT_EQ(model.GetText(0, GroupModel::kGroupId), nullptr);
    EXPECT_EQ(model.GetText(model.RowCount(), GroupModel::kGroupName), nullptr);
    EXPECT_EQ(model.GetInt(-1, GroupModel::kGroupId), -1);
    EXPECT_EQ(GroupModel(7, db_, GroupModel::kTopLevel).RowCount(), 0);
}

}  // namespace
}  // namespace updaterlib
