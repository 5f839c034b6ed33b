// long_line_bench.cpp: how long a real Edit control takes to take a report with one long line, with and
// without the centre/right alignment bits (the report holds AI prompts of tens of KB in one line).
#include <windows.h>
#include <cstdio>
#include <string>
#include "bench/bench_support.h"

int main() {
    PrintBuildTimed();
    HWND top = CreateWindowExW(0, L"STATIC", L"long lines", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 500,
                               nullptr, nullptr, nullptr, nullptr);
    if (!top) {
        printf("no window (needs a display)\n");
        return 1;
    }
    // The report box's style with and without ES_CENTER | ES_RIGHT.
    const DWORD styles[] = {0x50230087, 0x50230084};
    for (DWORD style : styles) {
        for (int kilobytes : {8, 16, 32, 64}) {
            HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", L"", style, 0, 0, 640, 460, top, nullptr,
                                       nullptr, nullptr);
            std::wstring text = L"file:x\r\ntEXt : prompt " + std::wstring(static_cast<size_t>(kilobytes) * 1024, L'x');
            double start = Seconds();
            SetWindowTextW(box, text.c_str());
            UpdateWindow(box);
            printf("style %08lx, one line of %2d KB: %.3f s\n", style, kilobytes, Seconds() - start);
            fflush(stdout);
            DestroyWindow(box);
        }
    }
    DestroyWindow(top);
    return 0;
}
