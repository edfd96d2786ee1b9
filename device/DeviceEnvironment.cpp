#include "device/DeviceEnvironment.h"

#include <cstdlib>
#include <mutex>

#include "common/debug/Log.h"
#include "device/Utf16.h"

TOV_DEFINE_LOG_CHANNEL(DeviceEnvironment);

namespace device {
namespace {

std::mutex g_lock;
std::shared_ptr<const DeviceRoot> g_device;
bool g_loaded = false;

std::shared_ptr<const DeviceRoot> LoadFromEnvironment() {
    const char* root = std::getenv(kDeviceRootVariable);
    if (!root || !*root) {
        TOV_LOG_ERROR(DeviceEnvironment, "device::CurrentDevice: %s names no device root",
                      kDeviceRootVariable);
        return nullptr;
    }
    DeviceProfile profile;
    if (const char* file = std::getenv(kDeviceProfileVariable); file && *file) {
        auto loaded = DeviceProfile::Load(file);
        if (!loaded) {
            return nullptr;
        }
        profile = std::move(*loaded);
    }
    auto device = DeviceRoot::Open(root, std::move(profile));
    if (!device) {
        return nullptr;
    }
    return std::make_shared<const DeviceRoot>(std::move(*device));
}

}  // namespace

std::shared_ptr<const DeviceRoot> CurrentDevice() {
    std::lock_guard guard(g_lock);
    if (!g_loaded) {
        g_device = LoadFromEnvironment();
        g_loaded = true;
    }
    return g_device;
}

void SetCurrentDevice(std::shared_ptr<const DeviceRoot> device) {
    std::lock_guard guard(g_lock);
    g_device = std::move(device);
    g_loaded = g_device != nullptr;
}

int RunDeviceProgram(int argc, char** argv, DeviceMain main) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            commandLine += ' ';
        }
        commandLine += argv[i];
    }
    return main(ToUtf16(commandLine));
}

}  // namespace device
