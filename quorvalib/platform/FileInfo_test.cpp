#include "quorvalib/platform/FileInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "quorvalib/platform/DocumentsFolder.h"
#include "quorvalib/platform/ProgramFile.h"

namespace quorvalib::platform {
namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tovplatXXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

TEST(ProgramFile, NamesThisTestProgram) {
    const std::string file = ProgramFilePath();
    EXPECT_TRUE(file.ends_with("/quorvalib_platform_test")) << file;
    EXPECT_EQ(ProgramDirectory() + "/quorvalib_platform_test", file);
}

TEST(FileInfo, AttributesReadOnlyBitAndSpace) {
    TempFolder folder;
    const std::string file = folder.Path() + "/a.txt";
    std::ofstream(file) << "hello";
    auto attributes = GetFileAttributes(file);
    ASSERT_TRUE(attributes);
    EXPECT_FALSE(attributes->directory);
    EXPECT_FALSE(attributes->readOnly);
    EXPECT_EQ(attributes->size, 5u);

    ASSERT_TRUE(SetReadOnly(file, true));
    EXPECT_TRUE(GetFileAttributes(file)->readOnly);
    ASSERT_TRUE(SetReadOnly(file, false));
    EXPECT_FALSE(GetFileAttributes(file)->readOnly);

    EXPECT_TRUE(GetFileAttributes(folder.Path())->directory);
    std::filesystem::create_symlink(folder.Path() + "/nowhere", folder.Path() + "/dangling");
    EXPECT_TRUE(IsSymbolicLink(folder.Path() + "/dangling"));
    EXPECT_FALSE(GetFileAttributes(folder.Path() + "/dangling"));
    EXPECT_FALSE(IsSymbolicLink(file));
    EXPECT_FALSE(GetFileAttributes(folder.Path() + "/missing"));
    EXPECT_FALSE(SetReadOnly(folder.Path() + "/missing", false));

    uint64_t freeBytes = 0, totalBytes = 0;
    ASSERT_TRUE(VolumeSpace(folder.Path(), freeBytes, totalBytes));
    EXPECT_GT(totalBytes, 0u);
    EXPECT_LE(freeBytes, totalBytes);
    EXPECT_NE(FreeSpace(folder.Path()), kUnknownSpace);
    EXPECT_EQ(FreeSpace(folder.Path() + "/missing/deeper"), kUnknownSpace);
}

TEST(DocumentsFolder, UserDirsTextWithHomeExpansionAndComments) {
    const char* text =
        "# written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
        "XDG_DOCUMENTS_DIR=\"$HOME/Dokumenty\"\n";
    EXPECT_EQ(ParseUserDirsDocuments(text, "/home/u"), "/home/u/Dokumenty");
    EXPECT_EQ(ParseUserDirsDocuments("XDG_DOCUMENTS_DIR=\"/data/docs/\"", "/h"), "/data/docs");
    EXPECT_FALSE(ParseUserDirsDocuments("XDG_MUSIC_DIR=\"$HOME/M\"\n", "/h"));
}

// Changes the process environment; restored on exit.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DocumentsFolder, ConfigFileThenEnvironmentThenDefault) {
    TempFolder folder;
    ScopedEnv home("HOME", folder.Path().c_str());
    ScopedEnv config("XDG_CONFIG_HOME", (folder.Path() + "/cfg").c_str());
    ScopedEnv env("XDG_DOCUMENTS_DIR", nullptr);
    EXPECT_EQ(DocumentsFolder(), folder.Path() + "/Documents");
    {
        ScopedEnv set("XDG_DOCUMENTS_DIR", "$HOME/FromEnv");
        EXPECT_EQ(DocumentsFolder(), folder.Path() + "/FromEnv");
        std::filesystem::create_directories(folder.Path() + "/cfg");
        std::ofstream(folder.Path() + "/cfg/user-dirs.dirs")
            << "XDG_DOCUMENTS_DIR=\"$HOME/FromFile\"\n";
        EXPECT_EQ(DocumentsFolder(), folder.Path() + "/FromFile");
    }
}

}  // namespace
}  // namespace quorvalib::platform
