// scan_file_fixture.h: tests that write real files into a folder of their own and scan them.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include "report/compressed_text.h"
#include "report/report_test_seams.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "tests/report/recording_sink.h"

// A file of the given length of which only the placed byte runs are written: the rest is a hole
// (sparse on the Linux file system under Wine), so sizes of gigabytes cost no disk space.
inline std::wstring WriteSparseFile(const std::wstring& path, int64_t size,
                                    const std::vector<std::pair<int64_t, std::string>>& placed = {}) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER at;
    for (const auto& run : placed) {
        at.QuadPart = run.first;
        EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
        DWORD done = 0;
        EXPECT_TRUE(WriteFile(file, run.second.data(), static_cast<DWORD>(run.second.size()), &done, nullptr));
    }
    at.QuadPart = size;
    EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_EQ(QueryFileSize(path.c_str()), size);
    return path;
}

class ScanFileFixture : public testing::Test {
protected:
    static void SetUpTestSuite() { InitFileLibrary(); }

    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"report-files-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        work.assign(WorkBufferSize, 0);
    }
    void TearDown() override {
        SetBeforeFileOpenHook(nullptr);
        // A test may have put a folder where a file was.
        for (const std::wstring& path : written) {
            DeleteFileW(path.c_str());
            RemoveDirectoryW(path.c_str());
        }
        RemoveDirectoryW(folder.c_str());
    }
    // The path of name in the folder; removed when the test ends.
    std::wstring PathOf(const std::wstring& name) {
        std::wstring path = folder + L"\\" + name;
        written.push_back(path);
        return path;
    }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        std::wstring path = PathOf(name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        DWORD done = 0;
        if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        CloseHandle(file);
        return path;
    }
    // A sparse file (WriteSparseFile) in the fixture's folder.
    std::wstring WriteSparse(const std::wstring& name, int64_t size,
                             const std::vector<std::pair<int64_t, std::string>>& placed = {}) {
        return WriteSparseFile(PathOf(name), size, placed);
    }
    bool Scan(const std::wstring& name) { return ScanTextChunks(name, true, &sink, work.data()); }
    // Names scanned in turn into one report, then flushed, as the window scans a drop.
    bool ScanNames(const std::vector<std::wstring>& names) {
        bool all = true;
        for (size_t i = 0; i < names.size(); i++) all = ScanTextChunks(names[i], i == 0, &sink, work.data()) && all;
        sink.Flush();
        return all;
    }

    std::wstring folder;
    std::vector<std::wstring> written;
    std::vector<uint8_t> work;
    RecordingSink sink;
};
