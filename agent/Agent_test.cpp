// Runs the built tov_agent on a device root and reads its answer file.

#include "agent/Agent.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "agent/testing/FpakBuilder.h"
#include "device/Utf16.h"
#include "device/testing/DeviceFixture.h"
#include "device/testing/PeWriter.h"
#include "quorvalib/files/Md5.h"

namespace fs = std::filesystem;

namespace agent {
namespace {

using device::testing::RunProgram;

struct AgentRun {
    bool finished = false;
    int exitCode = -1;
    std::optional<std::u16string> answer;  // the whole answer file
    bool flagLeft = false;
};

std::u16string Answer(std::u16string_view section, std::u16string_view value) {
    return u"[" + std::u16string(section) + u"]\n" + std::u16string(value);
}

std::string Utf8(const std::optional<std::u16string>& text) {
    return text ? device::ToUtf8(*text) : "<no answer>";
}

class AgentTest : public ::testing::Test {
protected:
    void SetUp() override { device_.Install(TOV_AGENT_PROGRAM, "tov_agent.exe"); }

    // Starts "\tov_agent.exe" with the command line as Windows CE passes it.
    AgentRun Run(const std::string& commandLine) {
        return RunFrom(device_.Host("tov_agent.exe"), commandLine);
    }

    AgentRun RunFrom(const fs::path& program, const std::string& commandLine) {
        const auto result = RunProgram(program, {commandLine}, device_.Environment());
        AgentRun run;
        run.finished = result.finished;
        run.exitCode = result.exitCode;
        run.answer = device::testing::ReadUtf16Le(device_.Host("tov_agent_output.dta"));
        run.flagLeft = fs::exists(device_.Host("tov_agent_running.flg"));
        // As the wizard does, so that the answer's bytes do not count on the next run.
        std::error_code ignored;
        fs::remove(device_.Host("tov_agent_output.dta"), ignored);
        return run;
    }

    // Expects a finished run with this answer and the flag gone.
    void ExpectAnswer(const std::string& commandLine, std::u16string_view section,
                      std::u16string_view value, int exitCode) {
        const AgentRun run = Run(commandLine);
        ASSERT_TRUE(run.finished) << commandLine;
        EXPECT_EQ(run.exitCode, exitCode) << commandLine;
        EXPECT_EQ(Utf8(run.answer), Utf8(Answer(section, value))) << commandLine;
        EXPECT_FALSE(run.flagLeft) << commandLine;
    }

    void ExpectFailure(const std::string& commandLine, std::u16string_view section) {
        ExpectAnswer(commandLine, section, u"error occured", 1);
    }

    void WritePe(std::string_view relative, std::array<uint16_t, 4> version) {
        device_.WriteFile(relative, device::testing::WritePe({device::VersionSpec{version}}));
    }

