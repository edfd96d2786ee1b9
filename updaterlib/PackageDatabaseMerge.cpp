// The catalogue merge: PackageDatabase::UpdateDatabase and its steps.

#include <sqlite3.h>

#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "quorvalib/sqlite/Command.h"
#include "updaterlib/Md5Text.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageDbLog.h"

namespace updaterlib {

using quorvalib::sqlite::Command;

namespace {

enum class Lookup { kFound, kNotFound, kFailed };

// The steps of one merge. Statements that run once per package, file or group are prepared
// once here; every step returns false after a failure and the caller rolls back.
class CatalogueMerge {
public:
    explicit CatalogueMerge(PackageDatabase& db)
        : db_(db), groupId_(db), groupParent_(db), packageId_(db), insertPackage_(db),
          insertFile_(db), updatePackage_(db), updateFileUrl_(db), deleteMembership_(db),
          insertMembership_(db), markOtherVersions_(db) {}

    bool _InsertNewAndUpdateOldGroups(std::vector<PackageGroup>& groups);
    bool _MarkPackagesOutdated(const std::vector<Package>& packages);
    bool MergePackages(std::vector<Package>& packages);
    bool DeleteOutdatedPackages();
    bool _DeleteEmptyGroups();

private:
    bool _InsertGroup(PackageGroup& group);
    bool _UpdateGroup(PackageGroup& group);
    bool _InsertPackage(Package& package);
    bool _InsertPackageFile(const PackageFile& file, int32_t packageId);
    bool _UpdatePackage(const Package& package);
    bool _UpdatePackageMembershipInGroups(const Package& package);

    // Prepares on first use, then resets for the next run.
    bool Ready(Command& command, const char* sql);
    // A lookup that ends without a row tells "not found" from an SQLite failure.
    Lookup Finish(Command& command, bool gotRow);

    Lookup FindGroupId(const std::string& name, int32_t& id);
    Lookup FindPackageId(const Package& package, int32_t& id);
    int LastErrorCode() const { return sqlite3_errcode(db_.Handle()); }

