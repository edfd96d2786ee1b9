#include "quorvalib/files/Afile.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/debug/Log.h"
#include "quorvalib/platform/FileInfo.h"

TOV_DEFINE_LOG_CHANNEL(Afile);

struct Afile::ReadBuffer {
    static constexpr size_t kSize = 512;
    uint8_t bytes[kSize];
    size_t fill = 0;
    size_t position = 0;
    bool endOfFile = false;
    bool canStepBack = false;
};

struct Afile::Enumeration {
    DIR* dir = nullptr;
    Astring directory;
    std::string namePattern;
    ~Enumeration() {
        if (dir) closedir(dir);
    }
};

Afile::Afile() = default;
Afile::Afile(const Astring& path) : path_(path) {}
Afile::~Afile() { Close(); }

Afile::Afile(Afile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(other.fd_),
      mode_(other.mode_),
      error_(other.error_),
      platformError_(other.platformError_),
      logErrors_(other.logErrors_),
      size_(other.size_),
      buffer_(std::move(other.buffer_)),
      enumeration_(std::move(other.enumeration_)),
      foundDirectory_(other.foundDirectory_) {
    other.fd_ = -1;
    other.mode_ = kClosed;
}

Afile& Afile::operator=(Afile&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        fd_ = other.fd_;
        mode_ = other.mode_;
        error_ = other.error_;
        platformError_ = other.platformError_;
        logErrors_ = other.logErrors_;
        size_ = other.size_;
        buffer_ = std::move(other.buffer_);
        enumeration_ = std::move(other.enumeration_);
        foundDirectory_ = other.foundDirectory_;
        other.fd_ = -1;
        other.mode_ = kClosed;
    }
    return *this;
}

bool Afile::Fail(int platformError) {
    error_ = kErrorPlatform;
    platformError_ = platformError;
    return false;
}

bool Afile::Open(int mode, const Astring& path) {
    if (IsOpen()) return true;
    if (!path.IsEmpty()) path_ = path;
    if (path_.IsEmpty()) {
        error_ = kErrorNoName;
        return false;
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case kRead:
        case kReadShared: flags |= O_RDONLY; break;
        case kReadWrite: flags |= O_RDWR | O_CREAT; break;
        case kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        default:
            error_ = kErrorPlatform;
            platformError_ = EINVAL;
            return false;
    }
    int fd;
    do {
        fd = ::open(path_.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int failure = errno;
        if (logErrors_) {
            TOV_LOG_ERROR(Afile, "Error opening \"%s\": %u", path_, failure);
        }
        return Fail(failure);
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && mode != kRead && mode != kReadShared) {
        ::close(fd);
        return Fail(EISDIR);
    }
    fd_ = fd;
    mode_ = mode;
    error_ = kErrorNone;
    platformError_ = 0;
    return true;
}

bool Afile::DropBuffer() {
    if (!buffer_) return true;
    const size_t unread = buffer_->fill - buffer_->position;
    buffer_->fill = buffer_->position = 0;
    buffer_->endOfFile = false;
    buffer_->canStepBack = false;
    if (unread == 0 || fd_ < 0) return true;
    if (::lseek(fd_, -static_cast<off_t>(unread), SEEK_CUR) < 0) return Fail(errno);
    return true;
}

bool Afile::Read(void* buffer, size_t count, size_t& bytesRead) {
    bytesRead = 0;
    if (!IsOpen()) {
        if (logErrors_) TOV_LOG_ERROR(Afile, "Read on closed file \"%s\"", path_);
        error_ = kErrorPlatform;
        return false;
    }
    if (!DropBuffer()) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    while (bytesRead < count) {
        const ssize_t got = ::read(fd_, out + bytesRead, count - bytesRead);
        if (got < 0) {
            if (errno == EINTR) continue;
            const int failure = errno;
            if (logErrors_) {
                TOV_LOG_ERROR(Afile, "Error reading %i bytes from \"%s\": %u", count, path_,
                              failure);
            }
            return Fail(failure);
        }
        if (got == 0) break;
        bytesRead += static_cast<size_t>(got);
    }
    return true;
}

bool Afile::Write(const void* data, size_t count) {
    if (!IsOpen()) {
        if (logErrors_) TOV_LOG_ERROR(Afile, "Write on closed file \"%s\"", path_);
        error_ = kErrorPlatform;
        return false;
    }
    if (!DropBuffer()) return false;
    const auto* in = static_cast<const uint8_t*>(data);
    size_t written = 0;
    while (written < count) {
        const ssize_t put = ::write(fd_, in + written, count - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const int failure = put < 0 ? errno : ENOSPC;
            if (logErrors_) {
                TOV_LOG_ERROR(Afile, "Error writing %i bytes to \"%s\": %u (wrote %u)", count,
                              path_, failure, written);
            }
            return Fail(failure);
        }
        written += static_cast<size_t>(put);
    }
    return true;
}

bool Afile::NextByte(uint8_t& byte) {
    if (!IsOpen()) {
        error_ = kErrorPlatform;
        return false;
    }
    if (!buffer_) buffer_ = std::make_unique<ReadBuffer>();
    ReadBuffer& b = *buffer_;
    if (b.position >= b.fill) {
        if (b.endOfFile) return false;
        // Keep the last byte so that a step back over a refill still works.
        const bool keepLast = b.fill > 0;
        if (keepLast) b.bytes[0] = b.bytes[b.fill - 1];
        const size_t start = keepLast ? 1 : 0;
        ssize_t got;
        do {
            got = ::read(fd_, b.bytes + start, ReadBuffer::kSize - start);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            const int failure = errno;
            if (logErrors_) {
                TOV_LOG_ERROR(Afile, "Error reading %i bytes from \"%s\": %u",
                              ReadBuffer::kSize - start, path_, failure);
            }
            b.fill = b.position = 0;
            return Fail(failure);
        }
        b.fill = start + static_cast<size_t>(got);
        b.position = start;
        if (got == 0) {
            b.endOfFile = true;
            b.canStepBack = false;
            return false;
        }
    }
    byte = b.bytes[b.position++];
    b.canStepBack = true;
    return true;
}

bool Afile::StepBack() {
    if (!buffer_ || !buffer_->canStepBack || buffer_->position == 0) return false;
    --buffer_->position;
    buffer_->canStepBack = false;
    return true;
}

bool Afile::Rewind() {
    if (buffer_) {
        buffer_->fill = buffer_->position = 0;
        buffer_->endOfFile = false;
        buffer_->canStepBack = false;
    }
    if (!IsOpen()) {
        error_ = kErrorPlatform;
        return false;
    }
    if (::lseek(fd_, 0, SEEK_SET) < 0) return Fail(errno);
    return true;
}

uint64_t Afile::Seek(int64_t offset, int origin) {
    if (!IsOpen()) {
        error_ = kErrorPlatform;
        return 0;
    }
    int whence;
    switch (origin) {
        case kSeekBegin: whence = SEEK_SET; break;
        case kSeekCurrent: whence = SEEK_CUR; break;
        case kSeekEnd: whence = SEEK_END; break;
        default: return Position();
    }
    if (!DropBuffer()) return 0;
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) {
        Fail(errno);
        return Position();
    }
    return static_cast<uint64_t>(at);
}

