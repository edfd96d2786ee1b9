#pragma once

// Last error, sleeping, the module file name, free disk space and text conversion.

#include <string_view>

#include "device/CeTypes.h"

namespace device {

DWORD GetLastError();
void SetLastError(DWORD error);

void Sleep(DWORD milliseconds);

// Only the running program (null module): its device path when the program file lies inside
// the device root ("\tov_agent.exe"); 0 with ERROR_FILE_NOT_FOUND when it lies elsewhere. A
// name longer than the buffer is cut, NUL-terminated, and the size is returned with
// ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// The free space of the volume that holds the folder; any of the outputs may be null.
BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULARGE_INTEGER* freeToCaller,
                         ULARGE_INTEGER* totalBytes, ULARGE_INTEGER* totalFreeBytes);

// CP_UTF8 only. A length of -1 includes the terminating NUL; an output size of 0 asks for the
// length. Invalid sequences become U+FFFD, or fail with MB_ERR_INVALID_CHARS.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length,
                        LPWSTR out, int outSize);

// Helper for the implementations: the text of a wide C string (empty for null).
std::u16string_view WideView(LPCWSTR text);

}  // namespace device
