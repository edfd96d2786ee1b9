// The version reader: PE and ELF containers, the resource tree and VS_VERSIONINFO queries.
// The first byte chooses what the rest is:
//   0: a whole file;
//   1: patches (2-byte offset, 1-byte value) to a valid PE file with a version resource,
//      which reaches deep into the tree far sooner than random files do;
//   2: a version block alone.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "device/ByteSource.h"
#include "device/VersionBlock.h"
#include "device/VersionResourceReader.h"
#include "device/testing/PeWriter.h"

namespace {

const std::vector<uint8_t>& ValidPe() {
    static constexpr device::VersionString kStrings[] = {{u"ProductVersion", u"1.2.3"},
                                                         {u"FileVersion", u"1.2.3.4"}};
    static const std::vector<uint8_t> file =
        device::testing::WritePe({device::VersionSpec{{1, 2, 3, 4}, {1, 2, 3, 0}, kStrings}});
    return file;
}

void QueryAll(std::span<const uint8_t> block) {
    const device::VersionBlock versions(block);
    for (const char16_t* path : {u"\\", u"\\VarFileInfo\\Translation",
                                 u"\\StringFileInfo\\040904b0\\ProductVersion",
                                 u"\\StringFileInfo\\040904B0\\FileVersion", u"\\a\\b\\c\\d"}) {
        const auto value = versions.Query(path);
        if (value) {
            const size_t bytes = value->text ? size_t{value->length} * 2 : value->length;
            if (value->offset > block.size() || bytes > block.size() - value->offset) {
                __builtin_trap();  // a value outside its block
            }
        }
    }
}

void ReadFile(std::span<const uint8_t> file) {
    device::DWORD error = 0;
    const auto resource = device::VersionResourceReader::Read(device::MemorySource(file), error);
    if (!resource) {
        return;
    }
    const size_t rootLength = (*resource)[0] | ((*resource)[1] << 8);
    if (rootLength > resource->size()) {
        __builtin_trap();
    }
    QueryAll({resource->data(), rootLength});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const uint8_t> rest(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            ReadFile(rest);
            break;
        case 1: {
            std::vector<uint8_t> file = ValidPe();
            for (size_t i = 0; i + 3 <= rest.size(); i += 3) {
                const size_t offset = (rest[i] | (rest[i + 1] << 8)) % (file.size() + 1);
                if (offset == file.size()) {
                    file.resize(rest[i + 2] * file.size() / 256);  // a cut file
                } else {
                    file[offset] = rest[i + 2];
                }
            }
            ReadFile(file);
            break;
        }
        default:
            QueryAll(rest);
    }
    return 0;
}
