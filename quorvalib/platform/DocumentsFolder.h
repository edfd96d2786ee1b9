#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvalib::platform {

// The user's documents folder as the XDG user directories name it: XDG_DOCUMENTS_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), else the environment variable of that
// name, else ~/Documents. No trailing "/". Nullopt when the user has no home folder.
// The folder need not exist.
std::optional<std::string> DocumentsFolder();

// The XDG_DOCUMENTS_DIR value of a user-dirs.dirs text with "$HOME" expanded, or nullopt
// when the text does not set it.
std::optional<std::string> ParseUserDirsDocuments(std::string_view content, std::string_view home);

// $HOME, else the home folder of the user's account entry; nullopt when neither is known.
std::optional<std::string> HomeFolder();

}  // namespace quorvalib::platform
