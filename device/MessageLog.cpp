#include "device/MessageLog.h"

#include <charconv>
#include <fstream>

#include "device/Utf16.h"

namespace device {
namespace {

std::string Escape(std::u16string_view text) {
    std::string out;
    for (const char c : ToUtf8(text)) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::optional<std::u16string> Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            default: return std::nullopt;
        }
    }
    return ToUtf16(out);
}

}  // namespace

std::string FormatMessageRecord(const MessageRecord& record) {
    char type[16];
    const auto end = std::to_chars(type, type + sizeof type, record.type, 16).ptr;
    const std::string digits(type, end);
    return Escape(record.caption) + "\t" + Escape(record.text) + "\t0x" +
           std::string(8 - std::min<size_t>(8, digits.size()), '0') + digits + "\n";
}

std::optional<MessageRecord> ParseMessageRecord(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    const auto first = line.find('\t');
    const auto second = first == std::string_view::npos ? first : line.find('\t', first + 1);
    if (second == std::string_view::npos || line.find('\t', second + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view type = line.substr(second + 1);
    MessageRecord record;
    if (type.size() != 10 || type.substr(0, 2) != "0x" ||
        std::from_chars(type.data() + 2, type.data() + type.size(), record.type, 16).ptr !=
            type.data() + type.size()) {
        return std::nullopt;
    }
    auto caption = Unescape(line.substr(0, first));
    auto text = Unescape(line.substr(first + 1, second - first - 1));
    if (!caption || !text) {
        return std::nullopt;
    }
    record.caption = std::move(*caption);
    record.text = std::move(*text);
    return record;
}

std::vector<MessageRecord> ReadMessageLog(const std::filesystem::path& file) {
    std::vector<MessageRecord> records;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (auto record = ParseMessageRecord(line)) {
            records.push_back(std::move(*record));
        }
    }
    return records;
}

}  // namespace device
