#pragma once

// Queries of a VS_VERSIONINFO block: nested blocks, each a length, a value length, a type
// (0 binary, 1 text), a NUL-terminated UTF-16 key and a value, with 32-bit alignment.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace device {

struct VersionValue {
    std::size_t offset = 0;  // of the value in the block
    uint32_t length = 0;     // bytes for binary values, UTF-16 units for text values
    bool text = false;
};

class VersionBlock {
public:
    // `bytes` holds the whole block; only the root's own length is read of it.
    explicit VersionBlock(std::span<const uint8_t> bytes);

    // "\" (or empty) is the root's value (VS_FIXEDFILEINFO); "\VarFileInfo\Translation";
    // "\StringFileInfo\040904b0\ProductVersion". Keys are matched without regard to case.
    // Nothing for a missing block, a malformed one, or an empty value.
    std::optional<VersionValue> Query(std::u16string_view path) const;

private:
    std::span<const uint8_t> bytes_;
};

}  // namespace device