uint64_t Afile::Position() {
    if (!IsOpen()) {
        error_ = kErrorPlatform;
        return 0;
    }
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0) {
        Fail(errno);
        return 0;
    }
    const uint64_t unread = buffer_ ? buffer_->fill - buffer_->position : 0;
    return static_cast<uint64_t>(at) - unread;
}

uint64_t Afile::Size() {
    if (IsOpen()) {
        struct stat info {};
        if (fstat(fd_, &info) != 0) {
            Fail(errno);
            return size_;
        }
        size_ = static_cast<uint64_t>(info.st_size);
    }
    return size_;
}

bool Afile::Truncate() {
    if (!IsOpen()) {
        error_ = kErrorPlatform;
        return false;
    }
    const uint64_t at = Position();
    if (error_ == kErrorPlatform) return false;
    if (!DropBuffer()) return false;
    if (::ftruncate(fd_, static_cast<off_t>(at)) != 0) return Fail(errno);
    size_ = at;
    return true;
}

bool Afile::Flush() {
    if (!IsOpen()) {
        error_ = kErrorPlatform;
        return false;
    }
    if (::fsync(fd_) != 0 && errno != EINVAL) return Fail(errno);
    return true;
}

void Afile::EndEnumeration() { enumeration_.reset(); }

void Afile::Close() {
    buffer_.reset();
    EndEnumeration();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    mode_ = kClosed;
}

bool Afile::Delete() {
    Close();
    if (path_.IsEmpty()) {
        error_ = kErrorNoName;
        return false;
    }
    const std::string path = path_.str();
    quorvalib::platform::SetReadOnly(path, false);
    const auto attributes = quorvalib::platform::GetFileAttributes(path);
    const int result = (attributes && attributes->directory) ? ::rmdir(path.c_str())
                                                             : ::unlink(path.c_str());
    if (result != 0) {
        const int failure = errno;
        if (logErrors_) TOV_LOG_ERROR(Afile, "Error deleting \"%s\": %u", path_, failure);
        return Fail(failure);
    }
    return true;
}

bool Afile::FindNext(const Astring& pattern) {
    if (!pattern.IsEmpty()) {
        EndEnumeration();
        auto listing = std::make_unique<Enumeration>();
        const std::string text = pattern.str();
        const size_t slash = text.rfind('/');
        listing->directory = slash == std::string::npos ? Astring(".")
                                                        : Astring(text.substr(0, slash ? slash : 1));
        listing->namePattern = slash == std::string::npos ? text : text.substr(slash + 1);
        if (listing->namePattern.empty()) listing->namePattern = "*";
        listing->dir = ::opendir(listing->directory.c_str());
        if (!listing->dir) return Fail(errno);
        enumeration_ = std::move(listing);
    }
    if (!enumeration_) return false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(enumeration_->dir);
        if (!entry) {
            EndEnumeration();
            return false;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (::fnmatch(enumeration_->namePattern.c_str(), name, FNM_PERIOD) != 0 &&
            enumeration_->namePattern != "*") {
            continue;
        }
        Astring found = enumeration_->directory;
        found.AppendPath(name);
        const auto attributes = quorvalib::platform::GetFileAttributes(found.str());
        // A link whose target is gone is still an entry (so that it can be removed).
        if (!attributes && !quorvalib::platform::IsSymbolicLink(found.str())) continue;
        path_ = found;
        foundDirectory_ = attributes && attributes->directory;
        size_ = attributes && !attributes->directory ? attributes->size : 0;
        return true;
    }
}
