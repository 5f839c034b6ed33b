// files_test.cpp: file sizes by path and buffered reading of numbered files, on real files on disk.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "runtime/files.h"
#include "runtime/runtime_test_seams.h"

namespace {

// A folder of its own under the temp folder, with files of known content; removed at the end.
class Files : public testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"runtime_files_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
        pattern.resize(20000);
        for (size_t i = 0; i < pattern.size(); i++) pattern[i] = static_cast<uint8_t>(i * 7 % 251);
        Write(L"empty.bin", 0);
        Write(L"small.bin", 300);
        Write(L"big.bin", 10000);
        Write(L"only.png", 123);
        Write(L"other.txt", 7);
    }
    static void TearDownTestSuite() {
        for (const wchar_t* name : {L"empty.bin", L"small.bin", L"big.bin", L"only.png", L"other.txt"}) {
            DeleteFileW(Path(name).c_str());
        }
        RemoveDirectoryW((folder + L"\\sub").c_str());
        RemoveDirectoryW(folder.c_str());
    }
    void SetUp() override { InitFileLibrary(); }
    void TearDown() override { CloseFileObject(-1); }

    static std::wstring Path(const wchar_t* name) { return folder + L"\\" + name; }
    static void Write(const wchar_t* name, DWORD size) {
        HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        if (size) WriteFile(file, pattern.data(), size, &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(size, written);
    }
    // True while someone holds the file open with read sharing only: writing is then refused.
    static bool HeldOpen(const wchar_t* name) {
        HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return true;
        CloseHandle(file);
        return false;
    }
    static FileRecord* Record(ObjectNumber number) {
        return static_cast<FileRecord*>(LookupObject(FileRegistry(), number));
    }
    static DWORD Position(FileRecord* record) {
        return SetFilePointer(record->handle, 0, nullptr, FILE_CURRENT);
    }
    static bool SameAsPattern(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
        return count <= bytes.size() && memcmp(bytes.data(), pattern.data() + from, count) == 0;
    }

    static std::wstring folder;
    static std::vector<uint8_t> pattern;
};

std::wstring Files::folder;
std::vector<uint8_t> Files::pattern;

}  // namespace

TEST_F(Files, SizeOfFilesAndMissingPaths) {
    EXPECT_EQ(-1, QueryFileSize(nullptr));
    EXPECT_EQ(-1, QueryFileSize(L""));
    EXPECT_EQ(-1, QueryFileSize(Path(L"missing.bin").c_str()));
    EXPECT_EQ(-1, QueryFileSize(Path(L"sub\\missing\\deeper.bin").c_str()));
    EXPECT_EQ(0, QueryFileSize(Path(L"empty.bin").c_str()));
    EXPECT_EQ(300, QueryFileSize(Path(L"small.bin").c_str()));
    EXPECT_EQ(10000, QueryFileSize(Path(L"big.bin").c_str()));
    // A trailing backslash after a file name is dropped like any other.
    EXPECT_EQ(300, QueryFileSize(Path(L"small.bin\\").c_str()));
}

TEST_F(Files, DirectoriesAreMinusTwoWithOrWithoutTrailingBackslashes) {
    EXPECT_EQ(-2, QueryFileSize(folder.c_str()));
    EXPECT_EQ(-2, QueryFileSize((folder + L"\\").c_str()));
    EXPECT_EQ(-2, QueryFileSize((folder + L"\\sub\\\\\\").c_str()));
    EXPECT_EQ(-2, QueryFileSize(L".."));
}

TEST_F(Files, WildCardGivesTheSizeOfTheFirstMatch) {
    EXPECT_EQ(123, QueryFileSize(Path(L"*.png").c_str()));
    EXPECT_EQ(7, QueryFileSize(Path(L"o?her.*").c_str()));
    EXPECT_EQ(-1, QueryFileSize(Path(L"*.gif").c_str()));
}

