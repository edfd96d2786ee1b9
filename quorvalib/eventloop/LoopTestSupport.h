#pragma once

// Helpers for the loop tests: an owner thread object that posts to the thread that made it,
// and a polled source scripted by the test.

#include <functional>
#include <string>
#include <vector>

#include "quorvalib/core/NotifiedBase.h"
#include "quorvalib/eventloop/EventLoopSource.h"
#include "quorvalib/eventloop/JobHost.h"
#include "quorvalib/platform/ThreadQueue.h"

namespace quorvalib::eventloop::testing {

class LoopOwner : public core::NotifiedBase, public JobHost {
public:
    LoopOwner() : threadId(platform::CurrentThreadId()) { platform::EnsureThreadQueue(); }
    bool PostMsg(uint32_t message, intptr_t lparam, uintptr_t wparam) override {
        return platform::PostThreadMessage(threadId, message, wparam, lparam);
    }
    void SetJobState(uint32_t marker, core::IJob*) override { markers.push_back(marker); }
    void Quit() { PostMsg(platform::kWmQuit, 0, 0); }

    uint32_t threadId;
    std::vector<uint32_t> markers;
};

// A source whose answers come from the test. Logs "<name>" to the journal on every Dispatch.
class ScriptedSource : public EventLoopSource {
public:
    ScriptedSource(std::string name, int32_t priority, std::vector<std::string>& journal,
                   std::vector<uint32_t> messages = {})
        : EventLoopSource(name, priority, std::move(messages)), journal_(journal) {
        SetAutoDelete(false);
    }
    bool Prepare(int32_t& timeoutMs) override {
        timeoutMs = prepareTimeout;
        return ready;
    }
    bool Check() override { return check ? check() : ready; }
    bool Dispatch() override {
        journal_.push_back(Name());
        return dispatch ? dispatch() : true;
    }
    void DescriptorsMoved(WaitEntry* entries, size_t count) override {
        loopEntries = entries;
        loopEntryCount = count;
        ++moves;
    }

    bool ready = true;
    int32_t prepareTimeout = -1;
    std::function<bool()> check;
    std::function<bool()> dispatch;
    WaitEntry* loopEntries = nullptr;
    size_t loopEntryCount = 0;
    int moves = 0;

private:
    std::vector<std::string>& journal_;
};

}  // namespace quorvalib::eventloop::testing
