#include "common/debug/LogChannel.h"

namespace common::debug {
namespace {
// Constant-initialised, so channels defined in any translation unit may link in before main.
LogChannel* g_firstChannel = nullptr;
}  // namespace

LogChannel::LogChannel(const char* channelName) : name(channelName), next(g_firstChannel) {
    g_firstChannel = this;
}

LogChannel* FirstChannel() { return g_firstChannel; }

}  // namespace common::debug
