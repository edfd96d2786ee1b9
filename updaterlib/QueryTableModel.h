#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "quorvalib/graphic/AbstractDataAdapter.h"

namespace updaterlib {

class PackageDatabase;

// A snapshot of one query's rows behind the adapter interface: each column is read by its
// name from the result and kept as text or integer (NULL as "" or 0).
class QueryTableModel : public quorvalib::graphic::AbstractDataAdapter {
public:
    struct ColumnInfo {
        const char* name;    // what ColumnName answers
        int32_t type;        // kText or kInteger
        const char* source;  // the result column it is read from
    };
    struct IntParameter {
        const char* name;
        int32_t value;
    };

    int32_t RowCount() const override { return static_cast<int32_t>(rows_.size()); }
    int32_t ColumnCount() const override { return columnCount_; }
    const char* GetText(int32_t row, int32_t column) const override;
    int32_t GetInt(int32_t row, int32_t column) const override;
    int32_t ColumnType(int32_t column) const override;
    const char* ColumnName(int32_t column) const override;

protected:
    QueryTableModel(const ColumnInfo* columns, int32_t columnCount)
        : columns_(columns), columnCount_(columnCount) {}

    // Runs the query under the database's lock and keeps every row it yields. A failure keeps
    // the rows read so far; the database logs it.
    void _Load(PackageDatabase& database, const char* sql,
               std::initializer_list<IntParameter> parameters);

private:
    struct Row {
        std::vector<std::string> texts;  // by column; empty for integer columns
        std::vector<int32_t> ints;       // by column; 0 for text columns
    };

    bool _Has(int32_t row, int32_t column, int32_t type) const;

    const ColumnInfo* const columns_;
    const int32_t columnCount_;
    std::vector<Row> rows_;
};

}  // namespace updaterlib
