// whole_file_writer_test.cpp: files written whole or not at all, on real files on disk.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "runtime/partial_folder.h"
#include "runtime/runtime_test_seams.h"
#include "runtime/whole_file_writer.h"

namespace {

// A folder of its own for each case under the temp folder; emptied and removed at the end.
class WholeFileWriting : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        folder_ = std::wstring(temp) + L"whole_file_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                  std::wstring(test.begin(), test.end());
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        SetWriterRoom(-1);
        for (const std::wstring& name : Names()) DeleteFileW(Path(name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring Path(const std::wstring& name) const { return folder_ + L"\\" + name; }

    // The names in the folder, in the order listed.
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE listing = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
        if (listing == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileW(listing, &found));
        FindClose(listing);
        return names;
    }

    static std::string Read(const std::wstring& path) {
        std::string bytes;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "(none)";
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
        CloseHandle(file);
        return bytes;
    }

    static void Put(const std::wstring& path, const std::string& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }

    static WriteOutcome WriteWhole(const std::wstring& path, const std::string& bytes, ExistingFile existing,
                                   DWORD* error = nullptr) {
        WholeFileWriter writer(path, existing);
        // In pieces, as a caller that encodes a text piece by piece writes it.
        for (size_t at = 0; at < bytes.size(); at += 1000) {
            if (!writer.Write(bytes.data() + at, bytes.size() - at < 1000 ? bytes.size() - at : 1000)) break;
        }
        WriteOutcome outcome = writer.Finish();
        if (error) *error = writer.Error();
        return outcome;
    }

    std::wstring folder_;
};

}  // namespace

TEST_F(WholeFileWriting, TheFileAppearsWholeUnderItsNameAndNothingElseStays) {
    const std::string bytes(200000, 'b');
    {
        WholeFileWriter writer(Path(L"big.txt"), ExistingFile::Keep);
        ASSERT_FALSE(writer.TemporaryPath().empty());
        EXPECT_EQ(folder_ + L"\\", writer.TemporaryPath().substr(0, folder_.size() + 1)) << "beside the final name";
        ASSERT_TRUE(writer.Write(bytes.data(), bytes.size()));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Path(L"big.txt").c_str())) << "no final name before the end";
        EXPECT_EQ(WriteOutcome::Written, writer.Finish());
        EXPECT_EQ(0u, writer.Error());
    }
    EXPECT_EQ(bytes, Read(Path(L"big.txt")));
    EXPECT_EQ(std::vector<std::wstring>{L"big.txt"}, Names());
    EXPECT_EQ(WriteOutcome::Written, WriteWhole(Path(L"empty.txt"), "", ExistingFile::Keep));
    EXPECT_EQ("", Read(Path(L"empty.txt")));
}

TEST_F(WholeFileWriting, AFullVolumeLeavesNoFileUnderTheNameAndSaysWhy) {
    SetWriterRoom(61440);
    DWORD error = 0;
    EXPECT_EQ(WriteOutcome::Failed, WriteWhole(Path(L"big.big.txt"), std::string(200000, 'x'), ExistingFile::Keep, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), error);
    EXPECT_EQ(WriteOutcome::Failed, WriteWhole(Path(L"big.after.txt"), "after", ExistingFile::Keep, &error));
    EXPECT_TRUE(Names().empty()) << "neither a partial file nor a temporary one";
    // With room again, the same names are free: nothing half-written blocks them.
    SetWriterRoom(-1);
    EXPECT_EQ(WriteOutcome::Written, WriteWhole(Path(L"big.big.txt"), std::string(200000, 'x'), ExistingFile::Keep));
    EXPECT_EQ(WriteOutcome::Written, WriteWhole(Path(L"big.after.txt"), "after", ExistingFile::Keep));
    EXPECT_EQ(std::string(200000, 'x'), Read(Path(L"big.big.txt")));
}

