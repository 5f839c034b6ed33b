// owned_handle_test.cpp: handle owners close exactly once, seen on real files and mappings.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include "runtime/owned_handle.h"

namespace {

// Files opened without any sharing: while one is open, no other open of it succeeds, so a probe sees
// whether its handle is still open.
class OwnedHandles : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const std::wstring stem = std::wstring(temp) + L"owned_handle_" + std::to_wstring(GetCurrentProcessId());
        first = stem + L"_first.bin";
        second = stem + L"_second.bin";
    }
    void TearDown() override {
        DeleteFileW(first.c_str());
        DeleteFileW(second.c_str());
    }
    static HANDLE OpenAlone(const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    // The probe closes by hand so that it does not depend on the type under test.
    static bool HeldOpen(const std::wstring& path) {
        HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
        CloseHandle(probe);
        return false;
    }
    std::wstring first, second;
};

TEST_F(OwnedHandles, CloseOnDestructionAndMoveAssignmentAndNeverFromAMovedFromOwner) {
    {
        OwnedFile file(OpenAlone(first));
        ASSERT_TRUE(file.Open());
        EXPECT_TRUE(HeldOpen(first));
    }
    EXPECT_FALSE(HeldOpen(first)) << "destruction closes";

    {
        OwnedFile target(OpenAlone(first));
        OwnedFile source(OpenAlone(second));
        ASSERT_TRUE(target.Open() && source.Open());
        target = std::move(source);
        EXPECT_FALSE(HeldOpen(first)) << "move-assignment closes the handle it replaces";
        EXPECT_TRUE(HeldOpen(second));
        EXPECT_FALSE(source.Open());
        target = std::move(target);
        EXPECT_TRUE(HeldOpen(second)) << "assignment to itself keeps the handle";
    }
    EXPECT_FALSE(HeldOpen(second));

    // The moved-from owner goes first: it must not close what the new owner holds.
    OwnedFile taker;
    {
        std::unique_ptr<OwnedFile> given(new OwnedFile(OpenAlone(first)));
        OwnedFile constructed(std::move(*given));
        given.reset();
        EXPECT_TRUE(HeldOpen(first)) << "a moved-from owner closes nothing";
        taker = std::move(constructed);
    }
    EXPECT_TRUE(HeldOpen(first)) << "a moved-from owner closes nothing";
    EXPECT_TRUE(taker.Close());
    EXPECT_FALSE(HeldOpen(first));
}

TEST_F(OwnedHandles, ClosedEarlyClosesNothingMoreEvenWhenTheHandleValueIsReused) {
    OwnedFile later;
    {
        OwnedFile early(OpenAlone(first));
        const HANDLE value = early.Get();
        EXPECT_TRUE(early.Close());
        EXPECT_FALSE(early.Open());
        EXPECT_FALSE(HeldOpen(first));
        later = OwnedFile(OpenAlone(second));
        // The system hands out the lowest free handle value again; without that this case would see nothing.
        ASSERT_EQ(value, later.Get());
        EXPECT_TRUE(early.Close()) << "nothing left to close";
    }
    EXPECT_TRUE(HeldOpen(second)) << "the early-closed owner's destruction closed another file's handle";
}

// Each kind knows its own "no handle": INVALID_HANDLE_VALUE for files and searches, null for mappings and
// memory. An owner of nothing is not open and closes nothing.
TEST_F(OwnedHandles, EachKindKnowsItsNoHandleValueAndCloser) {
    EXPECT_FALSE(OwnedFile().Open());
    EXPECT_FALSE(OwnedFile(INVALID_HANDLE_VALUE).Open());
    EXPECT_FALSE(OwnedFind().Open());
    EXPECT_FALSE(OwnedMapping().Open());
    EXPECT_FALSE(OwnedMapping(nullptr).Open());
    EXPECT_FALSE(OwnedGlobal().Open());

    WIN32_FIND_DATAW found;
    OwnedFind missing(FindFirstFileW((first + L".missing").c_str(), &found));
    EXPECT_FALSE(missing.Open());
    EXPECT_TRUE(missing.Close());

    OwnedFile(OpenAlone(first)).Close();
    OwnedFind search(FindFirstFileW(first.c_str(), &found));
    ASSERT_TRUE(search.Open());
    EXPECT_TRUE(search.Close());

    // A named mapping can be opened by name only while a handle to it is open.
    const std::wstring name = L"owned_handle_test_" + std::to_wstring(GetCurrentProcessId());
    {
        OwnedMapping mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str()));
        ASSERT_TRUE(mapping.Open());
        OwnedMapping reopened(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
        EXPECT_TRUE(reopened.Open());
    }
    OwnedMapping gone(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
    EXPECT_FALSE(gone.Open()) << "both mapping handles were closed";

    OwnedGlobal block(GlobalAlloc(GMEM_MOVEABLE, 64));
    ASSERT_TRUE(block.Open());
    EXPECT_TRUE(block.Close()) << "GlobalFree answers null when it worked";
}

}  // namespace