TEST_F(Files, DriveRoots) {
    EXPECT_EQ(-2, QueryFileSize(L"C:"));
    EXPECT_EQ(-2, QueryFileSize(L"C:\\"));
    EXPECT_EQ(-2, QueryFileSize(L"c:"));
    DWORD drives = GetLogicalDrives();
    wchar_t missing = 0;
    for (wchar_t letter = L'Y'; letter > L'C'; letter--) {
        if (!(drives & (1u << (letter - L'A')))) {
            missing = letter;
            break;
        }
    }
    ASSERT_NE(0, missing) << "every drive letter is in use";
    const wchar_t bare[] = {missing, L':', 0};
    const wchar_t root[] = {missing, L':', L'\\', 0};
    EXPECT_EQ(-1, QueryFileSize(bare));
    EXPECT_EQ(-1, QueryFileSize(root));
}

TEST_F(Files, OnlyTheFirst260UnitsOfALongPathCount) {
    // Folder name padded with backslashes to 260 units, then a name that would otherwise be looked for.
    std::wstring padded = folder;
    ASSERT_LT(padded.size(), 250u);
    padded.resize(260, L'\\');
    EXPECT_EQ(-2, QueryFileSize((padded + L"big.bin").c_str()));
    std::wstring file = Path(L"small.bin");
    file.resize(260, L'\\');
    EXPECT_EQ(300, QueryFileSize((file + L"more").c_str()));
    // The same names without the cut are missing.
    EXPECT_EQ(-1, QueryFileSize((folder + L"\\big.bin\\x").c_str()));
}

TEST_F(Files, SmallReadsGoThroughTheBufferAndTheSecondNeedsNoReadFile) {
    ASSERT_NE(0, OpenFileForReading(0, Path(L"big.bin").c_str()));
    FileRecord* record = Record(0);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(FileBufferSize, record->bufferSize);
    EXPECT_EQ(1, record->bufferState);
    std::vector<uint8_t> bytes(100);
    EXPECT_EQ(100, ReadFileBlock(0, bytes.data(), 100));
    EXPECT_TRUE(SameAsPattern(bytes, 0, 100));
    EXPECT_EQ(4096, record->fill);
    EXPECT_EQ(3996, record->count);
    EXPECT_EQ(4096u, Position(record));
    EXPECT_EQ(100, ReadFileBlock(0, bytes.data(), 100));
    EXPECT_TRUE(SameAsPattern(bytes, 100, 100));
    EXPECT_EQ(3896, record->count);
    EXPECT_EQ(4096u, Position(record));  // served from the buffer: the file was not read again
    // Single loads of 1, 2 and 4 bytes come out of the buffer in order.
    uint8_t one = 0;
    uint16_t two = 0;
    uint32_t four = 0;
    EXPECT_EQ(1, ReadFileBlock(0, &one, 1));
    EXPECT_EQ(2, ReadFileBlock(0, &two, 2));
    EXPECT_EQ(4, ReadFileBlock(0, &four, 4));
    EXPECT_EQ(pattern[200], one);
    EXPECT_EQ(0, memcmp(&two, &pattern[201], 2));
    EXPECT_EQ(0, memcmp(&four, &pattern[203], 4));
    EXPECT_EQ(3889, record->count);
}

TEST_F(Files, ReadThatOutrunsTheBufferRefillsOrBypassesIt) {
    ASSERT_NE(0, OpenFileForReading(0, Path(L"big.bin").c_str()));
    FileRecord* record = Record(0);
    std::vector<uint8_t> bytes(10000);
    ASSERT_EQ(100, ReadFileBlock(0, bytes.data(), 100));
    // 3996 from the buffer, the other 1004 after one refill of 4096.
    ASSERT_EQ(5000, ReadFileBlock(0, bytes.data(), 5000));
    EXPECT_TRUE(SameAsPattern(bytes, 100, 5000));
    EXPECT_EQ(8192u, Position(record));
    EXPECT_EQ(4096, record->fill);
    EXPECT_EQ(4096 - 1004, record->count);
    // 3092 buffered + 4096 more needed: the rest goes straight into the destination.
    ASSERT_EQ(4900, ReadFileBlock(0, bytes.data(), 8000));
    EXPECT_TRUE(SameAsPattern(bytes, 5100, 4900));
    EXPECT_EQ(0, record->count);
    EXPECT_EQ(0, ReadFileBlock(0, bytes.data(), 10));
}

