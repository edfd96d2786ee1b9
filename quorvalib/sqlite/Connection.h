#pragma once

#include <cstddef>
#include <string>

struct sqlite3;

namespace quorvalib::sqlite {

class CollationLocale;

// One SQLite database connection. Every failure is logged on channel "Sqlite" and handed to
// OnError, whose answer becomes the failed operation's result; database classes derive from
// this and decide there what an error means to them.
class Connection {
public:
    Connection() = default;
    // Closes as Close does; a close that SQLite refuses leaves the handle to be freed when its
    // last statement is finalized.
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens (creating if missing) read-write. An open database is closed first.
    bool Open(const char* path, size_t length);
    bool Open(const std::string& path) { return Open(path.data(), path.size()); }
    // Rolls back an open transaction, then closes. False (and still open) while statements are
    // prepared on the connection.
    bool Close();
    // Runs one or more statements that return no rows.
    bool ExecuteNonQuery(const char* sql);
    bool ExecuteNonQuery(const std::string& sql) { return ExecuteNonQuery(sql.c_str()); }
    // Registers "WCSCOLL"; the context's locale orders the texts (null: the current locale).
    // The context must outlive the connection's use of the collation.
    bool CreateCollation(const CollationLocale* context);
    // True when the main database has a table (not a view or index) of that name.
    bool TableExists(const char* name);
    // Rolls back an open transaction; false when there is none.
    bool Rollback();

    bool IsOpen() const { return handle_ != nullptr; }
    sqlite3* Handle() const { return handle_; }

    // code: SQLite result code; handle: may be null; message: error text; sql: may be null.
    virtual bool OnError(int code, sqlite3* handle, const char* message, const char* sql);

    static constexpr const char* kCollationName = "WCSCOLL";

private:
    sqlite3* handle_ = nullptr;
};

}  // namespace quorvalib::sqlite
