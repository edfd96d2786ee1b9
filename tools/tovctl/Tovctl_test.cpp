// tovctl run as a program against an update server in this process.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>

#include "tools/update_server/RepositoryFixture_test.h"
#include "tools/update_server/UpdateServer.h"

extern char** environ;

namespace tovctl {
namespace {

using update_server::testing::ReadFile;
using update_server::testing::RepositoryFixture;
using update_server::testing::WriteFile;

struct Outcome {
    int exit = -1;
    std::string out;
    std::string err;
};

// One tovctl process; its output goes to files read after it ends.
class TovctlProcess {
public:
    explicit TovctlProcess(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {TOVCTL_PROGRAM};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (std::string& argument : argv) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (folder_ / "out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (folder_ / "err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> environment = Environment();
        std::vector<char*> variables;
        for (std::string& variable : environment) variables.push_back(variable.data());
        variables.push_back(nullptr);
        if (posix_spawn(&pid_, pointers[0], &actions, nullptr, pointers.data(),
                        variables.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TovctlProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }

    void Signal(int number) { kill(pid_, number); }

    Outcome Wait() {
        Outcome outcome;
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
            outcome.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        pid_ = -1;
        outcome.out = ReadFile(folder_ / "out");
        outcome.err = ReadFile(folder_ / "err");
        return outcome;
    }

private:
    // The parent's environment. Under LeakSanitizer, the per-thread state that OpenSSL keeps
    // for a transfer thread still ending when the program exits is not reported: transfer
    // threads are not joined at exit.
    std::vector<std::string> Environment() {
        const std::string suppressions = folder_ / "lsan.supp";
        WriteFile(suppressions, "leak:CRYPTO_zalloc\n");
        std::vector<std::string> environment;
        std::string lsan = "LSAN_OPTIONS=suppressions=" + suppressions + ":print_suppressions=0";
        for (char** variable = environ; *variable; ++variable) {
            const std::string text = *variable;
            if (text.rfind("LSAN_OPTIONS=", 0) == 0) {
                lsan += ":" + text.substr(13);
            } else {
                environment.push_back(text);
            }
        }
        environment.push_back(lsan);
        return environment;
    }

    TestTempFolder folder_;
    pid_t pid_ = -1;
};

// Waits, with a generous bound, for the server's first file request whose path contains a
// text. `action` runs in that request's handler before it is answered; with `hold` the request
// waits until Release() (or the end of the test).
class FileRequestGate {
public:
    FileRequestGate(update_server::UpdateServer& server, std::string match, bool hold,
                    std::function<void()> action = {})
        : server_(server), match_(std::move(match)), hold_(hold), action_(std::move(action)) {
        server_.SetFileRequestObserver([this](const std::string& path) {
            std::unique_lock guard(lock_);
            if (path.find(match_) == std::string::npos || seen_) return;
            if (action_) action_();
            seen_ = true;
            changed_.notify_all();
            changed_.wait(guard, [this] { return !hold_; });
        });
    }
    ~FileRequestGate() {
        Release();
        server_.SetFileRequestObserver(nullptr);
    }
    bool WaitSeen() {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(120), [this] { return seen_; });
    }
    void Release() {
        std::lock_guard guard(lock_);
        hold_ = false;
        changed_.notify_all();
    }

private:
    update_server::UpdateServer& server_;
    const std::string match_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool seen_ = false;
    bool hold_;
    const std::function<void()> action_;
};

class TovctlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start("127.0.0.1", 0)) << server_.Error(); }

    std::vector<std::string> Arguments(const std::vector<std::string>& command) {
        std::vector<std::string> arguments = {"--data", data_.Path(), "--server",
                                              server_.BaseUrl() + "/"};
        arguments.insert(arguments.end(), command.begin(), command.end());
        return arguments;
    }
    Outcome Run(const std::vector<std::string>& command) {
        return TovctlProcess(Arguments(command)).Wait();
    }
    bool Installed(const std::string& path) const {
        return std::filesystem::exists(data_ / path);
    }
    // The "~" files of downloads left in the data folder.
    std::vector<std::string> PartialFiles() const {
        std::vector<std::string> partial;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data_.Path())) {
            if (entry.path().string().back() == '~') partial.push_back(entry.path().string());
        }
        return partial;
    }

    RepositoryFixture repo_;
    TestTempFolder data_;
    update_server::UpdateServer server_{repo_.Root()};
};

