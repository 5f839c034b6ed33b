// loader_test_support.cpp: the console's bytes of a scan and the loader test files.
#include "tests/report/loader_test_support.h"
#include <windows.h>
#include "report/console_file_loader.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "tests/app/test_files.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/testdata.h"

std::string ReadWhole(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring SuiteFile(const wchar_t* name) { return TestdataPath(std::wstring(L"pngsuite\\") + name); }

ExpectedBytes ScanInProcess(const std::vector<std::wstring>& names, FileLoader* loader) {
    InitFileLibrary();
    std::vector<uint8_t> work(WorkBufferSize);
    ExpectedBytes expected;
    for (size_t i = 0; i < names.size(); i++) ScanTextChunks(names[i], i == 0, &expected, work.data(), loader);
    return expected;
}

ExpectedBytes ScanInProcess(const std::wstring& name) { return ScanInProcess(std::vector<std::wstring>{name}); }


std::vector<std::wstring> LoaderTestFiles() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const std::wstring suite = TestdataPath(L"pngsuite") + L"\\";
    HANDLE listing = FindFirstFileW((suite + L"*.png").c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do names.push_back(suite + found.cFileName);
        while (FindNextFileW(listing, &found));
        FindClose(listing);
    }
    names.push_back(std::wstring(SOURCE_DIR) + L"\\samples\\text-chunks.png");
    fuzz::Random random(12);
    const char* codes[] = {"tEXt", "zTXt", "iTXt"};
    const size_t seeds = names.size();
    for (int i = 0; i < 60; i++) {
        std::string bytes = ReadWhole(names[random.Below(static_cast<uint32_t>(seeds))]);
        for (uint32_t k = random.Below(8); k > 0 && !bytes.empty(); k--) {
            size_t at = random.Below(static_cast<uint32_t>(bytes.size()));
            if (random.OneIn(2)) bytes[at] = static_cast<char>(random.Below(256));
            else bytes.replace(at, 0, codes[random.Below(3)], 4);
        }
        if (random.OneIn(3)) bytes.resize(random.Below(static_cast<uint32_t>(bytes.size() + 1)));
        names.push_back(WriteScratchFile(L"fuzzed-" + std::to_wstring(i) + L".png",
                                         std::vector<uint8_t>(bytes.begin(), bytes.end())));
    }
    // Large enough to be mapped: text chunks on both sides of image data, one of them cut off at the end.
    std::vector<uint8_t> large = PngWith({TextChunk("Before", "mapped"), PngChunk("IDAT", std::vector<uint8_t>(MapThreshold, 'i')),
                                          CompressedTextChunk("After", "mapped too")});
    std::string cut = "\x00\x00\x10\x00tEXtCut off";
    large.insert(large.end(), cut.begin(), cut.end());
    names.push_back(WriteScratchFile(L"mapped.png", large));
    names.push_back(WriteScratchFile(L"empty.png", {}));
    names.push_back(ScratchFolder() + L"\\missing.png");
    names.push_back(ScratchFolder());
    return names;
}
