#pragma once

#include <cstdint>

#include "quorvalib/files/Astring.h"

namespace updaterlib {

// An installation folder laid out by an older version of the application.
struct OldLayout {
    int32_t layout = -1;
    int32_t version = -1;
};

// {3, 1} when the folder holds a directory "defs"; {-1, -1} otherwise.
OldLayout DetectOldLayout(const Astring& folder);

// Removes what layout version 1 left in the folder: its data directories (contents first) and
// the old program file. False for any other version and at the first failure, which leaves the
// later entries untouched.
bool RemoveOldLayout(const Astring& folder, int32_t version);

}  // namespace updaterlib
