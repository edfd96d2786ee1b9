#include "quorvalib/platform/FileInfo.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace quorvalib::platform {

std::optional<FileAttributes> GetFileAttributes(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return std::nullopt;
    FileAttributes attributes;
    attributes.directory = S_ISDIR(info.st_mode);
    attributes.readOnly = (info.st_mode & S_IWUSR) == 0;
    attributes.size = static_cast<uint64_t>(info.st_size);
    return attributes;
}

bool IsSymbolicLink(const std::string& path) {
    struct stat info {};
    return !path.empty() && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return false;
    mode_t mode = info.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(S_IWUSR)) : (mode | S_IWUSR);
    if (mode == (info.st_mode & 07777)) return true;
    return chmod(path.c_str(), mode) == 0;
}

bool VolumeSpace(const std::string& path, uint64_t& freeBytes, uint64_t& totalBytes) {
    struct statvfs info {};
    if (path.empty() || statvfs(path.c_str(), &info) != 0) return false;
    const uint64_t unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    freeBytes = static_cast<uint64_t>(info.f_bavail) * unit;
    totalBytes = static_cast<uint64_t>(info.f_blocks) * unit;
    return true;
}

uint64_t FreeSpace(const std::string& path) {
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
    return VolumeSpace(path, freeBytes, totalBytes) ? freeBytes : kUnknownSpace;
}

}  // namespace quorvalib::platform
