#pragma once

namespace quorvalib::platform {
class SyncEvent;
}

namespace quorvalib::eventloop {

// One handle a source wants the loop to wait on; the loop sets `signalled` when it fires.
struct WaitEntry {
    platform::SyncEvent* handle = nullptr;
    bool signalled = false;
};

}  // namespace quorvalib::eventloop
