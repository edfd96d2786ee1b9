#include "quorvalib/files/ProgramSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "common/debug/Log.h"
#include "common/debug/LogSink.h"
#include "quorvalib/files/FileSystem.h"
#include "quorvalib/files/TestTempFolder.h"
#include "quorvalib/platform/ProgramFile.h"

TOV_DEFINE_LOG_CHANNEL(SettingsTestChannel);

namespace quorvalib::files {
namespace {

TEST(ProgramSettings, LocationsOfThisProgram) {
    EXPECT_EQ(ProgramName(), "quorvalib_files_test");
    EXPECT_EQ(ProgramDirectory(), Astring(platform::ProgramDirectory()));
    EXPECT_TRUE(SettingsFilePath().EndsWith("/quorvalib_files_test.ini") ||
                SettingsFilePath().EndsWith("/Quorva GPS Navigation.ini"));
}

TEST(ProgramSettings, SettingsFileFallsBackToTheProductName) {
    TestTempFolder folder;
    const Astring dir(folder.Path());
    EXPECT_EQ(detail::FindSettingsFile(dir, "tov"), Astring(folder / "tov.ini"));
    std::ofstream(folder / "Quorva GPS Navigation.ini") << "";
    EXPECT_EQ(detail::FindSettingsFile(dir, "tov"), Astring(folder / "Quorva GPS Navigation.ini"));
    std::ofstream(folder / "tov.ini") << "";
    EXPECT_EQ(detail::FindSettingsFile(dir, "tov"), Astring(folder / "tov.ini"));
}

TEST(ProgramSettings, DataDirectoryIsTheDocumentsSubfolderOnlyWithASettingsFile) {
    TestTempFolder folder;
    const Astring documents(folder / "Documents/");
    const Astring program(folder / "bin");
    EXPECT_EQ(detail::FindDataDirectory(documents, program, "tov"), program);
    std::filesystem::create_directories(folder / "Documents/Quorva GPS Navigation");
    EXPECT_EQ(detail::FindDataDirectory(documents, program, "tov"), program);
    std::ofstream(folder / "Documents/Quorva GPS Navigation/Quorva GPS Navigation.ini") << "";
    EXPECT_EQ(detail::FindDataDirectory(documents, program, "tov"),
              Astring(folder / "Documents/Quorva GPS Navigation"));
    EXPECT_EQ(detail::FindDataDirectory(Astring(), program, "tov"), program);
}

TEST(ProgramSettings, SetDataDirectory) {
    TestTempFolder folder;
    const std::optional<std::string> oldHome =
        std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
    setenv("HOME", folder.Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "cfg").c_str(), 1);

    EXPECT_TRUE(SetDataDirectory(Astring(folder.Path())));
    EXPECT_EQ(DataDirectory(), Astring(folder.Path()));
    EXPECT_EQ(LogFilePath(), Astring(folder / "quorvalib_files_test.log"));

    EXPECT_FALSE(SetDataDirectory(Astring(folder / "missing")));
    EXPECT_EQ(DataDirectory(), ProgramDirectory());

    // Empty: the documents subfolder, made together with a missing documents folder.
    EXPECT_TRUE(SetDataDirectory(Astring()));
    EXPECT_EQ(DataDirectory(), Astring(folder / "Documents/Quorva GPS Navigation"));
    EXPECT_TRUE(IsDirectory(DataDirectory()));

    if (oldHome) setenv("HOME", oldHome->c_str(), 1);
    else unsetenv("HOME");
    unsetenv("XDG_CONFIG_HOME");
    SetDataDirectory(ProgramDirectory());
}

// The only test that touches the process-wide settings: it writes the program's settings
// file beside the test program and removes it again.
TEST(ProgramSettings, GetSettingsLoadsOnceFromManyThreadsAndConfiguresLogging) {
    TestTempFolder folder;
    ASSERT_TRUE(SetDataDirectory(Astring(folder.Path())));
    const std::string settingsPath = SettingsFilePath().str();
    ASSERT_FALSE(FileExists(SettingsFilePath())) << "left over from an earlier run";
    std::ofstream(settingsPath) << "[LOG]\nFile.Info = SettingsTestChannel\n[Updater]\nPackagesUrl = http://localhost/\n";

    std::vector<Aini*> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = &GetSettings(); });
    }
    for (std::thread& thread : threads) thread.join();
    for (Aini* settings : seen) EXPECT_EQ(settings, seen[0]);

    Aini& settings = GetSettings();
    EXPECT_EQ(settings.ReadString("updater", "packagesurl"), "http://localhost/");
    TOV_LOG_INFO(SettingsTestChannel, "settings configured logging");
    TOV_LOG_DEBUG(SettingsTestChannel, "too detailed");
    const std::string log = ReadFileContent(folder / "quorvalib_files_test.log");
    EXPECT_NE(log.find("settings configured logging"), std::string::npos);
    EXPECT_EQ(log.find("too detailed"), std::string::npos);
    // The keys logging added are saved only when the owner saves.
    EXPECT_EQ(ReadFileContent(settingsPath).find("Debugger"), std::string::npos);
    EXPECT_TRUE(settings.IsModified());

    std::remove(settingsPath.c_str());
    common::debug::DestroySinks();
    SetDataDirectory(ProgramDirectory());
}

}  // namespace
}  // namespace quorvalib::files
