#include "quorvalib/files/Aseznam.h"

Aseznam::Aseznam(std::unique_ptr<Aindex> index) : index_(std::move(index)) {}

Aseznam::~Aseznam() { Clear(); }

Aprvek* Aseznam::Append(std::unique_ptr<Aprvek> element) {
    return InsertBefore(nullptr, std::move(element));
}

Aprvek* Aseznam::InsertBefore(Aprvek* before, std::unique_ptr<Aprvek> element) {
    if (!element) return nullptr;
    Aprvek* raw = element.get();
    if (!before) {
        raw->prev_ = tail_;
        if (tail_) tail_->next_ = std::move(element);
        else head_ = std::move(element);
        tail_ = raw;
    } else {
        Aprvek* previous = before->prev_;
        std::unique_ptr<Aprvek>& link = previous ? previous->next_ : head_;
        raw->next_ = std::move(link);
        raw->prev_ = previous;
        before->prev_ = raw;
        link = std::move(element);
    }
    ++count_;
    if (index_) index_->Add(raw);
    return raw;
}

std::unique_ptr<Aprvek> Aseznam::Remove(Aprvek* element) {
    if (!element) return nullptr;
    if (index_) index_->Remove(element);
    Aprvek* previous = element->prev_;
    std::unique_ptr<Aprvek>& link = previous ? previous->next_ : head_;
    std::unique_ptr<Aprvek> owned = std::move(link);
    link = std::move(owned->next_);
    if (link) link->prev_ = previous;
    else tail_ = previous;
    owned->prev_ = nullptr;
    --count_;
    return owned;
}

void Aseznam::Clear() {
    if (index_) index_->Clear();
    // One at a time from the head: a long chain must not recurse in its destructors.
    while (head_) {
        std::unique_ptr<Aprvek> first = std::move(head_);
        head_ = std::move(first->next_);
    }
    tail_ = nullptr;
    count_ = 0;
}
