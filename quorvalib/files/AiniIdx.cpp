#include "quorvalib/files/AiniIdx.h"

#include <zlib.h>

#include <algorithm>

uint32_t AiniHash(std::string_view name) {
    name = name.substr(0, std::min(name.find('\0'), name.size()));  // as stored: a C string
    if (name.empty()) return 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    Bytef chunk[256];
    while (!name.empty()) {
        const size_t take = std::min(name.size(), sizeof chunk);
        for (size_t i = 0; i < take; ++i) {
            const char c = name[i];
            chunk[i] = static_cast<Bytef>((c >= 'A' && c <= 'Z') ? c + 32 : c);
        }
        crc = crc32(crc, chunk, static_cast<uInt>(take));
        name.remove_prefix(take);
    }
    return static_cast<uint32_t>(crc);
}
