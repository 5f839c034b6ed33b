// intrusive_list.h: doubly linked lists whose nodes are one main-heap block of links + payload.
#pragma once
#include <windows.h>

// The link header in front of every payload. next = older neighbour, prev = newer neighbour.
struct ListNode {
    ListNode* next;
    ListNode* prev;
};

inline void* PayloadOfNode(ListNode* node) { return node + 1; }
inline ListNode* NodeOfPayload(void* payload) { return static_cast<ListNode*>(payload) - 1; }

// Pushes a zero-filled node with payloadSize bytes at the head of *list; returns the payload
// (null when the heap is exhausted, and then the list is unchanged).
void* AddListNode(ListNode** list, size_t payloadSize);
// Unlinks the node of payload from *list and frees it; returns the heap's result.
BOOL RemoveListNode(ListNode** list, void* payload);
