// Feeds arbitrary bytes to the catalogue parser and checks what every record must satisfy.
// Seeds: seeds/ here, or any catalogue written by CatalogueGenerator.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updaterlib/PackageParser.h"

namespace {

bool KnownType(int32_t type) { return (type >= 0 && type <= 6) || type == 8; }

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    updaterlib::PackageParser parser;
    const bool parsed =
        parser.ParseBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
    // A failed parse never claims success.
    Check(parsed == (parser.Status() == "OK"));
    for (const auto& package : parser.GetPackages()) {
        Check(package.status == 1 && package.operation == 1 && !package.outdated);
        Check(package.id == -1 && KnownType(package.type));
        Check(package.map_provider >= 0 && package.map_provider <= 15);
        for (const auto& file : package.files) {
            Check(file.mode == 1 && file.id == -1 && file.pkgid == -1);
            Check(file.md5.size() <= size / 2 + 1);
        }
    }
    for (const auto& group : parser.GetGroups()) {
        Check(group.id == -1 && (group.required == 0 || group.required == 1));
        Check(KnownType(group.type));
    }
    return 0;
}