    PackageDatabase& db_;
    Command groupId_;
    Command groupParent_;
    Command packageId_;
    Command insertPackage_;
    Command insertFile_;
    Command updatePackage_;
    Command updateFileUrl_;
    Command deleteMembership_;
    Command insertMembership_;
    Command markOtherVersions_;
};

bool CatalogueMerge::Ready(Command& command, const char* sql) {
    if (command.IsPrepared()) {
        return command.Reset();
    }
    return command.Create(sql);
}

Lookup CatalogueMerge::Finish(Command& command, bool gotRow) {
    if (gotRow) {
        command.Reset();
        return Lookup::kFound;
    }
    const int code = LastErrorCode();
    return code == SQLITE_OK || code == SQLITE_DONE ? Lookup::kNotFound : Lookup::kFailed;
}

Lookup CatalogueMerge::FindGroupId(const std::string& name, int32_t& id) {
    if (!Ready(groupId_, "SELECT id FROM tov_groups WHERE name=?") || !groupId_.Bind(name, 1)) {
        return Lookup::kFailed;
    }
    const bool row = groupId_.GetRow();
    if (row) {
        id = groupId_.GetInt(0);
    }
    return Finish(groupId_, row);
}

Lookup CatalogueMerge::FindPackageId(const Package& package, int32_t& id) {
    if (!Ready(packageId_, "SELECT id FROM tov_packages WHERE name=? AND version=? AND type=?") ||
        !packageId_.Bind(package.name, 1) || !packageId_.Bind(package.version, 2) ||
        !packageId_.Bind(package.type, 3)) {
        return Lookup::kFailed;
    }
    const bool row = packageId_.GetRow();
    if (row) {
        id = packageId_.GetInt(0);
    }
    return Finish(packageId_, row);
}

bool CatalogueMerge::_InsertNewAndUpdateOldGroups(std::vector<PackageGroup>& groups) {
    // Pass 1: insert new groups, refresh known ones.
    for (PackageGroup& group : groups) {
        int32_t id = -1;
        switch (FindGroupId(group.name, id)) {
        case Lookup::kFound:
            group.id = id;
            if (!_UpdateGroup(group)) {
                return false;
            }
            break;
        case Lookup::kNotFound:
            if (!_InsertGroup(group)) {
                return false;
            }
            break;
        case Lookup::kFailed:
            TOV_LOG_ERROR(PackageDb, "Failed to search existing record.");
            return false;
        }
    }

    // Pass 2: parents, now that every catalogue group has an id.
    Command setParent(db_);
    Command deleteContained(db_);
    if (!setParent.Create("UPDATE tov_groups SET parent=:parent WHERE id=:id") ||
        !deleteContained.Create("DELETE FROM tov_recursive_groups WHERE contains=:id")) {
        return false;
    }
    for (const PackageGroup& group : groups) {
        if (!group.parent_name.empty()) {
            int32_t parent = -1;
            const Lookup found = FindGroupId(group.parent_name, parent);
            if (found == Lookup::kFailed) {
                return false;
            }
            if (found == Lookup::kFound &&
                (!setParent.Bind(parent, ":parent") || !setParent.Bind(group.id, ":id") ||
                 !setParent.Execute())) {
                return false;
            }
        }
        if (!deleteContained.Bind(group.id, ":id") || !deleteContained.Execute()) {
            return false;
        }
    }

    // Pass 3: the closure rows of every catalogue group, breadth first. A parent cycle repeats
    // a (gid, contains) pair, which the primary key refuses: the walk always ends.
    Command insertClosure(db_);
    Command children(db_);
    Command deleteClosure(db_);
    if (!insertClosure.Create(
            "INSERT INTO tov_recursive_groups (gid, contains) VALUES (:gid, :parent_id)") ||
        !children.Create("SELECT id FROM tov_groups WHERE parent=:parent") ||
        !deleteClosure.Create("DELETE FROM tov_recursive_groups WHERE :gid IN (gid)")) {
        return false;
    }
    for (const PackageGroup& group : groups) {
        if (!deleteClosure.Bind(group.id, ":gid") || !deleteClosure.Execute()) {
            return false;
        }
        std::deque<int32_t> work{group.id};
        while (!work.empty()) {
            const int32_t contained = work.front();
            if (!insertClosure.Bind(group.id, ":gid") ||
                !insertClosure.Bind(contained, ":parent_id") || !insertClosure.Execute()) {
                return false;
            }
            if (!children.Reset() || !children.Bind(contained, ":parent")) {
                return false;
            }
            while (children.GetRow()) {
                work.push_back(children.GetInt(0));
            }
            if (Finish(children, false) == Lookup::kFailed) {
                return false;
            }
            work.pop_front();
        }
    }
    return true;
}

bool CatalogueMerge::_InsertGroup(PackageGroup& group) {
    int32_t parent = -1;
    Lookup found = Lookup::kNotFound;
    if (!group.parent_name.empty()) {
        found = FindGroupId(group.parent_name, parent);
        if (found == Lookup::kFailed) {
            return false;
        }
    }
    Command insert(db_);
    const bool bound =
        insert.Create("INSERT INTO tov_groups ( name, translation, type, parent, description, "
                      "required) VALUES ( :name, :translation, :type, :parent, :description, "
                      ":required)") &&
        insert.Bind(group.name, ":name") && insert.Bind(group.translation, ":translation") &&
        insert.Bind(group.type, ":type") &&
        (found == Lookup::kFound ? insert.Bind(parent, ":parent") : insert.BindNull(":parent")) &&
        insert.Bind(group.description, ":description") && insert.Bind(group.required, ":required");
    if (!bound || !insert.Execute()) {
        return false;
    }
    group.id = static_cast<int32_t>(sqlite3_last_insert_rowid(db_.Handle()));
    return true;
}

bool CatalogueMerge::_UpdateGroup(PackageGroup& group) {
    if (!Ready(groupParent_, "SELECT parent FROM tov_groups WHERE name=:name") ||
        !groupParent_.Bind(group.name, ":name")) {
        return false;
    }
    if (!groupParent_.GetRow()) {
        return false;
    }
    int32_t parent = groupParent_.IsNull(0) ? -1 : groupParent_.GetInt(0);
    groupParent_.Reset();
    if (group.parent_name.empty()) {
        parent = -1;
    }
    Command update(db_);
    const bool ok =
        update.Create("UPDATE tov_groups SET translation=:translation, type=:type, "
                      "parent=:parent, required=:required, description=:description "
                      "WHERE id=:id") &&
        update.Bind(group.translation, ":translation") && update.Bind(group.type, ":type") &&
        update.Bind(parent, ":parent") && update.Bind(group.required, ":required") &&
        update.Bind(group.description, ":description") && update.Bind(group.id, ":id") &&
        update.Execute();
    if (!ok) {
        TOV_LOG_ERROR(PackageDb,
                      "Failed to update group record, id %i, display name=%s, type=%d, parent "
                      "name=%s id=%d, required:%i, e:%d",
                      group.id, group.translation, group.type, group.parent_name, parent,
                      group.required, LastErrorCode());
        return false;
    }
    return true;
}

bool CatalogueMerge::_MarkPackagesOutdated(const std::vector<Package>& packages) {
    // Every stored version, downloaded or not: one the server no longer offers must not come
    // back as available after it is uninstalled. The listed versions are cleared again below,
    // and only never-downloaded ones are deleted.
    if (!db_.ExecuteNonQuery("UPDATE tov_packages SET outdated=1")) {
        TOV_LOG_ERROR(PackageDb, "Failed to mark all packages as outdated.");
        return false;
    }
    if (!db_.ExecuteNonQuery("UPDATE tov_packages SET mandatory=0 WHERE mandatory")) {
        TOV_LOG_ERROR(PackageDb, "Failed to unmark all mandatory packages.");
        return false;
    }
    if (!markOtherVersions_.Create("UPDATE tov_packages SET outdated=1 WHERE name=:name AND "
                                   "type=:type AND version!=:version")) {
        TOV_LOG_ERROR(PackageDb, "Failed to mark all packages as outdated.");
        return false;
    }
    for (const Package& package : packages) {
        if (!markOtherVersions_.Bind(package.name, ":name") ||
            !markOtherVersions_.Bind(package.type, ":type") ||
            !markOtherVersions_.Bind(package.version, ":version") ||
            !markOtherVersions_.Execute()) {
            TOV_LOG_ERROR(PackageDb, "Failed to mark all packages as outdated.");
            return false;
        }
    }
    return true;
}

bool CatalogueMerge::MergePackages(std::vector<Package>& packages) {
    for (Package& package : packages) {
        int32_t id = -1;
        switch (FindPackageId(package, id)) {
        case Lookup::kFound:
            package.id = id;
            if (!_UpdatePackage(package)) {
                return false;
            }
            break;
        case Lookup::kNotFound:
            if (!_InsertPackage(package)) {
                return false;
            }
            break;
        case Lookup::kFailed:
            return false;
        }
        if (!_UpdatePackageMembershipInGroups(package)) {
            return false;
        }
    }
    return true;
}

bool CatalogueMerge::_UpdatePackage(const Package& package) {
    Command& u = updatePackage_;
    const bool ok =
        Ready(u, "UPDATE tov_packages SET translation=:translation, outdated=:outdated, "
                 "description=:description, type=:type, mandatory=:mandatory, "
                 "skin_width=:skin_width, skin_height=:skin_height, skin_density=:skin_density, "
                 "voice_lang=:voice_lang, voice_speaker=:voice_speaker, "
                 "country_code=:country_code, map_format=:map_format, "
                 "map_provider=:map_provider, map_release=:map_release, "
                 "recommended=:recommended, trial=:trial WHERE id=:id") &&
        u.Bind(package.translation, ":translation") &&
        u.Bind(int32_t{package.outdated ? 1 : 0}, ":outdated") &&
        u.Bind(package.description, ":description") && u.Bind(package.type, ":type") &&
        u.Bind(int32_t{package.mandatory ? 1 : 0}, ":mandatory") &&
        u.Bind(int32_t{package.skin_width}, ":skin_width") &&
        u.Bind(int32_t{package.skin_height}, ":skin_height") &&
        u.Bind(int32_t{package.skin_density}, ":skin_density") &&
        u.Bind(package.voice_lang, ":voice_lang") &&
        u.Bind(package.voice_speaker, ":voice_speaker") &&
        u.Bind(package.country_code, ":country_code") &&
        u.Bind(package.map_format, ":map_format") &&
        u.Bind(package.map_provider, ":map_provider") &&
        u.Bind(package.map_release, ":map_release") &&
        u.Bind(int32_t{package.recommended ? 1 : 0}, ":recommended") &&
        u.Bind(package.trial, ":trial") && u.Bind(package.id, ":id") && u.Execute();
    if (!ok) {
        TOV_LOG_ERROR(PackageDb, "Failed to update package record %d.", package.id);
        return false;
    }
    for (const PackageFile& file : package.files) {
        Command& f = updateFileUrl_;
        if (!Ready(f, "UPDATE tov_package_files SET source_path=:url WHERE pkgid=:pkgid AND "
                      "file_path=:file_path AND target_dir=:target_dir") ||
            !f.Bind(file.source_path, ":url") || !f.Bind(package.id, ":pkgid") ||
            !f.Bind(file.file_path, ":file_path") || !f.Bind(file.target_dir, ":target_dir") ||
            !f.Execute()) {
            return false;
        }
    }
    return true;
}

bool CatalogueMerge::_InsertPackage(Package& package) {
    Command& i = insertPackage_;
    const bool ok =
        Ready(i, "INSERT INTO tov_packages ( name, mandatory, translation, description, version, "
                 "type, status, operation, size, skin_width, skin_height, skin_density, "
                 "voice_speaker, voice_lang, country_code, map_format, map_provider, "
                 "map_release, recommended, trial) VALUES ( :name, :mandatory, :translation, "
                 ":description, :version, :type, :status, :operation, :size, :skin_width, "
                 ":skin_height, :skin_density, :voice_speaker, :voice_lang, :country_code, "
                 ":map_format, :map_provider, :map_release, :recommended, :trial)") &&
        i.Bind(package.name, ":name") && i.Bind(int32_t{package.mandatory ? 1 : 0}, ":mandatory") &&
        i.Bind(package.translation, ":translation") &&
        i.Bind(package.description, ":description") && i.Bind(package.version, ":version") &&
        i.Bind(package.type, ":type") && i.Bind(package.status, ":status") &&
        i.Bind(package.operation, ":operation") &&
        i.Bind(static_cast<int64_t>(package.size), ":size") &&
        i.Bind(int32_t{package.skin_width}, ":skin_width") &&
        i.Bind(int32_t{package.skin_height}, ":skin_height") &&
        i.Bind(int32_t{package.skin_density}, ":skin_density") &&
        i.Bind(package.voice_speaker, ":voice_speaker") &&
        i.Bind(package.voice_lang, ":voice_lang") &&
        i.Bind(package.country_code, ":country_code") &&
        i.Bind(package.map_format, ":map_format") &&
        i.Bind(package.map_provider, ":map_provider") &&
        i.Bind(package.map_release, ":map_release") &&
        i.Bind(int32_t{package.recommended ? 1 : 0}, ":recommended") &&
        i.Bind(package.trial, ":trial") && i.Execute();
    if (!ok) {
        TOV_LOG_ERROR(PackageDb, "Failed to create new package record.");
        return false;
    }
    int32_t id = -1;
    if (FindPackageId(package, id) != Lookup::kFound) {
        TOV_LOG_ERROR(PackageDb, "Failed to search for newly created package record");
        return false;
    }
    package.id = id;
    for (const PackageFile& file : package.files) {
        if (!_InsertPackageFile(file, id)) {
            return false;
        }
    }
    return true;
}

bool CatalogueMerge::_InsertPackageFile(const PackageFile& file, int32_t packageId) {
    Command& i = insertFile_;
    const bool ok =
        Ready(i, "INSERT INTO tov_package_files ( pkgid, file_path, md5, target_dir, "
                 "source_path, mode) VALUES (:package_id, :file_path, :md5, :target_dir, "
                 ":source_path, :mode)") &&
        i.Bind(packageId, ":package_id") && i.Bind(file.file_path, ":file_path") &&
        i.Bind(Md5BytesToText(file.md5), ":md5") && i.Bind(file.target_dir, ":target_dir") &&
        i.Bind(file.source_path, ":source_path") && i.Bind(file.mode, ":mode") && i.Execute();
    if (!ok) {
        TOV_LOG_ERROR(PackageDb, "Failed to create new package file record.");
        return false;
    }
    return true;
}

bool CatalogueMerge::_UpdatePackageMembershipInGroups(const Package& package) {
    if (!Ready(deleteMembership_, "DELETE FROM tov_grouped_packages WHERE pkgid = :package_id") ||
        !deleteMembership_.Bind(package.id, ":package_id") || !deleteMembership_.Execute()) {
        TOV_LOG_ERROR(PackageDb, "Failed to clean old membership of package #%i.", package.id);
        return false;
    }
    if (!Ready(insertMembership_,
               "INSERT INTO tov_grouped_packages (pkgid, gid) VALUES(:package_id, :group_id)")) {
        TOV_LOG_ERROR(PackageDb, "Failed to update package member ship in groups.");
        return false;
    }
    // A group named twice in one package is one membership, not a key violation.
    std::set<int32_t> joined;
    for (const std::string& name : package.groups) {
        int32_t gid = -1;
        if (FindGroupId(name, gid) != Lookup::kFound) {
            TOV_LOG_ERROR(PackageDb, "Failed to find group id, group '%s'", name);
            return false;
        }
        if (!joined.insert(gid).second) {
            continue;
        }
        if (!insertMembership_.Reset() || !insertMembership_.Bind(package.id, ":package_id") ||
            !insertMembership_.Bind(gid, ":group_id") || !insertMembership_.Execute()) {
            TOV_LOG_ERROR(PackageDb, "Failed to insert package member ship in group.");
            return false;
        }
    }
    return true;
}

bool CatalogueMerge::DeleteOutdatedPackages() {
    std::vector<int32_t> ids;
    {
        Command select(db_);
        if (!select.Create(
                "SELECT id FROM tov_packages WHERE outdated = 1 AND status <= :status") ||
            !select.Bind(int32_t{1}, ":status")) {
            return false;
        }
        while (select.GetRow()) {
            ids.push_back(select.GetInt(0));
        }
        if (Finish(select, false) == Lookup::kFailed) {
            return false;
        }
    }
    Command memberships(db_);
    Command files(db_);
    Command packages(db_);
    if (!memberships.Create("DELETE FROM tov_grouped_packages WHERE pkgid = :package_id") ||
        !files.Create("DELETE FROM tov_package_files WHERE pkgid = :package_id") ||
        !packages.Create("DELETE FROM tov_packages WHERE id = :package_id")) {
        return false;
    }
    for (const int32_t id : ids) {
        for (Command* command : {&memberships, &files, &packages}) {
            if (!command->Bind(id, ":package_id") || !command->Execute()) {
                return false;
            }
        }
    }
    return true;
}

bool CatalogueMerge::_DeleteEmptyGroups() {
    if (!db_.ExecuteNonQuery(
            "DELETE FROM tov_groups WHERE NOT EXISTS ( SELECT 1 FROM tov_grouped_packages AS gp "
            "JOIN tov_recursive_groups AS rg ON (gp.gid=rg.contains) WHERE rg.gid = "
            "tov_groups.id)")) {
        TOV_LOG_ERROR(PackageDb, "Failed to delete empty groups.");
        return false;
    }
    return true;
}

}  // namespace

int PackageDatabase::UpdateDatabase(const std::vector<PackageGroup>& groups,
                                    const std::vector<Package>& packages) {
    std::lock_guard guard(lock_);
    if (!IsOpen()) {
        return 3;
    }
    // The merge writes ids into its own copies; the caller's records stay as they were.
    std::vector<PackageGroup> catalogueGroups = groups;
    std::vector<Package> cataloguePackages = packages;

    if (!ExecuteNonQuery("begin immediate transaction")) {
        TOV_LOG_ERROR(PackageDb, "Failed to begin transaction.");
        return 4;
    }
    bool merged = false;
    {
        CatalogueMerge merge(*this);
        merged = _CreateMergeIndexes() && merge._InsertNewAndUpdateOldGroups(catalogueGroups) &&
                 merge._MarkPackagesOutdated(cataloguePackages) &&
                 merge.MergePackages(cataloguePackages) && merge.DeleteOutdatedPackages() &&
                 merge._DeleteEmptyGroups();
    }  // statements finalized before the transaction ends
    if (!merged) {
        Rollback();
        return 4;
    }
    if (!ExecuteNonQuery("commit")) {
        Rollback();
        TOV_LOG_ERROR(PackageDb, "Failed to commit transaction.");
        return 4;
    }
    return 0;
}

bool PackageDatabase::_CreateMergeIndexes() {
    // Plain indexes: readers that do not know them ignore them, so db_version stays as it is.
    static const char* const kIndexes[] = {
        "CREATE INDEX IF NOT EXISTS tov_package_files_pkgid ON tov_package_files (pkgid)",
        "CREATE INDEX IF NOT EXISTS tov_grouped_packages_pkgid ON tov_grouped_packages (pkgid)",
        "CREATE INDEX IF NOT EXISTS tov_groups_parent ON tov_groups (parent)",
    };
    for (const char* sql : kIndexes) {
        if (!ExecuteNonQuery(sql)) {
            TOV_LOG_ERROR(PackageDb, "Failed to create index: %s", sql);
            return false;
        }
    }
    return true;
}

}  // namespace updaterlib
