// object_registry.h: numbered objects (files, windows, gadgets) mapped to their records.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/intrusive_list.h"

// An object number: 0 and up are chosen by the caller; AutoNumber asks for a dynamic object
// whose number is the address of its record.
typedef intptr_t ObjectNumber;
const ObjectNumber AutoNumber = -1;

// Releases an object completely (closes its handle, frees extras, ReleaseObject of its number).
// Does nothing for a number without a live object.
typedef void (*ObjectReleaseCallback)(ObjectNumber number);

struct ObjectRegistry {
    int32_t elementSize;
    int32_t growStep;
    int32_t capacity;
    void** slots;                  // slot n: record of static number n, or null if never claimed
    ListNode* dynamicList;         // newest dynamic object first
    ObjectReleaseCallback release; // or null
    int32_t walkIndex;
    ListNode* walkNode;
};

// Record layout rule: the first field of every record is its platform handle (as wide as an
// address), and a record whose first field is 0 counts as no object.
ObjectRegistry* CreateObjectRegistry(int32_t elementSize, int32_t growStep, ObjectReleaseCallback release);
// Zero-filled record for number (static or AutoNumber); a still-open object is released first.
void* ClaimObject(ObjectRegistry* registry, ObjectNumber number);
// Record of a live object, or null.
void* LookupObject(ObjectRegistry* registry, ObjectNumber number);
// Static number: zero-fill its record (kept for reuse). Dynamic number: unlink and free it.
void ReleaseObject(ObjectRegistry* registry, ObjectNumber number);
// Calls the release callback for every object: static numbers ascending, then dynamic oldest first.
void ReleaseAllObjects(ObjectRegistry* registry);
// One walk per registry at a time; the cursor moves before a record is handed out, so the caller
// may release the object it has just received.
void BeginObjectWalk(ObjectRegistry* registry);
void* NextObject(ObjectRegistry* registry, ObjectNumber* numberOut);
