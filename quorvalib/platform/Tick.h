#pragma once

#include <cstdint>

namespace quorvalib::platform {

// Milliseconds since an arbitrary start, from the steady clock. Wraps after about 49.7 days:
// compare two ticks only through their unsigned difference (later - earlier).
uint32_t GetTickCount();

// Signed distance from `from` to `to`, correct across one wrap-around.
inline int32_t TickDiff(uint32_t to, uint32_t from) { return static_cast<int32_t>(to - from); }

// Blocks the calling thread. Never used to wait for another thread: wait on its event instead.
void Sleep(uint32_t milliseconds);

}  // namespace quorvalib::platform
