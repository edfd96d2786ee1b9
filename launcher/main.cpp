// launcher: written over "\Windows\StockNavi.exe" so that the device's navigation entry starts
// the application on the memory card.

#include "device/DeviceEnvironment.h"
#include "launcher/Launcher.h"

int main(int argc, char** argv) {
    return device::RunDeviceProgram(argc, argv, launcher::LauncherMain);
}
