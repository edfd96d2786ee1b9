#include "tools/update_server/RepositoryLoader.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <system_error>

#include "quorvalib/files/Md5.h"
#include "tools/update_server/ManifestReader.h"

namespace update_server {
namespace {

namespace fs = std::filesystem;

const std::set<std::string> kTypeWords = {"app",   "application", "skin", "map", "voice",
                                          "font",  "app-data",    "l10n", "l18n"};

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == '\t' || c == ',') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

bool ParseFlag(const std::string& text, bool& value) {
    if (text == "true" || text == "yes" || text == "1") {
        value = true;
        return true;
    }
    if (text == "false" || text == "no" || text == "0" || text.empty()) {
        value = false;
        return true;
    }
    return false;
}

bool IsHex(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isxdigit(c) != 0;
    });
}

bool IsDecimal(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isdigit(c) != 0;
    });
}

std::string Where(const std::string& manifest, int line) {
    return manifest + ":" + std::to_string(line) + ": ";
}

// "display-name" and "display-name.<lang>" entries.
bool TakeDisplayName(const ManifestEntry& entry, DisplayNames& names) {
    static const std::string kKey = "display-name";
    if (entry.key == kKey) {
        names[""] = entry.value;
        return true;
    }
    if (entry.key.size() > kKey.size() + 1 && entry.key.compare(0, kKey.size(), kKey) == 0 &&
        entry.key[kKey.size()] == '.') {
        names[entry.key.substr(kKey.size() + 1)] = entry.value;
        return true;
    }
    return false;
}

// Inside the canonical root: the root itself followed by "/" and more.
bool IsBelow(const fs::path& path, const fs::path& root) {
    const std::string p = path.generic_string();
    const std::string r = root.generic_string();
    return p.size() > r.size() + 1 && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/';
}

class PackageManifest {
public:
    PackageManifest(const fs::path& root, const fs::path& manifest)
        : root_(root), folder_(manifest.parent_path()),
          name_(fs::relative(manifest, root).generic_string()) {}

    bool Read(CataloguePackage& package, std::string& error) {
        std::vector<ManifestSection> sections;
        if (!ManifestReader::ParseFile((root_ / name_).string(), sections, error)) return false;
        package.manifest = name_;
        bool seenPackage = false;
        for (const ManifestSection& section : sections) {
            if (section.kind == "package" && !seenPackage) {
                seenPackage = true;
                if (!ReadPackage(section, package, error)) return false;
            } else if (section.kind == "file") {
                CatalogueFile file;
                if (!ReadFile(section, file, error)) return false;
                package.size += file.size;
                package.files.push_back(std::move(file));
            } else {
                error = Where(name_, section.line) + "unexpected section [" + section.kind + "]";
                return false;
            }
        }
        if (!seenPackage) {
            error = name_ + ": no [package] section";
            return false;
        }
        return true;
    }

private:
    bool ReadPackage(const ManifestSection& section, CataloguePackage& package,
                     std::string& error) {
        for (const ManifestEntry& entry : section.entries) {
            const std::string& v = entry.value;
            bool ok = true;
            if (entry.key == "name") package.name = v;
            else if (entry.key == "version") package.version = v;
            else if (entry.key == "type") package.type = v;
            else if (entry.key == "description") package.description = v;
            else if (entry.key == "groups") package.groups = Words(v);
            else if (entry.key == "required") ok = ParseFlag(v, package.required);
            else if (entry.key == "recommended") ok = ParseFlag(v, package.recommended);
            else if (entry.key == "brand") package.brand = v;
            else if (entry.key == "country") package.country = v;
            else if (entry.key == "trial") package.trial = v;
            else if (entry.key == "map") ok = ReadMap(v, package);
            else if (!TakeDisplayName(entry, package.displayNames)) {
                error = Where(name_, entry.line) + "unknown key '" + entry.key + "'";
                return false;
            }
            if (!ok) {
                error = Where(name_, entry.line) + "bad value '" + v + "' for '" + entry.key + "'";
                return false;
            }
        }
        if (package.name.empty() || package.version.empty()) {
            error = Where(name_, section.line) + "a package needs a name and a version";
            return false;
        }
        if (kTypeWords.count(package.type) == 0) {
            error = Where(name_, section.line) + "unknown type '" + package.type + "'";
            return false;
        }
        return true;
    }

    static bool ReadMap(const std::string& text, CataloguePackage& package) {
        const std::vector<std::string> words = Words(text);
        if (words.size() != 3 || !IsHex(words[0]) || words[1].size() != 2 ||
            !IsDecimal(words[2])) {
            return false;
        }
        package.map = CatalogueMap{words[0], words[1], words[2]};
        return true;
    }

