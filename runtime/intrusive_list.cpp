// intrusive_list.cpp: push at the head, unlink anywhere; nodes live in the main heap.
#include "runtime/intrusive_list.h"
#include "runtime/main_heap.h"

void* AddListNode(ListNode** list, size_t payloadSize) {
    ListNode* node = static_cast<ListNode*>(MainHeapAlloc(sizeof(ListNode) + payloadSize));
    if (!node) return nullptr;
    LinkAtHead(list, node);
    return PayloadOfNode(node);
}

BOOL RemoveListNode(ListNode** list, void* payload) {
    ListNode* node = NodeOfPayload(payload);
    UnlinkNode(list, node);
    return MainHeapFree(node);
}
