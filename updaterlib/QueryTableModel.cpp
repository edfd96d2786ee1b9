#include "updaterlib/QueryTableModel.h"

#include <mutex>

#include "quorvalib/sqlite/Command.h"
#include "updaterlib/PackageDatabase.h"

namespace updaterlib {

bool QueryTableModel::_Has(int32_t row, int32_t column, int32_t type) const {
    return row >= 0 && row < RowCount() && column >= 0 && column < columnCount_ &&
           columns_[column].type == type;
}

const char* QueryTableModel::GetText(int32_t row, int32_t column) const {
    if (!_Has(row, column, kText)) {
        return nullptr;
    }
    return rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(column)].c_str();
}

int32_t QueryTableModel::GetInt(int32_t row, int32_t column) const {
    if (!_Has(row, column, kInteger)) {
        return -1;
    }
    return rows_[static_cast<size_t>(row)].ints[static_cast<size_t>(column)];
}

int32_t QueryTableModel::ColumnType(int32_t column) const {
    if (column < 0 || column >= columnCount_) {
        return kNoColumn;
    }
    return columns_[column].type;
}

const char* QueryTableModel::ColumnName(int32_t column) const {
    if (column < 0 || column >= columnCount_) {
        return nullptr;
    }
    return columns_[column].name;
}

void QueryTableModel::_Load(PackageDatabase& database, const char* sql,
                            std::initializer_list<IntParameter> parameters) {
    std::lock_guard guard(database.Lock());
    quorvalib::sqlite::Command command(database);
    if (!command.Create(sql)) {
        return;
    }
    for (const IntParameter& parameter : parameters) {
        if (!command.Bind(parameter.value, parameter.name)) {
            return;
        }
    }
    const size_t count = static_cast<size_t>(columnCount_);
    while (command.GetRow()) {
        Row row;
        row.texts.resize(count);
        row.ints.assign(count, 0);
        for (size_t column = 0; column < count; ++column) {
            const ColumnInfo& info = columns_[column];
            if (info.type == kText) {
                row.texts[column] = command.GetText(info.source);
            } else {
                row.ints[column] = command.GetInt(info.source);
            }
        }
        rows_.push_back(std::move(row));
    }
    command.Finalize();
}

}  // namespace updaterlib
