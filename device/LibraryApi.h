#pragma once

// Dynamic loading. The one library a device may provide is "note_prj.dll" (when its profile
// says so), exporting FindFirstFlashCard and FindNextFlashCard; close their search handles
// with FindClose.

#include "device/CeTypes.h"

namespace device {

// Only the file name part of `name` counts; letter case is ignored.
HMODULE LoadLibraryW(LPCWSTR name);
// Export names are compared exactly.
FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName);
BOOL FreeLibrary(HMODULE module);

using FindFirstFlashCardFunction = HANDLE (*)(WIN32_FIND_DATAW* data);
using FindNextFlashCardFunction = BOOL (*)(HANDLE search, WIN32_FIND_DATAW* data);

BOOL FindClose(HANDLE search);

}  // namespace device
