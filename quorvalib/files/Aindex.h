#pragma once

// A sorted array of (64-bit key, element) pairs with a halving search. The key of an element
// comes from the virtual Key(); the base uses the element's address. Entries with equal keys
// keep the order in which they were added. The index never owns its elements.

#include <cstddef>
#include <cstdint>
#include <vector>

class Aindex {
public:
    Aindex() = default;
    virtual ~Aindex() = default;
    Aindex(const Aindex&) = delete;
    Aindex& operator=(const Aindex&) = delete;

    virtual uint64_t Key(const void* element) const;

    // Sorted insert, after any entries with the same key.
    void Add(void* element);
    // Adds without sorting; call Sort before the next search. For bulk loading.
    void AddUnsorted(void* element);
    void Sort();
    // Removes this element (found by its key, then by address).
    bool Remove(const void* element);
    void Clear() { entries_.clear(); }
    void Reserve(size_t count);

    // The first element added with this key, or null.
    void* Find(uint64_t key) const;
    size_t Count() const { return entries_.size(); }
    void* At(size_t position) const { return entries_[position].element; }

private:
    struct Entry {
        uint64_t key;
        void* element;
    };
    static constexpr size_t kGrowth = 1024;

    void Reserve();
    // First position whose key is not below `key`.
    size_t LowerBound(uint64_t key) const;

    std::vector<Entry> entries_;
};