TEST_F(WholeFileWriting, AnExistingFileIsKeptEvenWhenItAppearsWhileTheNewOneIsWritten) {
    Put(Path(L"there.txt"), "mine");
    DWORD error = 0;
    EXPECT_EQ(WriteOutcome::Exists, WriteWhole(Path(L"there.txt"), "new", ExistingFile::Keep, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), error);
    {
        WholeFileWriter writer(Path(L"late.txt"), ExistingFile::Keep);
        ASSERT_TRUE(writer.Write("new", 3));
        Put(Path(L"late.txt"), "theirs");  // another program made it meanwhile
        EXPECT_EQ(WriteOutcome::Exists, writer.Finish());
    }
    EXPECT_EQ("mine", Read(Path(L"there.txt")));
    EXPECT_EQ("theirs", Read(Path(L"late.txt")));
    EXPECT_EQ(2u, Names().size()) << "the temporary files are gone";
    EXPECT_EQ(WriteOutcome::Written, WriteWhole(Path(L"there.txt"), "new", ExistingFile::Replace));
    EXPECT_EQ("new", Read(Path(L"there.txt")));
}

TEST_F(WholeFileWriting, ReplacingALinkReplacesTheLinkAndLeavesItsTargetAlone) {
    const std::wstring outside = folder_ + L"-outside.txt";
    Put(outside, "outside");
    ASSERT_TRUE(CreateHardLinkW(Path(L"hard.txt").c_str(), outside.c_str(), nullptr));
    EXPECT_EQ(WriteOutcome::Written, WriteWhole(Path(L"hard.txt"), "new", ExistingFile::Replace));
    EXPECT_EQ("new", Read(Path(L"hard.txt")));
    EXPECT_EQ("outside", Read(outside)) << "written through the link";
    if (CreateSymbolicLinkW(Path(L"soft.txt").c_str(), outside.c_str(), 0)) {
        EXPECT_EQ(WriteOutcome::Written, WriteWhole(Path(L"soft.txt"), "newer", ExistingFile::Replace));
        EXPECT_EQ("newer", Read(Path(L"soft.txt")));
        EXPECT_EQ("outside", Read(outside)) << "written through the link";
    }
    DeleteFileW(outside.c_str());
}

TEST_F(WholeFileWriting, AFileThatCannotBeMadeOrRenamedLeavesNothingBehind) {
    DWORD error = 0;
    EXPECT_EQ(WriteOutcome::Failed, WriteWhole(folder_ + L"\\missing\\a.txt", "x", ExistingFile::Keep, &error));
    EXPECT_NE(0u, error);
    // A folder stands at the final name: the rename fails, and the temporary file goes.
    ASSERT_TRUE(CreateDirectoryW(Path(L"folder.txt").c_str(), nullptr));
    EXPECT_EQ(WriteOutcome::Failed, WriteWhole(Path(L"folder.txt"), "x", ExistingFile::Replace, &error));
    EXPECT_NE(0u, error);
    EXPECT_TRUE(Names().empty());
    RemoveDirectoryW(Path(L"folder.txt").c_str());
    {
        WholeFileWriter abandoned(Path(L"abandoned.txt"), ExistingFile::Keep);
        ASSERT_TRUE(abandoned.Write("x", 1));
    }
    EXPECT_TRUE(Names().empty()) << "a writer not finished leaves nothing";
}

TEST_F(WholeFileWriting, WritersOnSeveralThreadsNeverShareATemporaryName) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 50; i++) {
                const std::string bytes = std::to_string(t) + "-" + std::to_string(i);
                WriteWhole(Path(std::wstring(bytes.begin(), bytes.end()) + L".txt"), bytes, ExistingFile::Keep);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(200u, Names().size());
    for (int t = 0; t < 4; t++) {
        for (int i = 0; i < 50; i++) {
            const std::string bytes = std::to_string(t) + "-" + std::to_string(i);
            EXPECT_EQ(bytes, Read(Path(std::wstring(bytes.begin(), bytes.end()) + L".txt")));
        }
    }
}

