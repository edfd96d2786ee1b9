#pragma once

#include <cstdint>

namespace quorvalib::graphic {

// A read-only table of rows with typed columns, as list and tree views show it.
class AbstractDataAdapter {
public:
    enum ColumnKind : int32_t {
        kNoColumn = -1,
        kText = 1,
        kInteger = 2,
    };

    virtual ~AbstractDataAdapter() = default;

    virtual int32_t RowCount() const = 0;
    virtual int32_t ColumnCount() const = 0;
    // NUL-terminated UTF-8 owned by the adapter; null for a row out of range or a column that
    // is not a text column.
    virtual const char* GetText(int32_t row, int32_t column) const = 0;
    // -1 for a row out of range or a column that is not an integer column.
    virtual int32_t GetInt(int32_t row, int32_t column) const = 0;
    // kText, kInteger, or kNoColumn.
    virtual int32_t ColumnType(int32_t column) const = 0;
    // Null for no such column.
    virtual const char* ColumnName(int32_t column) const = 0;
};

}  // namespace quorvalib::graphic
