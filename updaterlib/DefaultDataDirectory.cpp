#include "updaterlib/DefaultDataDirectory.h"

namespace updaterlib {

// The program settings supply the data directory; until they are linked in there is none, and
// Init without a folder fails to open.
std::string DefaultDataDirectory() { return {}; }

}  // namespace updaterlib
