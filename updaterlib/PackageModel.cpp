#include "updaterlib/PackageModel.h"

#include "updaterlib/Package.h"

namespace updaterlib {
namespace {

constexpr QueryTableModel::ColumnInfo kColumns[PackageModel::kColumnCount] = {
    {"id", QueryTableModel::kInteger, "id"},
    {"name", QueryTableModel::kText, "name"},
    {"size", QueryTableModel::kInteger, "size"},
    {"mandatory", QueryTableModel::kInteger, "mandatory"},
    {"outdated", QueryTableModel::kInteger, "outdated"},
    {"description", QueryTableModel::kText, "description"},
    {"version", QueryTableModel::kText, "version"},
    {"status", QueryTableModel::kInteger, "status"},
    {"operation", QueryTableModel::kInteger, "operation"},
    {"type", QueryTableModel::kInteger, "type"},
    {"old_id", QueryTableModel::kInteger, "old_id"},
    {"old_version", QueryTableModel::kText, "old_version"},
    {"old_size", QueryTableModel::kInteger, "old_size"},
    {"country_code", QueryTableModel::kText, "country_code"},
    {"map_format", QueryTableModel::kInteger, "map_format"},
    {"map_provider", QueryTableModel::kInteger, "map_provider"},
    {"map_release", QueryTableModel::kInteger, "map_release"},
    {"recommended", QueryTableModel::kInteger, "recommended"},
    {"trial", QueryTableModel::kText, "trial"},
};

}  // namespace

const char* const PackageModel::kInstallQuery =
    "SELECT\n"
    "    package.id,\n"
    "    COALESCE(package.translation, package.name) name,\n"
    "    package.description,\n"
    "    package.version,\n"
    "    package.mandatory,\n"
    "    package.outdated,\n"
    "    package.type,\n"
    "    package.status,\n"
    "    package.operation,\n"
    "    package.size,\n"
    "    package.country_code country_code,\n"
    "    package.map_format map_format,\n"
    "    package.map_provider map_provider,\n"
    "    package.map_release map_release,\n"
    "    package.recommended recommended,\n"
    "    package.trial,\n"
    "    old_package.version old_version,\n"
    "    old_package.size old_size,\n"
    "    old_package.id old_id\n"
    "FROM tov_packages package\n"
    "INNER JOIN tov_grouped_packages ON tov_grouped_packages.pkgid = package.id\n"
    "LEFT JOIN tov_packages old_package ON\n"
    "    old_package.name = package.name\n"
    "    AND old_package.status = :installedStatus\n"
    "WHERE\n"
    "    package.status <= :preparingStatus\n"
    "    AND tov_grouped_packages.gid = :groupId\n"
    "    AND package.outdated = 0\n"
    "ORDER BY package.translation COLLATE WCSCOLL, package.name";

const char* const PackageModel::kUninstallQuery =
    "SELECT\n"
    "    package.id,\n"
    "    COALESCE(package.translation, package.name) name,\n"
    "    package.description,\n"
    "    package.version,\n"
    "    package.mandatory,\n"
    "    package.outdated,\n"
    "    package.type,\n"
    "    package.status,\n"
    "    package.operation,\n"
    "    package.size,\n"
    "    package.country_code country_code,\n"
    "    package.map_format map_format,\n"
    "    package.map_provider map_provider,\n"
    "    package.map_release map_release,\n"
    "    package.recommended recommended,\n"
    "    package.trial,\n"
    "    old_package.version old_version,\n"
    "    old_package.size old_size,\n"
    "    old_package.id old_id\n"
    "FROM tov_packages package\n"
    "INNER JOIN tov_grouped_packages ON tov_grouped_packages.pkgid = package.id\n"
    "JOIN (SELECT NULL version, NULL size, -1 id) old_package\n"
    "WHERE\n"
    "    status IN (:installedStatus, :preparedStatus)\n"
    "    AND tov_grouped_packages.gid = :groupId\n"
    "ORDER BY package.translation COLLATE WCSCOLL, package.name";

PackageModel::PackageModel(int32_t mode, PackageDatabase& database, int32_t groupId)
    : QueryTableModel(kColumns, kColumnCount), mode_(mode), groupId_(groupId) {
    if (mode == kInstall) {
        _Load(database, kInstallQuery,
              {{":installedStatus", kStatusInstalled},
               {":preparingStatus", kStatusPreparing},
               {":groupId", groupId}});
    } else if (mode == kUninstall) {
        _Load(database, kUninstallQuery,
              {{":installedStatus", kStatusInstalled},
               {":preparedStatus", kStatusPrepared},
               {":groupId", groupId}});
    }
}

}  // namespace updaterlib