    bool ReadFile(const ManifestSection& section, CatalogueFile& file, std::string& error) {
        std::string source;
        for (const ManifestEntry& entry : section.entries) {
            if (entry.key == "path") file.path = entry.value;
            else if (entry.key == "dstdir") file.dstdir = entry.value;
            else if (entry.key == "source") source = entry.value;
            else {
                error = Where(name_, entry.line) + "unknown key '" + entry.key + "'";
                return false;
            }
        }
        if (file.dstdir == ".") file.dstdir.clear();
        if (source.empty()) source = file.path;
        const std::string where = Where(name_, section.line);
        if (!RepositoryLoader::IsSafeRelativePath(file.path) ||
            (!file.dstdir.empty() && !RepositoryLoader::IsSafeRelativePath(file.dstdir))) {
            error = where + "path and dstdir must be relative, without '.' or '..' parts";
            return false;
        }
        if (!RepositoryLoader::IsSafeRelativePath(source)) {
            error = where + "source '" + source + "' must be relative to the manifest's folder";
            return false;
        }
        std::error_code ec;
        const fs::path resolved = fs::canonical(folder_ / source, ec);
        if (ec || !IsBelow(resolved, root_)) {
            error = where + "source '" + source + "' is missing or outside the repository";
            return false;
        }
        if (!fs::is_regular_file(resolved, ec)) {
            error = where + "source '" + source + "' is not a regular file";
            return false;
        }
        Md5 md5;
        if (!Md5::OfFile(Astring(resolved.string()), md5)) {
            error = where + "source '" + source + "' cannot be read";
            return false;
        }
        file.sourcePath = resolved.string();
        file.urlPath = fs::relative(resolved, root_).generic_string();
        file.size = fs::file_size(resolved, ec);
        file.md5 = md5.HexDigest().c_str();
        return !ec;
    }

    const fs::path root_;
    const fs::path folder_;
    const std::string name_;
};

bool ReadRepositoryManifest(const fs::path& path, Catalogue& catalogue, std::string& error) {
    std::vector<ManifestSection> sections;
    if (!ManifestReader::ParseFile(path.string(), sections, error)) return false;
    const std::string name = RepositoryLoader::kRepositoryManifest;
    std::set<std::string> groupNames;
    for (const ManifestSection& section : sections) {
        if (section.kind == "repository") {
            for (const ManifestEntry& entry : section.entries) {
                if (entry.key != "platforms") {
                    error = Where(name, entry.line) + "unknown key '" + entry.key + "'";
                    return false;
                }
                catalogue.platforms = Words(entry.value);
            }
            continue;
        }
        if (section.kind != "group" || section.argument.empty()) {
            error = Where(name, section.line) + "expected [repository] or [group NAME]";
            return false;
        }
        CatalogueGroup group;
        group.name = section.argument;
        for (const ManifestEntry& entry : section.entries) {
            if (entry.key == "type") group.type = entry.value;
            else if (entry.key == "parent") group.parent = entry.value;
            else if (entry.key == "description") group.description = entry.value;
            else if (entry.key == "required" && (entry.value == "one" || entry.value == "none"))
                group.requiredOne = entry.value == "one";
            else if (!TakeDisplayName(entry, group.displayNames)) {
                error = Where(name, entry.line) + "unknown key or value '" + entry.key + "'";
                return false;
            }
        }
        if (!groupNames.insert(group.name).second) {
            error = Where(name, section.line) + "group '" + group.name + "' defined twice";
            return false;
        }
        catalogue.groups.push_back(std::move(group));
    }
    for (const CatalogueGroup& group : catalogue.groups) {
        if (!group.parent.empty() && groupNames.count(group.parent) == 0) {
            error = name + ": group '" + group.name + "' has an unknown parent '" + group.parent +
                    "'";
            return false;
        }
    }
    return true;
}

}  // namespace

bool RepositoryLoader::IsSafeRelativePath(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.find('\\') != std::string::npos ||
        path.find(':') != std::string::npos || path.find('\0') != std::string::npos) {
        return false;
    }
    std::istringstream parts(path);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == "." || part == "..") return false;
    }
    return path.back() != '/';
}

bool RepositoryLoader::Load(const std::string& rootText, Catalogue& catalogue,
                            std::string& error) {
    catalogue = Catalogue();
    std::error_code ec;
    const fs::path root = fs::canonical(rootText, ec);
    if (ec || !fs::is_directory(root, ec)) {
        error = "repository folder '" + rootText + "' does not exist";
        return false;
    }
    if (!ReadRepositoryManifest(root / kRepositoryManifest, catalogue, error)) return false;

    std::vector<fs::path> manifests;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().filename() == kPackageManifest && it->is_regular_file()) {
            manifests.push_back(it->path());
        }
    }
    if (ec) {
        error = "repository folder '" + rootText + "' cannot be listed: " + ec.message();
        return false;
    }
    std::sort(manifests.begin(), manifests.end());

    std::set<std::string> groupNames;
    for (const CatalogueGroup& group : catalogue.groups) groupNames.insert(group.name);
    std::set<std::pair<std::string, std::string>> versions;
    for (const fs::path& manifest : manifests) {
        CataloguePackage package;
        std::string problem;
        if (!PackageManifest(root, manifest).Read(package, problem)) {
            catalogue.problems.push_back(problem);
            continue;
        }
        if (!versions.insert({package.name, package.version}).second) {
            catalogue.problems.push_back(package.manifest + ": " + package.name + " " +
                                         package.version + " is listed twice; left out");
            continue;
        }
        for (const std::string& group : package.groups) {
            if (groupNames.count(group) == 0) {
                catalogue.problems.push_back(package.manifest + ": unknown group '" + group +
                                             "' (kept)");
            }
        }
        catalogue.packages.push_back(std::move(package));
    }
    catalogue.IndexFiles();
    return true;
}

std::string RepositoryLoader::Signature(const std::string& rootText) {
    std::ostringstream signature;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(rootText, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code statError;
        const auto status = it->symlink_status(statError);
        signature << it->path().generic_string() << '|' << static_cast<int>(status.type());
        if (status.type() == fs::file_type::regular) {
            signature << '|' << it->file_size(statError);
        }
        const auto time = it->last_write_time(statError);
        signature << '|' << time.time_since_epoch().count() << '\n';
    }
    if (ec) signature << "unlistable:" << ec.value();
    return signature.str();
}

}  // namespace update_server
