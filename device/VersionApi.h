#pragma once

// Version resources of device files (see VersionResourceReader.h for the two containers).

#include "device/CeTypes.h"

namespace device {

// The size of the file's version resource; 0 with the last error on failure.
DWORD GetFileVersionInfoSizeW(LPCWSTR name, DWORD* handle);
// Copies the version resource; a buffer smaller than the size fails with
// ERROR_INSUFFICIENT_BUFFER.
BOOL GetFileVersionInfoW(LPCWSTR name, DWORD handle, DWORD size, LPVOID data);
// `block` is a buffer filled by GetFileVersionInfoW; the result points into it. The length is
// in bytes for binary values and in characters for text values. FALSE when the value is
// missing or empty.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length);

}  // namespace device
