#pragma once

#include <string>

namespace quorvalib::platform {

// The running program's file (/proc/self/exe); empty when the system does not say.
std::string ProgramFilePath();
// The folder holding the running program, without a trailing "/"; empty when unknown.
std::string ProgramDirectory();

}  // namespace quorvalib::platform
