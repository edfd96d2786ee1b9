#pragma once

// The device a program runs on, named by its environment:
//   TOV_DEVICE_ROOT      the device root folder ("\" of the device); required
//   TOV_DEVICE_PROFILE   the device profile file; optional (without: the object store alone)
//   TOV_DEVICE_MESSAGES  the file that message boxes are appended to; optional (without:
//                        standard error)

#include <memory>
#include <string>
#include <string_view>

#include "device/DeviceRoot.h"

namespace device {

inline constexpr const char* kDeviceRootVariable = "TOV_DEVICE_ROOT";
inline constexpr const char* kDeviceProfileVariable = "TOV_DEVICE_PROFILE";
inline constexpr const char* kDeviceMessagesVariable = "TOV_DEVICE_MESSAGES";

// Loaded from the environment on first use; null (logged once on channel DeviceEnvironment)
// when the variables do not describe a device.
std::shared_ptr<const DeviceRoot> CurrentDevice();
// Replaces the current device (null: read the environment again on next use).
void SetCurrentDevice(std::shared_ptr<const DeviceRoot> device);

// Entry point of a device program: it receives the command line the way Windows CE hands it
// over, without the program name. The arguments of this process are joined with single
// spaces, so a starter that passes the whole command line as one argument passes it intact.
using DeviceMain = int (*)(std::u16string_view commandLine);
int RunDeviceProgram(int argc, char** argv, DeviceMain main);

}  // namespace device
