#pragma once

// Finds the version resource (resource type 16, VS_VERSIONINFO) of a program file.
//
// Two containers hold the same PE resource tree:
// - a PE file (Windows CE and desktop programs): the tree is found through the resource entry
//   of the optional header's data directory, and its data entries hold RVAs;
// - an ELF program built for this machine (the device programs): the tree is the section
//   named ".rsrc", and its data entries hold offsets from the start of that section.
// In both, the first name and the first language below type 16 are taken.

#include <cstdint>
#include <optional>
#include <vector>

#include "device/ByteSource.h"
#include "device/CeTypes.h"

namespace device {

inline constexpr uint32_t kMaxVersionResourceSize = 1u << 20;

class VersionResourceReader {
public:
    // The resource's bytes, or nothing with `error` set: ERROR_BAD_EXE_FORMAT when the file is
    // neither container, ERROR_RESOURCE_TYPE_NOT_FOUND / ERROR_RESOURCE_DATA_NOT_FOUND when it
    // holds no usable version resource (also one larger than kMaxVersionResourceSize, or one
    // whose root block does not fit in it).
    static std::optional<std::vector<uint8_t>> Read(const ByteSource& file, DWORD& error);
};

}  // namespace device
