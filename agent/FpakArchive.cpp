#include "agent/FpakArchive.h"

namespace agent {
namespace {

constexpr uint8_t kFile = 1;
constexpr uint8_t kFolder = 2;
constexpr uint8_t kEnd = 3;
constexpr uint8_t kEndZero = 0;

}  // namespace

FpakArchive::FpakArchive() { entries_.push_back(FpakEntry{true, 0, 0}); }

FpakArchive FpakArchive::Read(FpakSource& source) {
    FpakArchive archive;
    std::vector<size_t> open{0};  // the folders whose lists are open, innermost last
    uint64_t position = 0;
    const auto read = [&](void* out, size_t count) {
        const size_t got = source.Read(out, count);
        position += got;
        return got == count;
    };
    const auto readName = [&](std::string& name) {
        uint8_t length = 0;
        if (!read(&length, 1)) {
            return false;
        }
        name.resize(length);
        return read(name.data(), length);
    };
    while (!open.empty()) {
        uint8_t kind = 0;
        if (!read(&kind, 1)) {
            break;
        }
        if (kind == kEnd || kind == kEndZero) {
            open.pop_back();
            continue;
        }
        if (kind != kFile && kind != kFolder) {
            continue;
        }
        std::string name;
        if (!readName(name)) {
            break;
        }
        FpakEntry entry;
        entry.folder = kind == kFolder;
        if (kind == kFile) {
            uint8_t length[4];
            if (!read(length, 4)) {
                break;
            }
            entry.length = uint32_t{length[0]} | uint32_t{length[1]} << 8 |
                           uint32_t{length[2]} << 16 | uint32_t{length[3]} << 24;
            entry.offset = position;
        }
        const size_t index = archive.entries_.size();
        archive.entries_.push_back(entry);
        archive.children_[{open.back(), std::move(name)}] = index;
        if (entry.folder) {
            open.push_back(index);
        } else {
            if (!source.Skip(entry.length)) {
                break;
            }
            position += entry.length;
        }
    }
    return archive;
}

std::optional<FpakEntry> FpakArchive::Find(std::string_view path) const {
    std::string full;
    if (path.empty() || path.front() != '/') {
        full = "/symlinks/";
    }
    full += path;
    size_t current = 0;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('/', start);
        if (end == std::string::npos) {
            end = full.size();
        }
        if (end > start) {
            if (!entries_[current].folder) {
                return std::nullopt;
            }
            const auto it = children_.find({current, std::string(full.substr(start, end - start))});
            if (it == children_.end()) {
                return std::nullopt;
            }
            current = it->second;
        }
        start = end + 1;
    }
    return entries_[current];
}

}  // namespace agent
