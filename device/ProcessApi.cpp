#include "device/ProcessApi.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/debug/Log.h"
#include "device/DeviceEnvironment.h"
#include "device/HandleTable.h"
#include "device/MessageLog.h"
#include "device/SystemApi.h"
#include "device/Utf16.h"

extern char** environ;

TOV_DEFINE_LOG_CHANNEL(DeviceProcess);

namespace device {
namespace {

class ProcessObject final : public HandleObject {
public:
    explicit ProcessObject(pid_t pid) : pid_(pid) {}
    // Collects the program's exit status if it has already ended; never waits.
    ~ProcessObject() override { ::waitpid(pid_, nullptr, WNOHANG); }

private:
    pid_t pid_;
};

class ThreadObject final : public HandleObject {};

int DefaultButton(UINT type) {
    static constexpr int kButtons[][3] = {
        {IDOK, IDOK, IDOK},          {IDOK, IDCANCEL, IDCANCEL},
        {IDABORT, IDRETRY, 5},       {IDYES, 7, IDCANCEL},
        {IDYES, 7, 7},               {IDRETRY, IDCANCEL, IDCANCEL},
    };
    const UINT buttons = type & 0xF;
    const UINT defaultIndex = (type >> 8) & 0xF;
    if (buttons >= std::size(kButtons)) {
        return IDOK;
    }
    return kButtons[buttons][defaultIndex < 3 ? defaultIndex : 0];
}

}  // namespace

BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCWSTR currentDirectory, void* startupInfo,
                    PROCESS_INFORMATION* information) {
    const auto device = CurrentDevice();
    if (!device) {
        SetLastError(ERROR_BAD_ENVIRONMENT);
        return FALSE;
    }
    if (!application || processAttributes || threadAttributes || inheritHandles ||
        creationFlags || environment || currentDirectory || startupInfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ResolvedPath resolved;
    if (const DWORD error = device->Resolve(WideView(application), resolved);
        error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (!resolved.exists || resolved.isDirectory) {
        SetLastError(resolved.exists ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string program = resolved.host.string();
    std::string argument = ToUtf8(WideView(commandLine));
    char* argv[] = {program.data(), argument.empty() ? nullptr : argument.data(), nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (error != 0) {
        TOV_LOG_WARNING(DeviceProcess, "device::CreateProcessW: cannot start '%s': %s", program,
                        std::strerror(error));
        SetLastError(error == ENOEXEC ? ERROR_BAD_EXE_FORMAT
                     : error == ENOENT ? ERROR_FILE_NOT_FOUND
                                       : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto process = std::make_shared<ProcessObject>(pid);
    if (information) {
        information->hProcess = HandleTable::Instance().Add(std::move(process));
        information->hThread = HandleTable::Instance().Add(std::make_shared<ThreadObject>());
        information->dwProcessId = static_cast<DWORD>(pid);
        information->dwThreadId = static_cast<DWORD>(pid);
    }
    return TRUE;
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    const std::string line =
        FormatMessageRecord({std::u16string(WideView(caption)), std::u16string(WideView(text)),
                             type});
    const char* file = std::getenv(kDeviceMessagesVariable);
    int fd = STDERR_FILENO;
    if (file && *file) {
        fd = ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            TOV_LOG_ERROR(DeviceProcess, "device::MessageBoxW: cannot open '%s'", file);
            fd = STDERR_FILENO;
        }
    }
    // One write per box, so that boxes of several programs never interleave.
    const ssize_t written = ::write(fd, line.data(), line.size());
    static_cast<void>(written);
    if (fd != STDERR_FILENO) {
        ::close(fd);
    }
    return DefaultButton(type);
}

}  // namespace device
