#include "device/DeviceProfile.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "common/debug/Log.h"
#include "device/Utf16.h"

TOV_DEFINE_LOG_CHANNEL(DeviceProfile);

namespace device {
namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<bool> ParseBool(std::string_view value) {
    if (value == "yes" || value == "true" || value == "1") {
        return true;
    }
    if (value == "no" || value == "false" || value == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<uint64_t> ParseBytes(std::string_view value) {
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

bool IsValidComponentName(std::string_view utf8) {
    if (utf8.empty() || utf8 == "." || utf8 == "..") {
        return false;
    }
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    bool valid = true;
    ToUtf16(utf8, &valid);
    return valid;
}

DeviceProfile::DeviceProfile() { objectStore_.card = false; }

bool DeviceProfile::SetVolume(VolumeProfile volume) {
    if (!IsValidComponentName(volume.name)) {
        return false;
    }
    for (auto& existing : volumes_) {
        if (EqualNoCase(existing.name, volume.name)) {
            existing = std::move(volume);
            return true;
        }
    }
    volumes_.push_back(std::move(volume));
    return true;
}

const VolumeProfile* DeviceProfile::FindVolume(std::string_view name) const {
    for (const auto& volume : volumes_) {
        if (EqualNoCase(volume.name, name)) {
            return &volume;
        }
    }
    return nullptr;
}

std::optional<DeviceProfile> DeviceProfile::Parse(std::string_view text) {
    DeviceProfile profile;
    // -2: the keys before the first section; -1: the object store; else a volume's index
    // (an index, since adding volumes moves them).
    long section = -2;
    int lineNumber = 0;
    const auto fail = [&](const char* what) {
        TOV_LOG_ERROR(DeviceProfile, "device::DeviceProfile::Parse: line %i: %s", lineNumber,
                      what);
        return std::nullopt;
    };
    std::istringstream lines{std::string(text)};
    for (std::string raw; std::getline(lines, raw);) {
        ++lineNumber;
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return fail("a section needs its closing ']'");
            }
            const std::string_view inner = Trim(line.substr(1, line.size() - 2));
            if (inner.substr(0, 7) != "volume ") {
                return fail("the only section is [volume <path>]");
            }
            const std::string_view path = Trim(inner.substr(7));
            if (path == "\\") {
                section = -1;
                continue;
            }
            if (path.size() < 2 || path.front() != '\\' || !IsValidComponentName(path.substr(1))) {
                return fail("a volume path is \\ or \\ followed by one folder name");
            }
            const std::string name(path.substr(1));
            if (profile.FindVolume(name)) {
                return fail("the volume is declared twice");
            }
            profile.volumes_.push_back(VolumeProfile{name, std::nullopt, true});
            section = static_cast<long>(profile.volumes_.size()) - 1;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            return fail("expected key = value");
        }
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        VolumeProfile* current = section == -2   ? nullptr
                                 : section == -1 ? &profile.objectStore_
                                                 : &profile.volumes_[section];
        if (!current && key == "note_prj") {
            const auto flag = ParseBool(value);
            if (!flag) {
                return fail("note_prj is yes or no");
            }
            profile.noteProj_ = *flag;
        } else if (current && key == "capacity") {
            const auto bytes = ParseBytes(value);
            if (!bytes) {
                return fail("capacity is a decimal byte count");
            }
            current->capacity = *bytes;
        } else if (current && current != &profile.objectStore_ && key == "card") {
            const auto flag = ParseBool(value);
            if (!flag) {
                return fail("card is yes or no");
            }
            current->card = *flag;
        } else {
            return fail("unknown key here");
        }
    }
    return profile;
}

std::optional<DeviceProfile> DeviceProfile::Load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        TOV_LOG_ERROR(DeviceProfile, "device::DeviceProfile::Load: cannot read '%s'",
                      file.string());
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str());
}

std::string DeviceProfile::ToText() const {
    std::ostringstream out;
    out << "note_prj = " << (noteProj_ ? "yes" : "no") << "\n";
    out << "\n[volume \\]\n";
    if (objectStore_.capacity) {
        out << "capacity = " << *objectStore_.capacity << "\n";
    }
    for (const auto& volume : volumes_) {
        out << "\n[volume \\" << volume.name << "]\n";
        if (volume.capacity) {
            out << "capacity = " << *volume.capacity << "\n";
        }
        out << "card = " << (volume.card ? "yes" : "no") << "\n";
    }
    return out.str();
}

}  // namespace device
