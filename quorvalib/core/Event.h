#pragma once

namespace quorvalib::core {

class Notifier;

// Base of everything emitted through a Notifier. Events are heap objects owned by their
// delivery path, which deletes them after the last handler ran (or at once if undeliverable).
class Event {
public:
    virtual ~Event() = default;

    // The notifier that emitted the event; set by Emit().
    Notifier* source = nullptr;
};

}  // namespace quorvalib::core
