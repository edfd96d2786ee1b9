#include "quorvalib/files/Aseznam.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Element final : Aprvek {
    Element(int id, std::vector<int>* destroyed) : id(id), destroyed(destroyed) {}
    ~Element() override { destroyed->push_back(id); }
    int id;
    std::vector<int>* destroyed;
};

// Index by the element's id.
struct ById final : Aindex {
    uint64_t Key(const void* element) const override {
        return static_cast<uint64_t>(static_cast<const Element*>(static_cast<const Aprvek*>(element))->id);
    }
};

std::vector<int> Ids(const Aseznam& list) {
    std::vector<int> ids;
    for (Aprvek* e = list.Head(); e; e = e->Next()) ids.push_back(static_cast<Element*>(e)->id);
    std::vector<int> backwards;
    for (Aprvek* e = list.Tail(); e; e = e->Prev()) backwards.insert(backwards.begin(), static_cast<Element*>(e)->id);
    EXPECT_EQ(ids, backwards);
    EXPECT_EQ(ids.size(), list.Count());
    return ids;
}

TEST(Aseznam, AppendInsertRemoveKeepLinksAndIndexInStep) {
    std::vector<int> destroyed;
    {
        Aseznam list(std::make_unique<ById>());
        Aprvek* two = list.Append(std::make_unique<Element>(2, &destroyed));
        list.Append(std::make_unique<Element>(4, &destroyed));
        list.InsertBefore(two, std::make_unique<Element>(1, &destroyed));
        Aprvek* three = list.InsertBefore(list.Tail(), std::make_unique<Element>(3, &destroyed));
        EXPECT_EQ(Ids(list), (std::vector<int>{1, 2, 3, 4}));
        EXPECT_EQ(list.Index()->Find(3), static_cast<void*>(three));
        EXPECT_EQ(list.Index()->Count(), 4u);

        std::unique_ptr<Aprvek> removed = list.Remove(three);
        EXPECT_EQ(Ids(list), (std::vector<int>{1, 2, 4}));
        EXPECT_EQ(list.Index()->Find(3), nullptr);
        EXPECT_TRUE(destroyed.empty());
        removed.reset();
        EXPECT_EQ(destroyed, std::vector<int>{3});

        list.Delete(list.Head());
        list.Delete(list.Tail());
        EXPECT_EQ(Ids(list), std::vector<int>{2});
        EXPECT_EQ(destroyed, (std::vector<int>{3, 1, 4}));
    }
    EXPECT_EQ(destroyed, (std::vector<int>{3, 1, 4, 2}));
}

TEST(Aseznam, LongListIsDestroyedWithoutRecursion) {
    std::vector<int> destroyed;
    destroyed.reserve(200000);
    {
        Aseznam list;
        for (int i = 0; i < 200000; ++i) list.Append(std::make_unique<Element>(i, &destroyed));
    }
    EXPECT_EQ(destroyed.size(), 200000u);
}

TEST(Aindex, SortedInsertHalvingSearchAndEqualKeys) {
    ById index;
    std::vector<int> destroyed;
    std::vector<std::unique_ptr<Element>> elements;
    for (int id : {50, 10, 30, 10, 70}) elements.push_back(std::make_unique<Element>(id, &destroyed));
    for (auto& e : elements) index.Add(static_cast<Aprvek*>(e.get()));
    EXPECT_EQ(index.Find(10), static_cast<Aprvek*>(elements[1].get()));  // first added
    EXPECT_EQ(index.Find(70), static_cast<Aprvek*>(elements[4].get()));
    EXPECT_EQ(index.Find(20), nullptr);
    for (size_t i = 1; i < index.Count(); ++i) {
        EXPECT_LE(index.Key(index.At(i - 1)), index.Key(index.At(i)));
    }
    EXPECT_TRUE(index.Remove(static_cast<Aprvek*>(elements[1].get())));
    EXPECT_EQ(index.Find(10), static_cast<Aprvek*>(elements[3].get()));
    EXPECT_FALSE(index.Remove(static_cast<Aprvek*>(elements[1].get())));

    Aindex byAddress;  // the base keys by the pointer itself
    int a = 0, b = 0;
    byAddress.Add(&b);
    byAddress.Add(&a);
    EXPECT_EQ(byAddress.Find(reinterpret_cast<uintptr_t>(&a)), &a);
}

}  // namespace
