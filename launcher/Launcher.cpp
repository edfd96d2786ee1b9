#include "launcher/Launcher.h"

#include <string>

#include "device/FileApi.h"
#include "device/ProcessApi.h"
#include "device/SystemApi.h"

namespace launcher {

int LauncherMain(std::u16string_view) {
    // Gives the device a moment after its menu started us.
    device::Sleep(500);
    std::u16string commandLine = kApplication;  // the call may write into it
    device::PROCESS_INFORMATION information{};
    if (!device::CreateProcessW(kApplication, commandLine.data(), nullptr, nullptr, device::FALSE,
                                0, nullptr, nullptr, nullptr, &information)) {
        device::MessageBoxW(nullptr, u"Kestrova.exe not found. Please check your memory card!",
                            u"ERROR", device::MB_OK);
        return 0;
    }
    // The application runs on by itself; its handles are of no further use here.
    device::CloseHandle(information.hThread);
    device::CloseHandle(information.hProcess);
    return 0;
}

}  // namespace launcher
