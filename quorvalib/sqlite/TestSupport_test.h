#pragma once

// Shared by the tests of this folder: a connection that records what reaches its error hook, and
// a temporary folder.

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "quorvalib/sqlite/Connection.h"

namespace quorvalib::sqlite::testing {

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
