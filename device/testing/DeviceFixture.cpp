#include "device/testing/DeviceFixture.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "device/DeviceEnvironment.h"

extern char** environ;

namespace fs = std::filesystem;

namespace device::testing {

TempDevice::TempDevice() {
    std::string pattern = (fs::temp_directory_path() / "tov-device-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    base_ = pattern;
    root_ = base_ / "root";
    fs::create_directory(root_);
}

TempDevice::~TempDevice() {
    std::error_code ignored;
    fs::remove_all(base_, ignored);
}

fs::path TempDevice::Host(std::string_view relative) const { return root_ / fs::path(relative); }

void TempDevice::WriteFile(std::string_view relative, std::string_view bytes) const {
    const fs::path path = Host(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempDevice::WriteFile(std::string_view relative, const std::vector<uint8_t>& bytes) const {
    WriteFile(relative, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TempDevice::MakeFolder(std::string_view relative) const {
    fs::create_directories(Host(relative));
}

void TempDevice::WriteProfile(const DeviceProfile& profile) const {
    std::ofstream out(ProfileFile(), std::ios::binary | std::ios::trunc);
    out << profile.ToText();
}

void TempDevice::Install(const fs::path& program, std::string_view relative) const {
    const fs::path target = Host(relative);
    fs::create_directories(target.parent_path());
    fs::copy_file(program, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
}

std::vector<std::string> TempDevice::Environment() const {
    std::vector<std::string> variables{std::string(kDeviceRootVariable) + "=" + root_.string(),
                                       std::string(kDeviceMessagesVariable) + "=" +
                                           MessagesFile().string()};
    if (fs::exists(ProfileFile())) {
        variables.push_back(std::string(kDeviceProfileVariable) + "=" + ProfileFile().string());
    }
    return variables;
}

RunResult RunProgram(const fs::path& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment, std::chrono::milliseconds bound,
                     const std::vector<std::pair<int, int>>& inheritedFds) {
    std::vector<std::string> args{program.string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        if (std::string_view(*entry).substr(0, 11) != "TOV_DEVICE_") {
            variables.emplace_back(*entry);
        }
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (auto& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& [from, to] : inheritedFds) {
        posix_spawn_file_actions_adddup2(&actions, from, to);
    }
    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        return {};
    }
    RunResult result;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd wait{pidfd, POLLIN, 0};
        int ready = 0;
        do {
            ready = ::poll(&wait, 1, static_cast<int>(bound.count()));
        } while (ready < 0 && errno == EINTR);
        result.finished = ready == 1;
        ::close(pidfd);
    }
    if (!result.finished) {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (result.finished && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::optional<std::u16string> ReadUtf16Le(const fs::path& file) {
    if (!fs::exists(file)) {
        return std::nullopt;
    }
    const std::string bytes = ReadBytes(file);
    if (bytes.size() % 2) {
        return std::nullopt;
    }
    std::u16string text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return text;
}

fs::path TestProgramFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

}  // namespace device::testing
