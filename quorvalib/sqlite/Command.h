#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "quorvalib/sqlite/Reference.h"

struct sqlite3_stmt;

namespace quorvalib::sqlite {

class Connection;

// One prepared statement on a connection, used on the caller's stack. Failures are logged on
// channel "Sqlite" and answered by the connection's OnError.
class Command {
public:
    explicit Command(Connection& connection) : connection_(&connection) {}
    ~Command() { Finalize(); }
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    // Finalizes any current statement, then prepares sql.
    bool Create(const char* sql);
    bool Create(const std::string& sql) { return Create(sql.c_str()); }

    bool Bind(int32_t value, Reference parameter);
    bool Bind(int64_t value, Reference parameter);
    // Null binds NULL. The text is not copied: it must stay valid until the parameter is bound
    // again, the bindings are cleared (Execute) or the statement is finalized.
    bool Bind(const char* text, Reference parameter);
    // SQLite takes a copy.
    bool Bind(const std::string& text, Reference parameter);
    bool BindNull(Reference parameter);

    // Steps once expecting DONE, then clears the bindings and resets.
    bool Execute();
    // Steps once: true on a row; on DONE resets (bindings stay) and returns false.
    bool GetRow();
    // Warnings only; the error hook is not called.
    bool Reset();
    bool Finalize();

    // Column reads; the caller makes sure a row is current. A column that is not found reads
    // as NULL.
    bool IsNull(Reference column);
    int32_t GetInt(Reference column);
    // Empty for NULL; valid until the next step, reset or finalize.
    const char* GetText(Reference column);
    // Null for NULL or zero length.
    const void* GetBlob(Reference column);

    // Placeholder index (0 after a reported failure) and column index (-1 when not found).
    int _Parameter(Reference parameter);
    int _Column(Reference column);

    bool IsPrepared() const { return statement_ != nullptr; }
    sqlite3_stmt* Statement() const { return statement_; }

private:
    // The error funnel: current message (or fallback), the statement's SQL, OnError.
    bool _ReportError(int code);
    bool _ReportError(int code, const char* message);
    void _NotFound(const char* what, const char* name, int code);

    Connection* const connection_;
    std::map<std::string, int> columns_;
    bool columnsBuilt_ = false;
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace quorvalib::sqlite
