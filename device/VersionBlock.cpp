#include "device/VersionBlock.h"

#include <string>
#include <vector>

#include "device/Utf16.h"

namespace device {
namespace {

constexpr size_t kHeaderSize = 6;

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

struct Block {
    size_t start = 0;
    size_t end = 0;  // start + length
    std::u16string key;
    VersionValue value;
    size_t children = 0;  // offset of the first child
};

uint16_t U16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// The block at `start`, which must end by `limit`.
std::optional<Block> ParseBlock(std::span<const uint8_t> bytes, size_t start, size_t limit) {
    if (start > limit || limit - start < kHeaderSize) {
        return std::nullopt;
    }
    const uint16_t length = U16(bytes, start);
    const uint16_t valueLength = U16(bytes, start + 2);
    const uint16_t type = U16(bytes, start + 4);
    if (length < kHeaderSize || length > limit - start) {
        return std::nullopt;
    }
    Block block;
    block.start = start;
    block.end = start + length;
    size_t at = start + kHeaderSize;
    for (;; at += 2) {
        if (at + 2 > block.end) {
            return std::nullopt;  // the key runs past the block
        }
        const char16_t unit = U16(bytes, at);
        if (unit == 0) {
            at += 2;
            break;
        }
        block.key += unit;
    }
    at = Align4(at);
    block.value.text = type == 1;
    block.value.offset = at;
    const size_t valueBytes = block.value.text ? size_t{valueLength} * 2 : valueLength;
    if (valueBytes > 0 && (at > block.end || valueBytes > block.end - at)) {
        return std::nullopt;
    }
    block.value.length = valueLength;
    block.children = Align4(at + valueBytes);
    return block;
}

std::vector<std::u16string> SplitPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (const char16_t unit : path) {
        if (unit == u'\\') {
            if (!part.empty()) {
                parts.push_back(std::move(part));
                part.clear();
            }
        } else {
            part += unit;
        }
    }
    if (!part.empty()) {
        parts.push_back(std::move(part));
    }
    return parts;
}

}  // namespace

VersionBlock::VersionBlock(std::span<const uint8_t> bytes) : bytes_(bytes) {}

std::optional<VersionValue> VersionBlock::Query(std::u16string_view path) const {
    auto block = ParseBlock(bytes_, 0, bytes_.size());
    if (!block) {
        return std::nullopt;
    }
    for (const auto& part : SplitPath(path)) {
        const std::u16string wanted = ToLower(part);
        std::optional<Block> found;
        for (size_t at = block->children; at < block->end;) {
            auto child = ParseBlock(bytes_, at, block->end);
            if (!child) {
                break;
            }
            if (ToLower(child->key) == wanted) {
                found = std::move(child);
                break;
            }
            at = Align4(child->end);
        }
        if (!found) {
            return std::nullopt;
        }
        block = std::move(found);
    }
    if (block->value.length == 0) {
        return std::nullopt;
    }
    return block->value;
}

}  // namespace device
