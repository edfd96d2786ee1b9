#include "device/testing/PeWriter.h"

#include <cstring>
#include <string_view>

namespace device::testing {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kPeOffset = 0x80;
constexpr uint32_t kTextRva = 0x1000;
constexpr uint32_t kResourceRva = 0x2000;

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

class Bytes {
public:
    explicit Bytes(std::vector<uint8_t>& out) : out_(out) {}
    void U16(size_t at, uint16_t value) { Put(at, value, 2); }
    void U32(size_t at, uint32_t value) { Put(at, value, 4); }
    void U64(size_t at, uint64_t value) { Put(at, value, 8); }
    void Text(size_t at, std::string_view text) {
        Grow(at + text.size());
        std::memcpy(out_.data() + at, text.data(), text.size());
    }

private:
    void Grow(size_t size) {
        if (out_.size() < size) {
            out_.resize(size);
        }
    }
    void Put(size_t at, uint64_t value, int count) {
        Grow(at + count);
        for (int i = 0; i < count; ++i) {
            out_[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
    std::vector<uint8_t>& out_;
};

}  // namespace

std::vector<uint8_t> WritePe(const PeSpec& spec) {
    const std::vector<uint8_t> resources =
        spec.version ? BuildResourceTree(*spec.version, kResourceRva) : std::vector<uint8_t>();
    const uint16_t sectionCount = resources.empty() ? 1 : 2;
    const uint16_t optionalSize = spec.pe32Plus ? 240 : 224;
    const uint32_t headersSize =
        AlignUp(kPeOffset + 24 + optionalSize + 40u * sectionCount, kFileAlignment);
    const uint32_t textOffset = headersSize;
    const uint32_t resourceOffset = textOffset + kFileAlignment;
    const uint32_t resourceRawSize = AlignUp(static_cast<uint32_t>(resources.size()), kFileAlignment);
    const uint32_t imageSize =
        AlignUp(resources.empty() ? kTextRva + kSectionAlignment
                                  : kResourceRva + static_cast<uint32_t>(resources.size()),
                kSectionAlignment);

    std::vector<uint8_t> file(resourceOffset + resourceRawSize);
    Bytes out(file);
    out.Text(0, "MZ");
    out.U32(0x3C, kPeOffset);
    out.Text(kPeOffset, std::string_view("PE\0\0", 4));
    const size_t coff = kPeOffset + 4;
    out.U16(coff, spec.pe32Plus ? 0xAA64 : 0x01C2);  // ARM64 or ARM Thumb (Windows CE)
    out.U16(coff + 2, sectionCount);
    out.U16(coff + 16, optionalSize);
    out.U16(coff + 18, 0x0102);  // executable, 32-bit machine

    const size_t optional = coff + 20;
    out.U16(optional, spec.pe32Plus ? 0x20B : 0x10B);
    out.U32(optional + 16, kTextRva);  // entry point
    size_t at = optional + 24;
    if (spec.pe32Plus) {
        out.U64(at, 0x10000);  // image base
        at += 8;
    } else {
        out.U32(at + 4, 0x10000);  // base of data is at +0, then the image base
        at += 8;
    }
    out.U32(at, kSectionAlignment);
    out.U32(at + 4, kFileAlignment);
    out.U16(at + 8, 4);   // operating system 4.20
    out.U16(at + 10, 20);
    out.U16(at + 16, 4);  // subsystem 4.20
    out.U16(at + 18, 20);
    out.U32(at + 24, imageSize);
    out.U32(at + 28, headersSize);
    out.U16(at + 36, 9);  // Windows CE GUI
    const size_t directoryCount = optional + (spec.pe32Plus ? 108 : 92);
    out.U32(directoryCount, 16);
    if (!resources.empty()) {
        out.U32(directoryCount + 4 + 2 * 8, kResourceRva);
        out.U32(directoryCount + 4 + 2 * 8 + 4, static_cast<uint32_t>(resources.size()));
    }

    const size_t table = optional + optionalSize;
    out.Text(table, ".text");
    out.U32(table + 8, kFileAlignment);
    out.U32(table + 12, kTextRva);
    out.U32(table + 16, kFileAlignment);
    out.U32(table + 20, textOffset);
    out.U32(table + 36, 0x60000020);  // code, execute, read
    if (!resources.empty()) {
        const size_t section = table + 40;
        out.Text(section, ".rsrc");
        out.U32(section + 8, static_cast<uint32_t>(resources.size()));
        out.U32(section + 12, kResourceRva);
        out.U32(section + 16, resourceRawSize);
        out.U32(section + 20, resourceOffset);
        out.U32(section + 36, 0x40000040);  // initialised data, read
        std::memcpy(file.data() + resourceOffset, resources.data(), resources.size());
    }
    return file;
}

}  // namespace device::testing
