#pragma once

#include <string>

namespace updaterlib {

// The folder the package database lives in when Init is given none: the data directory of the
// program settings. Empty when none is known.
std::string DefaultDataDirectory();

}  // namespace updaterlib
