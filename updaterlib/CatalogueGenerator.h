#pragma once

// Builds large, deterministic catalogue documents for tests and benchmarks.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace updaterlib {

struct CatalogueShape {
    int packages = 5000;
    int filesPerPackage = 5;
    // Groups form a three-level tree: about 1/50 top level, 1/7 middle level, the rest leaves.
    int groups = 200;
    // Every package whose index is a multiple of this is listed in version "2.<generation>"
    // instead of "1.0" (0: never). Lets a second catalogue replace some versions.
    int bumpEvery = 0;
    int generation = 1;
};

class CatalogueGenerator {
public:
    explicit CatalogueGenerator(CatalogueShape shape) : shape_(shape) {}

    int TopLevelGroups() const { return shape_.groups <= 0 ? 0 : std::max(1, shape_.groups / 50); }
    int MiddleGroups() const {
        const int rest = shape_.groups - TopLevelGroups();
        return rest <= 0 ? 0 : std::max(1, std::min(rest, shape_.groups / 7));
    }
    int LeafGroups() const { return shape_.groups - TopLevelGroups() - MiddleGroups(); }

    static std::string GroupName(int index) { return "group-" + std::to_string(index); }
    static std::string PackageName(int index) { return "package-" + std::to_string(index); }

    // Parent of group `index`, or -1 for a top-level group.
    int ParentOf(int index) const {
        const int top = TopLevelGroups();
        const int middle = MiddleGroups();
        if (index < top) {
            return -1;
        }
        if (index < top + middle) {
            return (index - top) % top;
        }
        return top + (index - top - middle) % middle;
    }

    // The group a package is a member of: a leaf when there are leaves.
    int GroupOf(int package) const {
        const int leaves = LeafGroups();
        if (leaves > 0) {
            return TopLevelGroups() + MiddleGroups() + package % leaves;
        }
        return shape_.groups > 0 ? package % shape_.groups : -1;
    }

    std::string VersionOf(int package) const {
        if (shape_.bumpEvery > 0 && package % shape_.bumpEvery == 0) {
            return "2." + std::to_string(shape_.generation);
        }
        return "1.0";
    }

    std::string Document() const {
        std::string out;
        out.reserve(static_cast<std::size_t>(shape_.packages) *
                        (400 + 220 * static_cast<std::size_t>(shape_.filesPerPackage)) +
                    static_cast<std::size_t>(shape_.groups) * 200 + 100);
        out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updates version=\"1\">\n<groups>\n";
        for (int g = 0; g < shape_.groups; ++g) {
            out += "<group name=\"" + GroupName(g) + "\" type=\"map\"" +
                   (g % 3 == 0 ? " required=\"one\"" : "") + ">";
            out += "<display-name xml:lang=\"en\">Group " + std::to_string(g) + "</display-name>";
            out += "<description>Maps of region " + std::to_string(g) + "</description>";
            if (ParentOf(g) >= 0) {
                out += "<in-group>" + GroupName(ParentOf(g)) + "</in-group>";
            }
            out += "</group>\n";
        }
        out += "</groups>\n<packages>\n";
        static const char* const kTypes[] = {"map", "voice", "skin", "font", "l10n"};
        for (int p = 0; p < shape_.packages; ++p) {
            const std::string name = PackageName(p);
            const std::string version = VersionOf(p);
            out += "<package name=\"" + name + "\" version=\"" + version + "\" type=\"" +
                   kTypes[p % 5] + "\" required=\"" + (p % 97 == 0 ? "true" : "false") +
                   "\" recommended=\"" + (p % 13 == 0 ? "1" : "0") + "\">";
            out += "<display-name xml:lang=\"en\">Package " + std::to_string(p) +
                   "</display-name><description>Generated package " + std::to_string(p) +
                   "</description><size>" + std::to_string(1000 + p * 17) + "</size>";
            out += "<baseurl>http://updates.example/" + name + "/</baseurl>";
            if (GroupOf(p) >= 0) {
                out += "<in-group>" + GroupName(GroupOf(p)) + "</in-group>";
            }
            if (p % 5 == 0) {
                out += "<map format=\"1A\" provider=\"OS\" release=\"2011\"/>";
            }
            for (int f = 0; f < shape_.filesPerPackage; ++f) {
                out += "<file><path dstdir=\"data/" + name + "\">file-" + std::to_string(f) +
                       ".dat</path><checksum>" + Checksum(p, f) + "</checksum><url>http://" +
                       "updates.example/" + name + "/" + version + "/file-" + std::to_string(f) +
                       ".dat</url></file>";
            }
            out += "</package>\n";
        }
        out += "</packages>\n</updates>\n";
        return out;
    }

    // 32 lower-case hexadecimal digits derived from the indexes.
    static std::string Checksum(int package, int file) {
        std::uint64_t a = 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(package + 1);
        std::uint64_t b = 0xC2B2AE3D27D4EB4Full * static_cast<std::uint64_t>(file + 1) ^ a;
        char text[33];
        std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(a),
                      static_cast<unsigned long long>(b));
        return text;
    }

private:
    CatalogueShape shape_;
};

}  // namespace updaterlib
