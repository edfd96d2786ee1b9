#pragma once

// The tree of an ".fpak" archive as far as the agent reads it: folders and files with the
// offset and length of each file's data (the data itself is skipped, not read).
//
// Records, from byte 0, describing the root folder "/":
//   kind (1 byte): 1 file, 2 folder, 3 or 0 end of the current folder's list; any other
//                  value is a one-byte record with no content
//   name length N (1 byte) and name (N bytes, UTF-8): kinds 1 and 2
//   data length L (4 bytes, little-endian) and the data (L bytes): kind 1
// A folder's records follow it directly, closed by its own end record. A later entry of the
// same name replaces an earlier one. The end of the data ends every open list.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace agent {

// Sequential reading of the archive's bytes.
class FpakSource {
public:
    virtual ~FpakSource() = default;
    // Up to `count` bytes; fewer only at the end of the data (or on a failure).
    virtual size_t Read(void* out, size_t count) = 0;
    // Moves `count` bytes forward without reading them; false when that is not possible.
    virtual bool Skip(uint64_t count) = 0;
};

struct FpakEntry {
    bool folder = false;
    uint64_t offset = 0;  // files: where the data begins
    uint32_t length = 0;  // files: the data length as recorded
};

class FpakArchive {
public:
    // Reads the whole record tree; a truncated or malformed archive simply ends early.
    static FpakArchive Read(FpakSource& source);

    // An archive path: names separated by "/", empty parts ignored; a path that does not
    // begin with "/" is looked up below "/symlinks/". Names are compared exactly.
    std::optional<FpakEntry> Find(std::string_view path) const;

private:
    FpakArchive();
    // The entries are kept flat, so that neither reading nor freeing a deep tree recurses.
    std::vector<FpakEntry> entries_;                               // [0] is the root
    std::map<std::pair<size_t, std::string>, size_t> children_;    // (folder, name) -> entry
};

}  // namespace agent
