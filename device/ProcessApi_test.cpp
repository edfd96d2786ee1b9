#include "device/ProcessApi.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "device/FileApi.h"
#include "device/MessageLog.h"
#include "device/SystemApi.h"
#include "device/testing/CurrentDeviceTest.h"

namespace device {
namespace {

using ProcessApiTest = testing::CurrentDeviceTest;

// Everything written to the pipe until every writer has closed it (or the bound has passed).
std::string ReadUntilClosed(int fd) {
    std::string text;
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 60000) != 1) {
            return text + "<timed out>";
        }
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            return text;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
}

TEST_F(ProcessApiTest, StartsADeviceProgramWithItsCommandLine) {
    // The started program reports its command line on descriptor 9, which it inherits.
    device_.WriteFile("Program Files/App/App.exe", "#!/bin/sh\nprintf 'started:%s' \"$1\" >&9\n");
    std::filesystem::permissions(device_.Host("Program Files/App/App.exe"),
                                 std::filesystem::perms::owner_all);
    if (::fcntl(9, F_GETFD) != -1) {
        GTEST_SKIP() << "descriptor 9 is already in use by this process";
    }
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::dup2(fds[1], 9), 9);
    ::close(fds[1]);

    std::u16string commandLine = u"\\Program Files\\App\\App.exe";
    PROCESS_INFORMATION information{};
    const BOOL started = CreateProcessW(u"\\program files\\app\\app.EXE", commandLine.data(),
                                        nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                                        &information);
    ::close(9);
    ASSERT_TRUE(started);
    EXPECT_EQ(ReadUntilClosed(fds[0]), "started:\\Program Files\\App\\App.exe");
    ::close(fds[0]);
    EXPECT_NE(information.dwProcessId, 0u);
    EXPECT_TRUE(CloseHandle(information.hThread));
    EXPECT_TRUE(CloseHandle(information.hProcess));
}

TEST_F(ProcessApiTest, MissingOrUnrunnableProgramsDoNotStart) {
    device_.WriteFile("data.exe", "not a program");
    std::filesystem::permissions(device_.Host("data.exe"), std::filesystem::perms::owner_all);
    struct Case {
        std::u16string path;
        DWORD error;
    };
    const Case cases[] = {
        {u"\\sdmmc\\Program Files\\App.exe", ERROR_PATH_NOT_FOUND},
        {u"\\App.exe", ERROR_FILE_NOT_FOUND},
        {u"\\data.exe", ERROR_BAD_EXE_FORMAT},
    };
    for (const auto& c : cases) {
        PROCESS_INFORMATION information{};
        EXPECT_FALSE(CreateProcessW(c.path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, nullptr, &information));
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST_F(ProcessApiTest, MessageBoxesAreRecordedAndAnsweredWithTheDefaultButton) {
    ::setenv(kDeviceMessagesVariable, device_.MessagesFile().c_str(), 1);
    struct Case {
        UINT type;
        int answer;
    };
    const Case cases[] = {
        {MB_OK | MB_ICONERROR, IDOK},
        {MB_OKCANCEL | 0x100, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_RETRYCANCEL, IDRETRY},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageBoxW(nullptr, u"text\nmore", u"ERROR", c.type), c.answer);
    }
    ::unsetenv(kDeviceMessagesVariable);
    const auto records = ReadMessageLog(device_.MessagesFile());
    ASSERT_EQ(records.size(), std::size(cases));
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i], (MessageRecord{u"ERROR", u"text\nmore", cases[i].type}));
    }
}

}  // namespace
}  // namespace device