TEST_F(Files, RestOfExactlyOneBufferBypassesTheBuffer) {
    ASSERT_NE(0, OpenFileForReading(0, Path(L"big.bin").c_str()));
    FileRecord* record = Record(0);
    std::vector<uint8_t> bytes(10000);
    ASSERT_EQ(100, ReadFileBlock(0, bytes.data(), 100));
    ASSERT_EQ(3996 + 4096, ReadFileBlock(0, bytes.data(), 3996 + 4096));
    EXPECT_TRUE(SameAsPattern(bytes, 100, 3996 + 4096));
    EXPECT_EQ(0, record->count);
    // The buffer still holds the first refill: the last 4096 bytes went past it.
    EXPECT_EQ(pattern[0], record->buffer[0]);
    EXPECT_EQ(pattern[4095], record->buffer[4095]);
    EXPECT_EQ(8192u, Position(record));
}

TEST_F(Files, LargeReadRightAfterOpeningGoesStraightToTheDestination) {
    ASSERT_NE(0, OpenFileForReading(0, Path(L"big.bin").c_str()));
    FileRecord* record = Record(0);
    std::vector<uint8_t> bytes(10000);
    EXPECT_EQ(10000, ReadFileBlock(0, bytes.data(), 10000));
    EXPECT_TRUE(SameAsPattern(bytes, 0, 10000));
    EXPECT_EQ(0, record->fill);   // the buffer was never filled
    EXPECT_EQ(0, record->count);
    EXPECT_EQ(10000u, Position(record));
}

TEST_F(Files, ReadingPastTheEndYieldsTheBytesThere) {
    std::vector<uint8_t> bytes(20000);
    ASSERT_NE(0, OpenFileForReading(0, Path(L"small.bin").c_str()));
    EXPECT_EQ(300, ReadFileBlock(0, bytes.data(), 1000));
    EXPECT_TRUE(SameAsPattern(bytes, 0, 300));
    EXPECT_EQ(0, ReadFileBlock(0, bytes.data(), 1000));
    ASSERT_NE(0, OpenFileForReading(0, Path(L"big.bin").c_str()));
    EXPECT_EQ(10000, ReadFileBlock(0, bytes.data(), 20000));
    ASSERT_NE(0, OpenFileForReading(0, Path(L"empty.bin").c_str()));
    EXPECT_EQ(0, ReadFileBlock(0, bytes.data(), 100));
}

TEST_F(Files, NumbersWithoutAnOpenFileDoNothing) {
    uint8_t byte = 0x5A;
    EXPECT_EQ(0, ReadFileBlock(9, &byte, 1));
    EXPECT_EQ(0, ReadFileBlock(-5, &byte, 1));
    EXPECT_EQ(0x5A, byte);
    CloseFileObject(9);
    CloseFileObject(-5);
    ASSERT_NE(0, OpenFileForReading(1, Path(L"small.bin").c_str()));
    EXPECT_EQ(0, ReadFileBlock(1, &byte, 0));
    EXPECT_EQ(0, ReadFileBlock(1, &byte, -3));
    EXPECT_EQ(0, ReadFileBlock(1, nullptr, 1));
    EXPECT_EQ(1, ReadFileBlock(1, &byte, 1));
    EXPECT_EQ(pattern[0], byte);
    EXPECT_EQ(0, OpenFileForReading(-2, Path(L"small.bin").c_str()));
}

TEST_F(Files, SecondOpenUnderTheSameNumberClosesTheFirstEvenWhenItFails) {
    intptr_t handle = OpenFileForReading(0, Path(L"small.bin").c_str());
    ASSERT_NE(0, handle);
    EXPECT_EQ(handle, reinterpret_cast<intptr_t>(Record(0)->handle));
    EXPECT_TRUE(HeldOpen(L"small.bin"));
    EXPECT_EQ(0, OpenFileForReading(0, Path(L"missing.bin").c_str()));
    EXPECT_FALSE(HeldOpen(L"small.bin"));
    EXPECT_EQ(nullptr, Record(0));
    // A successful second open also closes the first.
    ASSERT_NE(0, OpenFileForReading(0, Path(L"small.bin").c_str()));
    ASSERT_NE(0, OpenFileForReading(0, Path(L"big.bin").c_str()));
    EXPECT_FALSE(HeldOpen(L"small.bin"));
    EXPECT_TRUE(HeldOpen(L"big.bin"));
    CloseFileObject(0);
    EXPECT_FALSE(HeldOpen(L"big.bin"));
    EXPECT_EQ(nullptr, Record(0));
}

