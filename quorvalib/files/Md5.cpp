#include "quorvalib/files/Md5.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "quorvalib/files/Afile.h"

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t Load(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

#define TOV_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define TOV_MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define TOV_MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define TOV_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define TOV_MD5_STEP(f, a, b, c, d, x, t, s) \
    (a) += f((b), (c), (d)) + (x) + (t);     \
    (a) = Rotl((a), (s)) + (b)

}  // namespace

void Md5::Start() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    length_ = 0;
    pendingSize_ = 0;
    digest_ = {};
    hex_.Clear();
    hexCached_ = false;
}

void Md5::Transform(const uint8_t* block, size_t count) {
    uint32_t a0 = state_[0], b0 = state_[1], c0 = state_[2], d0 = state_[3];
    for (; count > 0; --count, block += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = Load(block + 4 * i);
        uint32_t a = a0, b = b0, c = c0, d = d0;

        TOV_MD5_STEP(TOV_MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
        TOV_MD5_STEP(TOV_MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
        TOV_MD5_STEP(TOV_MD5_F, c, d, a, b, x[2], 0x242070db, 17);
        TOV_MD5_STEP(TOV_MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
        TOV_MD5_STEP(TOV_MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
        TOV_MD5_STEP(TOV_MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
        TOV_MD5_STEP(TOV_MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
        TOV_MD5_STEP(TOV_MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
        TOV_MD5_STEP(TOV_MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
        TOV_MD5_STEP(TOV_MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
        TOV_MD5_STEP(TOV_MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
        TOV_MD5_STEP(TOV_MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
        TOV_MD5_STEP(TOV_MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
        TOV_MD5_STEP(TOV_MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
        TOV_MD5_STEP(TOV_MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
        TOV_MD5_STEP(TOV_MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

        TOV_MD5_STEP(TOV_MD5_G, a, b, c, d, x[1], 0xf61e2562, 5);
        TOV_MD5_STEP(TOV_MD5_G, d, a, b, c, x[6], 0xc040b340, 9);
        TOV_MD5_STEP(TOV_MD5_G, c, d, a, b, x[11], 0x265e5a51, 14);
        TOV_MD5_STEP(TOV_MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
        TOV_MD5_STEP(TOV_MD5_G, a, b, c, d, x[5], 0xd62f105d, 5);
        TOV_MD5_STEP(TOV_MD5_G, d, a, b, c, x[10], 0x02441453, 9);
        TOV_MD5_STEP(TOV_MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14);
        TOV_MD5_STEP(TOV_MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
        TOV_MD5_STEP(TOV_MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5);
        TOV_MD5_STEP(TOV_MD5_G, d, a, b, c, x[14], 0xc33707d6, 9);
        TOV_MD5_STEP(TOV_MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14);
        TOV_MD5_STEP(TOV_MD5_G, b, c, d, a, x[8], 0x455a14ed, 20);
        TOV_MD5_STEP(TOV_MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5);
        TOV_MD5_STEP(TOV_MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
        TOV_MD5_STEP(TOV_MD5_G, c, d, a, b, x[7], 0x676f02d9, 14);
        TOV_MD5_STEP(TOV_MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

        TOV_MD5_STEP(TOV_MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
        TOV_MD5_STEP(TOV_MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
        TOV_MD5_STEP(TOV_MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
        TOV_MD5_STEP(TOV_MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
        TOV_MD5_STEP(TOV_MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
        TOV_MD5_STEP(TOV_MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
        TOV_MD5_STEP(TOV_MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
        TOV_MD5_STEP(TOV_MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
        TOV_MD5_STEP(TOV_MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
        TOV_MD5_STEP(TOV_MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
        TOV_MD5_STEP(TOV_MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
        TOV_MD5_STEP(TOV_MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
        TOV_MD5_STEP(TOV_MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
        TOV_MD5_STEP(TOV_MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
        TOV_MD5_STEP(TOV_MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
        TOV_MD5_STEP(TOV_MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

        TOV_MD5_STEP(TOV_MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
        TOV_MD5_STEP(TOV_MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
        TOV_MD5_STEP(TOV_MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
        TOV_MD5_STEP(TOV_MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
        TOV_MD5_STEP(TOV_MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
        TOV_MD5_STEP(TOV_MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
        TOV_MD5_STEP(TOV_MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
        TOV_MD5_STEP(TOV_MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
        TOV_MD5_STEP(TOV_MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
        TOV_MD5_STEP(TOV_MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
        TOV_MD5_STEP(TOV_MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
        TOV_MD5_STEP(TOV_MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
        TOV_MD5_STEP(TOV_MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
        TOV_MD5_STEP(TOV_MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
        TOV_MD5_STEP(TOV_MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
        TOV_MD5_STEP(TOV_MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    state_[0] = a0;
    state_[1] = b0;
    state_[2] = c0;
    state_[3] = d0;
}

void Md5::Add(const void* data, size_t size) {
    if (size == 0) return;
    const auto* in = static_cast<const uint8_t*>(data);
    length_ += size;
    hexCached_ = false;
    if (pendingSize_ > 0) {
        const size_t take = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, in, take);
        pendingSize_ += take;
        in += take;
        size -= take;
        if (pendingSize_ < sizeof pending_) return;
        Transform(pending_, 1);
        pendingSize_ = 0;
    }
    const size_t blocks = size / 64;
    if (blocks > 0) Transform(in, blocks);
    in += blocks * 64;
    size -= blocks * 64;
    if (size > 0) {
        std::memcpy(pending_, in, size);
        pendingSize_ = size;
    }
}

void Md5::Finish() {
    const uint64_t bits = length_ * 8;
    uint8_t padding[72] = {0x80};
    const size_t padSize = (pendingSize_ < 56) ? 56 - pendingSize_ : 120 - pendingSize_;
    const uint64_t keptLength = length_;
    Add(padding, padSize);
    uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    Add(lengthBytes, 8);
    length_ = keptLength;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) digest_[4 * i + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
    }
    hexCached_ = false;
}

const Astring& Md5::HexDigest() const {
    if (!hexCached_) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string text(32, '0');
        for (size_t i = 0; i < digest_.size(); ++i) {
            text[2 * i] = kDigits[digest_[i] >> 4];
            text[2 * i + 1] = kDigits[digest_[i] & 0x0F];
        }
        hex_ = Astring(std::move(text));
        hexCached_ = true;
    }
    return hex_;
}

Md5 Md5::Of(std::string_view bytes) {
    Md5 md5;
    md5.Add(bytes);
    md5.Finish();
    return md5;
}

bool Md5::OfFile(const Astring& path, Md5& md5) {
    Afile file(path);
    if (!file.OpenRead()) return false;
    md5.Start();
    constexpr size_t kChunk = 64 * 1024;
    const auto buffer = std::make_unique<uint8_t[]>(kChunk);
    for (;;) {
        size_t got = 0;
        if (!file.Read(buffer.get(), kChunk, got)) return false;
        if (got == 0) break;
        md5.Add(buffer.get(), got);
    }
    md5.Finish();
    return true;
}
