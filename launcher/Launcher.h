#pragma once

#include <string_view>

namespace launcher {

inline constexpr char16_t kApplication[] =
    u"\\sdmmc\\Program Files\\Quorva Software\\Kestrova\\Kestrova.exe";

// Starts the navigation application from the memory card, or says that the card does not hold
// it. The command line is ignored; the result is always 0.
int LauncherMain(std::u16string_view commandLine);

}  // namespace launcher
