// object_registry.cpp: static numbers index a slot array; dynamic numbers are record addresses in a list.
#include "runtime/object_registry.h"
#include "runtime/main_heap.h"
#include <cstring>
#include <cstdint>

// A record whose first field is 0 holds no object (the field is the platform handle, as wide as an
// address).
static bool IsLive(const void* record) {
    uintptr_t mark;
    memcpy(&mark, record, sizeof mark);
    return mark != 0;
}

static bool IsSlotNumber(const ObjectRegistry* registry, ObjectNumber number) {
    return number >= 0 && number < registry->capacity;
}

// The record of a live static object, or null.
static void* LiveSlotRecord(const ObjectRegistry* registry, ObjectNumber number) {
    if (!IsSlotNumber(registry, number)) return nullptr;
    void* record = registry->slots[number];
    return record && IsLive(record) ? record : nullptr;
}

// The node of the dynamic object whose record address is number, or null when the list holds none.
// Every value outside the slots is looked up this way, so a garbage number simply finds nothing.
// Record addresses can lie above 2 GiB (the program is large-address-aware), where they read as
// negative numbers: they are still found here.
static ListNode* FindDynamicNode(const ObjectRegistry* registry, ObjectNumber number) {
    for (ListNode* node = registry->dynamicList; node; node = node->next) {
        if (reinterpret_cast<ObjectNumber>(PayloadOfNode(node)) == number) return node;
    }
    return nullptr;
}

ObjectRegistry* CreateObjectRegistry(int32_t elementSize, int32_t growStep, ObjectReleaseCallback release) {
    ObjectRegistry* registry = static_cast<ObjectRegistry*>(MainHeapAlloc(sizeof(ObjectRegistry)));
    if (!registry) return nullptr;
    // A step below 1 could never make room for a new number.
    if (growStep < 1) growStep = 1;
    // Room for the liveness mark at least.
    if (elementSize < static_cast<int32_t>(sizeof(uintptr_t))) elementSize = sizeof(uintptr_t);
    registry->elementSize = elementSize;
    registry->growStep = growStep;
    registry->slots = static_cast<void**>(MainHeapAlloc(sizeof(void*) * static_cast<size_t>(growStep)));
    registry->capacity = registry->slots ? growStep : 0;
    registry->release = release;
    return registry;
}

// The most slots an array may have: 2^29 slots are 2 GiB on the 32-bit build, more than its heap gives in
// one piece, so the limit refuses nothing there that could be had; on the 64-bit build it keeps a stray
// large number from committing many gigabytes, so both builds refuse the same numbers.
static const int64_t MaxSlots = int64_t(1) << 29;

// Grows the slot array to number + growth step slots (never doubling); the new slots are null.
// A count past MaxSlots is refused (on the 32-bit build the byte count of 2^30 slots would wrap, and the
// array would shrink under numbers still in use).
static bool GrowSlots(ObjectRegistry* registry, ObjectNumber number) {
    int64_t wanted = static_cast<int64_t>(number) + registry->growStep;
    if (wanted > MaxSlots || static_cast<uint64_t>(wanted) > SIZE_MAX / sizeof(void*)) return false;
    void** slots = static_cast<void**>(MainHeapReAlloc(registry->slots, sizeof(void*) * static_cast<size_t>(wanted)));
    if (!slots) return false;
    registry->slots = slots;
    registry->capacity = static_cast<int32_t>(wanted);
    return true;
}

void* ClaimObject(ObjectRegistry* registry, ObjectNumber number) {
    if (!registry) return nullptr;
    if (number == AutoNumber) {
        return AddListNode(&registry->dynamicList, static_cast<size_t>(registry->elementSize));
    }
    // Below -1 there are no static numbers to claim.
    if (number < 0) return nullptr;
    if (number >= registry->capacity && !GrowSlots(registry, number)) return nullptr;
    void* record = registry->slots[number];
    if (record) {
        // The number was claimed before: the callback closes a still-open object and zero-fills
        // the record through ReleaseObject; the record memory stays the same.
        if (registry->release) registry->release(number);
        // A record left behind by a failed open (first field 0, other fields set) comes back clean too.
        memset(record, 0, static_cast<size_t>(registry->elementSize));
        return record;
    }
    record = MainHeapAlloc(static_cast<size_t>(registry->elementSize));
    registry->slots[number] = record;
    return record;
}

// A live static object wins; otherwise the number may be a dynamic object's address, even when the
// slot array has since grown past that address (a large static number was claimed later).
void* LookupObject(ObjectRegistry* registry, ObjectNumber number) {
    if (!registry) return nullptr;
    if (void* record = LiveSlotRecord(registry, number)) return record;
    ListNode* node = FindDynamicNode(registry, number);
    void* record = node ? PayloadOfNode(node) : nullptr;
    return record && IsLive(record) ? record : nullptr;
}

void ReleaseObject(ObjectRegistry* registry, ObjectNumber number) {
    if (!registry) return;
    ListNode* node = LiveSlotRecord(registry, number) ? nullptr : FindDynamicNode(registry, number);
    if (!node) {
        if (IsSlotNumber(registry, number) && registry->slots[number])
            memset(registry->slots[number], 0, static_cast<size_t>(registry->elementSize));
        return;
    }
    // A walk that is about to hand out this node goes on with the next newer one instead.
    if (registry->walkNode == node) registry->walkNode = node->prev;
    RemoveListNode(&registry->dynamicList, PayloadOfNode(node));
}

void ReleaseAllObjects(ObjectRegistry* registry) {
    if (!registry || !registry->release) return;
    BeginObjectWalk(registry);
    ObjectNumber number;
    while (NextObject(registry, &number)) registry->release(number);
}

void BeginObjectWalk(ObjectRegistry* registry) {
    if (!registry) return;
    registry->walkIndex = 0;
    ListNode* oldest = registry->dynamicList;
    while (oldest && oldest->next) oldest = oldest->next;
    registry->walkNode = oldest;
}

void* NextObject(ObjectRegistry* registry, ObjectNumber* numberOut) {
    if (!registry) return nullptr;
    // Both cursors move on before a record is handed out, so the caller may release it.
    while (registry->walkIndex >= 0 && registry->walkIndex < registry->capacity) {
        int32_t index = registry->walkIndex++;
        void* record = registry->slots[index];
        if (record && IsLive(record)) {
            if (numberOut) *numberOut = index;
            return record;
        }
    }
    if (registry->walkNode) {
        ListNode* node = registry->walkNode;
        registry->walkNode = node->prev;
        void* record = PayloadOfNode(node);
        if (numberOut) *numberOut = reinterpret_cast<ObjectNumber>(record);
        return record;
    }
    return nullptr;
}
