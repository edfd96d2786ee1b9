#pragma once

// Starting programs of the device, and message boxes.

#include "device/CeTypes.h"

namespace device {

// Starts the device program `application` (a device path) as a process of this machine, with
// `commandLine` as its one argument (RunDeviceProgram hands it over as the command line) and
// this process's environment, so it runs on the same device. The other parameters must be
// null or zero, as on Windows CE. Closing the returned handles does not wait for the program.
BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCWSTR currentDirectory, void* startupInfo,
                    PROCESS_INFORMATION* information);

// Nobody answers on this machine: the box is recorded (MessageLog.h) in the file named by
// TOV_DEVICE_MESSAGES, else on standard error, and the default button is the answer.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

}  // namespace device
