// Runs the built launcher on a device root.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "device/MessageLog.h"
#include "device/testing/DeviceFixture.h"

namespace fs = std::filesystem;

namespace launcher {
namespace {

constexpr char kApplicationFolder[] = "sdmmc/Program Files/Quorva Software/Kestrova";

struct LaunchResult {
    bool finished = false;
    int exitCode = -1;
    std::string reported;  // what the started application wrote
    std::vector<device::MessageRecord> boxes;
};

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override { device_.Install(TOV_LAUNCHER_PROGRAM, "Windows/StockNavi.exe"); }

    // A stand-in for the application: it reports its command line on descriptor 9.
    void InstallApplication(const std::string& folder) {
        const std::string path = folder + "/Kestrova.exe";
        device_.WriteFile(path, "#!/bin/sh\nprintf 'started:%s' \"$1\" >&9\n");
        fs::permissions(device_.Host(path), fs::perms::owner_all);
    }

    LaunchResult Launch(const std::vector<std::string>& arguments) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        const auto run = device::testing::RunProgram(device_.Host("Windows/StockNavi.exe"),
                                                     arguments, device_.Environment(),
                                                     std::chrono::seconds(60), {{fds[1], 9}});
        ::close(fds[1]);
        LaunchResult result{run.finished, run.exitCode, {}, {}};
        // The application may outlive the launcher: read until its end of the pipe closes.
        for (;;) {
            pollfd wait{fds[0], POLLIN, 0};
            char buffer[256];
            const ssize_t got = ::poll(&wait, 1, 60000) == 1 ? ::read(fds[0], buffer, sizeof buffer) : -1;
            if (got <= 0) {
                break;
            }
            result.reported.append(buffer, static_cast<size_t>(got));
        }
        ::close(fds[0]);
        result.boxes = device::ReadMessageLog(device_.MessagesFile());
        std::error_code ignored;
        fs::remove(device_.MessagesFile(), ignored);
        return result;
    }

    device::testing::TempDevice device_;
};

const std::vector<std::vector<std::string>> kCommandLines = {
    {}, {"anything"}, {"\"\\Storage Card\\x.exe\" -a -b"}, {"one", "two"}};

TEST_F(LauncherTest, WithoutTheApplicationOnTheCardOneMessageBoxIsShown) {
    const device::MessageRecord box{u"ERROR",
                                    u"Kestrova.exe not found. Please check your memory card!",
                                    0};
    // No card at all, then the application in another folder of the card.
    for (const bool card : {false, true}) {
        if (card) {
            InstallApplication("sdmmc/Quorva Software/Kestrova");
        }
        for (const auto& arguments : kCommandLines) {
            const LaunchResult result = Launch(arguments);
            ASSERT_TRUE(result.finished);
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(result.reported, "");
            ASSERT_EQ(result.boxes.size(), 1u);
            EXPECT_EQ(result.boxes[0], box);
        }
    }
}

TEST_F(LauncherTest, StartsTheApplicationFromTheCard) {
    InstallApplication(kApplicationFolder);
    for (const auto& arguments : kCommandLines) {
        const LaunchResult result = Launch(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.reported,
                  "started:\\sdmmc\\Program Files\\Quorva Software\\Kestrova\\Kestrova.exe");
        EXPECT_TRUE(result.boxes.empty());
    }
}

TEST_F(LauncherTest, TheCardFolderMatchesWithoutRegardToCase) {
    InstallApplication("SDMMC/program files/QUORVA SOFTWARE/kestrova");
    fs::rename(device_.Host("SDMMC/program files/QUORVA SOFTWARE/kestrova/Kestrova.exe"),
               device_.Host("SDMMC/program files/QUORVA SOFTWARE/kestrova/KESTROVA.EXE"));
    const LaunchResult result = Launch({});
    EXPECT_EQ(result.reported,
              "started:\\sdmmc\\Program Files\\Quorva Software\\Kestrova\\Kestrova.exe");
    EXPECT_TRUE(result.boxes.empty());
}

}  // namespace
}  // namespace launcher
