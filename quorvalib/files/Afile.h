#pragma once

// A file on a platform descriptor: the four open modes, unbuffered Read/Write, buffered byte
// reading with one step back, seeking, truncation, deletion and directory enumeration.
// Failures are logged on channel Afile (unless SetLogErrors(false)) and leave error 3.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/debug/LogChannel.h"
#include "quorvalib/files/Astring.h"

TOV_DECLARE_LOG_CHANNEL(Afile);

class Afile {
public:
    enum OpenMode : int {
        kClosed = 0,
        kRead = 1,         // existing files only
        kReadWrite = 2,    // open or create
        kCreate = 3,       // always new (truncates)
        kReadShared = 4,   // second reading mode, as kRead
    };
    enum ErrorCode : int {
        kErrorNone = 0,
        kErrorNoName = 2,
        kErrorPlatform = 3,
    };
    enum SeekOrigin : int { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

    Afile();
    explicit Afile(const Astring& path);
    ~Afile();
    Afile(const Afile&) = delete;
    Afile& operator=(const Afile&) = delete;
    Afile(Afile&& other) noexcept;
    Afile& operator=(Afile&& other) noexcept;

    // Each is a no-op returning true when the file is already open. A non-empty name
    // replaces the stored path; with neither, error 2.
    bool Open(int mode, const Astring& path = {});
    bool OpenRead(const Astring& path = {}) { return Open(kRead, path); }
    bool OpenReadWrite(const Astring& path = {}) { return Open(kReadWrite, path); }
    bool Create(const Astring& path = {}) { return Open(kCreate, path); }
    bool IsOpen() const { return fd_ >= 0; }
    int Mode() const { return mode_; }

    // Reads up to `count` bytes (fewer only at the end of the file). True on success, also
    // with 0 bytes at the end.
    bool Read(void* buffer, size_t count, size_t& bytesRead);
    // Writes all `count` bytes; a short write is a failure.
    bool Write(const void* data, size_t count);

    // Buffered reading (512-byte buffer): false at the end of the file or on a read failure.
    bool NextByte(uint8_t& byte);
    // Steps back over the byte NextByte gave last; allowed once after each NextByte.
    bool StepBack();
    bool Rewind();

    // Returns the new position; an unknown origin does not move.
    uint64_t Seek(int64_t offset, int origin);
    // Current position (counting buffered bytes as not yet read); failure sets error 3.
    uint64_t Position();
    // Size of the open file, else the size cached by the last query or enumeration.
    uint64_t Size();
    // Cuts the file at the current position and refreshes the cached size.
    bool Truncate();
    // Writes the file's data to the device.
    bool Flush();

    // Frees the buffer, ends any enumeration, closes the descriptor.
    void Close();
    // Close, clear read-only, then remove the path as a directory if it is one, else as a file.
    bool Delete();

    // First call with a pattern such as "dir/*" starts listing; later calls (empty pattern)
    // continue. "." and ".." are skipped. On success Path() is the found entry's path and
    // Size() its size; at the end the listing is closed and false returned.
    bool FindNext(const Astring& pattern = {});
    // The entry FindNext found last is a directory.
    bool IsDirectory() const { return foundDirectory_; }

    const Astring& Path() const { return path_; }
    void SetPath(const Astring& path) { path_ = path; }
    int LastError() const { return error_; }
    void ClearError() { error_ = kErrorNone; }
    bool LogErrors() const { return logErrors_; }
    void SetLogErrors(bool log) { logErrors_ = log; }
    // The platform error number of the last failure (0 when none).
    int PlatformError() const { return platformError_; }

private:
    struct ReadBuffer;
    struct Enumeration;

    bool Fail(int platformError);
    // Hands unread buffered bytes back to the descriptor before unbuffered access.
    bool DropBuffer();
    void EndEnumeration();

    Astring path_;
    int fd_ = -1;
    int mode_ = kClosed;
    int error_ = kErrorNone;
    int platformError_ = 0;
    bool logErrors_ = true;
    uint64_t size_ = 0;
    std::unique_ptr<ReadBuffer> buffer_;
    std::unique_ptr<Enumeration> enumeration_;
    bool foundDirectory_ = false;
};
