#pragma once

// Where the message boxes of device programs go: one line of UTF-8 per box,
//   caption TAB text TAB type
// with the type as 0x followed by 8 hexadecimal digits, and backslash, tab, line feed and
// carriage return inside caption and text written as \\, \t, \n and \r.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/CeTypes.h"

namespace device {

struct MessageRecord {
    std::u16string caption;
    std::u16string text;
    UINT type = 0;
    friend bool operator==(const MessageRecord&, const MessageRecord&) = default;
};

std::string FormatMessageRecord(const MessageRecord& record);  // with its line feed
std::optional<MessageRecord> ParseMessageRecord(std::string_view line);
// The records of a message file; lines that are not records are skipped.
std::vector<MessageRecord> ReadMessageLog(const std::filesystem::path& file);

}  // namespace device
