// report_window_bench.cpp: time from the start of a scan to the complete report in a real window.
// Needs a display (Xvfb): the main window and its text box are real, shown, and painted.
// Usage: report_window_bench [CHUNKS...]   (default: 100 1000 10000 50000)
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <zlib.h>
#include "app/window/busy_cursor.h"
#include "app/window/program.h"
#include "app/window/report_text_box.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"
#include "toolkit/events.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/gadget_library.h"
#include "toolkit/text_box.h"
#include "bench/bench_support.h"

// A PNG of count text chunks, every third one of each kind (zTXt inflated, iTXt with a language tag).
static std::string PngOfChunks(int count) {
    const std::string nul(1, '\0');
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += Chunk("IHDR", BigEndian32(1) + BigEndian32(1) + std::string("\x08\x00\x00\x00\x00", 5));
    for (int i = 0; i < count; i++) {
        std::string keyword = "Key" + std::to_string(i);
        std::string text = "a text of an ordinary length for chunk number " + std::to_string(i);
        if (i % 3 == 0) {
            png += Chunk("tEXt", keyword + nul + text);
        } else if (i % 3 == 1) {
            uLongf size = compressBound(static_cast<uLong>(text.size()));
            std::string packed(size, '\0');
            compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uLong>(text.size()), 9);
            png += Chunk("zTXt", keyword + nul + nul + packed.substr(0, size));
        } else {
            png += Chunk("iTXt", keyword + nul + nul + nul + "en" + nul + "Schluessel" + nul + text);
        }
    }
    png += Chunk("IDAT", std::string("\x78\x9C\x63\x60\x00\x00\x00\x02\x00\x01", 10));
    png += Chunk("IEND", std::string());
    return png;
}

// Handles every message waiting, so that the text box has painted what it was given.
static void Drain() {
    for (int i = 0; i < 100000 && WaitEventTimeout(0) != 0; ++i) {
    }
}

static size_t LinesOf(const std::wstring& text) {
    size_t lines = text.empty() ? 0 : 1;
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at + 2)) lines++;
    return lines;
}

int main() {
    PrintBuildTimed();
    CreateMainHeap();
    ToolkitStartUp();
    AllocateWorkBuffer();
    HWND window = reinterpret_cast<HWND>(OpenNumberedWindow(0, 0, 0, 640, 480, L"PNG text chunks", 0xCA0001));
    if (!window ||
        !CreateTextBox(0, 0, 0, 640, 460, L"", 0x200007)) {
        printf("cannot open the window (no display?)\n");
        return 1;
    }
    Drain();
    std::vector<int> counts;
    for (int i = 1; i < __argc; i++) counts.push_back(atoi(__argv[i]));
    if (counts.empty()) counts = {100, 1000, 10000, 50000};

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    printf("scan of a PNG of N text chunks into the shown text box, until painted (best of 3)\n");
    printf("%8s %10s %12s %12s %14s %10s\n", "chunks", "file KB", "scan s", "painted s", "us per chunk", "lines");
    for (int count : counts) {
        std::string png = PngOfChunks(count);
        std::wstring path = std::wstring(temp) + L"report-window-bench-" + std::to_wstring(count) + L".png";
        if (!SaveBytes(path, png)) {
            printf("cannot write %ls\n", path.c_str());
            continue;
        }
        double bestScan = 1e30, bestPainted = 1e30;
        size_t lines = 0;
        for (int round = 0; round < 3; round++) {
            ReplaceGadgetText(0, L"");
            Drain();
            const double start = Seconds();
            {
                BusyCursor busy;
                ScanIntoReport({path});
            }
            const double scanned = Seconds();
            RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            Drain();
            const double painted = Seconds();
            if (scanned - start < bestScan) bestScan = scanned - start;
            if (painted - start < bestPainted) bestPainted = painted - start;
            lines = LinesOf(ReadGadgetText(0));
        }
        printf("%8d %10.0f %12.3f %12.3f %14.1f %10u%s\n", count, png.size() / 1024.0, bestScan, bestPainted,
               bestPainted * 1e6 / count, static_cast<unsigned>(lines),
               lines == static_cast<size_t>(count) + 1 ? "" : "  (report incomplete!)");
        fflush(stdout);
        DeleteFileW(path.c_str());
    }
    ReleaseWorkBuffer();
    EndProgram();
}
