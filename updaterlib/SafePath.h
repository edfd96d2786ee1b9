#pragma once

#include <string_view>

namespace updaterlib {

// A path from the catalogue that stays inside the folder it is joined to: not absolute, no
// drive ("C:") or root ("/", "\") prefix, no ".." part (either separator). An empty text is
// safe only where `allowEmpty` says so (an empty target folder means the folder itself).
bool IsSafeRelativePath(std::string_view path, bool allowEmpty);

}  // namespace updaterlib
