#include "device/VersionResourceReader.h"

#include <cstring>
#include <functional>
#include <string>

namespace device {
namespace {

constexpr uint32_t kVersionType = 16;
constexpr uint32_t kSubdirectoryBit = 0x80000000;
constexpr int kDirectoryHeaderSize = 16;
constexpr int kEntrySize = 8;

template <typename T>
bool ReadLe(const ByteSource& file, uint64_t offset, T& value) {
    uint8_t bytes[sizeof(T)];
    if (!file.ReadAt(offset, bytes, sizeof(T))) {
        return false;
    }
    uint64_t result = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        result |= uint64_t{bytes[i]} << (8 * i);
    }
    value = static_cast<T>(result);
    return true;
}

// Maps an address of the resource tree's container (RVA) to a file offset, for `count` bytes
// that must all lie in the same mapped range.
using AddressMap = std::function<std::optional<uint64_t>(uint64_t address, uint64_t count)>;

struct DirectoryEntry {
    uint32_t name;
    uint32_t offset;
};

std::optional<DirectoryEntry> FindEntry(const ByteSource& file, const AddressMap& map,
                                        uint64_t treeAddress, uint32_t directoryOffset,
                                        std::optional<uint32_t> wantedId) {
    const auto header = map(treeAddress + directoryOffset, kDirectoryHeaderSize);
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!header || !ReadLe(file, *header + 12, named) || !ReadLe(file, *header + 14, ids)) {
        return std::nullopt;
    }
    const uint32_t count = uint32_t{named} + ids;
    const auto entries = map(treeAddress + directoryOffset + kDirectoryHeaderSize,
                             uint64_t{count} * kEntrySize);
    if (!entries) {
        return std::nullopt;
    }
    for (uint32_t i = 0; i < count; ++i) {
        DirectoryEntry entry{};
        if (!ReadLe(file, *entries + i * kEntrySize, entry.name) ||
            !ReadLe(file, *entries + i * kEntrySize + 4, entry.offset)) {
            return std::nullopt;
        }
        if (!wantedId || entry.name == *wantedId) {
            return entry;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ReadTree(const ByteSource& file, const AddressMap& map,
                                             uint64_t treeAddress, DWORD& error) {
    error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    const auto type = FindEntry(file, map, treeAddress, 0, kVersionType);
    if (!type || !(type->offset & kSubdirectoryBit)) {
        return std::nullopt;
    }
    error = ERROR_RESOURCE_DATA_NOT_FOUND;
    const auto name = FindEntry(file, map, treeAddress, type->offset & ~kSubdirectoryBit, {});
    if (!name || !(name->offset & kSubdirectoryBit)) {
        return std::nullopt;
    }
    const auto language =
        FindEntry(file, map, treeAddress, name->offset & ~kSubdirectoryBit, {});
    if (!language || (language->offset & kSubdirectoryBit)) {
        return std::nullopt;
    }
    const auto dataEntry = map(treeAddress + language->offset, 16);
    uint32_t dataAddress = 0;
    uint32_t size = 0;
    if (!dataEntry || !ReadLe(file, *dataEntry, dataAddress) ||
        !ReadLe(file, *dataEntry + 4, size) || size < 6 || size > kMaxVersionResourceSize) {
        return std::nullopt;
    }
    const auto data = map(dataAddress, size);
    if (!data) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size);
    if (!file.ReadAt(*data, bytes.data(), size)) {
        return std::nullopt;
    }
    const uint16_t rootLength = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    if (rootLength < 6 || rootLength > size) {
        return std::nullopt;
    }
    error = ERROR_SUCCESS;
    return bytes;
}

std::optional<std::vector<uint8_t>> ReadPe(const ByteSource& file, DWORD& error) {
    error = ERROR_BAD_EXE_FORMAT;
    uint32_t peOffset = 0;
    uint8_t signature[4];
    if (!ReadLe(file, 0x3C, peOffset) || !file.ReadAt(peOffset, signature, 4) ||
        std::memcmp(signature, "PE\0\0", 4) != 0) {
        return std::nullopt;
    }
    const uint64_t coff = uint64_t{peOffset} + 4;
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    uint16_t magic = 0;
    if (!ReadLe(file, coff + 2, sectionCount) || !ReadLe(file, coff + 16, optionalSize) ||
        !ReadLe(file, coff + 20, magic)) {
        return std::nullopt;
    }
    const uint64_t optional = coff + 20;
    uint64_t directoryCountAt = 0;
    if (magic == 0x10B) {
        directoryCountAt = 92;
    } else if (magic == 0x20B) {
        directoryCountAt = 108;
    } else {
        return std::nullopt;
    }
    uint32_t directoryCount = 0;
    if (!ReadLe(file, optional + directoryCountAt, directoryCount)) {
        return std::nullopt;
    }
    const uint64_t resourceEntry = optional + directoryCountAt + 4 + 2 * 8;
    error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    uint32_t resourceRva = 0;
    uint32_t resourceSize = 0;
    if (directoryCount < 3 || resourceEntry + 8 > optional + optionalSize ||
        !ReadLe(file, resourceEntry, resourceRva) || !ReadLe(file, resourceEntry + 4, resourceSize) ||
        resourceRva == 0 || resourceSize == 0) {
        return std::nullopt;
    }
    struct Section {
        uint32_t address, virtualSize, rawSize, rawOffset;
    };
    std::vector<Section> sections;
    const uint64_t table = optional + optionalSize;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        Section section{};
        const uint64_t at = table + uint64_t{i} * 40;
        if (!ReadLe(file, at + 8, section.virtualSize) || !ReadLe(file, at + 12, section.address) ||
            !ReadLe(file, at + 16, section.rawSize) || !ReadLe(file, at + 20, section.rawOffset)) {
            error = ERROR_BAD_EXE_FORMAT;
            return std::nullopt;
        }
        sections.push_back(section);
    }
    const AddressMap map = [&sections](uint64_t address, uint64_t count)
        -> std::optional<uint64_t> {
        for (const auto& section : sections) {
            const uint64_t mapped = std::min(section.virtualSize ? section.virtualSize
                                                                 : section.rawSize,
                                             section.rawSize);
            if (address >= section.address && address - section.address <= mapped &&
                count <= mapped - (address - section.address)) {
                return uint64_t{section.rawOffset} + (address - section.address);
            }
        }
        return std::nullopt;
    };
    return ReadTree(file, map, resourceRva, error);
}

std::optional<std::vector<uint8_t>> ReadElf(const ByteSource& file, DWORD& error) {
    error = ERROR_BAD_EXE_FORMAT;
    uint8_t ident[6];
    if (!file.ReadAt(0, ident, sizeof ident) || ident[5] != 1 /* little-endian */) {
        return std::nullopt;
    }
    const bool wide = ident[4] == 2;
    if (!wide && ident[4] != 1) {
        return std::nullopt;
    }
    uint64_t tableOffset = 0;
    uint16_t entrySize = 0, count = 0, namesIndex = 0;
    if (wide) {
        if (!ReadLe(file, 0x28, tableOffset) || !ReadLe(file, 0x3A, entrySize) ||
            !ReadLe(file, 0x3C, count) || !ReadLe(file, 0x3E, namesIndex)) {
            return std::nullopt;
        }
    } else {
        uint32_t offset32 = 0;
        if (!ReadLe(file, 0x20, offset32) || !ReadLe(file, 0x2E, entrySize) ||
            !ReadLe(file, 0x30, count) || !ReadLe(file, 0x32, namesIndex)) {
            return std::nullopt;
        }
        tableOffset = offset32;
    }
    if (entrySize < (wide ? 64 : 40) || namesIndex >= count) {
        return std::nullopt;
    }
    struct Section {
        uint32_t name = 0, type = 0;
        uint64_t offset = 0, size = 0;
    };
    const auto readSection = [&](uint32_t index, Section& section) {
        const uint64_t at = tableOffset + uint64_t{index} * entrySize;
        if (!ReadLe(file, at, section.name) || !ReadLe(file, at + 4, section.type)) {
            return false;
        }
        if (wide) {
            return ReadLe(file, at + 24, section.offset) && ReadLe(file, at + 32, section.size);
        }
        uint32_t offset32 = 0, size32 = 0;
        if (!ReadLe(file, at + 16, offset32) || !ReadLe(file, at + 20, size32)) {
            return false;
        }
        section.offset = offset32;
        section.size = size32;
        return true;
    };
    Section names;
    if (!readSection(namesIndex, names)) {
        return std::nullopt;
    }
    constexpr char kName[] = ".rsrc";
    error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    for (uint32_t i = 0; i < count; ++i) {
        Section section;
        char name[sizeof kName];
        if (!readSection(i, section)) {
            error = ERROR_BAD_EXE_FORMAT;
            return std::nullopt;
        }
        constexpr uint32_t kNoBits = 8;
        if (section.type == kNoBits || section.name >= names.size ||
            names.size - section.name < sizeof kName ||
            !file.ReadAt(names.offset + section.name, name, sizeof kName) ||
            std::memcmp(name, kName, sizeof kName) != 0) {
            continue;
        }
        const AddressMap map = [section](uint64_t address, uint64_t bytes)
            -> std::optional<uint64_t> {
            if (address > section.size || bytes > section.size - address) {
                return std::nullopt;
            }
            return section.offset + address;
        };
        return ReadTree(file, map, 0, error);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<uint8_t>> VersionResourceReader::Read(const ByteSource& file,
                                                                 DWORD& error) {
    uint8_t magic[4] = {};
    if (!file.ReadAt(0, magic, sizeof magic)) {
        error = ERROR_BAD_EXE_FORMAT;
        return std::nullopt;
    }
    if (magic[0] == 'M' && magic[1] == 'Z') {
        return ReadPe(file, error);
    }
    if (std::memcmp(magic, "\x7f" "ELF", 4) == 0) {
        return ReadElf(file, error);
    }
    error = ERROR_BAD_EXE_FORMAT;
    return std::nullopt;
}

}  // namespace device
