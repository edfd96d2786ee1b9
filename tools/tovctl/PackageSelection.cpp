#include "tools/tovctl/PackageSelection.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <set>

#include "quorvalib/sqlite/Command.h"

namespace tovctl {
namespace {

using updaterlib::kOperationInstall;
using updaterlib::kOperationUninstall;
using updaterlib::kStatusInstalled;
using updaterlib::kStatusPrepared;

std::vector<std::string> Split(const std::string& version) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = version.find('.', start);
        parts.push_back(version.substr(start, dot - start));
        if (dot == std::string::npos) return parts;
        start = dot + 1;
    }
}

bool IsNumber(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// The highest version of `name` the server still offers, or null.
const PackageRow* HighestOffered(const std::vector<PackageRow>& rows, const std::string& name) {
    const PackageRow* best = nullptr;
    for (const PackageRow& row : rows) {
        if (row.name != name || row.outdated) continue;
        if (!best || CompareVersions(row.version, best->version) > 0) best = &row;
    }
    return best;
}

std::string VersionsOf(const std::vector<PackageRow>& rows, const std::string& name) {
    std::string versions;
    for (const PackageRow& row : rows) {
        if (row.name == name) versions += (versions.empty() ? "" : ", ") + row.version;
    }
    return versions;
}

}  // namespace

bool ReadPackageRows(updaterlib::PackageDatabase& database, std::vector<PackageRow>& rows) {
    rows.clear();
    std::lock_guard guard(database.Lock());
    quorvalib::sqlite::Command packages(database);
    if (!packages.Create("SELECT id, name, version, translation, status, type, mandatory, "
                         "outdated, size FROM tov_packages ORDER BY name, id")) {
        return false;
    }
    std::map<int32_t, size_t> byId;
    while (packages.GetRow()) {
        PackageRow row;
        row.id = packages.GetInt("id");
        row.name = packages.GetText("name") ? packages.GetText("name") : "";
        row.version = packages.GetText("version") ? packages.GetText("version") : "";
        const char* translation = packages.GetText("translation");
        row.displayName = translation && *translation ? translation : row.name;
        row.status = packages.GetInt("status");
        row.type = packages.GetInt("type");
        row.mandatory = packages.GetInt("mandatory") != 0;
        row.outdated = packages.GetInt("outdated") != 0;
        row.size = static_cast<uint32_t>(packages.GetInt("size"));
        byId[row.id] = rows.size();
        rows.push_back(std::move(row));
    }
    quorvalib::sqlite::Command groups(database);
    if (!groups.Create("SELECT pkgid, gid FROM tov_grouped_packages")) return false;
    while (groups.GetRow()) {
        const auto found = byId.find(groups.GetInt("pkgid"));
        if (found != byId.end()) rows[found->second].groups.push_back(groups.GetInt("gid"));
    }
    return true;
}

int CompareVersions(const std::string& a, const std::string& b) {
    const std::vector<std::string> left = Split(a);
    const std::vector<std::string> right = Split(b);
    for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const std::string l = i < left.size() && !left[i].empty() ? left[i] : "0";
        const std::string r = i < right.size() && !right[i].empty() ? right[i] : "0";
        int order = 0;
        if (IsNumber(l) && IsNumber(r)) {
            const std::string ln = l.substr(std::min(l.find_first_not_of('0'), l.size() - 1));
            const std::string rn = r.substr(std::min(r.find_first_not_of('0'), r.size() - 1));
            order = ln.size() != rn.size() ? (ln.size() < rn.size() ? -1 : 1) : ln.compare(rn);
        } else {
            order = l.compare(r);
        }
        if (order != 0) return order < 0 ? -1 : 1;
    }
    return 0;
}

bool SelectInstall(const std::vector<PackageRow>& rows, const std::vector<std::string>& specs,
                   Selection& selection, std::string& error) {
    selection = Selection();
    std::vector<const PackageRow*> chosen;
    std::set<std::string> chosenNames;
    for (const std::string& spec : specs) {
        const size_t at = spec.find('@');
        const std::string name = spec.substr(0, at);
        const PackageRow* row = nullptr;
        if (at == std::string::npos) {
            row = HighestOffered(rows, name);
        } else {
            const std::string version = spec.substr(at + 1);
            for (const PackageRow& candidate : rows) {
                if (candidate.name == name && candidate.version == version) row = &candidate;
            }
            if (!row && !VersionsOf(rows, name).empty()) {
                error = "package '" + name + "' has no version " + version + " (known: " +
                        VersionsOf(rows, name) + ")";
                return false;
            }
        }
        if (!row) {
            error = "no package named '" + name + "' is offered; run 'tovctl sync' first?";
            return false;
        }
        if (!chosenNames.insert(name).second) {
            error = "package '" + name + "' is named twice";
            return false;
        }
        chosen.push_back(row);
    }
    for (const PackageRow& row : rows) {
        if (!row.mandatory || chosenNames.count(row.name) != 0) continue;
        const PackageRow* highest = HighestOffered(rows, row.name);
        if (highest != &row || row.status == kStatusInstalled) continue;
        chosenNames.insert(row.name);
        chosen.push_back(&row);
        selection.notes.push_back(row.name + " " + row.version + " is mandatory: added");
    }
    for (const PackageRow* row : chosen) {
        if (row->status == kStatusInstalled) {
            selection.notes.push_back(row->name + " " + row->version + " is already installed");
            continue;
        }
        selection.orders.push_back({row->id, kOperationInstall});
        for (const PackageRow& other : rows) {
            if (other.name == row->name && other.id != row->id &&
                (other.status == kStatusInstalled || other.status == kStatusPrepared)) {
                selection.orders.push_back({other.id, kOperationUninstall});
                selection.notes.push_back(other.name + " " + other.version + " is replaced by " +
                                          row->version);
            }
        }
    }
    return true;
}

bool SelectRemove(const std::vector<PackageRow>& rows, const std::vector<std::string>& names,
                  Selection& selection, std::string& error) {
    selection = Selection();
    for (const std::string& name : names) {
        bool found = false;
        for (const PackageRow& row : rows) {
            if (row.name == name &&
                (row.status == kStatusInstalled || row.status == kStatusPrepared)) {
                selection.orders.push_back({row.id, kOperationUninstall});
                found = true;
            }
        }
        if (!found) {
            error = "package '" + name + "' is not installed";
            return false;
        }
    }
    return true;
}

}  // namespace tovctl
