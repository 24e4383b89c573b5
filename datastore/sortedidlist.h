// An ascending list of distinct row ids, for the "Delete This Page" commands
// of the Diary and Remark windows: they empty it, insert the rowid of every
// row on the page, then walk it from the smallest id.
#pragma once

#include <stdint.h>

enum { kSortedIdListMax = 1000 };  // inserting into a list this full empties it first

struct SortedIdNode {
    SortedIdNode *next;  // the following node, NULL at the end
    int32_t value;       // a row id
};

class SortedIdList {
  public:
    SortedIdList() : count(0), head(NULL) {}
    ~SortedIdList() { SortedIdListClear(); }
    SortedIdList(const SortedIdList &) = delete;
    SortedIdList &operator=(const SortedIdList &) = delete;

    // Frees every node; count becomes 0.
    void SortedIdListClear();
    // Returns true when the list holds no value.
    bool SortedIdListIsEmpty() const { return head == NULL; }
    // Inserts value in order; a value already there is not inserted again.
    // A list of kSortedIdListMax or more values is emptied first, so it then
    // holds value alone. Returns false, with the list unchanged, only when
    // no node could be allocated.
    bool SortedIdListInsert(int32_t value);
    // Returns the node of the smallest value, NULL when empty; follow next
    // to walk the values in ascending order.
    const SortedIdNode *SortedIdListFirst() const { return head; }

    // Inner operations of the insert; each returns false when no node could
    // be allocated.
    bool SortedIdListPushFront(int32_t value);
    void SortedIdListPopFront();  // nothing when empty
    bool SortedIdListInsertAfter(SortedIdNode *node, int32_t value);

    int32_t count;       // number of nodes, at most kSortedIdListMax
    SortedIdNode *head;  // the node of the smallest value, NULL when empty
};
