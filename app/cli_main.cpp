// cli_main.cpp: pngtext-cli, the console front end: the report of each named file on stdout.
#include <windows.h>
#include <cstdint>
#include <vector>
#include "app/cli_names.h"
#include "app/cli_options.h"
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
    CliOptions options = ParseCommandLine(argc, argv);
    if (!options.error.empty()) {
        err.Write(L"pngtext-cli: " + options.error + L"\nusage: pngtext-cli [OPTION]... FILE|FOLDER|PATTERN...  (see --help)\n");
        return ExitUsageError;
    }
    if (options.help) {
        out.Write(UsageText());
        return ExitAllLoaded;
    }
    if (options.version) {
        out.Write(std::wstring(L"pngtext-cli ") + PNGTEXT_VERSION + L"\n");
        return ExitAllLoaded;
    }
    std::vector<CliItem> items;
    for (const std::wstring& name : options.names) ExpandName(name, options.recursive, &items);

    CreateMainHeap();
    InitMemoryLibrary();
    InitFileLibrary();
    uint8_t* workBuffer = static_cast<uint8_t*>(MemAlloc(WorkBufferSize));
    ConsoleReport report(&out, &err);
    bool allLoaded = workBuffer != nullptr;
    for (size_t i = 0; i < items.size() && workBuffer; i++) {
        if (items[i].notice) {
            report.Flush();
            report.Notice(L"File", items[i].notice, items[i].name);
            allLoaded = false;
            continue;
        }
        if (!ScanTextChunks(items[i].name, i == 0, &report, workBuffer)) allLoaded = false;
        report.Flush();
    }
    if (!workBuffer) report.Notice(L"File", L"Cannot allocate memory", L"pngtext-cli");
    report.Flush();
    MemFree(workBuffer);
    FreeFileLibrary();
    FreeMemoryLibrary();
    DestroyMainHeap();
    return allLoaded ? ExitAllLoaded : ExitSomeNotLoaded;
}
