#pragma once

#include <string>

namespace quorvalib::sqlite {

// Names a placeholder or a result column: by position (kind 1: 1-based placeholder index,
// 0-based column index) or by name (any other kind: ":package_id" for a placeholder, the result
// column's name for a column). A name is only borrowed for the call it is passed to.
struct Reference {
    static constexpr int kPosition = 1;
    static constexpr int kName = 2;

    Reference(int position) : kind(kPosition), position(position) {}  // NOLINT: implicit by design
    Reference(const char* name) : kind(kName), name(name) {}           // NOLINT
    Reference(const std::string& name) : kind(kName), name(name.c_str()) {}  // NOLINT

    int kind;
    int position = 0;
    const char* name = nullptr;
};

}  // namespace quorvalib::sqlite
