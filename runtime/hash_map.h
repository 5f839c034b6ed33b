// hash_map.h: a chained hash map from text keys to fixed-size values, entries drawn from a shared pool.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/block_pool.h"
#include "runtime/intrusive_list.h"

// Only text keys and zero-filled values are supported here; of the flag bits only this one acts.
enum HashMapFlags : int32_t {
    HashCaseInsensitive = 1, // keys compared and hashed with A-Z folded to a-z
};

// Format notes: an entry is one pool block: next in the bucket chain, the key (a main-heap copy of
// the key text), then valueSize bytes of value.
struct HashEntry {
    HashEntry* next;
    void* key;
};

inline void* ValueOfEntry(HashEntry* entry) { return entry ? entry + 1 : nullptr; }

struct HashMap {
    HashEntry* current;
    HashEntry** buckets;       // bucketCount chain heads
    HashEntry* previous;       // the entry visited before current (lets a deletion resume the walk)
    HashEntry* scratch;        // zero-filled entry whose key is the empty text
    const void* valueLayout;   // kept for the owner; this map initialises values by zero-filling only
    int32_t currentBucket;
    int32_t savedBucket;       // bucket of previous
    int32_t valueSize;
    int32_t keyKind;           // stored for the owner, never read here
    int32_t bucketCount;
    int32_t entryCount;
    int32_t flags;
    HashMap** ownerVariable;   // set to null when the map is freed
    ListNode* extraBlocks;     // main-heap blocks that live and die with the map
    BlockPool* entryPool;      // shared by every map with the same entry size
};

// Frees any map held in *ownerVariable, then makes a new one and stores it there. bucketCount below 1
// counts as 1. Null when memory is short (then *ownerVariable is null too).
HashMap* CreateHashMap(HashMap** ownerVariable, int32_t valueSize, int32_t keyKind, const void* valueLayout,
                       int32_t bucketCount, int32_t flags);
// Empties the map, drops its entry pool reference, frees it and nulls the owner's variable.
void FreeHashMap(HashMap* map);

// Key hash: h = h * 65599 + c with 32-bit wrap-around; narrow characters sign-extended, wide ones
// as unsigned 16-bit units; folded first when caseInsensitive. A null key hashes as the empty text.
uint32_t HashKeyA(const char* key, bool caseInsensitive);
uint32_t HashKeyW(const wchar_t* key, bool caseInsensitive);

// Value of the entry with that key (it becomes current), or null. A null key is the empty text.
void* HashMapLookupA(HashMap* map, const char* key);
void* HashMapLookupW(HashMap* map, const wchar_t* key);
// A new entry with a copy of key pushed at the head of its chain; it becomes current. Its value is
// zero-filled. An existing entry of the same key is not replaced (lookup first to update). Null when
// memory is short.
void* HashMapInsertA(HashMap* map, const char* key);
void* HashMapInsertW(HashMap* map, const wchar_t* key);

// Iteration: reset, then each step gives the next value (bucket order, chain order), null at the end.
void ResetHashMapIteration(HashMap* map);
void* NextHashMapValue(HashMap* map);
// Key of the current entry (narrow or wide text as inserted), or null.
const void* CurrentHashMapKey(HashMap* map);
// Deletes the current entry; during an iteration the next step continues with the entry that
// followed it. Nothing happens without a current entry.
void DeleteCurrentHashMapEntry(HashMap* map);
