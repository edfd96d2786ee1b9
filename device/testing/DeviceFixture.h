#pragma once

// A device root in a temporary folder for tests, and running device programs on it with a
// bound that only a real hang reaches.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/DeviceProfile.h"

namespace device::testing {

class TempDevice {
public:
    TempDevice();  // an empty root, no profile file yet
    ~TempDevice();
    TempDevice(const TempDevice&) = delete;
    TempDevice& operator=(const TempDevice&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // A path below the root, "/" separated ("Storage Card/a.txt").
    std::filesystem::path Host(std::string_view relative) const;
    std::filesystem::path ProfileFile() const { return base_ / "device.profile"; }
    std::filesystem::path MessagesFile() const { return base_ / "messages.txt"; }
    // The folder that holds the root, the profile and the messages file (not on the device).
    std::filesystem::path Scratch() const { return base_; }

    void WriteFile(std::string_view relative, std::string_view bytes) const;
    void WriteFile(std::string_view relative, const std::vector<uint8_t>& bytes) const;
    void MakeFolder(std::string_view relative) const;
    void WriteProfile(const DeviceProfile& profile) const;
    // Copies a program of this machine onto the device, executable.
    void Install(const std::filesystem::path& program, std::string_view relative) const;

    // TOV_DEVICE_ROOT, TOV_DEVICE_PROFILE (when the profile file exists), TOV_DEVICE_MESSAGES.
    std::vector<std::string> Environment() const;

private:
    std::filesystem::path base_;
    std::filesystem::path root_;
};

struct RunResult {
    bool finished = false;  // false: killed at the bound
    int exitCode = -1;      // the exit status; -1 when it did not exit normally
};

// Runs `program` with `arguments`, this process's environment without any TOV_DEVICE_*
// variable plus `environment`, and `inheritedFds` (pairs of this process's fd, the child's fd)
// kept open in the child. Waits for it to end, at most `bound`.
RunResult RunProgram(const std::filesystem::path& program,
                     const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment,
                     std::chrono::milliseconds bound = std::chrono::seconds(60),
                     const std::vector<std::pair<int, int>>& inheritedFds = {});

// The bytes of a file (empty when it cannot be read) and its UTF-16LE code units.
std::string ReadBytes(const std::filesystem::path& file);
std::optional<std::u16string> ReadUtf16Le(const std::filesystem::path& file);

// The folder of the running test program (where its build puts the other programs' folders).
std::filesystem::path TestProgramFolder();

}  // namespace device::testing
