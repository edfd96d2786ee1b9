#pragma once

// Typed events from a source object to listeners.
//
//   class Service { public: core::Notifier done{workerThread}; };       // delivers on a thread
//   class Page : public core::ListenerBase { void OnDone(DoneEvent& e); };
//   core::Connect(page, service.done, &Page::OnDone);
//   core::Emit(service.done, std::make_unique<DoneEvent>(...));        // from any thread
//
// Connect, disconnection, Deliver and the notifier's destruction take no lock: they belong to
// the delivering thread (the dispatcher, or the emitting thread when there is none).

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>

#include "quorvalib/core/Event.h"
#include "quorvalib/core/ListenerBase.h"

namespace quorvalib::core {

class NotifiedBase;

class Notifier {
public:
    // With a dispatcher, events are posted to that thread and delivered there; without one,
    // they are delivered during Emit on the emitting thread. Fixed for the notifier's life.
    explicit Notifier(NotifiedBase* dispatcher = nullptr);
    ~Notifier();
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    NotifiedBase* Dispatcher() const { return dispatcher_; }
    // Connections in the list, including dead ones not yet freed.
    size_t Count() const { return count_; }

private:
    friend struct NotifierAccess;
    struct Connection {
        Connection* prev = this;
        Connection* next = this;
        ListenerBase* listener = nullptr;
        std::function<void(Event&)> handler;
        bool live = false;
    };

    NotifiedBase* const dispatcher_;
    Connection header_;  // circular list, in connection order
    size_t count_ = 0;
    int delivering_ = 0;  // nesting depth of Deliver on this notifier
};

// Internal link between notifiers and listeners.
struct NotifierAccess {
    static void Add(ListenerBase& listener, Notifier& notifier,
                    std::function<void(Event&)> handler);
    static void Unlink(Notifier& notifier, Notifier::Connection* connection);
    static void Forget(ListenerBase& listener, Notifier* notifier);
    static void Walk(Notifier& notifier, Event& event);
    static void DropListener(Notifier& notifier, ListenerBase& listener, bool deferred);
    static std::vector<Notifier*>& Notifiers(ListenerBase& listener) {
        return listener.notifiers_;
    }
};

// Appends a connection: `handler` runs on `listener` for every event delivered by `notifier`.
// Connecting twice gives two connections. The notifier must only emit events of type E.
template <typename L, typename C, typename E>
void Connect(L& listener, Notifier& notifier, void (C::*handler)(E&)) {
    static_assert(std::is_base_of_v<ListenerBase, L> && std::is_base_of_v<C, L>);
    static_assert(std::is_base_of_v<Event, std::remove_const_t<E>>);
    C* target = &listener;
    NotifierAccess::Add(listener, notifier,
                        [target, handler](Event& event) { (target->*handler)(static_cast<E&>(event)); });
}

// Sets event->source. With a dispatcher: posts the event to it (kMsgDeliverEvent), deleting
// it when the post fails. Without: delivers it at once.
void Emit(Notifier& notifier, std::unique_ptr<Event> event);

// Runs the live connections in order, frees dead ones, then deletes the event.
void Deliver(Notifier& notifier, std::unique_ptr<Event> event);

// Marks every connection of `listener` dead without unlinking it and forgets its notifiers.
// Safe inside a handler: later connections of the listener in the same walk are skipped; dead
// connections are freed by the next Deliver.
void DisconnectAllDeferred(ListenerBase& listener);

}  // namespace quorvalib::core
