// object_registry_test.cpp: slot growth, record reuse, dynamic numbers and the walk with releases in it.
#include <gtest/gtest.h>
#include <vector>
#include "runtime/object_registry.h"

namespace {

struct TestRecord {
    uintptr_t handle;  // liveness mark
    int payload;
};

// The registry the release callback works on, and what it has seen.
ObjectRegistry* current;
std::vector<ObjectNumber> released;

void ReleaseTestObject(ObjectNumber number) {
    if (!LookupObject(current, number)) return;
    released.push_back(number);
    ReleaseObject(current, number);
}

TestRecord* Open(ObjectRegistry* registry, ObjectNumber number, uintptr_t handle) {
    TestRecord* record = static_cast<TestRecord*>(ClaimObject(registry, number));
    if (record) record->handle = handle;
    return record;
}

class Registry : public testing::Test {
protected:
    void SetUp() override {
        registry = CreateObjectRegistry(sizeof(TestRecord), 16, ReleaseTestObject);
        ASSERT_NE(nullptr, registry);
        current = registry;
        released.clear();
    }
    ObjectRegistry* registry = nullptr;
};

}  // namespace

TEST_F(Registry, GrowsToNumberPlusStepWithNewSlotsNull) {
    EXPECT_EQ(16, registry->capacity);
    ASSERT_NE(nullptr, Open(registry, 3, 0x33));
    ASSERT_NE(nullptr, Open(registry, 100, 0x100));
    EXPECT_EQ(116, registry->capacity);
    for (int slot = 16; slot < 116; slot++) {
        if (slot != 100) {
            EXPECT_EQ(nullptr, registry->slots[slot]) << slot;
        }
    }
    // The growth kept what was there.
    TestRecord* three = static_cast<TestRecord*>(LookupObject(registry, 3));
    ASSERT_NE(nullptr, three);
    EXPECT_EQ(0x33u, three->handle);
    // A number just below the capacity needs no growth; the last slot does not double it either.
    ASSERT_NE(nullptr, Open(registry, 115, 1));
    EXPECT_EQ(116, registry->capacity);
    ASSERT_NE(nullptr, Open(registry, 116, 1));
    EXPECT_EQ(132, registry->capacity);
}

TEST_F(Registry, ReleasedStaticRecordIsReusedZeroFilled) {
    TestRecord* first = Open(registry, 5, 0x55);
    first->payload = 7;
    ReleaseObject(registry, 5);
    EXPECT_EQ(nullptr, LookupObject(registry, 5));
    EXPECT_EQ(0, first->payload);
    TestRecord* again = static_cast<TestRecord*>(ClaimObject(registry, 5));
    EXPECT_EQ(first, again);
    EXPECT_EQ(0u, again->handle);
    EXPECT_TRUE(released.empty());  // nothing was open, so the callback closed nothing
}

TEST_F(Registry, ClaimOfOpenNumberReleasesItThroughTheCallback) {
    TestRecord* first = Open(registry, 0, 0x10);
    first->payload = 9;
    TestRecord* second = static_cast<TestRecord*>(ClaimObject(registry, 0));
    EXPECT_EQ(first, second);
    ASSERT_EQ(1u, released.size());
    EXPECT_EQ(0, released[0]);
    EXPECT_EQ(0u, second->handle);
    EXPECT_EQ(0, second->payload);
}

TEST_F(Registry, ClaimedWithoutHandleComesBackClean) {
    // A failed open leaves a record without handle; the callback ignores it, the claim still cleans it.
    TestRecord* first = static_cast<TestRecord*>(ClaimObject(registry, 2));
    first->payload = 4;
    TestRecord* again = static_cast<TestRecord*>(ClaimObject(registry, 2));
    EXPECT_EQ(first, again);
    EXPECT_EQ(0, again->payload);
    EXPECT_TRUE(released.empty());
}

TEST_F(Registry, LookupOfGarbageNumbersFindsNothing) {
    Open(registry, 1, 0x11);
    TestRecord* dynamic = Open(registry, AutoNumber, 0x22);
    ASSERT_NE(nullptr, dynamic);
    EXPECT_EQ(dynamic, LookupObject(registry, reinterpret_cast<ObjectNumber>(dynamic)));
    EXPECT_EQ(nullptr, LookupObject(registry, 0));          // never claimed
    EXPECT_EQ(nullptr, LookupObject(registry, 15));         // within capacity, never claimed
    EXPECT_EQ(nullptr, LookupObject(registry, 16));         // at capacity
    EXPECT_EQ(nullptr, LookupObject(registry, 1000000));
    EXPECT_EQ(nullptr, LookupObject(registry, AutoNumber));
    EXPECT_EQ(nullptr, LookupObject(registry, -2));
    EXPECT_EQ(nullptr, LookupObject(registry, INTPTR_MIN));
    EXPECT_EQ(nullptr, LookupObject(registry, reinterpret_cast<ObjectNumber>(dynamic) + 4));
    EXPECT_EQ(nullptr, LookupObject(nullptr, 1));
    // Releasing garbage numbers changes nothing.
    ReleaseObject(registry, -7);
    ReleaseObject(registry, reinterpret_cast<ObjectNumber>(dynamic) + 4);
    ReleaseObject(registry, 999);
    EXPECT_NE(nullptr, LookupObject(registry, 1));
    EXPECT_EQ(dynamic, LookupObject(registry, reinterpret_cast<ObjectNumber>(dynamic)));
}

TEST_F(Registry, NumbersBelowAutoNumberCannotBeClaimed) {
    EXPECT_EQ(nullptr, ClaimObject(registry, -2));
    EXPECT_EQ(nullptr, ClaimObject(registry, INTPTR_MIN));
    EXPECT_EQ(16, registry->capacity);
    EXPECT_EQ(nullptr, registry->dynamicList);
}

