// Feeds arbitrary bytes to the catalogue parser. Seeds: any catalogue document, for example
// one written by CatalogueGenerator, placed in the corpus folder.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updaterlib/PackageParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    updaterlib::PackageParser parser;
    const bool parsed =
        parser.ParseBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
    // Walk everything the parser produced so that bad records show up under the sanitizers.
    std::size_t touched = parser.GetErrorText().size();
    for (const auto& package : parser.GetPackages()) {
        touched += package.name.size() + package.groups.size() + package.size;
        for (const auto& file : package.files) {
            touched += file.md5.size() + file.file_path.size() + file.target_dir.size();
        }
    }
    for (const auto& group : parser.GetGroups()) {
        touched += group.name.size() + group.parent_name.size();
    }
    if (!parsed && parser.Status() == "OK") {
        __builtin_trap();  // a failed parse must never claim success
    }
    static volatile std::size_t sink;
    sink = touched;
    return 0;
}
