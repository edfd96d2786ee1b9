#pragma once

// SIGINT and SIGTERM as a readable descriptor (signalfd): the signals are blocked in every
// thread and read by the main loop, so no work ever runs in a signal handler.

namespace tovctl {

class StopSignal {
public:
    // Blocks the signals in the calling thread (threads made later inherit the mask) and opens
    // the descriptor. Make it before any thread starts.
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool Valid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // Reads one pending signal; its number, or 0 when none is pending.
    int Take();

private:
    int fd_ = -1;
};

}  // namespace tovctl
