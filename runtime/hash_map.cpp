// hash_map.cpp: the chained hash map: hashing, lookup, insertion, iteration with deletion, freeing.
#include "runtime/hash_map.h"
#include "runtime/main_heap.h"
#include <cstring>
#include <cwchar>
#include <string>

// Case folding of the "C" locale (the program never changes locale): A-Z only. Hash and comparison
// use the same folding, so keys that compare equal always land in the same bucket.
static int32_t Fold(int32_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

uint32_t HashKeyA(const char* key, bool caseInsensitive) {
    uint32_t h = 0;
    for (const char* p = key ? key : ""; *p; ++p) {
        int32_t c = static_cast<signed char>(*p);
        if (caseInsensitive) c = Fold(c);
        h = h * 65599u + static_cast<uint32_t>(c);
    }
    return h;
}

uint32_t HashKeyW(const wchar_t* key, bool caseInsensitive) {
    uint32_t h = 0;
    for (const wchar_t* p = key ? key : L""; *p; ++p) {
        int32_t c = static_cast<uint16_t>(*p);
        if (caseInsensitive) c = Fold(c);
        h = h * 65599u + static_cast<uint32_t>(c);
    }
    return h;
}

template <typename Char> static bool KeysEqual(const Char* a, const Char* b, bool caseInsensitive) {
    for (;; ++a, ++b) {
        int32_t x = *a, y = *b;
        if (caseInsensitive) {
            x = Fold(x);
            y = Fold(y);
        }
        if (x != y) return false;
        if (x == 0) return true;
    }
}

HashMap* CreateHashMap(HashMap** ownerVariable, int32_t valueSize, int32_t keyKind, const void* valueLayout,
                       int32_t bucketCount, int32_t flags) {
    if (ownerVariable && *ownerVariable) FreeHashMap(*ownerVariable);
    if (valueSize < 0 || valueSize > 0x7FFF0000) return nullptr;
    if (bucketCount < 1) bucketCount = 1;
    HashMap* map = static_cast<HashMap*>(MainHeapAlloc(sizeof(HashMap)));
    if (!map) return nullptr;
    size_t entrySize = sizeof(HashEntry) + static_cast<size_t>(valueSize);
    map->buckets = static_cast<HashEntry**>(MainHeapAlloc(sizeof(HashEntry*) * static_cast<size_t>(bucketCount)));
    // The scratch entry's key points at zero bytes after its value: the empty text, narrow or wide.
    map->scratch = static_cast<HashEntry*>(MainHeapAlloc(entrySize + sizeof(wchar_t)));
    map->entryPool = CreateBlockPool(static_cast<int32_t>(entrySize), 16, 65536, PoolShared);
    if (!map->buckets || !map->scratch || !map->entryPool) {
        DestroyBlockPool(map->entryPool);
        MainHeapFree(map->scratch);
        MainHeapFree(map->buckets);
        MainHeapFree(map);
        return nullptr;
    }
    map->scratch->key = reinterpret_cast<char*>(map->scratch) + entrySize;
    map->valueLayout = valueLayout;
    map->currentBucket = -1;
    map->savedBucket = -1;
    map->valueSize = valueSize;
    map->keyKind = keyKind;
    map->bucketCount = bucketCount;
    map->flags = flags;
    map->ownerVariable = ownerVariable;
    if (ownerVariable) *ownerVariable = map;
    return map;
}

static void FreeEntry(HashMap* map, HashEntry* entry) {
    MainHeapFree(entry->key);
    FreePoolBlock(map->entryPool, entry);
    map->entryCount--;
}

void FreeHashMap(HashMap* map) {
    if (!map) return;
    for (int32_t b = 0; b < map->bucketCount; ++b) {
        HashEntry* entry = map->buckets[b];
        while (entry) {
            HashEntry* next = entry->next;
            FreeEntry(map, entry);
            entry = next;
        }
    }
    DestroyBlockPool(map->entryPool);
    MainHeapFree(map->buckets);
    MainHeapFree(map->scratch);
    while (map->extraBlocks) RemoveListNode(&map->extraBlocks, PayloadOfNode(map->extraBlocks));
    if (map->ownerVariable) *map->ownerVariable = nullptr;
    MainHeapFree(map);
}

template <typename Char> static void* Lookup(HashMap* map, const Char* key, uint32_t hash) {
    if (!map) return nullptr;
    static const Char empty[1] = {0};
    if (!key) key = empty;
    bool caseInsensitive = (map->flags & HashCaseInsensitive) != 0;
    int32_t bucket = static_cast<int32_t>(hash % static_cast<uint32_t>(map->bucketCount));
    HashEntry* before = nullptr;
    for (HashEntry* entry = map->buckets[bucket]; entry; entry = entry->next) {
        if (KeysEqual(static_cast<const Char*>(entry->key), key, caseInsensitive)) {
            map->current = entry;
            map->currentBucket = bucket;
            map->previous = before;
            // With no predecessor a resumed walk must restart at this bucket's head.
            map->savedBucket = before ? bucket : bucket - 1;
            return ValueOfEntry(entry);
        }
        before = entry;
    }
    return nullptr;
}

void* HashMapLookupA(HashMap* map, const char* key) {
    return map ? Lookup(map, key, HashKeyA(key, map->flags & HashCaseInsensitive)) : nullptr;
}

void* HashMapLookupW(HashMap* map, const wchar_t* key) {
    return map ? Lookup(map, key, HashKeyW(key, map->flags & HashCaseInsensitive)) : nullptr;
}

template <typename Char> static void* Insert(HashMap* map, const Char* key, uint32_t hash) {
    static const Char empty[1] = {0};
    if (!key) key = empty;
    size_t length = std::char_traits<Char>::length(key);
    Char* copy = static_cast<Char*>(MainHeapAllocRaw((length + 1) * sizeof(Char)));
    HashEntry* entry = copy ? static_cast<HashEntry*>(AllocPoolBlock(map->entryPool)) : nullptr;
    if (!entry) {
        MainHeapFree(copy);
        return nullptr;
    }
    memcpy(copy, key, (length + 1) * sizeof(Char));
    int32_t bucket = static_cast<int32_t>(hash % static_cast<uint32_t>(map->bucketCount));
    entry->key = copy;
    entry->next = map->buckets[bucket];
    map->buckets[bucket] = entry;
    memset(ValueOfEntry(entry), 0, static_cast<size_t>(map->valueSize));
    map->entryCount++;
    map->current = entry;
    map->currentBucket = bucket;
    map->previous = nullptr;
    map->savedBucket = bucket - 1;
    return ValueOfEntry(entry);
}

void* HashMapInsertA(HashMap* map, const char* key) {
    return map ? Insert(map, key, HashKeyA(key, map->flags & HashCaseInsensitive)) : nullptr;
}

void* HashMapInsertW(HashMap* map, const wchar_t* key) {
    return map ? Insert(map, key, HashKeyW(key, map->flags & HashCaseInsensitive)) : nullptr;
}

void ResetHashMapIteration(HashMap* map) {
    if (!map) return;
    map->current = nullptr;
    map->currentBucket = -1;
    map->previous = nullptr;
    map->savedBucket = -1;
}

void* NextHashMapValue(HashMap* map) {
    if (!map) return nullptr;
    map->previous = map->current;
    map->savedBucket = map->currentBucket;
    if (map->current && map->current->next) {
        map->current = map->current->next;
        return ValueOfEntry(map->current);
    }
    int32_t bucket = map->currentBucket < -1 ? 0 : map->currentBucket + 1;
    for (; bucket < map->bucketCount; ++bucket) {
        if (map->buckets[bucket]) {
            map->current = map->buckets[bucket];
            map->currentBucket = bucket;
            return ValueOfEntry(map->current);
        }
    }
    // Past the end: further steps keep answering null.
    map->current = nullptr;
    map->currentBucket = map->bucketCount;
    return nullptr;
}

const void* CurrentHashMapKey(HashMap* map) {
    return map && map->current ? map->current->key : nullptr;
}

void DeleteCurrentHashMapEntry(HashMap* map) {
    if (!map || !map->current) return;
    HashEntry* entry = map->current;
    int32_t bucket = map->currentBucket;
    if (bucket < 0 || bucket >= map->bucketCount) return;
    HashEntry** link = &map->buckets[bucket];
    if (map->previous && map->previous->next == entry) {
        link = &map->previous->next;
    } else {
        while (*link && *link != entry) link = &(*link)->next;
        if (!*link) return; // not in its bucket: the map's state was not made by this map
    }
    *link = entry->next;
    FreeEntry(map, entry);
    map->current = map->previous;
    map->currentBucket = map->savedBucket;
    map->previous = nullptr;
}
