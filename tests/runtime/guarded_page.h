// guarded_page.h: a readable page followed by one that faults on any access, for routines that read
// wide steps and must never read past the range they are given.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>

class GuardedPage : public testing::Test {
protected:
    void SetUp() override {
        base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * Page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(base, nullptr);
        DWORD old = 0;
        ASSERT_TRUE(VirtualProtect(base + Page, Page, PAGE_NOACCESS, &old));
    }
    void TearDown() override { VirtualFree(base, 0, MEM_RELEASE); }
    // count bytes that end where the readable page ends.
    uint8_t* Range(size_t count) { return base + Page - count; }

    static const size_t Page = 4096;
    uint8_t* base = nullptr;
};
