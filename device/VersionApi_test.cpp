#include "device/VersionApi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/SystemApi.h"
#include "device/VersionResourceReader.h"
#include "device/testing/CurrentDeviceTest.h"
#include "device/testing/PeWriter.h"

namespace device {
namespace {

constexpr VersionString kTestStrings[] = {
    {u"FileDescription", u"Device services test"},
    {u"ProductVersion", u"7.6.5"},
};
constexpr VersionSpec kTestVersion{{7, 6, 5, 4}, {7, 6, 5, 0}, kTestStrings};
// This test program carries a version resource the way the device programs do.
TOV_VERSION_RESOURCE(kTestVersion);

struct Version {
    bool found = false;
    VS_FIXEDFILEINFO fixed{};
    std::u16string productVersion;
    uint32_t translation = 0;
};

// Reads a device file's version the way a device program does.
Version ReadVersion(const std::u16string& path) {
    Version version;
    DWORD handle = 99;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    if (size == 0) {
        return version;
    }
    std::vector<uint8_t> block(size);
    EXPECT_FALSE(GetFileVersionInfoW(path.c_str(), 0, size - 1, block.data()));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return version;
    }
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), u"\\", &value, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return version;
    }
    version.found = true;
    std::memcpy(&version.fixed, value, sizeof version.fixed);
    if (VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length) &&
        length == 4) {
        std::memcpy(&version.translation, value, 4);
    }
    if (VerQueryValueW(block.data(), u"\\stringfileinfo\\040904B0\\productversion", &value,
                       &length)) {
        version.productVersion.assign(static_cast<const char16_t*>(value), length - 1);
    }
    return version;
}

using VersionApiTest = testing::CurrentDeviceTest;

TEST_F(VersionApiTest, ReadsTheVersionOfPeFiles) {
    constexpr VersionString strings[] = {{u"ProductVersion", u"2.0 beta"}};
    for (const bool pe32Plus : {false, true}) {
        device_.WriteFile("Windows/app.exe",
                          testing::WritePe({VersionSpec{{2, 10, 300, 4000}, {2, 0, 0, 0},
                                                        strings, 0x0405, 1250},
                                            pe32Plus}));
        const Version version = ReadVersion(u"\\windows\\APP.exe");
        ASSERT_TRUE(version.found) << pe32Plus;
        EXPECT_EQ(version.fixed.dwSignature, VS_FFI_SIGNATURE);
        EXPECT_EQ(version.fixed.dwFileVersionMS, (2u << 16) | 10u);
        EXPECT_EQ(version.fixed.dwFileVersionLS, (300u << 16) | 4000u);
        EXPECT_EQ(version.fixed.dwProductVersionMS, 2u << 16);
        EXPECT_EQ(version.translation, (1250u << 16) | 0x0405u);
        EXPECT_TRUE(version.productVersion.empty());  // its table is 040504e2
    }
}

TEST_F(VersionApiTest, FindsTheResourceOfAProgramBuiltForThisMachine) {
    device_.Install(std::filesystem::read_symlink("/proc/self/exe"), "test.exe");
    const Version version = ReadVersion(u"\\test.exe");
    ASSERT_TRUE(version.found);
    EXPECT_EQ(version.fixed.dwFileVersionMS, (7u << 16) | 6u);
    EXPECT_EQ(version.fixed.dwFileVersionLS, (5u << 16) | 4u);
    EXPECT_EQ(version.productVersion, u"7.6.5");
    EXPECT_EQ(version.translation, (1200u << 16) | 0x0409u);
}

TEST_F(VersionApiTest, FilesWithoutAVersionFail) {
    device_.WriteFile("plain.exe", testing::WritePe({}));
    device_.WriteFile("text.exe", "MZ but nothing else");
    device_.WriteFile("empty.exe", "");
    device_.MakeFolder("folder.exe");
    struct Case {
        std::u16string path;
        DWORD error;
    };
    const Case cases[] = {
        {u"\\plain.exe", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {u"\\text.exe", ERROR_BAD_EXE_FORMAT},
        {u"\\empty.exe", ERROR_BAD_EXE_FORMAT},
        {u"\\missing.exe", ERROR_FILE_NOT_FOUND},
        {u"\\folder.exe", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileVersionInfoSizeW(c.path.c_str(), nullptr), 0u);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(VersionResourceReader, EveryCutOfAFileFailsCleanly) {
    constexpr VersionString strings[] = {{u"FileVersion", u"1.2.3.4"}};
    const std::vector<uint8_t> file = testing::WritePe({VersionSpec{{1, 2, 3, 4}, {}, strings}});
    DWORD error = 0;
    ASSERT_TRUE(VersionResourceReader::Read(MemorySource(file), error));
    // The resource lies at the end of the file: every shorter file lacks some of it.
    size_t end = file.size();
    while (end > 0 && file[end - 1] == 0) {
        --end;
    }
    for (size_t size = 0; size < end; ++size) {
        const std::span<const uint8_t> cut(file.data(), size);
        EXPECT_FALSE(VersionResourceReader::Read(MemorySource(cut), error)) << size;
        EXPECT_NE(error, ERROR_SUCCESS);
    }
}

}  // namespace
}  // namespace device
