#include "device/VersionApi.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <vector>

#include "device/ByteSource.h"
#include "device/DeviceEnvironment.h"
#include "device/SystemApi.h"
#include "device/VersionBlock.h"
#include "device/VersionResourceReader.h"

namespace device {
namespace {

std::optional<std::vector<uint8_t>> ReadResource(LPCWSTR name) {
    const auto device = CurrentDevice();
    if (!device) {
        SetLastError(ERROR_BAD_ENVIRONMENT);
        return std::nullopt;
    }
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    ResolvedPath resolved;
    if (const DWORD error = device->Resolve(WideView(name), resolved); error != ERROR_SUCCESS) {
        SetLastError(error);
        return std::nullopt;
    }
    if (!resolved.exists || resolved.isDirectory) {
        SetLastError(resolved.exists ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    const int fd = ::open(resolved.host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    const FdSource source(fd);
    DWORD error = ERROR_SUCCESS;
    auto resource = VersionResourceReader::Read(source, error);
    ::close(fd);
    if (!resource) {
        SetLastError(error);
    }
    return resource;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR name, DWORD* handle) {
    if (handle) {
        *handle = 0;
    }
    const auto resource = ReadResource(name);
    return resource ? static_cast<DWORD>(resource->size()) : 0;
}

BOOL GetFileVersionInfoW(LPCWSTR name, DWORD, DWORD size, LPVOID data) {
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto resource = ReadResource(name);
    if (!resource) {
        return FALSE;
    }
    if (size < resource->size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(data, resource->data(), resource->size());
    return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length) {
    if (!block || !subBlock || !buffer || !length) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* bytes = static_cast<const uint8_t*>(block);
    // The root length was checked against the resource when it was read.
    const size_t rootLength = bytes[0] | (bytes[1] << 8);
    const VersionBlock versionBlock({bytes, rootLength});
    const auto value = versionBlock.Query(WideView(subBlock));
    if (!value) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        *buffer = nullptr;
        *length = 0;
        return FALSE;
    }
    *buffer = const_cast<uint8_t*>(bytes + value->offset);
    *length = value->length;
    return TRUE;
}

}  // namespace device
