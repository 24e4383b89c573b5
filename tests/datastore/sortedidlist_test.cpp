// The sorted id list of the page commands.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "books.h"
#include "sortedidlist.h"

namespace {

std::vector<int32_t> Values(const SortedIdList &list) {
    std::vector<int32_t> values;
    for (const SortedIdNode *node = list.SortedIdListFirst(); node != NULL; node = node->next) {
        values.push_back(node->value);
    }
    return values;
}

}  // namespace

TEST(SortedIdList, AscendingWithoutDuplicates) {
    SortedIdList list;
    EXPECT_TRUE(list.SortedIdListIsEmpty());
    EXPECT_EQ(list.SortedIdListFirst(), (const SortedIdNode *)NULL);
    list.SortedIdListClear();
    EXPECT_EQ(list.count, 0);

    for (int32_t v : {5, 3, 9, 3}) list.SortedIdListInsert(v);
    EXPECT_EQ(Values(list), (std::vector<int32_t>{3, 5, 9}));
    EXPECT_EQ(list.count, 3);

    for (int32_t v : {-7, 9, 6, INT32_MIN, 10, 0}) list.SortedIdListInsert(v);
    EXPECT_EQ(Values(list), (std::vector<int32_t>{INT32_MIN, -7, 0, 3, 5, 6, 9, 10}));
    EXPECT_EQ(list.count, 8);

    list.SortedIdListClear();
    EXPECT_TRUE(list.SortedIdListIsEmpty());
    EXPECT_EQ(list.count, 0);
}

TEST(SortedIdList, MatchesAnOrderedSet) {
    SortedIdList list;
    std::set<int32_t> expected;
    uint32_t seed = 12345;
    for (int i = 0; i < 1500 && expected.size() < 999; i++) {
        seed = seed * 1103515245u + 12345u;
        int32_t v = (int32_t)(seed >> 8) % 2000 - 1000;
        list.SortedIdListInsert(v);
        expected.insert(v);
        ASSERT_EQ(list.count, (int32_t)expected.size());
    }
    EXPECT_EQ(Values(list), std::vector<int32_t>(expected.begin(), expected.end()));
}

TEST(SortedIdList, AFullListStartsOver) {
    for (int32_t extra : {5000, 500}) {  // a new value, and one already there
        SortedIdList list;
        for (int32_t v = 1; v <= kSortedIdListMax; v++) list.SortedIdListInsert(v);
        ASSERT_EQ(list.count, kSortedIdListMax);
        list.SortedIdListInsert(extra);
        EXPECT_EQ(Values(list), std::vector<int32_t>{extra});
        EXPECT_EQ(list.count, 1);
    }
}

TEST(SortedIdList, TheSharedInstance) {
    PageRowIds.SortedIdListClear();
    PageRowIds.SortedIdListInsert(42);
    PageRowIds.SortedIdListInsert(7);
    EXPECT_EQ(Values(PageRowIds), (std::vector<int32_t>{7, 42}));
    PageRowIds.SortedIdListClear();
    EXPECT_TRUE(PageRowIds.SortedIdListIsEmpty());
}