// Written and completed on one thread before its name is known, placed on another: the same guarantees.
TEST_F(WholeFileWriting, AFileNamedWhenPlacedIsCompleteBeforeItsNameAndNeverReplacesWithoutReplace) {
    Put(Path(L"taken.txt"), "mine");
    std::vector<std::unique_ptr<WholeFileWriter>> writers;
    std::thread scanning([&] {
        for (const char* text : {"first", "second", "third"}) {
            writers.emplace_back(new WholeFileWriter(NamedWhenPlaced(), folder_ + L"\\", ExistingFile::Keep));
            EXPECT_TRUE(writers.back()->Write(text, strlen(text)));
            EXPECT_TRUE(writers.back()->Complete());
        }
    });
    scanning.join();
    EXPECT_EQ(4u, Names().size()) << "three temporary files, no final name yet";
    EXPECT_EQ("second", Read(writers[1]->TemporaryPath())) << "on disk, whole, before its name is known";
    EXPECT_EQ(WriteOutcome::Written, writers[0]->Place(Path(L"one.txt")));
    EXPECT_EQ(WriteOutcome::Exists, writers[1]->Place(Path(L"taken.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), writers[1]->Error());
    writers.pop_back();  // never placed: its temporary file goes with it
    EXPECT_EQ("first", Read(Path(L"one.txt")));
    EXPECT_EQ("mine", Read(Path(L"taken.txt")));
    EXPECT_EQ(2u, Names().size()) << "nothing left but the two named files";
    ASSERT_TRUE(CreateDirectoryW(Path(L"a folder").c_str(), nullptr));
    WholeFileWriter onFolder(NamedWhenPlaced(), folder_ + L"\\", ExistingFile::Keep);
    EXPECT_TRUE(onFolder.Write("x", 1));
    EXPECT_EQ(WriteOutcome::Exists, onFolder.Place(Path(L"a folder"))) << "a folder of the name is kept too";
    EXPECT_TRUE(RemoveDirectoryW(Path(L"a folder").c_str()));
    EXPECT_EQ(2u, Names().size());

    // A full volume: nothing under the name, no temporary file.
    SetWriterRoom(3);
    WholeFileWriter full(NamedWhenPlaced(), folder_ + L"\\", ExistingFile::Replace);
    EXPECT_FALSE(full.Write("too long", 8));
    EXPECT_FALSE(full.Complete());
    EXPECT_EQ(WriteOutcome::Failed, full.Place(Path(L"one.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), full.Error());
    EXPECT_EQ("first", Read(Path(L"one.txt")));
    EXPECT_EQ(2u, Names().size());
}

TEST_F(WholeFileWriting, TemporariesInAPartialFolderOfTheirOwnAreRenamedOutOfItAndItGoes) {
    const std::wstring partialName = L"~pngtext-" + std::to_wstring(GetCurrentProcessId()) + L".partial";
    {
        PartialFolder partial;
        partial.Make(folder_ + L"\\");
        EXPECT_EQ(Path(partialName) + L"\\", partial.Prefix());
        const DWORD attributes = GetFileAttributesW(Path(partialName).c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_HIDDEN));
        WholeFileWriter writer(NamedWhenPlaced(), partial.Prefix(), ExistingFile::Keep);
        EXPECT_TRUE(writer.Write("whole", 5));
        EXPECT_EQ(WriteOutcome::Written, writer.Place(Path(L"named.txt")));
        WholeFileWriter unplaced(NamedWhenPlaced(), partial.Prefix(), ExistingFile::Keep);
        EXPECT_TRUE(unplaced.Write("part", 4));
    }
    EXPECT_EQ("whole", Read(Path(L"named.txt")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Path(partialName).c_str())) << "removed once empty";
    EXPECT_EQ(1u, Names().size());

    // Its name taken (by a file here): never written into; the temporaries go beside the files.
    Put(Path(partialName), "someone's");
    PartialFolder taken;
    taken.Make(folder_ + L"\\");
    EXPECT_EQ(folder_ + L"\\", taken.Prefix());
    WholeFileWriter writer(NamedWhenPlaced(), taken.Prefix(), ExistingFile::Keep);
    EXPECT_TRUE(writer.Write("second", 6));
    EXPECT_EQ(WriteOutcome::Written, writer.Place(Path(L"second.txt")));
    EXPECT_EQ("someone's", Read(Path(partialName)));
}
