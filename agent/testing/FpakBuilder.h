#pragma once

// Writes ".fpak" record lists for tests and fuzz seeds.

#include <cstdint>
#include <string>
#include <string_view>

namespace agent::testing {

class FpakBuilder {
public:
    FpakBuilder& File(std::string_view name, std::string_view data) {
        return FileRecord(name, static_cast<uint32_t>(data.size()), data);
    }
    // A file record whose recorded length may differ from the data that follows.
    FpakBuilder& FileRecord(std::string_view name, uint32_t length, std::string_view data) {
        Header(1, name);
        for (int i = 0; i < 4; ++i) {
            bytes_ += static_cast<char>((length >> (8 * i)) & 0xFF);
        }
        bytes_ += data;
        return *this;
    }
    FpakBuilder& Folder(std::string_view name) {
        Header(2, name);
        return *this;
    }
    FpakBuilder& End(uint8_t kind = 3) {
        bytes_ += static_cast<char>(kind);
        return *this;
    }
    FpakBuilder& Raw(std::string_view bytes) {
        bytes_ += bytes;
        return *this;
    }
    const std::string& Bytes() const { return bytes_; }

private:
    void Header(uint8_t kind, std::string_view name) {
        bytes_ += static_cast<char>(kind);
        bytes_ += static_cast<char>(name.size());
        bytes_ += name;
    }
    std::string bytes_;
};

}  // namespace agent::testing
