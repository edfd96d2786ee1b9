#include "device/FileApi.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <string>

#include "device/DeviceEnvironment.h"
#include "device/HandleTable.h"
#include "device/SystemApi.h"
#include "device/Utf16.h"


namespace device {
namespace {

class FileObject final : public HandleObject {
public:
    explicit FileObject(int fd) : fd_(fd) {}
    ~FileObject() override { ::close(fd_); }
    int Fd() const { return fd_; }

private:
    int fd_;
};

DWORD ErrorOfErrno(int error) {
    switch (error) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_FILE_EXISTS;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case ENAMETOOLONG: return ERROR_INVALID_NAME;
        default: return ERROR_ACCESS_DENIED;
    }
}

// Resolves a device path of the current device; sets the last error on failure.
bool ResolveName(LPCWSTR name, ResolvedPath& resolved) {
    const auto device = CurrentDevice();
    if (!device) {
        SetLastError(ERROR_BAD_ENVIRONMENT);
        return false;
    }
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (const DWORD error = device->Resolve(WideView(name), resolved); error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    return true;
}

// The open flags of a creation disposition; -1 for an unknown one.
int DispositionFlags(DWORD disposition) {
    switch (disposition) {
        case CREATE_NEW: return O_CREAT | O_EXCL;
        case CREATE_ALWAYS: return O_CREAT | O_TRUNC;
        case OPEN_EXISTING: return 0;
        case OPEN_ALWAYS: return O_CREAT;
        case TRUNCATE_EXISTING: return O_TRUNC;
        default: return -1;
    }
}

int OpenRegularFile(const ResolvedPath& resolved, int flags) {
    if (resolved.isDirectory) {
        errno = EISDIR;
        return -1;
    }
    const int fd = ::open(resolved.host.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD,
                   HANDLE) {
    ResolvedPath resolved;
    if (!ResolveName(name, resolved)) {
        return INVALID_HANDLE_VALUE;
    }
    const int dispositionFlags = DispositionFlags(disposition);
    const bool reading = access & GENERIC_READ;
    const bool writing = access & GENERIC_WRITE;
    if (dispositionFlags < 0 || (disposition == TRUNCATE_EXISTING && !writing)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    int flags = dispositionFlags;
    flags |= writing ? (reading ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (!writing) {
        flags &= ~O_TRUNC;
    }
    const bool existed = resolved.exists;
    const int fd = OpenRegularFile(resolved, flags);
    if (fd < 0) {
        SetLastError(ErrorOfErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    // As on the device: opening over an existing file says so, and still succeeds.
    const bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return HandleTable::Instance().Add(std::make_shared<FileObject>(fd));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, void*) {
    const auto object = HandleTable::Instance().Get<FileObject>(file);
    if (read) {
        *read = 0;
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buffer && toRead > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t done = 0;
    while (done < toRead) {
        const ssize_t got = ::read(object->Fd(), static_cast<char*>(buffer) + done, toRead - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            SetLastError(errno == EBADF ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT);
            return FALSE;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    if (read) {
        *read = static_cast<DWORD>(done);
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD toWrite, DWORD* written, void*) {
    const auto object = HandleTable::Instance().Get<FileObject>(file);
    if (written) {
        *written = 0;
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data && toWrite > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t done = 0;
    while (done < toWrite) {
        const ssize_t put =
            ::write(object->Fd(), static_cast<const char*>(data) + done, toWrite - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            SetLastError(errno == ENOSPC ? ERROR_DISK_FULL
                         : errno == EBADF ? ERROR_ACCESS_DENIED
                                          : ERROR_WRITE_FAULT);
            if (written) {
                *written = static_cast<DWORD>(done);
            }
            return FALSE;
        }
        done += static_cast<size_t>(put);
    }
    if (written) {
        *written = static_cast<DWORD>(done);
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    const auto object = HandleTable::Instance().Get<FileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    const int whence = method == FILE_BEGIN     ? SEEK_SET
                       : method == FILE_CURRENT ? SEEK_CUR
                       : method == FILE_END     ? SEEK_END
                                                : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t offset =
        distanceHigh ? static_cast<int64_t>((uint64_t(uint32_t(*distanceHigh)) << 32) |
                                            uint32_t(distance))
                     : int64_t{distance};
    const off_t position = ::lseek(object->Fd(), offset, whence);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) {
        *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
    const auto object = HandleTable::Instance().Get<FileObject>(file);
    struct stat info;
    if (!object || fstat(object->Fd(), &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<uint64_t>(info.st_size);
    if (sizeHigh) {
        *sizeHigh = static_cast<DWORD>(size >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL CloseHandle(HANDLE handle) {
    if (!HandleTable::Instance().Remove(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
    ResolvedPath resolved;
    if (!ResolveName(name, resolved)) {
        return FALSE;
    }
    if (!resolved.exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (resolved.isDirectory) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(resolved.host.c_str()) != 0) {
        SetLastError(ErrorOfErrno(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR name) {
    ResolvedPath resolved;
    if (!ResolveName(name, resolved)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    if (!resolved.exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return resolved.isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryW(LPCWSTR name, void*) {
    ResolvedPath resolved;
    if (!ResolveName(name, resolved)) {
        return FALSE;
    }
    if (resolved.exists) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (::mkdir(resolved.host.c_str(), 0755) != 0) {
        SetLastError(ErrorOfErrno(errno));
        return FALSE;
    }
    return TRUE;
}

std::FILE* _wfopen(LPCWSTR name, LPCWSTR mode) {
    const std::string modeText = ToUtf8(WideView(mode));
    if (modeText.empty() || std::string_view("rwa").find(modeText[0]) == std::string_view::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ResolvedPath resolved;
    if (!ResolveName(name, resolved)) {
        return nullptr;
    }
    const bool update = modeText.find('+') != std::string::npos;
    int flags = 0;
    switch (modeText[0]) {
        case 'r': flags = update ? O_RDWR : O_RDONLY; break;
        case 'w': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
        default: flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
    }
    const int fd = OpenRegularFile(resolved, flags);
    if (fd < 0) {
        SetLastError(ErrorOfErrno(errno));
        return nullptr;
    }
    std::string streamMode = modeText.substr(0, 1) + (update ? "+" : "");
    std::FILE* stream = ::fdopen(fd, streamMode.c_str());
    if (!stream) {
        ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return stream;
}

}  // namespace device
