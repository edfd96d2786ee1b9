#include "device/SystemApi.h"

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "device/DeviceEnvironment.h"
#include "device/Utf16.h"

namespace device {
namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::u16string_view WideView(LPCWSTR text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    const auto device = CurrentDevice();
    if (!device) {
        SetLastError(ERROR_BAD_ENVIRONMENT);
        return 0;
    }
    if (module != nullptr || !buffer || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
    if (length <= 0 || static_cast<size_t>(length) >= self.size()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    self.resize(static_cast<size_t>(length));
    const auto path = device->DevicePathOf(self);
    if (!path) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (path->size() >= size) {
        path->copy(buffer, size - 1);
        buffer[size - 1] = u'\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    path->copy(buffer, path->size());
    buffer[path->size()] = u'\0';
    return static_cast<DWORD>(path->size());
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULARGE_INTEGER* freeToCaller,
                         ULARGE_INTEGER* totalBytes, ULARGE_INTEGER* totalFreeBytes) {
    const auto device = CurrentDevice();
    if (!device) {
        SetLastError(ERROR_BAD_ENVIRONMENT);
        return FALSE;
    }
    VolumeFigures figures;
    if (const DWORD error = device->FreeSpace(WideView(directory), figures);
        error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (freeToCaller) {
        freeToCaller->QuadPart = figures.freeToCaller;
    }
    if (totalBytes) {
        totalBytes->QuadPart = figures.total;
    }
    if (totalFreeBytes) {
        totalFreeBytes->QuadPart = figures.totalFree;
    }
    return TRUE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, LPWSTR out,
                        int outSize) {
    if (codePage != CP_UTF8 || !text || length < -1 || length == 0 || outSize < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string_view input =
        length == -1 ? std::string_view(text, std::char_traits<char>::length(text) + 1)
                     : std::string_view(text, static_cast<size_t>(length));
    bool valid = true;
    const std::u16string wide = ToUtf16(input, &valid);
    if (!valid && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (outSize == 0) {
        return static_cast<int>(wide.size());
    }
    if (!out || wide.size() > static_cast<size_t>(outSize)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    wide.copy(out, wide.size());
    return static_cast<int>(wide.size());
}

}  // namespace device
