#pragma once

#include <vector>

namespace quorvalib::core {

class Notifier;
struct NotifierAccess;

// Base of every object that receives events. Destroying a listener removes all of its
// connections, so a handler never runs on a dead listener.
class ListenerBase {
public:
    virtual ~ListenerBase();

protected:
    ListenerBase() = default;
    ListenerBase(const ListenerBase&) = delete;
    ListenerBase& operator=(const ListenerBase&) = delete;

private:
    friend struct NotifierAccess;
    std::vector<Notifier*> notifiers_;  // each once, however many connections it has there
};

}  // namespace quorvalib::core
