#include "updaterlib/DefaultDataDirectory.h"

#include "quorvalib/files/ProgramSettings.h"

namespace updaterlib {

// The program settings' data directory: the working folder once the install page sets it,
// else the documents subfolder or the program folder.
std::string DefaultDataDirectory() { return quorvalib::files::DataDirectory().str(); }

}  // namespace updaterlib
