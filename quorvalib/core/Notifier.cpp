#include "quorvalib/core/Notifier.h"

#include <algorithm>

#include "quorvalib/core/Messages.h"
#include "quorvalib/core/NotifiedBase.h"

namespace quorvalib::core {

Notifier::Notifier(NotifiedBase* dispatcher) : dispatcher_(dispatcher) {}

Notifier::~Notifier() {
    Connection* connection = header_.next;
    while (connection != &header_) {
        Connection* next = connection->next;
        if (connection->listener) NotifierAccess::Forget(*connection->listener, this);
        delete connection;  // connections are owned by this list
        connection = next;
    }
}

void NotifierAccess::Add(ListenerBase& listener, Notifier& notifier,
                         std::function<void(Event&)> handler) {
    auto& known = listener.notifiers_;
    if (std::find(known.begin(), known.end(), &notifier) == known.end()) {
        known.push_back(&notifier);
    }
    auto connection = std::make_unique<Notifier::Connection>();
    connection->listener = &listener;
    connection->handler = std::move(handler);
    connection->live = true;
    Notifier::Connection* last = notifier.header_.prev;
    connection->prev = last;
    connection->next = &notifier.header_;
    last->next = connection.get();
    notifier.header_.prev = connection.release();  // owned by the list from here on
    ++notifier.count_;
}

void NotifierAccess::Unlink(Notifier& notifier, Notifier::Connection* connection) {
    connection->prev->next = connection->next;
    connection->next->prev = connection->prev;
    --notifier.count_;
    delete connection;
}

void NotifierAccess::Forget(ListenerBase& listener, Notifier* notifier) {
    auto& known = listener.notifiers_;
    known.erase(std::remove(known.begin(), known.end(), notifier), known.end());
}

void NotifierAccess::DropListener(Notifier& notifier, ListenerBase& listener, bool deferred) {
    // A walk in progress holds a pointer into the list, so during delivery connections are
    // only marked dead; the outermost Deliver frees them.
    const bool markOnly = deferred || notifier.delivering_ > 0;
    Notifier::Connection* connection = notifier.header_.next;
    while (connection != &notifier.header_) {
        Notifier::Connection* next = connection->next;
        if (connection->listener == &listener) {
            if (markOnly) {
                connection->listener = nullptr;
                connection->live = false;
            } else {
                Unlink(notifier, connection);
            }
        }
        connection = next;
    }
}

ListenerBase::~ListenerBase() {
    for (Notifier* notifier : notifiers_) {
        NotifierAccess::DropListener(*notifier, *this, false);
    }
    notifiers_.clear();
}

void Emit(Notifier& notifier, std::unique_ptr<Event> event) {
    event->source = &notifier;
    if (NotifiedBase* dispatcher = notifier.Dispatcher()) {
        // The message owns the event until its thread delivers it.
        Event* posted = event.release();
        if (!dispatcher->PostMsg(kMsgDeliverEvent, reinterpret_cast<intptr_t>(posted), 0)) {
            delete posted;
        }
        return;
    }
    Deliver(notifier, std::move(event));
}

void NotifierAccess::Walk(Notifier& notifier, Event& event) {
    ++notifier.delivering_;
    Notifier::Connection* connection = notifier.header_.next;
    while (connection != &notifier.header_) {
        if (connection->live) {
            connection->handler(event);
            // Still linked: nothing is unlinked while a walk runs.
            connection = connection->next;
        } else if (notifier.delivering_ == 1) {
            Notifier::Connection* next = connection->next;
            Unlink(notifier, connection);
            connection = next;
        } else {
            connection = connection->next;
        }
    }
    --notifier.delivering_;
}

void Deliver(Notifier& notifier, std::unique_ptr<Event> event) {
    NotifierAccess::Walk(notifier, *event);
}

void DisconnectAllDeferred(ListenerBase& listener) {
    std::vector<Notifier*> known = std::move(NotifierAccess::Notifiers(listener));
    NotifierAccess::Notifiers(listener).clear();
    for (Notifier* notifier : known) NotifierAccess::DropListener(*notifier, listener, true);
}

}  // namespace quorvalib::core
