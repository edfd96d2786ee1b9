#include "agent/AgentCommands.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "agent/FpakArchive.h"
#include "device/FileApi.h"
#include "device/LibraryApi.h"
#include "device/SystemApi.h"
#include "device/VersionApi.h"
#include "quorvalib/files/Astring.h"
#include "quorvalib/files/Md5.h"

namespace agent {
namespace {

using device::DWORD;

constexpr DWORD kModuleNameSize = 512;
constexpr DWORD kChecksumReadSize = 10240;

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string Decimal(uint64_t value) { return Ascii(std::to_string(value)); }

// One entry of an entry list: "key":text;
void AppendEntry(std::u16string& list, std::u16string_view key, std::u16string_view text) {
    list += u'"';
    list += key;
    list += u"\":";
    list += text;
    list += u';';
}

// Version fields of ".tdb" and ".fpak" files: one character per byte (ISO-8859-1).
std::u16string Latin1(const uint8_t* bytes, size_t count) {
    return std::u16string(bytes, bytes + count);
}

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

class StreamSource final : public FpakSource {
public:
    explicit StreamSource(std::FILE* stream) : stream_(stream) {}
    size_t Read(void* out, size_t count) override { return std::fread(out, 1, count, stream_); }
    bool Skip(uint64_t count) override {
        return fseeko(stream_, static_cast<off_t>(count), SEEK_CUR) == 0;
    }

private:
    std::FILE* stream_;
};

}  // namespace

std::optional<std::u16string> GetFileVersion(const std::u16string& path) {
    const DWORD size = device::GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> block(size);
    if (!device::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return std::nullopt;
    }
    void* value = nullptr;
    device::UINT length = 0;
    // A value shorter than the fixed record would be read past its end: that fails too.
    if (!device::VerQueryValueW(block.data(), u"\\", &value, &length) || !value ||
        length < sizeof(device::VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    device::VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    return Decimal(fixed.dwFileVersionMS >> 16) + u'.' + Decimal(fixed.dwFileVersionMS & 0xFFFF) +
           u'.' + Decimal(fixed.dwFileVersionLS >> 16) + u'.' +
           Decimal(fixed.dwFileVersionLS & 0xFFFF);
}

std::optional<std::u16string> GetAgentVersion() {
    device::WCHAR name[kModuleNameSize];
    const DWORD length = device::GetModuleFileNameW(nullptr, name, kModuleNameSize);
    if (length == 0 || length >= kModuleNameSize) {
        return std::nullopt;  // none, or cut short
    }
    return GetFileVersion(std::u16string(name, length));
}

std::optional<std::u16string> GetMD5FileChecksum(const std::u16string& path) {
    device::HANDLE file = device::CreateFileW(path.c_str(), device::GENERIC_READ,
                                              device::FILE_SHARE_READ, nullptr,
                                              device::OPEN_EXISTING, 0, nullptr);
    if (file == device::INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    Md5 md5;
    std::vector<uint8_t> buffer(kChecksumReadSize);
    for (;;) {
        DWORD read = 0;
        if (!device::ReadFile(file, buffer.data(), kChecksumReadSize, &read, nullptr)) {
            device::CloseHandle(file);
            return std::nullopt;
        }
        if (read == 0) {
            break;
        }
        md5.Add(buffer.data(), read);
    }
    device::CloseHandle(file);
    md5.Finish();
    return Ascii(md5.HexDigest().view());
}

std::optional<std::u16string> GetDbVersion(const std::u16string& path) {
    const Stream stream(device::_wfopen(path.c_str(), u"rb"));
    if (!stream) {
        return std::nullopt;
    }
    uint8_t version[8];
    // A database shorter than 56 bytes has no version field.
    if (std::fseek(stream.get(), 48, SEEK_SET) != 0 ||
        std::fread(version, 1, sizeof version, stream.get()) != sizeof version) {
        return std::nullopt;
    }
    return Latin1(version, sizeof version);
}

std::optional<std::u16string> GetFpakVersion(const std::u16string& path) {
    const Stream stream(device::_wfopen(path.c_str(), u"rb"));
    if (!stream) {
        return std::nullopt;
    }
    StreamSource source(stream.get());
    const FpakArchive archive = FpakArchive::Read(source);
    const auto entry = archive.Find("/version");
    if (!entry || entry->folder || entry->length != 8) {
        return std::nullopt;
    }
    uint8_t version[8];
    if (fseeko(stream.get(), static_cast<off_t>(entry->offset), SEEK_SET) != 0 ||
        std::fread(version, 1, sizeof version, stream.get()) != sizeof version) {
        return std::nullopt;  // the data was cut off
    }
    return Latin1(version, sizeof version);
}

std::optional<std::u16string> GetVersions(const std::vector<std::u16string>& paths) {
    std::u16string entries;
    bool any = false;
    for (const auto& path : paths) {
        if (path.empty()) {
            continue;
        }
        const Astring lower = Astring(std::u16string_view(path)).ToLower();
        std::optional<std::u16string> version;
        if (lower.Find(".fpak") != Astring::npos) {
            version = GetFpakVersion(path);
        } else if (lower.Find(".tdb") != Astring::npos) {
            version = GetDbVersion(path);
        } else {
            version = GetFileVersion(path);
        }
        if (version) {
            AppendEntry(entries, path, *version);
            any = true;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    return entries;
}

std::optional<std::u16string> GetMountPoints() {
    device::HMODULE library = device::LoadLibraryW(u"note_prj.dll");
    device::FindFirstFlashCardFunction findFirst = nullptr;
    device::FindNextFlashCardFunction findNext = nullptr;
    if (library) {
        findFirst = reinterpret_cast<device::FindFirstFlashCardFunction>(
            device::GetProcAddressW(library, u"FindFirstFlashCard"));
        findNext = reinterpret_cast<device::FindNextFlashCardFunction>(
            device::GetProcAddressW(library, u"FindNextFlashCard"));
    }
    const auto entryOf = [](const std::u16string& query, std::u16string_view key,
                            std::u16string& list) {
        device::ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
        if (!device::GetDiskFreeSpaceExW(query.c_str(), &freeToCaller, &total, &totalFree)) {
            return false;
        }
        AppendEntry(list, key, Decimal(freeToCaller.QuadPart) + u'/' + Decimal(total.QuadPart));
        return true;
    };
    std::u16string entries;
    std::optional<std::u16string> answer;
    if (entryOf(u"\\", u"\\", entries)) {
        if (findFirst && findNext) {
            device::WIN32_FIND_DATAW card;
            device::HANDLE search = findFirst(&card);
            if (search != device::INVALID_HANDLE_VALUE) {
                do {
                    const std::u16string name(card.cFileName);
                    if (name.empty()) {
                        continue;
                    }
                    // A card whose figures cannot be read is left out rather than reported
                    // with made-up numbers.
                    entryOf(u"\\" + name, u"\\" + name + u"\\", entries);
                } while (findNext(search, &card));
                device::FindClose(search);
            }
        } else {
            entryOf(u"\\sdmmc", u"\\sdmmc", entries);
            entryOf(u"\\Storage Card", u"\\Storage Card", entries);
        }
        answer = std::move(entries);
    }
    if (library) {
        device::FreeLibrary(library);
    }
    return answer;
}

Answer RunCommand(const std::vector<std::u16string>& tokens) {
    const std::u16string& command = tokens.at(0);
    const std::u16string& argument = tokens.at(1);
    std::optional<std::u16string> result;
    if (command == u"GetAgentVersion") {
        result = GetAgentVersion();
    } else if (command == u"GetMountPoints") {
        result = GetMountPoints();
    } else if (command == u"GetFileVersion") {
        result = GetFileVersion(argument);
    } else if (command == u"GetMD5FileChecksum") {
        result = GetMD5FileChecksum(argument);
    } else if (command == u"GetDbVersion") {
        result = GetDbVersion(argument);
    } else if (command == u"GetFpakVersion") {
        result = GetFpakVersion(argument);
    } else if (command == u"GetVersions") {
        result = GetVersions({tokens.begin() + 1, tokens.end()});
    } else {
        return {std::u16string(kNotImplemented), false};
    }
    if (!result) {
        return {std::u16string(kFailed), true};
    }
    return {std::move(*result), false};
}

}  // namespace agent
