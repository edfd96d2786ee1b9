#include "device/DeviceRoot.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <system_error>

#include "common/debug/Log.h"
#include "device/Utf16.h"

TOV_DEFINE_LOG_CHANNEL(DeviceRoot);

namespace fs = std::filesystem;

namespace device {
namespace {

std::vector<std::string> SplitDevicePath(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) {
                parts.push_back(std::move(part));
                part.clear();
            }
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(std::move(part));
    }
    return parts;
}

// The entry of `folder` called `name` without regard to case; the exact name wins.
std::optional<fs::path> FindEntry(const fs::path& folder, const std::string& name) {
    struct stat info;
    const fs::path exact = folder / name;
    if (lstat(exact.c_str(), &info) == 0) {
        return exact;
    }
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (EqualNoCase(it->path().filename().string(), name)) {
            return it->path();
        }
    }
    return std::nullopt;
}

}  // namespace

DeviceRoot::DeviceRoot(fs::path folder, DeviceProfile profile)
    : folder_(std::move(folder)), profile_(std::move(profile)) {}

std::optional<DeviceRoot> DeviceRoot::Open(const fs::path& folder, DeviceProfile profile) {
    std::error_code error;
    fs::path canonical = fs::canonical(folder, error);
    if (error || !fs::is_directory(canonical, error)) {
        TOV_LOG_ERROR(DeviceRoot, "device::DeviceRoot::Open: '%s' is not a folder",
                      folder.string());
        return std::nullopt;
    }
    return DeviceRoot(std::move(canonical), std::move(profile));
}

DWORD DeviceRoot::Resolve(std::u16string_view devicePath, ResolvedPath& out) const {
    bool valid = true;
    const std::string utf8 = ToUtf8(devicePath, &valid);
    if (!valid) {
        return ERROR_INVALID_NAME;
    }
    const std::vector<std::string> parts = SplitDevicePath(utf8);
    for (const auto& part : parts) {
        if (!IsValidComponentName(part)) {
            return ERROR_INVALID_NAME;
        }
    }
    fs::path current = folder_;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const auto entry = FindEntry(current, parts[i]);
        if (!entry) {
            if (!last) {
                return ERROR_PATH_NOT_FOUND;
            }
            out = ResolvedPath{current / parts[i], false, false};
            return ERROR_SUCCESS;
        }
        struct stat info;
        if (lstat(entry->c_str(), &info) != 0) {
            return ERROR_PATH_NOT_FOUND;
        }
        if (S_ISLNK(info.st_mode)) {
            return ERROR_ACCESS_DENIED;
        }
        if (!last && !S_ISDIR(info.st_mode)) {
            return ERROR_PATH_NOT_FOUND;
        }
        current = *entry;
        if (last) {
            out = ResolvedPath{current, true, S_ISDIR(info.st_mode)};
            return ERROR_SUCCESS;
        }
    }
    out = ResolvedPath{folder_, true, true};
    return ERROR_SUCCESS;
}

std::optional<std::u16string> DeviceRoot::DevicePathOf(const fs::path& host) const {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(host, error);
    if (error) {
        return std::nullopt;
    }
    auto root = folder_.begin();
    auto it = canonical.begin();
    for (; root != folder_.end(); ++root, ++it) {
        if (it == canonical.end() || *it != *root) {
            return std::nullopt;
        }
    }
    std::u16string path;
    for (; it != canonical.end(); ++it) {
        if (it->empty()) {
            continue;
        }
        path += u'\\';
        path += ToUtf16(it->string());
    }
    return path.empty() ? std::u16string(u"\\") : path;
}

const VolumeProfile* DeviceRoot::_VolumeOf(const fs::path& host, fs::path& volumeFolder) const {
    volumeFolder = folder_;
    const fs::path relative = host.lexically_relative(folder_);
    if (relative.empty() || relative == ".") {
        return &profile_.ObjectStore();
    }
    const std::string first = relative.begin()->string();
    const VolumeProfile* volume = profile_.FindVolume(first);
    std::error_code error;
    if (!volume || !fs::is_directory(folder_ / first, error)) {
        return &profile_.ObjectStore();
    }
    volumeFolder = folder_ / first;
    return volume;
}

std::vector<std::u16string> DeviceRoot::PresentCards() const {
    std::vector<std::u16string> cards;
    for (const auto& volume : profile_.Volumes()) {
        const auto entry = FindEntry(folder_, volume.name);
        struct stat info;
        if (volume.card && entry && lstat(entry->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            cards.push_back(ToUtf16(entry->filename().string()));
        }
    }
    return cards;
}

uint64_t DeviceRoot::_BytesStored(const fs::path& volumeFolder, bool objectStore) const {
    uint64_t bytes = 0;
    std::error_code error;
    fs::recursive_directory_iterator it(volumeFolder, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (objectStore && it.depth() == 0 && it->is_directory(error) &&
            profile_.FindVolume(it->path().filename().string())) {
            it.disable_recursion_pending();  // another volume's bytes
            continue;
        }
        struct stat info;
        if (lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            bytes += static_cast<uint64_t>(info.st_size);
        }
    }
    return bytes;
}

DWORD DeviceRoot::FreeSpace(std::u16string_view devicePath, VolumeFigures& out) const {
    ResolvedPath resolved;
    if (const DWORD error = Resolve(devicePath, resolved); error != ERROR_SUCCESS) {
        return error;
    }
    if (!resolved.exists) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (!resolved.isDirectory) {
        return ERROR_DIRECTORY;
    }
    fs::path volumeFolder;
    const VolumeProfile* volume = _VolumeOf(resolved.host, volumeFolder);
    if (volume->capacity) {
        const uint64_t stored = _BytesStored(volumeFolder, volume == &profile_.ObjectStore());
        const uint64_t capacity = *volume->capacity;
        out.total = capacity;
        out.freeToCaller = out.totalFree = stored < capacity ? capacity - stored : 0;
        return ERROR_SUCCESS;
    }
    struct statvfs figures;
    if (statvfs(volumeFolder.c_str(), &figures) != 0) {
        TOV_LOG_ERROR(DeviceRoot, "device::DeviceRoot::FreeSpace: statvfs of '%s' failed",
                      volumeFolder.string());
        return ERROR_PATH_NOT_FOUND;
    }
    out.total = uint64_t{figures.f_blocks} * figures.f_frsize;
    out.freeToCaller = uint64_t{figures.f_bavail} * figures.f_frsize;
    out.totalFree = uint64_t{figures.f_bfree} * figures.f_frsize;
    return ERROR_SUCCESS;
}

}  // namespace device