#define EXPECT_SUCCESS(outcome)                                               \
    EXPECT_EQ((outcome).exit, 0) << "stdout:\n" << (outcome).out << "stderr:\n" << (outcome).err

TEST_F(TovctlTest, SynchronizeInstallUpdateAndRemove) {
    Outcome sync = Run({"sync"});
    EXPECT_SUCCESS(sync);
    EXPECT_NE(sync.out.find("2 packages offered"), std::string::npos) << sync.out;

    Outcome list = Run({"list"});
    EXPECT_SUCCESS(list);
    EXPECT_NE(list.out.find("Maps\n  Europe\n    map-cz "), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("navigator"), std::string::npos) << list.out;

    Outcome install = Run({"install", "map-cz"});
    EXPECT_SUCCESS(install);
    EXPECT_NE(install.out.find("navigator 1.0 is mandatory: added"), std::string::npos);
    EXPECT_EQ(ReadFile(data_ / "maps/cz.map"), RepositoryFixture::kMapV1);
    EXPECT_EQ(ReadFile(data_ / "navigator.bin"), RepositoryFixture::kAppBinary);
    EXPECT_EQ(ReadFile(data_ / "config/defaults.cfg"), RepositoryFixture::kAppConfig);
    EXPECT_EQ(PartialFiles(), std::vector<std::string>{});

    Outcome installed = Run({"list", "--installed"});
    EXPECT_SUCCESS(installed);
    EXPECT_NE(installed.out.find("map-cz"), std::string::npos) << installed.out;

    repo_.AddMap("2.0", "map of Czechia, second edition");
    EXPECT_SUCCESS(Run({"sync"}));
    Outcome offered = Run({"list"});
    EXPECT_NE(offered.out.find("update for 1.0"), std::string::npos) << offered.out;
    Outcome update = Run({"install", "map-cz"});
    EXPECT_SUCCESS(update);
    EXPECT_NE(update.out.find("map-cz 1.0 is replaced by 2.0"), std::string::npos) << update.out;
    EXPECT_EQ(ReadFile(data_ / "maps/cz.map"), "map of Czechia, second edition");

    Outcome status = Run({"status"});
    EXPECT_SUCCESS(status);
    EXPECT_NE(status.out.find("2 installed"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("idle"), std::string::npos) << status.out;

    Outcome again = Run({"install", "map-cz"});
    EXPECT_SUCCESS(again);
    EXPECT_NE(again.out.find("Nothing to do"), std::string::npos) << again.out;

    EXPECT_SUCCESS(Run({"remove", "map-cz"}));
    EXPECT_FALSE(Installed("maps/cz.map"));
    EXPECT_TRUE(Installed("navigator.bin"));
    Outcome left = Run({"list", "--installed"});
    EXPECT_EQ(left.out.find("map-cz"), std::string::npos) << left.out;

    Outcome missing = Run({"remove", "map-cz"});
    EXPECT_EQ(missing.exit, 1);
    EXPECT_NE(missing.err.find("not installed"), std::string::npos) << missing.err;
}

TEST_F(TovctlTest, UsageErrorsAreNotFailedOperations) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"install"}, {"list", "-x"}}) {
        Outcome outcome = TovctlProcess(arguments).Wait();
        EXPECT_EQ(outcome.exit, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(outcome.err.find("usage: tovctl"), std::string::npos);
    }
    Outcome unknown = Run({"install", "no-such-package"});
    EXPECT_EQ(unknown.exit, 1);
    EXPECT_NE(unknown.err.find("no package named 'no-such-package'"), std::string::npos);
}

TEST_F(TovctlTest, UnreachableServerFailsTheSyncWithTheDownloadCode) {
    const std::string url = server_.BaseUrl() + "/";
    server_.Stop();
    Outcome sync = TovctlProcess({"--data", data_.Path(), "--server", url, "sync"}).Wait();
    EXPECT_EQ(sync.exit, 1);
    EXPECT_NE(sync.err.find("sync failed with code 6"), std::string::npos) << sync.err;
}

