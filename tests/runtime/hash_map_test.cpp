// hash_map_test.cpp: hashing, lookup, case folding, iteration with deletion and freeing of the hash map.
#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include "runtime/hash_map.h"

TEST(HashKey, MultipliesBy65599WithWrapAround) {
    EXPECT_EQ(0u, HashKeyA("", false));
    EXPECT_EQ(0u, HashKeyA(nullptr, false));
    EXPECT_EQ(97u * 65599u + 98u, HashKeyA("ab", false));
    uint32_t h = 0;
    for (const char* p = "13100:-1:-1:-1"; *p; ++p) h = h * 65599u + static_cast<unsigned char>(*p);
    EXPECT_EQ(h, HashKeyA("13100:-1:-1:-1", false));
    EXPECT_EQ(HashKeyA("ab", false), HashKeyW(L"ab", false));
}

TEST(HashKey, NarrowIsSignExtendedWideIsUnsigned) {
    EXPECT_EQ(0xFFFFFFE9u, HashKeyA("\xE9", false));
    EXPECT_EQ(0xE9u, HashKeyW(L"\u00E9", false));
    EXPECT_EQ(0xFFFFu, HashKeyW(L"\uFFFF", false));
}

TEST(HashKey, CaseInsensitiveFoldsFirst) {
    EXPECT_EQ(HashKeyA("key", false), HashKeyA("KeY", true));
    EXPECT_NE(HashKeyA("key", false), HashKeyA("KeY", false));
    EXPECT_EQ(HashKeyW(L"key", false), HashKeyW(L"KEY", true));
}

struct MapOwner {
    HashMap* map = nullptr;
    ~MapOwner() { FreeHashMap(map); }
};

TEST(HashMap, InsertLookupAndOwnerVariable) {
    MapOwner m;
    ASSERT_NE(nullptr, CreateHashMap(&m.map, 8, 7, nullptr, 1024, 0));
    EXPECT_EQ(1024, m.map->bucketCount);
    EXPECT_EQ(7, m.map->keyKind);
    // Next and key, the 8-byte value, the chunk address: 4-byte words on the 32-bit build, 8 on the 64-bit one.
    EXPECT_EQ(sizeof(void*) == 4 ? 20 : 32, m.map->entryPool->slotSize);
    EXPECT_EQ(nullptr, HashMapLookupA(m.map, "a"));

    int32_t* a = static_cast<int32_t*>(HashMapInsertA(m.map, "a"));
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(0, a[0]);
    EXPECT_EQ(0, a[1]);
    a[1] = 42;
    char key[] = "b";
    static_cast<int32_t*>(HashMapInsertA(m.map, key))[0] = 7;
    key[0] = 'x'; // the map keeps its own copy
    EXPECT_EQ(2, m.map->entryCount);
    EXPECT_EQ(a, HashMapLookupA(m.map, "a"));
    EXPECT_EQ(42, static_cast<int32_t*>(HashMapLookupA(m.map, "a"))[1]);
    EXPECT_STREQ("a", static_cast<const char*>(CurrentHashMapKey(m.map)));
    ASSERT_NE(nullptr, HashMapLookupA(m.map, "b"));
    EXPECT_EQ(7, static_cast<int32_t*>(HashMapLookupA(m.map, "b"))[0]);
    EXPECT_EQ(nullptr, HashMapLookupA(m.map, "x"));
    EXPECT_EQ(nullptr, HashMapLookupA(m.map, "A")) << "case-sensitive";
    EXPECT_EQ(nullptr, HashMapLookupA(m.map, nullptr));
    HashMapInsertA(m.map, "");
    EXPECT_NE(nullptr, HashMapLookupA(m.map, nullptr)) << "a null key is the empty text";

    // Creating into a variable that holds a map frees the old one first.
    HashMap* second = CreateHashMap(&m.map, 8, 7, nullptr, 16, 0);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(second, m.map);
    EXPECT_EQ(0, second->entryCount);
    HashMap* extra = nullptr;
    ASSERT_NE(nullptr, CreateHashMap(&extra, 4, 0, nullptr, 0, 0));
    EXPECT_EQ(1, extra->bucketCount);
    FreeHashMap(extra);
    EXPECT_EQ(nullptr, extra) << "freeing nulls the owner's variable";
}

