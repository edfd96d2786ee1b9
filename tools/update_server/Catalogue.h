#pragma once

// The catalogue a repository offers, as built from its manifests.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace update_server {

struct CatalogueFile {
    std::string path;        // file name as installed on the target
    std::string dstdir;      // target folder, may be empty
    std::string urlPath;     // "/"-separated path below the repository root, served at /files/
    std::string sourcePath;  // absolute path on this machine
    uint64_t size = 0;
    std::string md5;  // 32 lower-case hexadecimal digits
};

struct CatalogueMap {
    std::string format;    // hexadecimal
    std::string provider;  // two-letter code
    std::string release;   // decimal
};

// Display names by language code; "" holds the name used when no language matches.
using DisplayNames = std::map<std::string, std::string>;

struct CataloguePackage {
    std::string name;
    std::string version;
    std::string type;  // type word of the catalogue
    DisplayNames displayNames;
    std::string description;
    std::vector<std::string> groups;
    bool required = false;
    bool recommended = false;
    std::string brand;
    std::string country;
    std::string trial;
    std::optional<CatalogueMap> map;
    std::vector<CatalogueFile> files;
    uint64_t size = 0;  // sum of the file sizes
    std::string manifest;  // the manifest's path below the repository root
};

struct CatalogueGroup {
    std::string name;
    std::string type;
    std::string parent;
    bool requiredOne = false;
    DisplayNames displayNames;
    std::string description;
};

struct Catalogue {
    Catalogue() = default;
    // The file index points into the packages: copies would dangle, moves keep the elements.
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;
    Catalogue(Catalogue&&) = default;
    Catalogue& operator=(Catalogue&&) = default;

    std::vector<std::string> platforms;  // empty: every platform is served
    std::vector<CatalogueGroup> groups;
    std::vector<CataloguePackage> packages;
    // Problems found while building; the packages concerned are left out.
    std::vector<std::string> problems;

    bool ServesPlatform(const std::string& platform) const;
    // The file served at /files/<urlPath>, or null: only files the manifests list are served.
    const CatalogueFile* FindFile(const std::string& urlPath) const;
    // Rebuilds the index FindFile uses; called once the packages are complete.
    void IndexFiles();

private:
    std::map<std::string, const CatalogueFile*> filesByUrl_;
};

// The name for a language code ("cs", "cs_CZ" and "cs-CZ" all find "cs"), else the default.
const std::string& PickDisplayName(const DisplayNames& names, const std::string& lang);

}  // namespace update_server
