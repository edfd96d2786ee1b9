// Catalogue parse and merge times for generated catalogues of growing size.
//
//   bench_merge [largest package count, default 5000]
//
// For each size: parse the document from a file, merge it into an empty database, merge the
// same catalogue again (every package known), then merge a catalogue in which every tenth
// package has a new version (the old ones become outdated and are removed).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "updaterlib/CatalogueGenerator.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageParser.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

bool ParseFile(const std::string& path, updaterlib::PackageParser& parser, double& seconds) {
    const auto start = Clock::now();
    const bool ok = parser.Parse(path);
    seconds = Seconds(start);
    return ok;
}

bool Merge(updaterlib::PackageDatabase& db, const updaterlib::PackageParser& parser,
           double& seconds) {
    const auto start = Clock::now();
    const int result = db.UpdateDatabase(parser.GetGroups(), parser.GetPackages());
    seconds = Seconds(start);
    return result == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 5000;
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("bench_merge_" + std::to_string(::getpid()));

    std::printf("%8s %8s %6s %10s %10s %12s %12s %12s\n", "packages", "files", "groups",
                "doc MiB", "parse s", "1st merge s", "2nd merge s", "update s");
    bool failed = false;
    for (int packages = 1000; packages <= largest && !failed; packages += 1000) {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);

        updaterlib::CatalogueShape shape;
        shape.packages = packages;
        shape.filesPerPackage = 5;
        shape.groups = 200;
        const std::string document = updaterlib::CatalogueGenerator(shape).Document();
        shape.bumpEvery = 10;
        const std::string updated = updaterlib::CatalogueGenerator(shape).Document();
        const std::string path = (root / "updates.xml").string();
        const std::string updatedPath = (root / "updates2.xml").string();
        std::ofstream(path, std::ios::binary) << document;
        std::ofstream(updatedPath, std::ios::binary) << updated;

        updaterlib::PackageParser parser;
        updaterlib::PackageParser updatedParser;
        updaterlib::PackageDatabase db;
        double parse = 0, first = 0, second = 0, update = 0, unused = 0;
        if (!ParseFile(path, parser, parse) || !ParseFile(updatedPath, updatedParser, unused) ||
            db.Init(root.string(), nullptr) != 0 || !Merge(db, parser, first) ||
            !Merge(db, parser, second) || !Merge(db, updatedParser, update)) {
            std::fprintf(stderr, "benchmark step failed at %d packages\n", packages);
            failed = true;
            break;
        }
        std::printf("%8d %8d %6d %10.1f %10.3f %12.3f %12.3f %12.3f\n", packages,
                    packages * shape.filesPerPackage, shape.groups,
                    static_cast<double>(document.size()) / (1024.0 * 1024.0), parse, first,
                    second, update);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(root);
    return failed ? 1 : 0;
}
