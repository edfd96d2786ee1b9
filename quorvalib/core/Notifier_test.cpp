#include "quorvalib/core/Notifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorvalib/core/Messages.h"
#include "quorvalib/core/NotifiedBase.h"

namespace quorvalib::core {
namespace {

struct TextEvent : Event {
    TextEvent(std::string t, int* destroyed = nullptr) : text(std::move(t)), destroyed_(destroyed) {}
    ~TextEvent() override {
        if (destroyed_) ++*destroyed_;
    }
    std::string text;
    int* destroyed_;
};

// Writes "<name>:<text>" into a shared journal for every event.
class Recorder : public ListenerBase {
public:
    Recorder(std::string name, std::vector<std::string>& journal)
        : name_(std::move(name)), journal_(journal) {}
    void OnText(TextEvent& event) {
        journal_.push_back(name_ + ":" + event.text);
        if (onEvent) onEvent();
    }
    std::function<void()> onEvent;

private:
    std::string name_;
    std::vector<std::string>& journal_;
};

// A dispatcher thread stand-in that keeps what is posted.
class FakeThread : public NotifiedBase {
public:
    bool PostMsg(uint32_t message, intptr_t lparam, uintptr_t wparam) override {
        if (!accept) return false;
        posted.push_back({message, lparam, wparam});
        return true;
    }
    struct Posted {
        uint32_t message;
        intptr_t lparam;
        uintptr_t wparam;
    };
    bool accept = true;
    std::vector<Posted> posted;
};

TEST(Notifier, DeliversInConnectionOrderAndOncePerConnection) {
    std::vector<std::string> journal;
    Recorder a("a", journal), b("b", journal);
    Notifier notifier;
    Connect(a, notifier, &Recorder::OnText);
    Connect(b, notifier, &Recorder::OnText);
    Connect(a, notifier, &Recorder::OnText);
    EXPECT_EQ(notifier.Count(), 3u);
    int destroyed = 0;
    Emit(notifier, std::make_unique<TextEvent>("1", &destroyed));
    Emit(notifier, std::make_unique<TextEvent>("2", &destroyed));
    EXPECT_EQ(journal, (std::vector<std::string>{"a:1", "b:1", "a:1", "a:2", "b:2", "a:2"}));
    EXPECT_EQ(destroyed, 2);
}

TEST(Notifier, EventWithoutListenersIsDeletedAtOnce) {
    Notifier notifier;
    int destroyed = 0;
    Emit(notifier, std::make_unique<TextEvent>("x", &destroyed));
    EXPECT_EQ(destroyed, 1);
}

TEST(Notifier, DispatcherGetsTheEventAsAMessageAndDeliveryHappensLater) {
    std::vector<std::string> journal;
    Recorder a("a", journal);
    FakeThread thread;
    Notifier notifier(&thread);
    Connect(a, notifier, &Recorder::OnText);
    int destroyed = 0;
    Emit(notifier, std::make_unique<TextEvent>("posted", &destroyed));
    EXPECT_TRUE(journal.empty());
    ASSERT_EQ(thread.posted.size(), 1u);
    EXPECT_EQ(thread.posted[0].message, kMsgDeliverEvent);
    EXPECT_EQ(thread.posted[0].wparam, 0u);
    std::unique_ptr<Event> event(reinterpret_cast<Event*>(thread.posted[0].lparam));
    Notifier* source = event->source;
    EXPECT_EQ(source, &notifier);
    Deliver(*source, std::move(event));
    EXPECT_EQ(journal, std::vector<std::string>{"a:posted"});
    EXPECT_EQ(destroyed, 1);
}

TEST(Notifier, FailedPostDeletesTheEventAndRunsNoHandler) {
    std::vector<std::string> journal;
    Recorder a("a", journal);
    FakeThread thread;
    thread.accept = false;
    Notifier notifier(&thread);
    Connect(a, notifier, &Recorder::OnText);
    int destroyed = 0;
    Emit(notifier, std::make_unique<TextEvent>("lost", &destroyed));
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(journal.empty());
}

TEST(Notifier, DeferredDisconnectInsideAHandlerSkipsLaterConnectionsAndFreesThemLater) {
    std::vector<std::string> journal;
    Recorder quitter("q", journal), other("o", journal);
    Notifier notifier;
    Connect(quitter, notifier, &Recorder::OnText);
    Connect(other, notifier, &Recorder::OnText);
    Connect(quitter, notifier, &Recorder::OnText);
    Connect(other, notifier, &Recorder::OnText);
    quitter.onEvent = [&] { DisconnectAllDeferred(quitter); };

    Emit(notifier, std::make_unique<TextEvent>("1"));
    EXPECT_EQ(journal, (std::vector<std::string>{"q:1", "o:1", "o:1"}));
    // The later dead connection was freed during the walk; the running one stays until the
    // next delivery.
    EXPECT_EQ(notifier.Count(), 3u);

    Emit(notifier, std::make_unique<TextEvent>("2"));
    EXPECT_EQ(journal, (std::vector<std::string>{"q:1", "o:1", "o:1", "o:2", "o:2"}));
    EXPECT_EQ(notifier.Count(), 2u);
}

TEST(Notifier, DestroyedListenerIsUnlinkedAndNotifierMayDieFirst) {
    std::vector<std::string> journal;
    auto notifier = std::make_unique<Notifier>();
    Recorder stays("s", journal);
    {
        Recorder leaves("l", journal);
        Connect(leaves, *notifier, &Recorder::OnText);
        Connect(stays, *notifier, &Recorder::OnText);
        Connect(leaves, *notifier, &Recorder::OnText);
    }
    EXPECT_EQ(notifier->Count(), 1u);
    Emit(*notifier, std::make_unique<TextEvent>("1"));
    EXPECT_EQ(journal, std::vector<std::string>{"s:1"});
    notifier.reset();  // `stays` forgets it; its destructor must not touch the dead notifier
}

TEST(Notifier, ListenerDestroyedByItsOwnHandlerDuringDeliveryIsSafe) {
    std::vector<std::string> journal;
    Notifier notifier;
    auto doomed = std::make_unique<Recorder>("d", journal);
    Recorder after("a", journal);
    Connect(*doomed, notifier, &Recorder::OnText);
    Connect(*doomed, notifier, &Recorder::OnText);
    Connect(after, notifier, &Recorder::OnText);
    doomed->onEvent = [&] { doomed.reset(); };
    Emit(notifier, std::make_unique<TextEvent>("1"));
    EXPECT_EQ(journal, (std::vector<std::string>{"d:1", "a:1"}));
    EXPECT_EQ(notifier.Count(), 2u);  // the running connection stays, dead, until next time
    Emit(notifier, std::make_unique<TextEvent>("2"));
    EXPECT_EQ(journal, (std::vector<std::string>{"d:1", "a:1", "a:2"}));
    EXPECT_EQ(notifier.Count(), 1u);
}

TEST(Notifier, NestedDeliveryFromAHandlerKeepsTheOuterWalkValid) {
    std::vector<std::string> journal;
    Notifier notifier;
    Recorder first("f", journal), second("s", journal);
    Connect(first, notifier, &Recorder::OnText);
    Connect(second, notifier, &Recorder::OnText);
    bool nested = false;
    first.onEvent = [&] {
        if (nested) return;
        nested = true;
        DisconnectAllDeferred(first);
        Emit(notifier, std::make_unique<TextEvent>("inner"));
    };
    Emit(notifier, std::make_unique<TextEvent>("outer"));
    EXPECT_EQ(journal, (std::vector<std::string>{"f:outer", "s:inner", "s:outer"}));
    // Only the outermost walk frees: the inner one must not pull the running node away.
    EXPECT_EQ(notifier.Count(), 2u);
    Emit(notifier, std::make_unique<TextEvent>("next"));
    EXPECT_EQ(notifier.Count(), 1u);
}

}  // namespace
}  // namespace quorvalib::core