TEST_F(Files, NumbersTooLargeForTheSlotArrayOpenNothingAndLeaveFileZeroOpen) {
    ASSERT_NE(0, OpenFileForReading(0, Path(L"small.bin").c_str()));
    // Past the registry's 2^29 slots; from here on number + 16 slots of 4 bytes would wrap on 32 bits.
    const ObjectNumber wrapping = (ObjectNumber(1) << 30) - 16;
    for (ObjectNumber number : {wrapping - 1, wrapping, wrapping + 1, ObjectNumber(1) << 30}) {
        EXPECT_EQ(0, OpenFileForReading(number, Path(L"big.bin").c_str())) << number;
        EXPECT_FALSE(HeldOpen(L"big.bin")) << number;
    }
    EXPECT_TRUE(HeldOpen(L"small.bin"));
    uint8_t byte = 0;
    EXPECT_EQ(1, ReadFileBlock(0, &byte, 1));
    EXPECT_EQ(pattern[0], byte);
}

TEST_F(Files, AnAutoNumberedFileIsStillFoundAfterTheSlotsGrowPastItsNumber) {
    intptr_t number = OpenFileForReading(AutoNumber, Path(L"small.bin").c_str());
    ASSERT_NE(0, number);
    ASSERT_NE(0, OpenFileForReading(number + 1, Path(L"big.bin").c_str()));
    uint8_t byte = 0;
    EXPECT_EQ(1, ReadFileBlock(number, &byte, 1));
    EXPECT_EQ(pattern[0], byte);
    // Shut-down closes it too.
    CloseFileObject(-1);
    EXPECT_FALSE(HeldOpen(L"small.bin"));
    EXPECT_FALSE(HeldOpen(L"big.bin"));
    EXPECT_EQ(nullptr, FileRegistry()->dynamicList);
}

TEST_F(Files, AutoNumberedFiles) {
    ASSERT_EQ(nullptr, FileRegistry()->dynamicList);
    EXPECT_EQ(0, OpenFileForReading(AutoNumber, Path(L"missing.bin").c_str()));
    EXPECT_EQ(nullptr, FileRegistry()->dynamicList);  // no record left behind
    intptr_t number = OpenFileForReading(AutoNumber, Path(L"small.bin").c_str());
    ASSERT_NE(0, number);
    EXPECT_EQ(reinterpret_cast<void*>(number), Record(number));
    uint8_t bytes[4] = {};
    EXPECT_EQ(4, ReadFileBlock(number, bytes, 4));
    EXPECT_EQ(0, memcmp(bytes, pattern.data(), 4));
    CloseFileObject(number);
    EXPECT_FALSE(HeldOpen(L"small.bin"));
    EXPECT_EQ(nullptr, FileRegistry()->dynamicList);
}

TEST_F(Files, CloseMinusOneClosesEveryFile) {
    ASSERT_NE(0, OpenFileForReading(0, Path(L"small.bin").c_str()));
    ASSERT_NE(0, OpenFileForReading(20, Path(L"big.bin").c_str()));
    intptr_t number = OpenFileForReading(AutoNumber, Path(L"only.png").c_str());
    ASSERT_NE(0, number);
    CloseFileObject(-1);
    EXPECT_EQ(nullptr, Record(0));
    EXPECT_EQ(nullptr, Record(20));
    EXPECT_EQ(nullptr, FileRegistry()->dynamicList);
    EXPECT_FALSE(HeldOpen(L"small.bin"));
    EXPECT_FALSE(HeldOpen(L"big.bin"));
    EXPECT_FALSE(HeldOpen(L"only.png"));
}