TEST(HashMap, CollidingKeysInOneBucketAndCaseInsensitiveWideKeys) {
    MapOwner m;
    CreateHashMap(&m.map, 4, 0, nullptr, 1, HashCaseInsensitive);
    for (int i = 0; i < 20; ++i) {
        std::wstring key = L"Key" + std::to_wstring(i);
        *static_cast<int32_t*>(HashMapInsertW(m.map, key.c_str())) = i;
    }
    for (int i = 0; i < 20; ++i) {
        std::wstring key = L"kEY" + std::to_wstring(i);
        int32_t* value = static_cast<int32_t*>(HashMapLookupW(m.map, key.c_str()));
        ASSERT_NE(nullptr, value) << i;
        EXPECT_EQ(i, *value);
    }
    EXPECT_EQ(nullptr, HashMapLookupW(m.map, L"Key20"));
    EXPECT_EQ(nullptr, HashMapLookupW(m.map, L"K\u00C9Y1")) << "only A-Z fold";
}

// Collects the keys the iteration yields, deleting those for which drop says so.
template <typename Drop> static std::multiset<std::string> Walk(HashMap* map, Drop drop) {
    std::multiset<std::string> seen;
    ResetHashMapIteration(map);
    while (void* value = NextHashMapValue(map)) {
        std::string key = static_cast<const char*>(CurrentHashMapKey(map));
        seen.insert(key);
        if (drop(key, value)) DeleteCurrentHashMapEntry(map);
    }
    EXPECT_EQ(nullptr, NextHashMapValue(map)) << "the end stays the end";
    return seen;
}

TEST(HashMap, IterationVisitsEveryEntryOnceAndSurvivesDeletion) {
    for (int32_t buckets : {1, 3, 1024}) {
        MapOwner m;
        CreateHashMap(&m.map, 4, 0, nullptr, buckets, 0);
        std::multiset<std::string> all;
        for (int i = 0; i < 60; ++i) {
            std::string key = std::to_string(i);
            *static_cast<int32_t*>(HashMapInsertA(m.map, key.c_str())) = i;
            all.insert(key);
        }
        EXPECT_EQ(all, Walk(m.map, [](const std::string&, void*) { return false; }));

        // Delete every entry with an even value while walking: each entry is still visited once,
        // including chain heads, chain tails and entries right after a deleted one.
        EXPECT_EQ(all, Walk(m.map, [](const std::string&, void* v) { return *static_cast<int32_t*>(v) % 2 == 0; }))
            << buckets << " buckets";
        EXPECT_EQ(30, m.map->entryCount);
        std::multiset<std::string> odd;
        for (int i = 1; i < 60; i += 2) odd.insert(std::to_string(i));
        EXPECT_EQ(odd, Walk(m.map, [](const std::string&, void*) { return false; }));

        // Delete everything in one walk.
        EXPECT_EQ(odd, Walk(m.map, [](const std::string&, void*) { return true; }));
        EXPECT_EQ(0, m.map->entryCount);
        ResetHashMapIteration(m.map);
        EXPECT_EQ(nullptr, NextHashMapValue(m.map));
        EXPECT_EQ(0, m.map->entryPool->totalSlots) << "every entry went back to the pool";
    }
}

TEST(HashMap, DeleteAfterLookupAndWithoutCurrent) {
    MapOwner m;
    CreateHashMap(&m.map, 4, 0, nullptr, 1, 0);
    HashMapInsertA(m.map, "a");
    HashMapInsertA(m.map, "b");
    HashMapInsertA(m.map, "c"); // chain: c b a
    ASSERT_NE(nullptr, HashMapLookupA(m.map, "b"));
    DeleteCurrentHashMapEntry(m.map);
    EXPECT_EQ(nullptr, HashMapLookupA(m.map, "b"));
    EXPECT_NE(nullptr, HashMapLookupA(m.map, "a"));
    EXPECT_NE(nullptr, HashMapLookupA(m.map, "c"));
    EXPECT_EQ(2, m.map->entryCount);
    ResetHashMapIteration(m.map);
    DeleteCurrentHashMapEntry(m.map); // no current entry: nothing happens
    EXPECT_EQ(2, m.map->entryCount);
}

TEST(HashMap, MapsWithEqualEntrySizesShareOnePool) {
    MapOwner a, b, c;
    CreateHashMap(&a.map, 8, 7, nullptr, 4, 0);
    CreateHashMap(&b.map, 5, 0, nullptr, 4, 0);   // 13 + 4 rounds to the same 20-byte slot
    CreateHashMap(&c.map, 12, 0, nullptr, 4, 0);
    EXPECT_EQ(a.map->entryPool, b.map->entryPool);
    EXPECT_NE(a.map->entryPool, c.map->entryPool);
    HashMapInsertA(a.map, "one");
    FreeHashMap(a.map);
    EXPECT_EQ(nullptr, a.map);
    HashMapInsertA(b.map, "two");
    EXPECT_NE(nullptr, HashMapLookupA(b.map, "two")) << "the shared pool outlives the first map";
}
