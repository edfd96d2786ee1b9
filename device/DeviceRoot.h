#pragma once

// A device root folder on this machine seen as a Windows CE device: "\" separated paths are
// mapped into the folder without regard to letter case (as on the device's FAT volumes) and
// never lead out of it; the volumes of the profile are top-level folders of the root.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/CeTypes.h"
#include "device/DeviceProfile.h"

namespace device {

struct ResolvedPath {
    std::filesystem::path host;  // inside the root
    bool exists = false;         // false: only the last component is missing
    bool isDirectory = false;
};

struct VolumeFigures {
    uint64_t freeToCaller = 0;
    uint64_t total = 0;
    uint64_t totalFree = 0;
};

class DeviceRoot {
public:
    // The folder must exist; it is taken with symbolic links resolved. Logs on channel
    // DeviceRoot and gives nothing when it is not a folder.
    static std::optional<DeviceRoot> Open(const std::filesystem::path& folder,
                                          DeviceProfile profile);

    const std::filesystem::path& Folder() const { return folder_; }
    const DeviceProfile& Profile() const { return profile_; }

    // ERROR_SUCCESS, or the device's error for the path: ERROR_INVALID_NAME (a component the
    // FAT volumes refuse, "." or ".."), ERROR_PATH_NOT_FOUND (a missing or non-folder parent),
    // ERROR_ACCESS_DENIED (a symbolic link on the way, which could lead out of the root).
    // Relative paths are taken from the root, as the device has no current folder.
    DWORD Resolve(std::u16string_view devicePath, ResolvedPath& out) const;

    // The device path ("\" separated, the names as stored) of a file inside the root.
    std::optional<std::u16string> DevicePathOf(const std::filesystem::path& host) const;

    // Names of the declared volumes that are present (their folder exists) and that the
    // storage-card enumeration lists, in profile order.
    std::vector<std::u16string> PresentCards() const;

    // Free space of the volume that holds the folder `devicePath`: with a configured capacity,
    // free = capacity minus the bytes stored on that volume; else the host file system's
    // figures. ERROR_SUCCESS or the error (ERROR_DIRECTORY when it names a file).
    DWORD FreeSpace(std::u16string_view devicePath, VolumeFigures& out) const;

private:
    DeviceRoot(std::filesystem::path folder, DeviceProfile profile);
    // The present declared volume whose folder is the first component below the root.
    const VolumeProfile* _VolumeOf(const std::filesystem::path& host,
                                   std::filesystem::path& volumeFolder) const;
    uint64_t _BytesStored(const std::filesystem::path& volumeFolder, bool objectStore) const;

    std::filesystem::path folder_;
    DeviceProfile profile_;
};

}  // namespace device
