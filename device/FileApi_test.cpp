#include "device/FileApi.h"

#include <gtest/gtest.h>

#include <string>

#include "device/SystemApi.h"
#include "device/testing/CurrentDeviceTest.h"

namespace device {
namespace {

using FileApiTest = testing::CurrentDeviceTest;

TEST_F(FileApiTest, WritesAndReadsAFileThroughHandles) {
    HANDLE file = CreateFileW(u"\\Data.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &written, nullptr));
    EXPECT_EQ(written, 10u);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // Letter case does not matter; the file keeps the name it was created with.
    file = CreateFileW(u"\\DATA.BIN", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 10u);
    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    char buffer[16] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "6789");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);  // the end of the file
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));  // opened for reading only
    CloseHandle(file);
    EXPECT_EQ(testing::ReadBytes(device_.Host("Data.bin")), "0123456789");
}

TEST_F(FileApiTest, CreationDispositionsAndTheirErrors) {
    device_.WriteFile("old.txt", "old");
    device_.MakeFolder("Folder");
    struct Case {
        std::u16string path;
        DWORD access;
        DWORD disposition;
        DWORD error;  // ERROR_SUCCESS: opens; ERROR_ALREADY_EXISTS: opens and says so
    };
    const Case cases[] = {
        {u"\\old.txt", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        {u"\\new1.txt", GENERIC_WRITE, CREATE_NEW, ERROR_SUCCESS},
        {u"\\old.txt", GENERIC_WRITE, OPEN_ALWAYS, ERROR_ALREADY_EXISTS},
        {u"\\new2.txt", GENERIC_WRITE, OPEN_ALWAYS, ERROR_SUCCESS},
        {u"\\missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {u"\\missing\\a.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Folder", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\..\\x", GENERIC_WRITE, CREATE_ALWAYS, ERROR_INVALID_NAME},
        {u"\\old.txt", GENERIC_READ, 9, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(12345);
        HANDLE file = CreateFileW(c.path.c_str(), c.access, 0, nullptr, c.disposition, 0, nullptr);
        const bool opens = c.error == ERROR_SUCCESS || c.error == ERROR_ALREADY_EXISTS;
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, opens) << c.disposition;
        EXPECT_EQ(GetLastError(), c.error);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    EXPECT_EQ(testing::ReadBytes(device_.Host("old.txt")), "old");  // OPEN_ALWAYS keeps it
}

TEST_F(FileApiTest, StreamsAndDeletion) {
    std::FILE* out = _wfopen(u"\\Storage Card\\..\\x", u"wb");
    EXPECT_EQ(out, nullptr);
    device_.MakeFolder("Storage Card");
    out = _wfopen(u"\\storage card\\answer.dta", u"wb");
    ASSERT_NE(out, nullptr);
    std::fputs("answer", out);
    std::fclose(out);
    EXPECT_EQ(testing::ReadBytes(device_.Host("Storage Card/answer.dta")), "answer");

    std::FILE* in = _wfopen(u"\\Storage Card\\ANSWER.dta", u"rb");
    ASSERT_NE(in, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, in), 6u);
    std::fclose(in);
    EXPECT_EQ(_wfopen(u"\\Storage Card", u"rb"), nullptr);
    EXPECT_EQ(_wfopen(u"\\nothing", u"rb"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(GetFileAttributesW(u"\\storage card"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(DeleteFileW(u"\\Storage Card\\Answer.DTA"));
    EXPECT_EQ(GetFileAttributesW(u"\\Storage Card\\answer.dta"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(DeleteFileW(u"\\Storage Card\\answer.dta"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileW(u"\\Storage Card"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CreateDirectoryW(u"\\Storage Card\\Maps", nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(device_.Host("Storage Card/Maps")));
}

TEST(FileApiWithoutDevice, EveryCallFailsWithABadEnvironment) {
    SetCurrentDevice(nullptr);
    ::unsetenv(kDeviceRootVariable);
    EXPECT_EQ(CreateFileW(u"\\a", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_BAD_ENVIRONMENT);
    EXPECT_FALSE(DeleteFileW(u"\\a"));
    EXPECT_EQ(GetLastError(), ERROR_BAD_ENVIRONMENT);
    SetCurrentDevice(nullptr);
}

}  // namespace
}  // namespace device
