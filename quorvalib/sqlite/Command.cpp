#include "quorvalib/sqlite/Command.h"

#include <sqlite3.h>

#include <string>

#include "quorvalib/sqlite/Connection.h"
#include "quorvalib/sqlite/SqliteLog.h"

namespace quorvalib::sqlite {
namespace {

const char* CurrentMessage(sqlite3* handle) {
    if (!handle) {
        return "Database not open";
    }
    const char* message = sqlite3_errmsg(handle);
    return message && *message ? message : "Unknown error";
}

// "Placeholder %100s not found": the name right-aligned in at least 100 columns, never cut.
std::string NotFoundMessage(const char* what, const char* name) {
    const std::string text = name ? name : "";
    std::string message = what;
    message += ' ';
    if (text.size() < 100) {
        message.append(100 - text.size(), ' ');
    }
    message += text;
    message += " not found";
    return message;
}

}  // namespace

bool Command::_ReportError(int code) { return _ReportError(code, nullptr); }

bool Command::_ReportError(int code, const char* message) {
    sqlite3* handle = connection_->Handle();
    const char* text = message ? message : CurrentMessage(handle);
    const char* sql = statement_ ? sqlite3_sql(statement_) : nullptr;
    return connection_->OnError(code, handle, text, sql);
}

bool Command::Create(const char* sql) {
    Finalize();
    sqlite3* handle = connection_->Handle();
    const int code = handle ? sqlite3_prepare_v2(handle, sql, -1, &statement_, nullptr)
                            : SQLITE_MISUSE;
    if (code != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        const std::string message = CurrentMessage(handle);
        TOV_LOG_ERROR(Sqlite, "Prepare statement failed: %s (%d) statement: %s", message.c_str(),
                      code, sql);
        return connection_->OnError(code, handle, message.c_str(), sql);
    }
    if (!statement_) {
        // Only white space or a comment: nothing to run, which the caller did not mean.
        TOV_LOG_ERROR(Sqlite, "Prepare statement failed: %s (%d) statement: %s",
                      "no statement in the text", SQLITE_MISUSE, sql);
        return connection_->OnError(SQLITE_MISUSE, handle, "no statement in the text", sql);
    }
    return true;
}

void Command::_NotFound(const char* what, const char* name, int code) {
    const std::string message = NotFoundMessage(what, name);
    const char* sql = statement_ ? sqlite3_sql(statement_) : nullptr;
    TOV_LOG_ERROR(Sqlite, "%s in %s", message.c_str(), sql);
    connection_->OnError(code, connection_->Handle(), message.c_str(), sql);
}

int Command::_Parameter(Reference parameter) {
    if (parameter.kind == Reference::kPosition) {
        return parameter.position;
    }
    const int index =
        statement_ && parameter.name ? sqlite3_bind_parameter_index(statement_, parameter.name)
                                     : 0;
    if (index == 0) {
        _NotFound("Placeholder", parameter.name, SQLITE_RANGE);
    }
    return index;
}

int Command::_Column(Reference column) {
    if (column.kind == Reference::kPosition) {
        return column.position;
    }
    if (!columnsBuilt_ && statement_) {
        const int count = sqlite3_column_count(statement_);
        for (int i = 0; i < count; ++i) {
            const char* name = sqlite3_column_name(statement_, i);
            if (name) {
                columns_[name] = i;  // a repeated name maps to its last column
            }
        }
        columnsBuilt_ = true;
    }
    const auto found = column.name ? columns_.find(column.name) : columns_.end();
    if (found == columns_.end()) {
        _NotFound("Column", column.name, SQLITE_RANGE);
        return -1;
    }
    return found->second;
}


bool Command::Bind(int32_t value, Reference parameter) {
    const int index = _Parameter(parameter);
    const int code = statement_ ? sqlite3_bind_int(statement_, index, value) : SQLITE_MISUSE;
    if (code != SQLITE_OK) {
        TOV_LOG_ERROR(Sqlite, "Bind int failed for column %d: %s, code: %d", index,
                      CurrentMessage(connection_->Handle()), code);
        return _ReportError(code);
    }
    return true;
}

bool Command::Bind(int64_t value, Reference parameter) {
    const int index = _Parameter(parameter);
    const int code = statement_ ? sqlite3_bind_int64(statement_, index, value) : SQLITE_MISUSE;
    if (code != SQLITE_OK) {
        TOV_LOG_ERROR(Sqlite, "Bind int 64 failed for column %d: %s, code: %d", index,
                      CurrentMessage(connection_->Handle()), code);
        return _ReportError(code);
    }
    return true;
}

bool Command::Bind(const char* text, Reference parameter) {
    if (!text) {
        return BindNull(parameter);
    }
    const int index = _Parameter(parameter);
    const int code = statement_ ? sqlite3_bind_text(statement_, index, text, -1, SQLITE_STATIC)
                                : SQLITE_MISUSE;
    if (code != SQLITE_OK) {
        TOV_LOG_ERROR(Sqlite, "Bind text failed for column %d: %s, code: %d", index,
                      CurrentMessage(connection_->Handle()), code);
        return _ReportError(code);
    }
    return true;
}

bool Command::Bind(const std::string& text, Reference parameter) {
    const int index = _Parameter(parameter);
    const int code = statement_ ? sqlite3_bind_text64(statement_, index, text.data(),
                                                      text.size(), SQLITE_TRANSIENT, SQLITE_UTF8)
                                : SQLITE_MISUSE;
    if (code != SQLITE_OK) {
        TOV_LOG_ERROR(Sqlite, "Bind text failed for column %d: %s, code: %d", index,
                      CurrentMessage(connection_->Handle()), code);
        return _ReportError(code);
    }
    return true;
}

bool Command::BindNull(Reference parameter) {
    const int index = _Parameter(parameter);
    const int code = statement_ ? sqlite3_bind_null(statement_, index) : SQLITE_MISUSE;
    if (code != SQLITE_OK) {
        TOV_LOG_ERROR(Sqlite, "Bind NULL failed for column %d: %s, code: %d", index,
                      CurrentMessage(connection_->Handle()), code);
        return _ReportError(code);
    }
    return true;
}

bool Command::Execute() {
    const int code = statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE;
    const std::string message = CurrentMessage(connection_->Handle());
    if (statement_) {
        sqlite3_clear_bindings(statement_);
        sqlite3_reset(statement_);
    }
    if (code == SQLITE_DONE) {
        return true;
    }
    TOV_LOG_ERROR(Sqlite, "Step failed: %s, code: %d. Expecting SQLITE_DONE.", message.c_str(),
                  code);
    return _ReportError(code, message.c_str());
}

bool Command::GetRow() {
    const int code = statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE;
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        sqlite3_reset(statement_);
        return false;
    }
    const std::string message = CurrentMessage(connection_->Handle());
    TOV_LOG_ERROR(Sqlite, "Step failed: %s, code: %d. Expecting SQLITE_ROW or SQLITE_DONE.",
                  message.c_str(), code);
    // A failed step leaves the statement to be reset before it can run again.
    const bool answer = _ReportError(code, message.c_str());
    if (statement_) {
        sqlite3_reset(statement_);
    }
    return answer;
}

