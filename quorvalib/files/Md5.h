#pragma once

// MD5 message digest (RFC 1321).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "quorvalib/files/Astring.h"

class Afile;

class Md5 {
public:
    using Digest = std::array<uint8_t, 16>;

    Md5() { Start(); }

    void Start();
    void Add(const void* data, size_t size);
    void Add(std::string_view bytes) { Add(bytes.data(), bytes.size()); }
    // Pads and produces the digest; Add after Finish needs a new Start.
    void Finish();

    // Valid after Finish.
    const Digest& Bytes() const { return digest_; }
    // 32 lower-case hexadecimal digits, formatted once and cached until the next Start.
    const Astring& HexDigest() const;

    // The digest of a whole byte string.
    static Md5 Of(std::string_view bytes);
    // Digests a whole file (reads of 64 KiB); false when it cannot be opened or read.
    static bool OfFile(const Astring& path, Md5& md5);

private:
    void Transform(const uint8_t* blocks, size_t count);

    uint32_t state_[4];
    uint64_t length_ = 0;  // bytes added
    uint8_t pending_[64];
    size_t pendingSize_ = 0;
    Digest digest_{};
    mutable Astring hex_;
    mutable bool hexCached_ = false;
};
