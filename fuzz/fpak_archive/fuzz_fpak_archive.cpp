// The ".fpak" record reader over any bytes, and lookups in what it read.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "agent/FpakArchive.h"

namespace {

class MemorySource final : public agent::FpakSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Read(void* out, size_t count) override {
        const size_t got = position_ < size_ ? std::min<uint64_t>(count, size_ - position_) : 0;
        if (got) {
            std::memcpy(out, data_ + position_, got);
        }
        position_ += got;
        return got;
    }
    bool Skip(uint64_t count) override {
        position_ += count;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource source(data, size);
    const auto archive = agent::FpakArchive::Read(source);
    for (const char* path : {"/version", "version", "/", "//a//b/", "a/b/c", "/symlinks"}) {
        const auto entry = archive.Find(path);
        if (entry && !entry->folder && entry->offset > size) {
            __builtin_trap();  // data always begins after a header that was read
        }
    }
    return 0;
}
