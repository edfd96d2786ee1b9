#pragma once

// Random access to the bytes of a file or of a buffer, for the readers of file formats.

#include <cstddef>
#include <cstdint>
#include <span>

namespace device {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // All `count` bytes at `offset`, or false (also when they reach past the end).
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) const = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override;

private:
    std::span<const uint8_t> bytes_;
};

// Reads an open file descriptor with pread; does not own it.
class FdSource final : public ByteSource {
public:
    explicit FdSource(int fd);
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override;

private:
    int fd_;
    uint64_t size_ = 0;
};

}  // namespace device
