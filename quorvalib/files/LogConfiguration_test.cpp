#include "quorvalib/files/LogConfiguration.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "common/debug/FileSink.h"
#include "common/debug/Log.h"
#include "common/debug/LogSink.h"
#include "common/debug/StdErrSink.h"
#include "quorvalib/files/TestTempFolder.h"

TOV_DEFINE_LOG_CHANNEL(LogConfigAlpha);
TOV_DEFINE_LOG_CHANNEL(LogConfigBeta);

namespace quorvalib::files {
namespace {

// The level at which a sink of this type is attached to the channel, 0 when it is not.
template <typename Sink>
int AttachedLevel(const common::debug::LogChannel& channel) {
    for (int slot = 0; slot < common::debug::LogChannel::kSlots; ++slot) {
        if (dynamic_cast<Sink*>(channel.sinks[slot].load())) return channel.levels[slot].load();
    }
    return 0;
}

template <typename Sink>
const Sink* AttachedSink(const common::debug::LogChannel& channel) {
    for (int slot = 0; slot < common::debug::LogChannel::kSlots; ++slot) {
        if (auto* sink = dynamic_cast<Sink*>(channel.sinks[slot].load())) return sink;
    }
    return nullptr;
}

// Sends standard error into a file for the lifetime of the object.
class CapturedStdErr {
public:
    explicit CapturedStdErr(const std::string& path) {
        std::fflush(stderr);
        saved_ = dup(2);
        std::FILE* file = std::fopen(path.c_str(), "w");
        dup2(fileno(file), 2);
        std::fclose(file);
    }
    ~CapturedStdErr() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
    }

private:
    int saved_;
};

class LogConfigurationTest : public ::testing::Test {
protected:
    void TearDown() override { common::debug::DestroySinks(); }
    TestTempFolder folder_;
};

TEST_F(LogConfigurationTest, RoutesTwoChannelsToTwoSinksAtTwoLevels) {
    const std::string logFile = folder_ / "program.log";
    Aini ini{Astring(folder_ / "program.ini")};
    ini.LoadFromText(
        "[log]\n"
        "file.error = LogConfigBeta\n"
        "FILE.Debug = LogConfigAlpha\n"
        "File.Info = ;LogConfigBeta\n"
        "StdErr.Warning = LogConfigBeta\n"
        "StdErr.Colors =\n");
    {
        CapturedStdErr captured(folder_ / "stderr.txt");
        ConfigureLogging(ini, Astring(logFile));

        EXPECT_EQ(AttachedLevel<common::debug::FileSink>(g_logChannel_LogConfigAlpha), 4);
        EXPECT_EQ(AttachedLevel<common::debug::FileSink>(g_logChannel_LogConfigBeta), 1);
        EXPECT_EQ(AttachedLevel<common::debug::StdErrSink>(g_logChannel_LogConfigBeta), 2);
        EXPECT_EQ(AttachedLevel<common::debug::StdErrSink>(g_logChannel_LogConfigAlpha), 0);
        EXPECT_EQ(AttachedSink<common::debug::StdErrSink>(g_logChannel_LogConfigBeta)->Parameter(), "");

        TOV_LOG_DEBUG(LogConfigAlpha, "alpha debug");
        TOV_LOG_WARNING(LogConfigBeta, "beta warning");
        TOV_LOG_ERROR(LogConfigBeta, "beta error");
        TOV_LOG_INFO(LogConfigBeta, "beta info");
    }
    const std::string file = ReadFileContent(logFile);
    EXPECT_NE(file.find("alpha debug"), std::string::npos);
    EXPECT_NE(file.find("beta error"), std::string::npos);
    EXPECT_EQ(file.find("beta warning"), std::string::npos);
    EXPECT_EQ(file.find("beta info"), std::string::npos);
    const std::string console = ReadFileContent(folder_ / "stderr.txt");
    EXPECT_NE(console.find("beta warning"), std::string::npos);
    EXPECT_NE(console.find("beta error"), std::string::npos);
    EXPECT_EQ(console.find("alpha debug"), std::string::npos);

    // Missing and commented-out keys are written back empty; the empty colours stay.
    EXPECT_TRUE(ini.IsModified());
    for (const char* key : {"Debugger.Error", "Debugger.Debug", "File.Info", "File.Warning",
                            "StdErr.Error", "StdErr.Debug"}) {
        const AiniItem* item = ini.Find("LOG", key);
        ASSERT_NE(item, nullptr) << key;
        EXPECT_STREQ(item->Value(), "") << key;
    }
    EXPECT_STREQ(ini.Find("LOG", "StdErr.Colors")->Value(), "");
    EXPECT_STREQ(ini.Find("LOG", "StdErr.Warning")->Value(), "LogConfigBeta");
}

TEST_F(LogConfigurationTest, MissingColoursBecomeTheDefaultAndUnusedSinksAreNotMade) {
    Aini ini{Astring(folder_ / "program.ini")};
    ini.LoadFromText("[LOG]\nStdErr.Error = LogConfigAlpha\nFile.Error =\n");
    ConfigureLogging(ini, Astring(folder_ / "program.log"));
    const auto* stdErr = AttachedSink<common::debug::StdErrSink>(g_logChannel_LogConfigAlpha);
    ASSERT_NE(stdErr, nullptr);
    EXPECT_EQ(stdErr->Parameter(), "RYwc");
    EXPECT_STREQ(ini.Find("LOG", "StdErr.Colors")->Value(), "RYwc");
    EXPECT_EQ(AttachedSink<common::debug::FileSink>(g_logChannel_LogConfigAlpha), nullptr);
    EXPECT_EQ(ini.Find("LOG", "File.Debug"), nullptr);  // no file sink: its keys stay untouched
}

TEST_F(LogConfigurationTest, NoFileSinkWithoutALogPath) {
    Aini ini{Astring(folder_ / "program.ini")};
    ini.LoadFromText("[LOG]\nFile.Error = ALL\nFile.Path = /elsewhere.log\n");
    ConfigureLogging(ini, Astring());
    EXPECT_EQ(AttachedSink<common::debug::FileSink>(g_logChannel_LogConfigAlpha), nullptr);
}

}  // namespace
}  // namespace quorvalib::files
