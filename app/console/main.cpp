// main.cpp: pngtext-cli, the console front end: the report of each named file on stdout.
#include <windows.h>
#include <exception>
#include <vector>
#include "app/console/clean_file.h"
#include "app/console/name_expansion.h"
#include "app/console/options.h"
#include "app/console/scan_run.h"
#include "app/console/output_stream.h"
#include "app/console/own_console.h"
#include "runtime/main_heap.h"
#include "runtime/mapped_view.h"
#include "runtime/memory_blocks.h"
#include "runtime/system_message.h"

static int Run(int argc, wchar_t** argv, ConsoleStream& out, ConsoleStream& err, bool ownConsole) {
    CliOptions options = ParseCommandLine(argc, argv);
    if (ownConsole && options.names.empty() && !options.help && !options.version) {
        // Double-clicked: what the program does, and how to give it files.
        out.Write(std::wstring(UsageText()) + DropHint);
        return ExitUsageError;
    }
    if (!options.error.empty()) {
        err.Write(L"pngtext-cli: " + options.error + L"\nusage: pngtext-cli [OPTION]... FILE|FOLDER|PATTERN...  (see --help)\n");
        return ExitUsageError;
    }
    if (options.help) {
        out.Write(UsageText());
        return out.Error() ? ExitOutputFailed : ExitAllLoaded;
    }
    if (options.version) {
        out.Write(std::wstring(L"pngtext-cli ") + PNGTEXT_VERSION + L"\n");
        return out.Error() ? ExitOutputFailed : ExitAllLoaded;
    }
    CreateMainHeap();
    InitMemoryLibrary();
    InstallViewFaultHandler();  // once, before the scanning threads start
    ScanOutcome outcome;
    outcome.allLoaded = false;
    try {
        std::vector<CliItem> items;
        for (const std::wstring& name : options.names) ExpandName(name, options.recursive, &items);
        if (options.Clean()) MarkCopyNameClashes(options, &items);
        outcome = ScanItems(items, options, ScanThreads(options, ProcessorCount()), &out, &err);
    } catch (const std::exception&) {
        // No memory for the list of names (a folder tree of millions of files), or no thread primitives.
        err.Write(L"pngtext-cli: Cannot allocate memory\n");
    }
    FreeMemoryLibrary();
    DestroyMainHeap();
    // A reader that closed its pipe wanted no more: that ends the run quietly.
    if (out.Error() && !IsClosedPipe(out.Error())) {
        std::wstring reason = SystemMessage(out.Error());
        err.Write(L"pngtext-cli: cannot write output" + (reason.empty() ? L"" : L": " + reason) + L"\n");
    }
    // A notice that could not be written is output lost, whenever it was (this one included).
    outcome.outputFailed = outcome.outputFailed || out.Error() || err.Error();
    return ExitCodeOf(options, outcome);
}

int wmain(int argc, wchar_t** argv) {
    ConsoleStream out(STD_OUTPUT_HANDLE);
    ConsoleStream err(STD_ERROR_HANDLE);
    // Asked first: the console Explorer opened closes with the process, before anyone has read it.
    // Output sent elsewhere is read there: a program that captures it never waits for a key.
    const bool ownConsole = out.IsConsole() && ConsoleOfItsOwn();
    int exitCode = Run(argc, argv, out, err, ownConsole);
    if (ownConsole) WaitForKeyBeforeClosing();
    return exitCode;
}
