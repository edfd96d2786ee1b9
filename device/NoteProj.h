#pragma once

// The storage-card enumeration of "note_prj.dll": the declared card volumes of the device
// profile whose folders are present, in profile order. Programs reach these through
// LoadLibraryW and GetProcAddressW, never by name.

#include "device/CeTypes.h"

namespace device::note_prj {

// INVALID_HANDLE_VALUE with ERROR_NO_MORE_FILES when the device holds no card.
HANDLE FindFirstFlashCard(WIN32_FIND_DATAW* data);
// FALSE with ERROR_NO_MORE_FILES after the last card.
BOOL FindNextFlashCard(HANDLE search, WIN32_FIND_DATAW* data);

}  // namespace device::note_prj
