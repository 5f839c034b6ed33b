// intrusive_list.h: doubly linked lists whose nodes are one main-heap block of links + payload.
#pragma once
#include <windows.h>

// The link header in front of every payload. next = older neighbour, prev = newer neighbour.
struct ListNode {
    ListNode* next;
    ListNode* prev;
};

// The one way nodes are linked: any record whose first two fields are next and prev pointers to its own
// type (ListNode, and the block pool's chunks and shared-pool entries, whose layouts are fixed so).
// Pushes node at the head of *list.
template <typename Node> void LinkAtHead(Node** list, Node* node) {
    node->prev = nullptr;
    node->next = *list;
    if (*list) (*list)->prev = node;
    *list = node;
}
// Unlinks node from *list, which holds it; the node's own links are cleared.
template <typename Node> void UnlinkNode(Node** list, Node* node) {
    if (node == *list) *list = node->next;
    else if (node->prev) node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    node->next = node->prev = nullptr;
}

inline void* PayloadOfNode(ListNode* node) { return node + 1; }
inline ListNode* NodeOfPayload(void* payload) { return static_cast<ListNode*>(payload) - 1; }

// Pushes a zero-filled node with payloadSize bytes at the head of *list; returns the payload
// (null when the heap is exhausted, and then the list is unchanged).
void* AddListNode(ListNode** list, size_t payloadSize);
// Unlinks the node of payload from *list and frees it; returns the heap's result.
BOOL RemoveListNode(ListNode** list, void* payload);
