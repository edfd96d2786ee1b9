#pragma once

// Shared by the tests of this folder: a sink that records log lines, a connection that records
// what reaches its error hook, and a temporary folder.

#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "common/debug/Log.h"
#include "common/debug/LogSink.h"
#include "quorvalib/sqlite/Connection.h"

namespace quorvalib::sqlite::testing {

struct LogLine {
    std::string channel;
    int level;
    std::string message;
};

class RecordingSink final : public common::debug::LogSink {
public:
    explicit RecordingSink(const char* channels = "Sqlite") : LogSink("") {
        common::debug::Attach(*this, channels, common::debug::kLogDebug);
    }
    ~RecordingSink() override { common::debug::Detach(*this); }
    void Write(const common::debug::LogLocation&, const char* channel, int level, uint32_t,
               const std::string& message) override {
        std::lock_guard guard(lock_);
        lines_.push_back({channel, level, message});
    }
    std::vector<LogLine> Lines() {
        std::lock_guard guard(lock_);
        return lines_;
    }
    bool Has(int level, const std::string& message) {
        for (const LogLine& line : Lines()) {
            if (line.level == level && line.message == message) {
                return true;
            }
        }
        return false;
    }
    bool HasPrefix(int level, const std::string& prefix) {
        for (const LogLine& line : Lines()) {
            if (line.level == level && line.message.rfind(prefix, 0) == 0) {
                return true;
            }
        }
        return false;
    }
    void Clear() {
        std::lock_guard guard(lock_);
        lines_.clear();
    }

private:
    std::mutex lock_;
    std::vector<LogLine> lines_;
};

struct ErrorCall {
    int code;
    bool hadHandle;
    std::string message;
    std::string sql;  // "(none)" when null
};

class RecordingConnection : public Connection {
public:
    ~RecordingConnection() override { Close(); }
    bool OnError(int code, sqlite3* handle, const char* message, const char* sql) override {
        calls.push_back({code, handle != nullptr, message ? message : "(null)",
                         sql ? sql : "(none)"});
        return answer;
    }
    std::vector<ErrorCall> calls;
    bool answer = false;
};

class TempDir {
public:
    TempDir() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("tov_sqlite_" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace quorvalib::sqlite::testing