bool Command::Reset() {
    if (!statement_) {
        return true;
    }
    const int code = sqlite3_reset(statement_);
    if (code != SQLITE_OK) {
        TOV_LOG_WARNING(Sqlite, "sqlite3_reset failed: %s, code: %d",
                        CurrentMessage(connection_->Handle()), code);
        return false;
    }
    return true;
}

bool Command::Finalize() {
    bool finalized = true;
    if (statement_) {
        const int code = sqlite3_finalize(statement_);
        statement_ = nullptr;
        if (code != SQLITE_OK) {
            TOV_LOG_WARNING(Sqlite, "sqlite3_finalize failed: %s, code: %d",
                            CurrentMessage(connection_->Handle()), code);
            finalized = false;
        }
    }
    columns_.clear();
    columnsBuilt_ = false;
    return finalized;
}

bool Command::IsNull(Reference column) {
    const int index = _Column(column);
    return index < 0 || !statement_ || sqlite3_column_type(statement_, index) == SQLITE_NULL;
}

int32_t Command::GetInt(Reference column) {
    const int index = _Column(column);
    return index < 0 || !statement_ ? 0 : sqlite3_column_int(statement_, index);
}

const char* Command::GetText(Reference column) {
    const int index = _Column(column);
    if (index < 0 || !statement_) {
        return "";
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
    return text ? text : "";
}

const void* Command::GetBlob(Reference column) {
    const int index = _Column(column);
    return index < 0 || !statement_ ? nullptr : sqlite3_column_blob(statement_, index);
}

}  // namespace quorvalib::sqlite