TEST_F(Registry, NumberTooLargeForTheSlotArrayIsRefused) {
    TestRecord* zero = Open(registry, 0, 0x10);
    // Past 2^29 slots the array is refused on both builds (from 2^30 - 16 on, slots of 4 bytes would
    // no longer fit in 32 bits; a 64-bit heap could supply 8 GiB, which no number deserves). Refused,
    // and nothing already open is touched.
    const ObjectNumber wrapping = (ObjectNumber(1) << 30) - 16;
    for (ObjectNumber number : {wrapping - 1, wrapping, wrapping + 1, wrapping + 16, ObjectNumber(INT32_MAX) - 16,
                                ObjectNumber(INT32_MAX)}) {
        EXPECT_EQ(nullptr, ClaimObject(registry, number)) << number;
        EXPECT_EQ(16, registry->capacity) << number;
        EXPECT_EQ(zero, LookupObject(registry, 0)) << number;
        EXPECT_EQ(0x10u, zero->handle) << number;
    }
    EXPECT_TRUE(released.empty());
}

TEST_F(Registry, DynamicObjectsStayFoundWhenTheSlotsGrowPastTheirAddress) {
    TestRecord* dynamic = Open(registry, AutoNumber, 0x22);
    ASSERT_NE(nullptr, dynamic);
    const ObjectNumber address = reinterpret_cast<ObjectNumber>(dynamic);
    // A static number just above the address: the slot array now covers it, its slot stays empty.
    ASSERT_NE(nullptr, Open(registry, address + 1, 0x33)) << "the heap could not give slots up to the address";
    ASSERT_GT(registry->capacity, address);
    EXPECT_EQ(dynamic, LookupObject(registry, address));
    EXPECT_EQ(nullptr, LookupObject(registry, address + 2)) << "only a live dynamic object's address counts";
    // Found at shut-down too: the walk releases it by its address.
    ReleaseAllObjects(registry);
    EXPECT_EQ((std::vector<ObjectNumber>{address + 1, address}), released);
    EXPECT_EQ(nullptr, registry->dynamicList);
}

TEST_F(Registry, ReleasingAShadowedDynamicNumberFreesItsNode) {
    TestRecord* dynamic = Open(registry, AutoNumber, 0x22);
    const ObjectNumber address = reinterpret_cast<ObjectNumber>(dynamic);
    ASSERT_NE(nullptr, ClaimObject(registry, address + 1));
    ASSERT_GT(registry->capacity, address);
    ReleaseObject(registry, address);
    EXPECT_EQ(nullptr, registry->dynamicList);
    EXPECT_EQ(nullptr, LookupObject(registry, address));
}

TEST_F(Registry, ReleaseAllWalksStaticAscendingThenDynamicOldestFirst) {
    Open(registry, 7, 1);
    TestRecord* d1 = Open(registry, AutoNumber, 1);
    Open(registry, 2, 1);
    TestRecord* d2 = Open(registry, AutoNumber, 1);
    Open(registry, 40, 1);
    TestRecord* d3 = Open(registry, AutoNumber, 1);
    ClaimObject(registry, 3);  // claimed without a handle: not live, not visited
    ReleaseAllObjects(registry);
    std::vector<ObjectNumber> expected = {2, 7, 40, reinterpret_cast<ObjectNumber>(d1),
                                          reinterpret_cast<ObjectNumber>(d2), reinterpret_cast<ObjectNumber>(d3)};
    EXPECT_EQ(expected, released);
    EXPECT_EQ(nullptr, registry->dynamicList);  // every dynamic node was freed during the walk
    EXPECT_EQ(nullptr, LookupObject(registry, 7));
}

TEST_F(Registry, WalkSurvivesReleaseOfOtherObjectsDuringIt) {
    Open(registry, 1, 1);
    Open(registry, 2, 1);
    TestRecord* d1 = Open(registry, AutoNumber, 1);
    TestRecord* d2 = Open(registry, AutoNumber, 1);
    TestRecord* d3 = Open(registry, AutoNumber, 1);
    BeginObjectWalk(registry);
    std::vector<ObjectNumber> seen;
    ObjectNumber number = 0;
    while (void* record = NextObject(registry, &number)) {
        seen.push_back(number);
        EXPECT_EQ(record, LookupObject(registry, number));
        if (number == 1) ReleaseObject(registry, 2);  // a static one not yet reached: skipped
        if (number == reinterpret_cast<ObjectNumber>(d1)) {
            // Free the one the cursor points at next, and the one just received.
            ReleaseObject(registry, reinterpret_cast<ObjectNumber>(d2));
            ReleaseObject(registry, number);
        }
    }
    std::vector<ObjectNumber> expected = {1, reinterpret_cast<ObjectNumber>(d1), reinterpret_cast<ObjectNumber>(d3)};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(nullptr, NextObject(registry, &number));
    EXPECT_EQ(d3, LookupObject(registry, reinterpret_cast<ObjectNumber>(d3)));
}

TEST(RegistryWithoutCallback, ReleaseAllDoesNothing) {
    ObjectRegistry* registry = CreateObjectRegistry(sizeof(TestRecord), 4, nullptr);
    TestRecord* record = Open(registry, 1, 5);
    TestRecord* dynamic = Open(registry, AutoNumber, 6);
    ReleaseAllObjects(registry);
    EXPECT_EQ(record, LookupObject(registry, 1));
    EXPECT_EQ(dynamic, LookupObject(registry, reinterpret_cast<ObjectNumber>(dynamic)));
    // Without a callback a second claim of the number still gives a clean record.
    EXPECT_EQ(record, ClaimObject(registry, 1));
    EXPECT_EQ(0u, record->handle);
}
