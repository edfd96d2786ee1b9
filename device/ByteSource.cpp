#include "device/ByteSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace device {

bool MemorySource::ReadAt(uint64_t offset, void* out, size_t count) const {
    if (offset > bytes_.size() || count > bytes_.size() - offset) {
        return false;
    }
    if (count > 0) {
        std::memcpy(out, bytes_.data() + offset, count);
    }
    return true;
}

FdSource::FdSource(int fd) : fd_(fd) {
    struct stat info;
    if (fstat(fd, &info) == 0 && info.st_size > 0) {
        size_ = static_cast<uint64_t>(info.st_size);
    }
}

bool FdSource::ReadAt(uint64_t offset, void* out, size_t count) const {
    if (offset > size_ || count > size_ - offset) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd_, static_cast<char*>(out) + done, count - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace device
