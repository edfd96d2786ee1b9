#pragma once

// One device described in a small text file (the format is in device/README.md): its volumes
// with their capacities, which of them the storage-card enumeration lists, and whether the
// device library "note_prj.dll" exists.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device {

struct VolumeProfile {
    std::string name;                 // top-level folder (UTF-8); empty for the object store "\"
    std::optional<uint64_t> capacity; // bytes; none: the host file system's figures
    bool card = true;                 // listed by the storage-card enumeration
    friend bool operator==(const VolumeProfile&, const VolumeProfile&) = default;
};

class DeviceProfile {
public:
    // A device without a profile: the object store alone, no card library.
    DeviceProfile();

    // Both log the first fault on channel DeviceProfile and give nothing.
    static std::optional<DeviceProfile> Parse(std::string_view text);
    static std::optional<DeviceProfile> Load(const std::filesystem::path& file);

    // The same format; Parse(ToText()) gives an equal profile.
    std::string ToText() const;

    bool HasNoteProj() const { return noteProj_; }
    void SetNoteProj(bool present) { noteProj_ = present; }

    const VolumeProfile& ObjectStore() const { return objectStore_; }
    VolumeProfile& ObjectStore() { return objectStore_; }
    // The other volumes in the order written.
    const std::vector<VolumeProfile>& Volumes() const { return volumes_; }
    // Adds or replaces the volume with that name (letter case ignored); false for a name that
    // is not one plain folder name.
    bool SetVolume(VolumeProfile volume);
    // The volume of that top-level folder name (letter case ignored), if one is declared.
    const VolumeProfile* FindVolume(std::string_view name) const;

    friend bool operator==(const DeviceProfile&, const DeviceProfile&) = default;

private:
    bool noteProj_ = false;
    VolumeProfile objectStore_;
    std::vector<VolumeProfile> volumes_;
};

// A name the device's volumes accept for one path component.
bool IsValidComponentName(std::string_view utf8);

}  // namespace device
