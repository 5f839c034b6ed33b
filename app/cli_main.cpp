// cli_main.cpp: pngtext-cli, the console front end: the report of each named file on stdout.
#include <windows.h>
#include <cstdint>
#include "app/console_output.h"
#include "app/console_report.h"
#include "report/compressed_text.h"
#include "report/scan_text_chunks.h"
#include "runtime/files.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"

int wmain(int argc, wchar_t** argv) {
    ConsoleStream out(STD_OUTPUT_HANDLE);
    ConsoleStream err(STD_ERROR_HANDLE);
    if (argc < 2) {
        err.Write(L"usage: pngtext-cli FILE...\n"
                  L"Prints the tEXt, zTXt and iTXt chunks of each file; exit code 1 when a file cannot be loaded.\n");
        return 1;
    }
    CreateMainHeap();
    InitMemoryLibrary();
    InitFileLibrary();
    uint8_t* workBuffer = static_cast<uint8_t*>(MemAlloc(WorkBufferSize));
    ConsoleReport report(&out, &err);
    bool allLoaded = workBuffer != nullptr;
    for (int i = 1; i < argc && workBuffer; i++) {
        if (!argv[i][0]) {
            // The window ignores an empty name; a script that passes one has lost a file name.
            report.Notice(L"File", L"empty file name", L"\"\"");
            allLoaded = false;
            continue;
        }
        if (!ScanTextChunks(argv[i], &report, workBuffer)) allLoaded = false;
    }
    if (!workBuffer) report.Notice(L"File", L"Cannot allocate memory", L"pngtext-cli");
    report.Flush();
    MemFree(workBuffer);
    FreeFileLibrary();
    FreeMemoryLibrary();
    DestroyMainHeap();
    return allLoaded ? 0 : 1;
}
