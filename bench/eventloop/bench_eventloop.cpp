// Event delivery across threads and PostCall round trips on an Athr.
// Prints events per second (goal: at least 500,000) and the round-trip latency of a call.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "quorvalib/core/Notifier.h"
#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/system/Athr.h"

namespace core = quorvalib::core;
using quorvalib::platform::SyncEvent;
using Clock = std::chrono::steady_clock;

namespace {

struct TickEvent : core::Event {
    explicit TickEvent(uint64_t n) : number(n) {}
    uint64_t number;
};

class Counter : public core::ListenerBase {
public:
    void OnTick(TickEvent& event) {
        if (event.number != received) outOfOrder = true;
        if (++received == expected) done.Set();
    }
    uint64_t received = 0;
    uint64_t expected = 0;
    bool outOfOrder = false;
    SyncEvent done{SyncEvent::Mode::Manual};
};

double EventsPerSecond(Athr& thread, uint64_t count) {
    core::Notifier notifier(&thread);
    Counter counter;
    counter.expected = count;
    SyncEvent connected(SyncEvent::Mode::Manual);
    thread.PostCall([&] {
        core::Connect(counter, notifier, &Counter::OnTick);
        connected.Set();
    });
    connected.Wait();
    const auto start = Clock::now();
    for (uint64_t i = 0; i < count; ++i) core::Emit(notifier, std::make_unique<TickEvent>(i));
    counter.done.Wait();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (counter.outOfOrder) std::printf("  ERROR: events arrived out of order\n");
    SyncEvent disconnected(SyncEvent::Mode::Manual);
    thread.PostCall([&] {
        core::DisconnectAllDeferred(counter);
        disconnected.Set();
    });
    disconnected.Wait();
    return static_cast<double>(count) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t events = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
    const int calls = argc > 2 ? std::atoi(argv[2]) : 20000;
    auto thread = std::make_shared<Athr>();
    if (!thread->CreateThread()) return 1;

    std::printf("Event delivery to an Athr (%llu events emitted on another thread)\n",
                static_cast<unsigned long long>(events));
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        const double rate = EventsPerSecond(*thread, events);
        std::printf("  round %d: %.0f events/s\n", round + 1, rate);
        best = std::max(best, rate);
    }
    std::printf("  best: %.0f events/s (goal >= 500000): %s\n", best,
                best >= 500000 ? "met" : "NOT met");

    std::printf("PostCall round trip (%d calls, one at a time)\n", calls);
    std::vector<double> micros;
    micros.reserve(calls);
    SyncEvent answered(SyncEvent::Mode::Auto);
    for (int i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        thread->PostCall([&] { answered.Set(); });
        answered.Wait();
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double m : micros) sum += m;
    std::printf("  mean %.1f us, median %.1f us, p99 %.1f us, max %.1f us\n", sum / calls,
                micros[calls / 2], micros[calls * 99 / 100], micros.back());
    thread->HardStop();
    return 0;
}
