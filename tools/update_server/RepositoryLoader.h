#pragma once

// Builds the catalogue of a repository folder: "repository.ini" at its root (platforms and the
// group tree) and one "package.ini" per package version anywhere below it. The file format is
// described in tools/update_server/README.md.

#include <string>

#include "tools/update_server/Catalogue.h"

namespace update_server {

class RepositoryLoader {
public:
    static constexpr const char* kRepositoryManifest = "repository.ini";
    static constexpr const char* kPackageManifest = "package.ini";

    // False with a message when the root or its repository manifest cannot be used. A broken
    // package manifest only leaves that package out, with a line in `catalogue.problems`.
    static bool Load(const std::string& root, Catalogue& catalogue, std::string& error);

    // Changes whenever a file or folder below the root is added, removed, resized or touched;
    // stat calls only, nothing is read.
    static std::string Signature(const std::string& root);

    // A relative path of plain names: not empty, no leading "/", no "\", no ":", no "." or
    // ".." part, no empty part.
    static bool IsSafeRelativePath(const std::string& path);
};

}  // namespace update_server
