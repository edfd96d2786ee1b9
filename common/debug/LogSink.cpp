#include "common/debug/LogSink.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

#include "common/debug/LogChannel.h"

namespace common::debug {

// Process-wide: the logging lock, the list of every live sink and the sinks it owns.
class SinkRegistry {
public:
    static SinkRegistry& Instance() {
        static SinkRegistry registry;
        return registry;
    }

    ~SinkRegistry() { DestroyOwned(); }

    std::recursive_mutex& Lock() { return lock_; }

    void Link(LogSink& sink) {
        std::lock_guard guard(lock_);
        sink.older_ = newest_;
        if (newest_) newest_->newer_ = &sink;
        newest_ = &sink;
    }

    void Unlink(LogSink& sink) {
        std::lock_guard guard(lock_);
        if (sink.newer_) sink.newer_->older_ = sink.older_;
        else if (newest_ == &sink) newest_ = sink.older_;
        if (sink.older_) sink.older_->newer_ = sink.newer_;
        sink.newer_ = sink.older_ = nullptr;
        DetachLocked(sink);
    }

    LogSink& Adopt(std::unique_ptr<LogSink> sink) {
        std::lock_guard guard(lock_);
        owned_.push_back(std::move(sink));
        return *owned_.back();
    }

    void DestroyOwned() {
        // A sink's destructor takes the lock again to unlink itself, hence the recursive lock.
        std::lock_guard guard(lock_);
        while (!owned_.empty()) {
            std::unique_ptr<LogSink> newest = std::move(owned_.back());
            owned_.pop_back();
            newest.reset();
        }
    }

    static void DetachLocked(LogSink& sink) {
        for (LogChannel* channel = FirstChannel(); channel; channel = channel->next) {
            int last = -1;
            int found = -1;
            for (int slot = 0; slot < LogChannel::kSlots; ++slot) {
                LogSink* occupant = channel->sinks[slot].load(std::memory_order_relaxed);
                if (!occupant) break;
                if (occupant == &sink) found = slot;
                last = slot;
            }
            if (found < 0) continue;
            // Move the last occupied slot into the freed one; an empty slot ends the list.
            if (found != last) {
                channel->levels[found].store(channel->levels[last].load(std::memory_order_relaxed),
                                             std::memory_order_relaxed);
                channel->sinks[found].store(channel->sinks[last].load(std::memory_order_relaxed),
                                            std::memory_order_release);
            }
            channel->sinks[last].store(nullptr, std::memory_order_release);
            channel->levels[last].store(0, std::memory_order_relaxed);
            int maxLevel = 0;
            for (int slot = 0; slot < LogChannel::kSlots; ++slot) {
                maxLevel = std::max(maxLevel, channel->levels[slot].load(std::memory_order_relaxed));
            }
            channel->maxLevel.store(maxLevel, std::memory_order_relaxed);
        }
    }

private:
    SinkRegistry() = default;

    std::recursive_mutex lock_;
    LogSink* newest_ = nullptr;
    std::vector<std::unique_ptr<LogSink>> owned_;
};

LogSink::LogSink(std::string parameter) : parameter_(std::move(parameter)) {
    SinkRegistry::Instance().Link(*this);
}

LogSink::~LogSink() { SinkRegistry::Instance().Unlink(*this); }

namespace {

struct Selection {
    std::set<std::string, std::less<>> names;
    bool inverted = false;

    bool Selects(std::string_view channel) const {
        return names.contains(channel) != inverted;
    }
};

Selection ParseSelection(std::string_view text) {
    Selection selection;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find_first_of(",;", start), text.size());
        if (end == start) break;  // the first empty item ends the reading
        selection.names.emplace(text.substr(start, end - start));
        start = end + 1;
    }
    if (selection.names.contains("ALL") || selection.names.contains("all")) {
        selection.names.clear();
        selection.inverted = true;
    }
    if (selection.names.erase("ALLBUT") > 0) selection.inverted = true;
    return selection;
}

}  // namespace

void Attach(LogSink& sink, std::string_view selectionText, int level) {
    const Selection selection = ParseSelection(selectionText);
    std::lock_guard guard(SinkRegistry::Instance().Lock());
    for (LogChannel* channel = FirstChannel(); channel; channel = channel->next) {
        if (!selection.Selects(channel->name)) continue;
        int slot = 0;
        for (; slot < LogChannel::kSlots; ++slot) {
            LogSink* occupant = channel->sinks[slot].load(std::memory_order_relaxed);
            if (occupant == nullptr || occupant == &sink) break;
        }
        if (slot == LogChannel::kSlots) continue;  // four other sinks already: skipped silently
        const int slotLevel = std::max(channel->levels[slot].load(std::memory_order_relaxed), level);
        channel->levels[slot].store(slotLevel, std::memory_order_relaxed);
        channel->sinks[slot].store(&sink, std::memory_order_release);
        if (channel->maxLevel.load(std::memory_order_relaxed) < slotLevel) {
            channel->maxLevel.store(slotLevel, std::memory_order_relaxed);
        }
    }
}

void Detach(LogSink& sink) {
    std::lock_guard guard(SinkRegistry::Instance().Lock());
    SinkRegistry::DetachLocked(sink);
}

LogSink& AdoptSink(std::unique_ptr<LogSink> sink) {
    return SinkRegistry::Instance().Adopt(std::move(sink));
}

void DestroySinks() { SinkRegistry::Instance().DestroyOwned(); }

}  // namespace common::debug