TEST_F(TovctlTest, UnservedPlatformShowsTheServersText) {
    WriteFile(repo_ / "repository.ini", "[repository]\nplatforms = palmos\n");
    Outcome sync = Run({"sync"});
    EXPECT_EQ(sync.exit, 1);
    EXPECT_NE(sync.err.find("code 23: This update server has no packages for platform 'wince'"),
              std::string::npos)
        << sync.err;
}

TEST_F(TovctlTest, CorruptFileOnTheServerFailsWithTheIntegrityCode) {
    EXPECT_SUCCESS(Run({"sync"}));
    WriteFile(repo_ / "maps/cz/1.0/cz.map", "this is not the map the catalogue describes");
    Outcome install = Run({"install", "map-cz"});  // checked twice, the second after 20 s
    EXPECT_EQ(install.exit, 1);
    EXPECT_NE(install.err.find("install failed with code 19: file integrity check failed"),
              std::string::npos)
        << install.err;
    EXPECT_FALSE(Installed("maps/cz.map"));
    // The rejected download is deleted; the application's files stay downloaded (prepared)
    // for the next run.
    EXPECT_FALSE(Installed("maps/cz.map~"));
    EXPECT_EQ(PartialFiles().size(), 2u);
    Outcome status = Run({"status"});
    EXPECT_SUCCESS(status);
    EXPECT_NE(status.out.find("0 installed, 1 downloaded"), std::string::npos) << status.out;
}

TEST_F(TovctlTest, ServerStoppedMidwayFailsWithTheDownloadCodeAndALaterRunSucceeds) {
    EXPECT_SUCCESS(Run({"sync"}));
    const int port = server_.Port();
    Outcome install;
    {
        // The map is still served; the application's files that follow find no server.
        FileRequestGate gate(server_, "cz.map", false, [this] { server_.RequestStop(); });
        TovctlProcess process(Arguments({"install", "map-cz"}));
        ASSERT_TRUE(gate.WaitSeen());
        server_.Stop();
        install = process.Wait();  // a refused download is tried again after 20 s
    }
    EXPECT_EQ(install.exit, 1);
    EXPECT_NE(install.err.find("install failed with code 6: download failed"), std::string::npos)
        << install.err;

    ASSERT_TRUE(server_.Start("127.0.0.1", port)) << server_.Error();
    EXPECT_SUCCESS(Run({"install", "map-cz"}));
    EXPECT_EQ(ReadFile(data_ / "maps/cz.map"), RepositoryFixture::kMapV1);
    EXPECT_EQ(ReadFile(data_ / "navigator.bin"), RepositoryFixture::kAppBinary);
    EXPECT_EQ(PartialFiles(), std::vector<std::string>{});
}

TEST_F(TovctlTest, CtrlCCancelsThroughTheServiceAndLeavesTheDatabaseUsable) {
    EXPECT_SUCCESS(Run({"sync"}));
    Outcome install;
    {
        FileRequestGate gate(server_, "cz.map", true);
        TovctlProcess process(Arguments({"install", "map-cz"}));
        ASSERT_TRUE(gate.WaitSeen());
        process.Signal(SIGINT);
        install = process.Wait();
    }
    EXPECT_EQ(install.exit, 130) << install.err;
    EXPECT_NE(install.err.find("code 22: cancelled"), std::string::npos) << install.err;
    EXPECT_FALSE(Installed("maps/cz.map"));
    EXPECT_EQ(PartialFiles(), std::vector<std::string>{});

    EXPECT_SUCCESS(Run({"install", "map-cz"}));
    EXPECT_EQ(ReadFile(data_ / "maps/cz.map"), RepositoryFixture::kMapV1);
}

TEST_F(TovctlTest, StatusFailsOnADatabaseOfANewerVersion) {
    EXPECT_SUCCESS(Run({"status"}));  // creates the database
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((data_ / "packages").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE app_info SET db_version = 99", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    Outcome status = Run({"status"});
    EXPECT_EQ(status.exit, 1);
    EXPECT_NE(status.err.find("cannot be used"), std::string::npos) << status.err;
    Outcome list = Run({"list"});
    EXPECT_EQ(list.exit, 1);
}

}  // namespace
}  // namespace tovctl
