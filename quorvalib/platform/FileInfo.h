#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvalib::platform {

struct FileAttributes {
    bool directory = false;
    bool readOnly = false;  // the owner may not write
    uint64_t size = 0;
};

// Attributes of an existing path (symbolic links followed); nullopt when it does not exist.
// Paths are UTF-8.
std::optional<FileAttributes> GetFileAttributes(const std::string& path);
// The path itself is a symbolic link (whether or not its target exists).
bool IsSymbolicLink(const std::string& path);
// Sets or clears the owner write bit.
bool SetReadOnly(const std::string& path, bool readOnly);

inline constexpr uint64_t kUnknownSpace = ~uint64_t{0};
// Bytes the caller may still write on the volume holding the path; kUnknownSpace on failure.
uint64_t FreeSpace(const std::string& path);
// Free bytes for the caller and total bytes of the volume; false on failure.
bool VolumeSpace(const std::string& path, uint64_t& freeBytes, uint64_t& totalBytes);

}  // namespace quorvalib::platform
