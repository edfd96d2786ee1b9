#include "quorvalib/sqlite/Connection.h"

#include <sqlite3.h>

#include <string>

#include "quorvalib/sqlite/CollationLocale.h"
#include "quorvalib/sqlite/Command.h"
#include "quorvalib/sqlite/SqliteLog.h"

TOV_DEFINE_LOG_CHANNEL(Sqlite);

namespace quorvalib::sqlite {
namespace {

int CompareCallback(void* context, int leftBytes, const void* left, int rightBytes,
                    const void* right) {
    return CompareWcscoll(static_cast<const CollationLocale*>(context), left, leftBytes, right,
                          rightBytes);
}

}  // namespace

Connection::~Connection() {
    if (handle_ && !Close()) {
        // Statements still prepared: SQLite frees the handle once the last one is finalized.
        sqlite3_close_v2(handle_);
        handle_ = nullptr;
    }
}

bool Connection::OnError(int, sqlite3*, const char*, const char*) { return false; }

bool Connection::Open(const char* path, size_t length) {
    if (handle_) {
        TOV_LOG_INFO(Sqlite, "Database is already opened. Closing previous connection.");
        if (!Close()) {
            // The old handle is abandoned to its statements; SQLite frees it after the last.
            sqlite3_close_v2(handle_);
            handle_ = nullptr;
        }
    }
    const std::string file(path ? path : "", path ? length : 0);
    sqlite3* opened = nullptr;
    const int code = sqlite3_open_v2(file.c_str(), &opened,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK) {
        const std::string message = opened ? sqlite3_errmsg(opened) : sqlite3_errstr(code);
        TOV_LOG_ERROR(Sqlite, "sqlite3_open_v2 failed. Message: %s", message.c_str());
        const bool answer = OnError(code, opened, message.c_str(), nullptr);
        sqlite3_close(opened);  // a failed open may still hand out a handle; it is of no use
        return answer;
    }
    handle_ = opened;
    TOV_LOG_INFO(Sqlite, "Database successfully opened %s.", file.c_str());
    return true;
}

bool Connection::Close() {
    if (handle_ && !sqlite3_get_autocommit(handle_)) {
        ExecuteNonQuery("rollback");
    }
    if (!handle_) {
        return true;
    }
    const int code = sqlite3_close(handle_);
    if (code != SQLITE_OK) {
        TOV_LOG_WARNING(Sqlite, "sqlite3_close failed: %s, code: %d", sqlite3_errmsg(handle_),
                        code);
        return false;
    }
    handle_ = nullptr;
    TOV_LOG_INFO(Sqlite, "Database closed.");
    return true;
}

bool Connection::ExecuteNonQuery(const char* sql) {
    if (!handle_) {
        TOV_LOG_ERROR(Sqlite, "Database connection not openned.");
        return OnError(SQLITE_MISUSE, nullptr, "Database connection not open.", sql);
    }
    char* errorText = nullptr;
    const int code = sqlite3_exec(handle_, sql, nullptr, nullptr, &errorText);
    if (code == SQLITE_OK) {
        sqlite3_free(errorText);
        return true;
    }
    std::string message;
    if (errorText) {
        TOV_LOG_ERROR(Sqlite, "sqlite3_exec error: %s (%d) executing %s", errorText, code, sql);
        message = errorText;
    } else {
        TOV_LOG_ERROR(Sqlite, "sqlite3_exec returned %d while executing %s", code, sql);
        const char* current = sqlite3_errmsg(handle_);
        message = current ? current : "Unknown error";
    }
    const bool answer = OnError(code, handle_, message.c_str(), sql);
    sqlite3_free(errorText);
    return answer;
}

bool Connection::CreateCollation(const CollationLocale* context) {
    // SQLITE_UTF16 hands the comparison texts in native byte order.
    const int code = handle_ ? sqlite3_create_collation(handle_, kCollationName, SQLITE_UTF16,
                                                        const_cast<CollationLocale*>(context),
                                                        &CompareCallback)
                             : SQLITE_MISUSE;
    if (code != SQLITE_OK) {
        TOV_LOG_ERROR(Sqlite, "sqlite3_create_collation returned %d while creating '%s'", code,
                      kCollationName);
        const std::string message = "sqlite3_create_collation returned " +
                                    std::to_string(code) + " while creating '" +
                                    kCollationName + "'";
        return OnError(code, handle_, handle_ ? message.c_str() : "Database not open", nullptr);
    }
    return true;
}

bool Connection::TableExists(const char* name) {
    // Quotes in the name are doubled so that it can only ever be a name.
    char* sql = sqlite3_mprintf(
        "select name from %s.sqlite_master where type = 'table' and name = '%q'", "main",
        name ? name : "");
    Command command(*this);
    bool exists = false;
    if (command.Create(sql)) {
        exists = command.GetRow();
    }
    command.Finalize();
    sqlite3_free(sql);
    return exists;
}

bool Connection::Rollback() {
    if (handle_ && !sqlite3_get_autocommit(handle_)) {
        return ExecuteNonQuery("rollback");
    }
    return false;
}

}  // namespace quorvalib::sqlite
