#pragma once

// Files of the device: Win32 handles and the C library's wide-character streams, over the
// device root of the current device.

#include <cstdio>

#include "device/CeTypes.h"

namespace device {

// Sharing is not enforced. A folder cannot be opened as a file (ERROR_ACCESS_DENIED).
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD shareMode, void* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD toWrite, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
// Any device handle: files, card enumerations, processes and threads.
BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileW(LPCWSTR name);
// INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) when the path does not exist.
DWORD GetFileAttributesW(LPCWSTR name);
BOOL CreateDirectoryW(LPCWSTR name, void* security);

// The C library's stream over a device file, closed with fclose. The mode is the usual one
// ("rb", "wb", "r+b", "ab", ...). Null with the last error set on failure.
std::FILE* _wfopen(LPCWSTR name, LPCWSTR mode);

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

}  // namespace device
