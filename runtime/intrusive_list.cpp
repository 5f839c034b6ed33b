// intrusive_list.cpp: push at the head, unlink anywhere; nodes live in the main heap.
#include "runtime/intrusive_list.h"
#include "runtime/main_heap.h"

void* AddListNode(ListNode** list, size_t payloadSize) {
    ListNode* node = static_cast<ListNode*>(MainHeapAlloc(sizeof(ListNode) + payloadSize));
    if (!node) return nullptr;
    if (*list) {
        (*list)->prev = node;
        node->next = *list;
    }
    *list = node;
    return PayloadOfNode(node);
}

BOOL RemoveListNode(ListNode** list, void* payload) {
    ListNode* node = NodeOfPayload(payload);
    if (node == *list) {
        *list = node->next;
        if (node->next) node->next->prev = nullptr;
    } else {
        if (node->prev) node->prev->next = node->next;
        if (node->next) node->next->prev = node->prev;
    }
    return MainHeapFree(node);
}
