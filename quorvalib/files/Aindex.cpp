#include "quorvalib/files/Aindex.h"

#include <algorithm>

uint64_t Aindex::Key(const void* element) const {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(element));
}

void Aindex::Reserve() {
    // At least 1024 entries at a time, and in proportion beyond that so that a long index is
    // not copied again and again.
    if (entries_.size() == entries_.capacity()) {
        entries_.reserve(entries_.size() + std::max(kGrowth, entries_.size() / 2));
    }
}

void Aindex::Reserve(size_t count) { entries_.reserve(count); }

size_t Aindex::LowerBound(uint64_t key) const {
    size_t low = 0;
    size_t high = entries_.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (entries_[middle].key < key) low = middle + 1;
        else high = middle;
    }
    return low;
}

void Aindex::Add(void* element) {
    const uint64_t key = Key(element);
    Reserve();
    // After the equal keys: the upper bound.
    size_t position = LowerBound(key);
    while (position < entries_.size() && entries_[position].key == key) ++position;
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position), Entry{key, element});
}

void Aindex::AddUnsorted(void* element) {
    Reserve();
    entries_.push_back(Entry{Key(element), element});
}

void Aindex::Sort() {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
}

bool Aindex::Remove(const void* element) {
    const uint64_t key = Key(element);
    for (size_t position = LowerBound(key);
         position < entries_.size() && entries_[position].key == key; ++position) {
        if (entries_[position].element == element) {
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
            return true;
        }
    }
    return false;
}

void* Aindex::Find(uint64_t key) const {
    const size_t position = LowerBound(key);
    if (position < entries_.size() && entries_[position].key == key) {
        return entries_[position].element;
    }
    return nullptr;
}
