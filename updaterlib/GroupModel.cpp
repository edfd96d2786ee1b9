#include "updaterlib/GroupModel.h"

namespace updaterlib {
namespace {

constexpr QueryTableModel::ColumnInfo kColumns[GroupModel::kColumnCount] = {
    {"group_id", QueryTableModel::kInteger, "id"},
    {"group_name", QueryTableModel::kText, "name"},
    {"group_type", QueryTableModel::kInteger, "type"},
    {"children_count", QueryTableModel::kInteger, "children_count"},
    {"required", QueryTableModel::kInteger, "required"},
    {"description", QueryTableModel::kText, "description"},
};

}  // namespace

const char* const GroupModel::kInstallQuery =
    "SELECT\n"
    "    g.id id,\n"
    "    COALESCE(g.translation, g.name) name,\n"
    "    g.type type,\n"
    "    (\n"
    "        SELECT COUNT(*)\n"
    "        FROM tov_groups child\n"
    "        INNER JOIN tov_group_contain_package_to_install c ON c.id = child.id\n"
    "        WHERE child.parent = g.id\n"
    "    ) children_count,\n"
    "    g.description description,\n"
    "    g.required required\n"
    "FROM tov_groups AS g\n"
    "INNER JOIN tov_group_contain_package_to_install c ON c.id = g.id\n"
    "WHERE COALESCE(g.parent, -1) = :PARENT_ID\n";

const char* const GroupModel::kUninstallQuery =
    "SELECT\n"
    "    g.id id,\n"
    "    COALESCE(g.translation, g.name) name,\n"
    "    g.type type,\n"
    "    (\n"
    "        SELECT COUNT(*)\n"
    "        FROM tov_groups child\n"
    "        INNER JOIN tov_group_contain_package_to_uninstall c ON c.id = child.id\n"
    "        WHERE child.parent = g.id\n"
    "    ) children_count,\n"
    "    g.description description,\n"
    "    g.required required\n"
    "FROM tov_groups AS g\n"
    "INNER JOIN tov_group_contain_package_to_uninstall c ON c.id = g.id\n"
    "WHERE COALESCE(g.parent, -1) = :PARENT_ID\n";

GroupModel::GroupModel(int32_t mode, PackageDatabase& database, int32_t parentId)
    : QueryTableModel(kColumns, kColumnCount), mode_(mode), parentId_(parentId) {
    if (mode == kInstall) {
        _Load(database, kInstallQuery, {{":PARENT_ID", parentId}});
    } else if (mode == kUninstall) {
        _Load(database, kUninstallQuery, {{":PARENT_ID", parentId}});
    }
}

}  // namespace updaterlib
