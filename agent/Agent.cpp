#include "agent/Agent.h"

#include <cstdio>

#include "agent/AgentCommands.h"
#include "agent/CommandLine.h"
#include "device/FileApi.h"
#include "device/SystemApi.h"

namespace agent {
namespace {

constexpr int kFlagDeleteRetries = 5;
constexpr device::DWORD kFlagRetryPause = 50;

void CreateRunningFlag() {
    device::HANDLE flag = device::CreateFileW(kRunningFlag, device::GENERIC_WRITE, 0, nullptr,
                                              device::CREATE_ALWAYS, 0, nullptr);
    if (flag != device::INVALID_HANDLE_VALUE) {
        device::CloseHandle(flag);
    }
}

void DeleteRunningFlag() {
    if (device::DeleteFileW(kRunningFlag)) {
        return;
    }
    for (int attempt = 0; attempt < kFlagDeleteRetries; ++attempt) {
        device::Sleep(kFlagRetryPause);
        if (device::DeleteFileW(kRunningFlag)) {
            return;
        }
    }
}

enum class Written { kDone, kNotCreated, kBroken };

Written WriteAnswer(std::u16string_view section, std::u16string_view value) {
    std::FILE* out = device::_wfopen(kOutputFile, u"wb");
    if (!out) {
        return Written::kNotCreated;
    }
    const std::string bytes = FormatAnswer(section, value);
    const bool complete = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    return complete && closed ? Written::kDone : Written::kBroken;
}

}  // namespace

std::string FormatAnswer(std::u16string_view section, std::u16string_view value) {
    std::u16string text;
    text.reserve(section.size() + value.size() + 3);
    text += u'[';
    text += section;
    text += u"]\n";
    text += value;
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

int AgentMain(std::u16string_view commandLine) {
    CreateRunningFlag();
    const auto tokens = TokenizeCommandLine(commandLine);
    const Answer answer = RunCommand(tokens);
    switch (WriteAnswer(tokens[0], answer.value)) {
        case Written::kDone:
            break;
        case Written::kNotCreated:
            // The flag stays: the wizard waits for its time-out, as it has no answer to read.
            return 1;
        case Written::kBroken:
            // A cut answer would read as a complete one: leave none, so the wizard sees at
            // once that there is no answer.
            device::DeleteFileW(kOutputFile);
            DeleteRunningFlag();
            return 1;
    }
    DeleteRunningFlag();
    return answer.failed ? 1 : 0;
}

}  // namespace agent
