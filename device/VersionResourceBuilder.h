#pragma once

// Builds a version resource (VS_VERSIONINFO with VS_FIXEDFILEINFO, one string table and the
// translation) and the PE resource tree that holds it, at compile time or at run time.
//
// A device program built for this machine carries its version in an ELF section ".rsrc":
//
//   constexpr device::VersionString kStrings[] = {{u"FileVersion", u"1.1.0.0"}};
//   constexpr device::VersionSpec kVersion{{1, 1, 0, 0}, {1, 1, 0, 0}, kStrings};
//   TOV_VERSION_RESOURCE(kVersion);
//
// VersionResourceReader finds it there exactly as it finds the resource of a PE file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace device {

struct VersionString {
    std::u16string_view key;
    std::u16string_view value;
};

struct VersionSpec {
    std::array<uint16_t, 4> fileVersion{};
    std::array<uint16_t, 4> productVersion{};
    std::span<const VersionString> strings{};
    uint16_t language = 0x0409;  // US English
    uint16_t codePage = 1200;    // UTF-16
    uint32_t fileType = 1;       // VFT_APP
};

namespace version_detail {

// Counts bytes (no storage) or writes them into `Storage`.
template <typename Storage>
class Writer {
public:
    constexpr explicit Writer(Storage* storage) : storage_(storage) {}
    constexpr size_t Pos() const { return pos_; }
    constexpr void Byte(uint8_t value) {
        if (storage_) {
            (*storage_)[pos_] = value;
        }
        ++pos_;
    }
    constexpr void U16(uint16_t value) {
        Byte(static_cast<uint8_t>(value));
        Byte(static_cast<uint8_t>(value >> 8));
    }
    constexpr void U32(uint32_t value) {
        U16(static_cast<uint16_t>(value));
        U16(static_cast<uint16_t>(value >> 16));
    }
    constexpr void Align4() {
        while (pos_ % 4) {
            Byte(0);
        }
    }
    constexpr void PatchU16(size_t at, uint16_t value) {
        if (storage_) {
            (*storage_)[at] = static_cast<uint8_t>(value);
            (*storage_)[at + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
    constexpr void Text(std::u16string_view text) {
        for (const char16_t unit : text) {
            U16(unit);
        }
        U16(0);
    }

private:
    Storage* storage_;
    size_t pos_ = 0;
};

// One block: header, key, value, then `children`; its length is patched in at the end.
template <typename W, typename Value, typename Children>
constexpr void Block(W& out, std::u16string_view key, uint16_t valueLength, uint16_t type,
                     Value value, Children children) {
    out.Align4();
    const size_t start = out.Pos();
    out.U16(0);
    out.U16(valueLength);
    out.U16(type);
    out.Text(key);
    out.Align4();
    value();
    children();
    out.PatchU16(start, static_cast<uint16_t>(out.Pos() - start));
}

constexpr uint32_t High(const std::array<uint16_t, 4>& v) { return uint32_t{v[0]} << 16 | v[1]; }
constexpr uint32_t Low(const std::array<uint16_t, 4>& v) { return uint32_t{v[2]} << 16 | v[3]; }

constexpr char16_t HexDigit(unsigned value) {
    return static_cast<char16_t>(value < 10 ? u'0' + value : u'a' + value - 10);
}

template <typename W>
constexpr void VersionInfo(W& out, const VersionSpec& spec) {
    const auto none = [] {};
    Block(out, u"VS_VERSION_INFO", 52, 0,
          [&] {
              out.U32(0xFEEF04BD);  // signature
              out.U32(0x00010000);  // structure version
              out.U32(High(spec.fileVersion));
              out.U32(Low(spec.fileVersion));
              out.U32(High(spec.productVersion));
              out.U32(Low(spec.productVersion));
              out.U32(0x3F);  // flags mask
              out.U32(0);     // flags
              out.U32(0x4);   // VOS__WINDOWS32
              out.U32(spec.fileType);
              out.U32(0);  // subtype
              out.U32(0);  // date
              out.U32(0);
          },
          [&] {
              Block(out, u"StringFileInfo", 0, 1, none, [&] {
                  const uint32_t pair = uint32_t{spec.language} << 16 | spec.codePage;
                  char16_t table[9] = {};
                  for (int i = 0; i < 8; ++i) {
                      table[i] = HexDigit((pair >> (28 - 4 * i)) & 0xF);
                  }
                  Block(out, std::u16string_view(table, 8), 0, 1, none, [&] {
                      for (const auto& string : spec.strings) {
                          Block(out, string.key, static_cast<uint16_t>(string.value.size() + 1),
                                1, [&] { out.Text(string.value); }, none);
                      }
                  });
              });
              Block(out, u"VarFileInfo", 0, 1, none, [&] {
                  Block(out, u"Translation", 4, 0,
                        [&] {
                            out.U16(spec.language);
                            out.U16(spec.codePage);
                        },
                        none);
              });
          });
}

// The resource tree: type 16, name 1, the VersionSpec's language, one data entry, then the block.
// `dataAddress` is the address of the tree's first byte as its container counts (the section
// RVA in a PE file, 0 in the ELF section).
template <typename W>
constexpr void ResourceTree(W& out, const VersionSpec& spec, uint32_t dataAddress) {
    const auto directory = [&](uint32_t id, uint32_t target) {
        for (int i = 0; i < 12; ++i) {
            out.Byte(0);  // characteristics, time stamp, version
        }
        out.U16(0);  // named entries
        out.U16(1);  // id entries
        out.U32(id);
        out.U32(target);
    };
    constexpr uint32_t kSubdirectory = 0x80000000;
    directory(16, kSubdirectory | 24);
    directory(1, kSubdirectory | 48);
    directory(spec.language, 72);
    Writer<std::vector<uint8_t>> counter(nullptr);
    VersionInfo(counter, spec);
    out.U32(dataAddress + 88);
    out.U32(static_cast<uint32_t>(counter.Pos()));
    out.U32(0);  // code page
    out.U32(0);  // reserved
    VersionInfo(out, spec);
}

}  // namespace version_detail

constexpr size_t ResourceTreeSize(const VersionSpec& spec) {
    version_detail::Writer<std::vector<uint8_t>> counter(nullptr);
    version_detail::ResourceTree(counter, spec, 0);
    return counter.Pos();
}

template <size_t N>
constexpr std::array<uint8_t, N> BuildResourceTree(const VersionSpec& spec) {
    std::array<uint8_t, N> bytes{};
    version_detail::Writer<std::array<uint8_t, N>> out(&bytes);
    version_detail::ResourceTree(out, spec, 0);
    return bytes;
}

inline std::vector<uint8_t> BuildResourceTree(const VersionSpec& spec, uint32_t dataAddress) {
    std::vector<uint8_t> bytes(ResourceTreeSize(spec));
    version_detail::Writer<std::vector<uint8_t>> out(&bytes);
    version_detail::ResourceTree(out, spec, dataAddress);
    return bytes;
}

inline std::vector<uint8_t> BuildVersionInfo(const VersionSpec& spec) {
    version_detail::Writer<std::vector<uint8_t>> counter(nullptr);
    version_detail::VersionInfo(counter, spec);
    std::vector<uint8_t> bytes(counter.Pos());
    version_detail::Writer<std::vector<uint8_t>> out(&bytes);
    version_detail::VersionInfo(out, spec);
    return bytes;
}

}  // namespace device

// Places the version resource of `spec` (a constexpr VersionSpec) in the program's ".rsrc"
// section. Use once per program, in a source file of the program itself (not a library, whose
// unused objects the linker may leave out).
#define TOV_VERSION_RESOURCE(spec)                                                       \
    [[gnu::used, gnu::section(".rsrc")]] alignas(4) constexpr auto tovVersionResource_ = \
        ::device::BuildResourceTree<::device::ResourceTreeSize(spec)>(spec)
