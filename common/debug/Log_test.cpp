#include "common/debug/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/debug/testing/LogRecorder.h"

TOV_DEFINE_LOG_CHANNEL(LogTestChannel);

namespace common::debug {
namespace {

using testing::LogRecorder;

// Counts how often an argument is turned into text: a disabled call must never do it.
struct Tracer {
    std::atomic<int>* formatted;
};
std::ostream& operator<<(std::ostream& out, const Tracer& tracer) {
    ++*tracer.formatted;
    return out << "traced";
}

TEST(LogCall, DisabledLevelIsNeverFormatted) {
    LogRecorder sink("LogTestChannel", kLogWarning);
    std::atomic<int> formatted{0};
    TOV_LOG_INFO(LogTestChannel, "value %s", Tracer{&formatted});
    EXPECT_EQ(formatted, 0);
    EXPECT_TRUE(sink.Lines().empty());

    TOV_LOG_WARNING(LogTestChannel, "value %s", Tracer{&formatted});
    EXPECT_EQ(formatted, 1);
    const auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "value traced");
    EXPECT_EQ(lines[0].level, kLogWarning);
    EXPECT_EQ(lines[0].channel, "LogTestChannel");
}

TEST(LogCall, FormatsPrintfDirectivesAndRecordsTheCallSite) {
    LogRecorder sink("LogTestChannel", kLogDebug);
    const char* nothing = nullptr;
    TOV_LOG_ERROR(LogTestChannel, "%i|%s|%04X|%u|%s", -5, "text", 0xAB, 7u, nothing);
    TOV_LOG_ERROR(LogTestChannel, "too few %d %d", 1);
    TOV_LOG_ERROR(LogTestChannel, "too many %d", 1, 2);
    TOV_LOG_ERROR(LogTestChannel, "no directives");
    const auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].message, "-5|text|00AB|7|(null)");
    EXPECT_EQ(lines[1].message, "too few 1 ");
    EXPECT_EQ(lines[2].message, "too many 1");
    EXPECT_EQ(lines[3].message, "no directives");
    EXPECT_EQ(lines[0].location.fileName, "Log_test.cpp");
    EXPECT_GT(lines[0].location.line, 0);
    EXPECT_EQ(lines[0].location.function,
              "common::debug::{anonymous}::LogCall_FormatsPrintfDirectivesAndRecordsTheCallSite_Test::TestBody");
}

TEST(LogCall, CallSiteIsMadeOnceWhenThreadsRaceToIt) {
    LogRecorder sink("LogTestChannel", kLogDebug);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) TOV_LOG_DEBUG(LogTestChannel, "thread %d line %d", t, i);
        });
    }
    for (auto& thread : threads) thread.join();
    const auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) EXPECT_EQ(line.location.line, lines[0].location.line);
}

TEST(QualifiedFunctionName, StripsReturnTypeAndParameters) {
    const struct {
        const char* pretty;
        const char* expected;
    } cases[] = {
        {"void quorvalib::network::http::HttpDownloadManager::RemoveTask(uint64_t)",
         "quorvalib::network::http::HttpDownloadManager::RemoveTask"},
        {"bool AthrMan::AddThread(Athr*)", "AthrMan::AddThread"},
        {"int main()", "main"},
        {"std::map<int, std::string> ns::F(int) const", "ns::F"},
        {"void ns::X::operator()(int)", "ns::X::operator()"},
        {"ns::Ctor::Ctor()", "ns::Ctor::Ctor"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(QualifiedFunctionName(c.pretty), c.expected) << c.pretty;
    EXPECT_EQ(QualifiedFunctionName(nullptr), "");
}

TEST(FileNamePart, TakesThePartAfterTheLastSeparator) {
    EXPECT_EQ(FileNamePart("a/b\\c.cpp"), "c.cpp");
    EXPECT_EQ(FileNamePart("a\\b/c.cpp"), "c.cpp");
    EXPECT_EQ(FileNamePart("c.cpp"), "c.cpp");
}

}  // namespace
}  // namespace common::debug
