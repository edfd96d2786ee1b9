#include "quorvalib/eventloop/EventLoop.h"

#include <algorithm>

#include "common/debug/Log.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/platform/SyncEvent.h"
#include "quorvalib/platform/Tick.h"

TOV_DEFINE_LOG_CHANNEL(EventLoop);

namespace quorvalib::eventloop {

EventLoop::EventLoop(core::NotifiedBase* owner) : owner_(owner), preparedEnd_(polled_.end()) {}

EventLoop::~EventLoop() {
    entries_.clear();
    ranges_.clear();
    handles_.clear();
    while (!polled_.empty()) {
        EventLoopSource* source = polled_.front();
        RemoveSource(source);
        if (source->AutoDelete()) delete source;  // the loop owns auto-delete sources
    }
    std::vector<EventLoopSource*> messageSources;
    for (const auto& [number, source] : messageSources_) {
        if (std::find(messageSources.begin(), messageSources.end(), source) ==
            messageSources.end()) {
            messageSources.push_back(source);
        }
    }
    const std::vector<EventLoopSource*> owned = ownedMessageSources_;
    for (EventLoopSource* source : messageSources) RemoveSource(source);
    for (EventLoopSource* source : owned) delete source;  // the loop owns these
}

void EventLoop::AttachOwned(std::unique_ptr<EventLoopSource> source) {
    source->SetAutoDelete(true);
    EventLoopSource* raw = source.release();  // owned by the loop from here on
    raw->Attach(this);
    if (raw->Loop() != this) delete raw;  // refused (already present)
}

bool EventLoop::AddSource(EventLoopSource* source) {
    if (source->IsMessageSource()) {
        for (uint32_t number : source->Messages()) messageSources_[number] = source;
        source->loop_ = this;
        if (source->AutoDelete() &&
            std::find(ownedMessageSources_.begin(), ownedMessageSources_.end(), source) ==
                ownedMessageSources_.end()) {
            ownedMessageSources_.push_back(source);
        }
        return true;
    }
    if (std::find(polled_.begin(), polled_.end(), source) != polled_.end()) return false;
    auto position = std::find_if(polled_.begin(), polled_.end(), [&](EventLoopSource* other) {
        return other->Priority() > source->Priority();
    });
    polled_.insert(position, source);
    if (!source->loop_) source->loop_ = this;
    AddAllDescriptors(source);
    sourcesChanged_ = true;
    return true;
}

bool EventLoop::RemoveSource(EventLoopSource* source) {
    if (source->IsMessageSource()) {
        bool removed = false;
        for (auto it = messageSources_.begin(); it != messageSources_.end();) {
            if (it->second == source) {
                it = messageSources_.erase(it);
                removed = true;
            } else {
                ++it;
            }
        }
        std::erase(ownedMessageSources_, source);
        if (currentSource_ == source) currentSource_ = nullptr;
        if (source->loop_ == this) source->loop_ = nullptr;
        return removed;
    }
    auto found = std::find(polled_.begin(), polled_.end(), source);
    if (found == polled_.end()) return false;
    RemoveAllDescriptors(source);
    if (preparedEnd_ == found) ++preparedEnd_;
    polled_.erase(found);
    if (source->loop_ == this) source->loop_ = nullptr;
    sourcesChanged_ = true;
    return true;
}

bool EventLoop::Run() {
    if (polled_.empty() && messageSources_.empty()) return false;
    quit_.store(false, std::memory_order_release);
    while (!HasQuit()) Iterate();
    return true;
}

void EventLoop::Iterate() {
    int32_t timeoutMs = -1;
    if (current_.has) {
        // A message left from an earlier iteration: only sources that may come before its
        // own source get prepared, and nothing new is fetched.
        currentSource_ = FindMessageSource(current_.message.message);
        PrepareSources(currentSource_, timeoutMs);
        lastTick_ = platform::GetTickCount();
    } else {
        const bool ready = PrepareSources(nullptr, timeoutMs);
        Wait(ready ? 0 : timeoutMs);
        lastTick_ = platform::GetTickCount();
        currentSource_ = Fetch() ? FindMessageSource(current_.message.message) : nullptr;
    }
    DispatchOne();
}

bool EventLoop::PrepareSources(const EventLoopSource* limit, int32_t& timeoutMs) {
    bool ready = false;
    timeoutMs = -1;
    auto it = polled_.begin();
    for (; it != polled_.end(); ++it) {
        EventLoopSource* source = *it;
        if (limit && source->Priority() > limit->Priority()) break;
        int32_t wanted = -1;
        if (source->Prepare(wanted)) ready = true;
        if (wanted >= 0 && (timeoutMs < 0 || wanted < timeoutMs)) timeoutMs = wanted;
    }
    preparedEnd_ = it;
    return ready;
}

void EventLoop::Wait(int32_t timeoutMs) {
    platform::ThreadMessage queued;
    if (platform::PeekThreadMessage(queued, false)) return;
    if (timeoutMs == 0 && handles_.empty()) return;  // nothing to wait for
    const uint32_t timeout = timeoutMs < 0 ? platform::kInfinite : static_cast<uint32_t>(timeoutMs);
    const uint32_t result = platform::WaitForQueueOrEvents(handles_, timeout);
    if (result < entries_.size()) entries_[result].signalled = true;
}

bool EventLoop::Fetch() {
    platform::ThreadMessage message;
    while (platform::PeekThreadMessage(message, true)) {
        if (message.message == platform::kWmQuit) {
            quit_.store(true, std::memory_order_release);
            continue;
        }
        current_.has = true;
        current_.message = message;
        return true;
    }
    return false;
}

void EventLoop::DispatchOne() {
    if (HasQuit()) return;
    sourcesChanged_ = false;
    for (auto it = polled_.begin(); it != preparedEnd_; ++it) {
        EventLoopSource* source = *it;
        if (currentSource_ && source->Priority() > currentSource_->Priority()) break;
        if (source->Check()) {
            // Behind the other sources of its priority, so equal priorities take turns.
            auto behind = std::next(it);
            while (behind != polled_.end() && (*behind)->Priority() <= source->Priority()) {
                ++behind;
            }
            polled_.splice(behind, polled_, it);
            if (!source->Dispatch()) Finish(source);
            return;
        }
        if (sourcesChanged_) break;  // a Check changed the list under us
    }
    if (!current_.has) return;
    if (!currentSource_) {
        // No window receives thread messages here; an abort for a job that is gone is the
        // common case and is swallowed silently.
        if (current_.message.message != core::kMsgAbortJob) {
            TOV_LOG_DEBUG(EventLoop, "Message %04X has no loop source; dropped.",
                          current_.message.message);
        }
        current_.has = false;
        return;
    }
    EventLoopSource* source = currentSource_;
    if (source->Check() && !source->Dispatch()) Finish(source);
}

void EventLoop::Finish(EventLoopSource* source) {
    source->Detach();
    if (source->AutoDelete()) delete source;  // the loop owns auto-delete sources
}

void EventLoop::ConsumeMessage() {
    current_.has = false;
    current_.message = {};
    currentSource_ = nullptr;
}

bool EventLoop::TakeUndispatchedMessage(platform::ThreadMessage& message) {
    if (!current_.has) return false;
    message = current_.message;
    ConsumeMessage();
    return true;
}

EventLoopSource* EventLoop::FindMessageSource(uint32_t message) const {
    auto found = messageSources_.find(message);
    return found == messageSources_.end() ? nullptr : found->second;
}

std::pair<WaitEntry*, size_t> EventLoop::DescriptorsOf(const EventLoopSource* source) {
    auto found = ranges_.find(source);
    if (found == ranges_.end() || found->second.count == 0) return {nullptr, 0};
    return {entries_.data() + found->second.first, found->second.count};
}

void EventLoop::AddAllDescriptors(EventLoopSource* source) {
    if (source->descriptors_.empty()) return;
    if (ranges_.count(source)) {
        TOV_LOG_WARNING(EventLoop, "Source descriptor %p have already added something on EventLoop",
                        static_cast<const void*>(source));
    }
    InsertEntries(source, source->descriptors_.data(), source->descriptors_.size());
}

void EventLoop::AddDescriptorOf(EventLoopSource* source, const WaitEntry& entry) {
    if (std::find(polled_.begin(), polled_.end(), source) == polled_.end()) return;
    InsertEntries(source, &entry, 1);
}

void EventLoop::InsertEntries(EventLoopSource* source, const WaitEntry* entries, size_t count) {
    auto found = ranges_.find(source);
    size_t at = entries_.size();
    if (found != ranges_.end()) at = found->second.first + found->second.count;
    for (auto& [other, range] : ranges_) {
        if (other != source && range.first >= at) range.first += count;
    }
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), entries, entries + count);
    if (found != ranges_.end()) found->second.count += count;
    else ranges_[source] = {at, count};
    EntriesChanged();
}

