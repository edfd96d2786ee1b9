#pragma once

// An owning doubly linked list of Aprvek elements, with an optional index over them that
// appending, inserting and removing keep in step.

#include <cstddef>
#include <memory>

#include "quorvalib/files/Aindex.h"

class Aseznam;

class Aprvek {
public:
    Aprvek() = default;
    virtual ~Aprvek() = default;
    Aprvek(const Aprvek&) = delete;
    Aprvek& operator=(const Aprvek&) = delete;

    Aprvek* Next() const { return next_.get(); }
    Aprvek* Prev() const { return prev_; }

private:
    friend class Aseznam;
    std::unique_ptr<Aprvek> next_;  // each element owns the one after it
    Aprvek* prev_ = nullptr;
};

class Aseznam {
public:
    // With an index, every element is entered in it.
    explicit Aseznam(std::unique_ptr<Aindex> index = nullptr);
    virtual ~Aseznam();
    Aseznam(const Aseznam&) = delete;
    Aseznam& operator=(const Aseznam&) = delete;

    Aprvek* Append(std::unique_ptr<Aprvek> element);
    // Before `before`; a null `before` appends.
    Aprvek* InsertBefore(Aprvek* before, std::unique_ptr<Aprvek> element);
    // Unlinks the element and hands it back.
    std::unique_ptr<Aprvek> Remove(Aprvek* element);
    // Unlinks and destroys it.
    void Delete(Aprvek* element) { Remove(element); }
    void Clear();

    Aprvek* Head() const { return head_.get(); }
    Aprvek* Tail() const { return tail_; }
    size_t Count() const { return count_; }
    Aindex* Index() const { return index_.get(); }

private:
    std::unique_ptr<Aprvek> head_;
    Aprvek* tail_ = nullptr;
    size_t count_ = 0;
    std::unique_ptr<Aindex> index_;
};
