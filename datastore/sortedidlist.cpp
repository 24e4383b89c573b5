// The sorted id list of the book windows' page commands.
#include "sortedidlist.h"

#include <new>

#include "datastore.h"

void SortedIdList::SortedIdListClear() {
    while (head != NULL) SortedIdListPopFront();
    count = 0;
}

bool SortedIdList::SortedIdListPushFront(int32_t value) {
    SortedIdNode *node = new (std::nothrow) SortedIdNode;
    if (node == NULL) return false;
    node->value = value;
    node->next = head;
    head = node;
    count++;
    return true;
}

void SortedIdList::SortedIdListPopFront() {
    SortedIdNode *node = head;
    if (node == NULL) return;
    head = node->next;
    delete node;
    count--;
}

bool SortedIdList::SortedIdListInsertAfter(SortedIdNode *node, int32_t value) {
    SortedIdNode *added = new (std::nothrow) SortedIdNode;
    if (added == NULL) return false;
    added->value = value;
    added->next = node->next;
    node->next = added;
    count++;
    return true;
}

bool SortedIdList::SortedIdListInsert(int32_t value) {
    if (head == NULL) return SortedIdListPushFront(value);
    if (count >= kSortedIdListMax) {
        SortedIdListClear();
        return SortedIdListPushFront(value);
    }
    if (value < head->value) return SortedIdListPushFront(value);
    SortedIdNode *node = head;
    for (;;) {
        if (value == node->value) return true;
        if (node->next == NULL || value < node->next->value) return SortedIdListInsertAfter(node, value);
        node = node->next;
    }
}