void EventLoop::RemoveDescriptorOf(EventLoopSource* source, platform::SyncEvent* handle) {
    auto found = ranges_.find(source);
    if (found == ranges_.end()) return;
    Range& range = found->second;
    size_t removed = 0;
    for (size_t i = range.first + range.count; i-- > range.first;) {
        if (entries_[i].handle == handle) {
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
            ++removed;
        }
    }
    if (removed == 0) return;
    const size_t end = range.first + range.count;
    range.count -= removed;
    for (auto& [other, otherRange] : ranges_) {
        if (other != source && otherRange.first >= end) otherRange.first -= removed;
    }
    if (range.count == 0) ranges_.erase(found);
    EntriesChanged();
}

void EventLoop::RemoveAllDescriptors(EventLoopSource* source) {
    auto found = ranges_.find(source);
    if (found == ranges_.end()) return;
    const Range range = found->second;
    ranges_.erase(found);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(range.first),
                   entries_.begin() + static_cast<std::ptrdiff_t>(range.first + range.count));
    for (auto& [other, otherRange] : ranges_) {
        if (otherRange.first > range.first) otherRange.first -= range.count;
    }
    EntriesChanged();
}

void EventLoop::EntriesChanged() {
    handles_.clear();
    for (const WaitEntry& entry : entries_) handles_.push_back(entry.handle);
    for (auto& [source, range] : ranges_) {
        const_cast<EventLoopSource*>(source)->DescriptorsMoved(entries_.data() + range.first,
                                                               range.count);
    }
}

}  // namespace quorvalib::eventloop
