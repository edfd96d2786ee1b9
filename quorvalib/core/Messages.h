#pragma once

#include <cstdint>

namespace quorvalib::core {

// Thread messages that carry work between the library's threads.
inline constexpr uint32_t kMsgCreateQueue = 0x400;   // made and removed at thread start
inline constexpr uint32_t kMsgStartJob = 0x401;      // lparam: JobRequest*, wparam: kStartJobTag
inline constexpr uint32_t kMsgAbortJob = 0x402;      // lparam: IJob*, or 0 for whatever runs
inline constexpr uint32_t kMsgDeliverEvent = 0x403;  // lparam: Event*, wparam: 0
inline constexpr uint32_t kMsgRunCalls = 0x408;      // run the thread's queued calls
inline constexpr uintptr_t kStartJobTag = 0x81;

}  // namespace quorvalib::core
