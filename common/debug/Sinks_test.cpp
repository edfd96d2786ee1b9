#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "common/debug/DebugSink.h"
#include "common/debug/FileSink.h"
#include "common/debug/Log.h"
#include "common/debug/StdErrSink.h"
#include "common/debug/Utf8Text.h"

namespace common::debug {
namespace {

LogLocation Location() {
    LogLocation location;
    location.path = "quorvalib\\sqlite\\Command.cpp";
    location.fileName = "Command.cpp";
    location.line = 42;
    location.function = "quorvalib::sqlite::Command::Create";
    return location;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/tov-log-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(FileSink, AppendsFormattedLinesAndFlushesEach) {
    TempDir dir;
    const auto file = dir.path() / "tov.log";
    std::ofstream(file) << "earlier\n";
    FileSink sink(file.string());
    sink.Write(Location(), "Sqlite", kLogError, 0x1a2b, "Prepare failed");
    sink.Write(Location(), "Sqlite", 9, 1, "odd level");
    // Flushed: readable while the sink is still open.
    const std::string text = ReadAll(file);
    const std::regex line(
        "earlier\n"
        "\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] E \\[1a2b\\] Command\\.cpp:42:Sqlite: Prepare failed in "
        "quorvalib::sqlite::Command::Create\n"
        "\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] - \\[1\\] Command\\.cpp:42:Sqlite: odd level in "
        "quorvalib::sqlite::Command::Create\n");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST(FileSink, DropsLinesUntilTheFileCanBeOpened) {
    TempDir dir;
    const auto file = dir.path() / "later" / "tov.log";
    FileSink sink(file.string());
    sink.Write(Location(), "Sqlite", kLogError, 1, "lost");
    std::filesystem::create_directory(dir.path() / "later");
    sink.Write(Location(), "Sqlite", kLogError, 1, "kept");
    const std::string text = ReadAll(file);
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_NE(text.find("kept"), std::string::npos);
}

std::string StdErrLine(const std::string& colors, bool console, int level,
                       const std::string& message = "msg") {
    std::FILE* stream = std::tmpfile();
    {
        StdErrSink sink(colors, stream, console);
        sink.Write(Location(), "Athr", level, 0xff, message);
    }
    std::rewind(stream);
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, n);
    std::fclose(stream);
    return text;
}

TEST(StdErrSink, ColoursPerLevel) {
    const struct {
        const char* colors;
        bool console;
        int level;
        const char* expected;
    } cases[] = {
        {"Rw", false, kLogError, "\033[31;1mCommand.cpp:42:E Athr [ff]: msg\033[0m\n"},
        {"Rw", false, kLogWarning, "Command.cpp:42:W Athr [ff]: msg\n"},
        {"Rw", false, kLogInfo, "Command.cpp:42:I Athr [ff]: msg\n"},  // beyond the text: "w"
        {"RYwc", false, kLogDebug, "\033[36mCommand.cpp:42:D Athr [ff]: msg\033[0m\n"},
        {"RYwc", false, 0, "Command.cpp:42:- Athr [ff]: msg\n"},
        {"RxWc", false, kLogWarning, "Command.cpp:42:W Athr [ff]: msg\033[0m\n"},  // unknown letter
        {"RYwc", false, kLogWarning, "\033[33;1mCommand.cpp:42:W Athr [ff]: msg\033[0m\n"},
        // A terminal is reset after every line.
        {"RYwc", true, kLogInfo, "Command.cpp:42:I Athr [ff]: msg\033[0m\n"},
        {"RYwc", true, kLogError, "\033[31;1mCommand.cpp:42:E Athr [ff]: msg\033[0m\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StdErrLine(c.colors, c.console, c.level), c.expected)
            << c.colors << " level " << c.level << (c.console ? " console" : "");
    }
}

TEST(StdErrSink, TerminalGetsValidUtf8) {
    EXPECT_EQ(StdErrLine("", true, kLogError, "a\xff" "b"),
              "Command.cpp:42:E Athr [ff]: a\xEF\xBF\xBD" "b\033[0m\n");
}

TEST(DebugSink, LineFormat) {
    EXPECT_EQ(DebugSink::FormatLine(Location(), "Sqlite", kLogWarning, 0xabc, "x"),
              "quorvalib\\sqlite\\Command.cpp(42) : Warning Sqlite [abc]: x\r\n");
    EXPECT_EQ(DebugSink::FormatLine(Location(), "Sqlite", 7, 1, "x"),
              "quorvalib\\sqlite\\Command.cpp(42) : - Sqlite [1]: x\r\n");
}

TEST(ReplaceInvalidUtf8, ReplacesEveryInvalidSequence) {
    const std::string fffd = "\xEF\xBF\xBD";
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain", "plain"},
        {"\xC5\xA1\xF0\x9F\x98\x80", "\xC5\xA1\xF0\x9F\x98\x80"},  // š and U+1F600 kept
        {"\xF8\x80", fffd + fffd},                                  // lead byte above 0xF7
        {"\xC5x", fffd + "x"},                                      // missing continuation
        {"\xC0\xAF", fffd},                                         // overlong "/"
        {"\xE0\x80\xAF", fffd},                                     // overlong, three bytes
        {"\xED\xA0\x80", fffd},                                     // surrogate U+D800
        {"\xEF\xBF\xBE", fffd},                                     // U+FFFE
        {"\xEF\xBF\xBF", fffd},                                     // U+FFFF
        {"\xF4\x90\x80\x80", fffd},                                 // above U+10FFFF
        {"\x80" "a", fffd + "a"},                                   // stray continuation
        {"\xE2\x82", fffd},                                         // cut off at the end
    };
    for (const auto& c : cases) EXPECT_EQ(ReplaceInvalidUtf8(c.in), c.out);
}

}  // namespace
}  // namespace common::debug