    device::testing::TempDevice device_;
};

TEST(AgentAnswer, IsUtf16LeWithoutByteOrderMark) {
    EXPECT_EQ(FormatAnswer(u"A", u"\u00E9"), std::string("[\0A\0]\0\n\0\xE9\0", 10));
    EXPECT_EQ(FormatAnswer(u"", u""), std::string("[\0]\0\n\0", 6));
}

TEST_F(AgentTest, ReportsItsOwnFileVersion) {
    ExpectAnswer("GetAgentVersion", u"GetAgentVersion", u"1.1.0.0", 0);
    // The same version reader answers for the agent's file as for any other.
    ExpectAnswer("GetFileVersion \\TOV_AGENT.EXE", u"GetFileVersion", u"1.1.0.0", 0);
}

TEST_F(AgentTest, AnAgentOutsideTheDeviceCannotNameItsOwnFile) {
    const AgentRun run = RunFrom(TOV_AGENT_PROGRAM, "GetAgentVersion");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Utf8(run.answer), Utf8(Answer(u"GetAgentVersion", u"error occured")));
}

TEST_F(AgentTest, FileVersions) {
    WritePe("Windows/app.exe", {3, 2, 1, 65535});
    device_.WriteFile("Windows/plain.exe", device::testing::WritePe({}));
    device_.WriteFile("notes.txt", "text");
    ExpectAnswer("GetFileVersion \\windows\\APP.EXE", u"GetFileVersion", u"3.2.1.65535", 0);
    ExpectFailure("GetFileVersion \\Windows\\plain.exe", u"GetFileVersion");
    ExpectFailure("GetFileVersion \\notes.txt", u"GetFileVersion");
    ExpectFailure("GetFileVersion \\missing.exe", u"GetFileVersion");
    ExpectFailure("GetFileVersion", u"GetFileVersion");
}

TEST_F(AgentTest, Md5Checksums) {
    std::string data;
    for (int i = 0; i < 25000; ++i) {  // more than two reads of 10240 bytes
        data += static_cast<char>(i * 7 + i / 256);
    }
    device_.WriteFile("Storage Card/maps/big.map", data);
    device_.WriteFile("empty.bin", "");
    ExpectAnswer("GetMD5FileChecksum \"\\Storage Card\\maps\\big.map\"", u"GetMD5FileChecksum",
                 device::ToUtf16(Md5::Of(data).HexDigest().view()), 0);
    ExpectAnswer("GetMD5FileChecksum \\empty.bin", u"GetMD5FileChecksum",
                 u"d41d8cd98f00b204e9800998ecf8427e", 0);
    ExpectFailure("GetMD5FileChecksum \\missing.bin", u"GetMD5FileChecksum");
    ExpectFailure("GetMD5FileChecksum \\Storage Card", u"GetMD5FileChecksum");  // a folder
}

TEST_F(AgentTest, DatabaseVersions) {
    const std::string head(48, 'h');
    device_.WriteFile("maps/a.tdb", head + "20240131" + "tail");
    device_.WriteFile("maps/exact.tdb", head + "12345678");
    device_.WriteFile("maps/short.tdb", head + "1234567");  // 55 bytes
    device_.WriteFile("maps/latin.tdb", head + "v\xE9\xFF" "12345");
    ExpectAnswer("GetDbVersion \\maps\\a.tdb", u"GetDbVersion", u"20240131", 0);
    ExpectAnswer("GetDbVersion \\maps\\exact.tdb", u"GetDbVersion", u"12345678", 0);
    ExpectAnswer("GetDbVersion \\maps\\latin.tdb", u"GetDbVersion", u"v\u00E9\u00FF12345", 0);
    ExpectFailure("GetDbVersion \\maps\\short.tdb", u"GetDbVersion");
    ExpectFailure("GetDbVersion \\maps\\missing.tdb", u"GetDbVersion");
}

TEST_F(AgentTest, ArchiveVersions) {
    using testing::FpakBuilder;
    device_.WriteFile("a.fpak",
                      FpakBuilder().Folder("maps").File("version", "xxxxxxxx").End()
                          .File("version", "20241001").File("after", "data").Bytes());
    device_.WriteFile("nine.fpak", FpakBuilder().File("version", "123456789").Bytes());
    device_.WriteFile("folder.fpak", FpakBuilder().Folder("version").End().Bytes());
    device_.WriteFile("linked.fpak",
                      FpakBuilder().Folder("symlinks").File("version", "12345678").End().Bytes());
    device_.WriteFile("cut.fpak", FpakBuilder().FileRecord("version", 8, "1234").Bytes());
    device_.WriteFile("junk.fpak", std::string("\x01\xFF", 2));
    ExpectAnswer("GetFpakVersion \\a.fpak", u"GetFpakVersion", u"20241001", 0);
    for (const char* name : {"nine", "folder", "linked", "cut", "junk", "missing"}) {
        ExpectFailure("GetFpakVersion \\" + std::string(name) + ".fpak", u"GetFpakVersion");
    }
}

TEST_F(AgentTest, VersionsChosenByExtensionAnywhereInThePath) {
    device_.WriteFile("a.fpak", testing::FpakBuilder().File("version", "FPAK0001").Bytes());
    device_.WriteFile("b.TDB", std::string(48, '\0') + "TDB00002");
    WritePe("c.exe", {4, 3, 2, 1});
    device_.WriteFile("Storage Card/maps/x.fpak.bak",
                      testing::FpakBuilder().File("version", "BAK00003").Bytes());
    device_.WriteFile("Storage Card/d.Tdb.old", std::string(48, '\0') + "TDB00004");

    ExpectAnswer("GetVersions \\a.fpak \\b.TDB \\c.exe", u"GetVersions",
                 u"\"\\a.fpak\":FPAK0001;\"\\b.TDB\":TDB00002;\"\\c.exe\":4.3.2.1;", 0);
    // Keys are the paths as written; quoted paths keep their spaces; extra spaces give no
    // empty arguments.
    ExpectAnswer("GetVersions   \"\\Storage Card\\maps\\X.FPAK.bak\"    \"\\Storage Card\\d.Tdb.old\"",
                 u"GetVersions",
                 u"\"\\Storage Card\\maps\\X.FPAK.bak\":BAK00003;\"\\Storage Card\\d.Tdb.old\":TDB00004;",
                 0);
    // One good and one unreadable path: one entry, and the command is done.
    ExpectAnswer("GetVersions \\missing.exe \\A.FPAK", u"GetVersions", u"\"\\A.FPAK\":FPAK0001;", 0);
    // An archive is never read as a program, whatever else its name holds.
    ExpectFailure("GetVersions \\c.exe.fpak", u"GetVersions");
    ExpectFailure("GetVersions \\missing.exe \\missing.fpak", u"GetVersions");
    ExpectFailure("GetVersions", u"GetVersions");
}

TEST_F(AgentTest, MountPointsWithoutTheCardLibrary) {
    device::DeviceProfile profile;
    profile.ObjectStore().capacity = 1u << 30;
    profile.SetVolume({"Storage Card", 5000, true});
    profile.SetVolume({"sdmmc", 9000, true});
    device_.WriteProfile(profile);
    device_.WriteFile("Storage Card/m.map", std::string(1234, 'm'));
    const uint64_t rootFree = (1u << 30) - fs::file_size(device_.Host("tov_agent.exe"));
    // No "\sdmmc", but a "\Storage Card": two entries, without trailing backslashes.
    ExpectAnswer("GetMountPoints ", u"GetMountPoints",
                 u"\"\\\":" + device::ToUtf16(std::to_string(rootFree)) +
                     u"/1073741824;\"\\Storage Card\":3766/5000;",
                 0);
    device_.MakeFolder("SDMMC");
    ExpectAnswer("GetMountPoints", u"GetMountPoints",
                 u"\"\\\":" + device::ToUtf16(std::to_string(rootFree)) +
                     u"/1073741824;\"\\sdmmc\":9000/9000;\"\\Storage Card\":3766/5000;",
                 0);
}

TEST_F(AgentTest, MountPointsFromTheCardLibrary) {
    device::DeviceProfile profile;
    profile.SetNoteProj(true);
    profile.ObjectStore().capacity = 1u << 30;
    const uint64_t rootFree = (1u << 30) - fs::file_size(device_.Host("tov_agent.exe"));
    const std::u16string root =
        u"\"\\\":" + device::ToUtf16(std::to_string(rootFree)) + u"/1073741824;";
    device_.WriteProfile(profile);
    device_.MakeFolder("Storage Card");  // a folder, but no card
    ExpectAnswer("GetMountPoints", u"GetMountPoints", root, 0);

    profile.SetVolume({"Storage Card", 5000, true});
    profile.SetVolume({"SD Card", 100, true});
    profile.SetVolume({"Gone", 100, true});
    device_.WriteProfile(profile);
    device_.MakeFolder("SD Card");
    ExpectAnswer("GetMountPoints", u"GetMountPoints",
                 root + u"\"\\Storage Card\\\":5000/5000;\"\\SD Card\\\":100/100;", 0);
}

TEST_F(AgentTest, UnknownCommandsAreNotImplemented) {
    ExpectAnswer("getmountpoints", u"getmountpoints", u"not implemented", 0);
    ExpectAnswer("  Format \\  now", u"Format", u"not implemented", 0);
    ExpectAnswer("", u"", u"not implemented", 0);
}

TEST_F(AgentTest, OnADeviceThatCannotBeReadNothingIsWritten) {
    std::ofstream(device_.ProfileFile()) << "[volume \\]\ncapacity = lots\n";
    const AgentRun run = Run("GetAgentVersion");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.answer);
    EXPECT_FALSE(run.flagLeft);
}

TEST_F(AgentTest, EachAnswerReplacesTheLastAndTheStaleFlag) {
    device_.WriteFile("tov_agent_output.dta", std::string(100, 'x'));
    device_.WriteFile("tov_agent_running.flg", "stale");
    ExpectAnswer("GetAgentVersion", u"GetAgentVersion", u"1.1.0.0", 0);
}

TEST_F(AgentTest, WithoutAnAnswerFileTheFlagStays) {
    device_.MakeFolder("tov_agent_output.dta");
    const AgentRun run = Run("GetAgentVersion");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.flagLeft);
}

TEST_F(AgentTest, AFlagThatCannotBeDeletedIsTriedAgainThenLeft) {
    device_.MakeFolder("tov_agent_running.flg");
    const AgentRun run = Run("GetAgentVersion");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Utf8(run.answer), Utf8(Answer(u"GetAgentVersion", u"1.1.0.0")));
    EXPECT_TRUE(run.flagLeft);
}

}  // namespace
}  // namespace agent
