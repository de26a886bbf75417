#include <gtest/gtest.h>

#include <vector>

#include "trvcore/util/LockedArray.h"
#include "trvcore/util/LockedList.h"

namespace {

struct Node : LockedListNode {
    explicit Node(int v, int* deaths = nullptr) : value(v), deaths(deaths) {}
    ~Node() override {
        if (deaths) ++*deaths;
    }
    int value;
    int* deaths;
};

std::vector<int> walk(LockedList& list) {
    std::vector<int> values;
    for (LockedListNode* n = list.first(); n; n = list.next()) values.push_back(static_cast<Node*>(n)->value);
    return values;
}

TEST(LockedList, InsertsAroundAnchorsAndAtTheEnds) {
    LockedList list;
    Node a(1), b(2), c(3), d(4);
    list.insertAfter(&b, nullptr);   // [2]
    list.insertBefore(&a, nullptr);  // [1 2]
    list.insertAfter(&d, nullptr);   // [1 2 4]
    list.insertBefore(&c, &d);       // [1 2 3 4]
    EXPECT_EQ(walk(list), (std::vector<int>{1, 2, 3, 4}));
    list.remove(&b, false);
    list.remove(&b, false);  // no longer in the list: nothing happens
    EXPECT_EQ(walk(list), (std::vector<int>{1, 3, 4}));
    list.insertAfter(&b, &a);
    EXPECT_EQ(walk(list), (std::vector<int>{1, 2, 3, 4}));
    list.insertAfter(&b, &d);  // already linked: refused, the list stays sound
    EXPECT_EQ(walk(list), (std::vector<int>{1, 2, 3, 4}));
    list.clear(false);
    EXPECT_EQ(list.first(), nullptr);
}

TEST(LockedList, RemoveAndClearFreeOnlyWhenAsked) {
    int deaths = 0;
    LockedList list;
    Node kept(9, &deaths);
    list.insertAfter(new Node(1, &deaths), nullptr);
    list.insertAfter(&kept, nullptr);
    list.remove(&kept, false);
    EXPECT_EQ(deaths, 0);
    list.clear(true);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(list.size(), 0);
}

TEST(LockedArray, GrowsInStepsOfFourAndKeepsOrderOnRemove) {
    int items[5];
    LockedArray<int> array;
    for (int& i : items) ASSERT_TRUE(array.push(&i));
    EXPECT_EQ(array.count(), 5);
    EXPECT_EQ(array.capacity(), 8);
    EXPECT_TRUE(array.remove(&items[0]));
    EXPECT_FALSE(array.remove(&items[0]));
    ASSERT_EQ(array.count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(array.at(i), &items[i + 1]);
    EXPECT_EQ(array.at(4), nullptr);
    EXPECT_EQ(array.at(-1), nullptr);
}

}  // namespace
