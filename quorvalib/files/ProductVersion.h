#pragma once

#include "quorvalib/files/Astring.h"

namespace quorvalib::files {

// The program's product version ("1.0.0"), compiled in from the project version.
// False when the build carries none.
bool GetProductVersion(Astring& version);

}  // namespace quorvalib::files
