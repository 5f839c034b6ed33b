// fuzz.cpp: the long fuzz run over the chunk search, the command-line tokeniser and the dropped-name list.
// Usage: fuzz [--seconds S] [--iterations N] [--seed X] [--target all|chunks|cmdline|drop] [--save FOLDER]
// Each target runs S seconds (default 60) or N inputs, whichever ends first, from seed X (default 1).
// Prints inputs, bytes and outputs per target; a finding is printed, saved to FOLDER (default: the
// current folder) as fuzz-finding-<target>.bin, and makes the exit code 1. A fault ends the process.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"
#include "tests/fuzz/chunk_scan_fuzz.h"
#include "tests/fuzz/command_line_fuzz.h"
#include "tests/fuzz/dropped_files_fuzz.h"
#include "bench/bench_support.h"

static bool SaveFinding(const std::wstring& folder, const char* target, const std::string& bytes) {
    std::wstring path = folder + L"\\fuzz-finding-" + std::wstring(target, target + strlen(target)) + L".bin";
    return SaveBytes(path, bytes);
}

template <class Target>
static bool Run(const char* name, Target& target, uint64_t seed, uint64_t iterations, double seconds,
                const std::wstring& saveFolder) {
    const double start = fuzz::Seconds();
    fuzz::Tally tally = fuzz::RunTarget(target, seed, iterations, seconds);
    const double took = fuzz::Seconds() - start;
    printf("%-8s seed %-10llu %12llu inputs %14llu bytes %12llu outputs %8.1f s %10.0f inputs/s  %s\n", name,
           static_cast<unsigned long long>(seed), static_cast<unsigned long long>(tally.iterations),
           static_cast<unsigned long long>(tally.inputBytes), static_cast<unsigned long long>(tally.outputs), took,
           took > 0 ? static_cast<double>(tally.iterations) / took : 0.0, tally.findings.empty() ? "ok" : "FINDING");
    for (const fuzz::Finding& finding : tally.findings) {
        printf("  %s at input %llu (%u bytes): %s\n", finding.what.c_str(), static_cast<unsigned long long>(tally.iterations),
               static_cast<unsigned>(finding.input.size()), fuzz::Hex(finding.input, 512).c_str());
        printf("  saved: %s\n", SaveFinding(saveFolder, name, finding.input) ? "yes" : "no");
    }
    fflush(stdout);
    return tally.findings.empty();
}

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) argc = 0;
    double seconds = 60;
    uint64_t iterations = ~0ull;
    uint64_t seed = 1;
    std::wstring which = L"all";
    std::wstring saveFolder = L".";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring option = argv[i], value = argv[i + 1];
        if (option == L"--seconds") seconds = _wtof(value.c_str());
        else if (option == L"--iterations") iterations = _wcstoui64(value.c_str(), nullptr, 10);
        else if (option == L"--seed") seed = _wcstoui64(value.c_str(), nullptr, 0);
        else if (option == L"--target") which = value;
        else if (option == L"--save") saveFolder = value;
        else {
            printf("unknown option %ls\n", option.c_str());
            return 2;
        }
    }
    CreateMainHeap();
    InitMemoryLibrary();
    bool clean = true;
    if (which == L"all" || which == L"chunks") {
        std::vector<std::string> seeds = fuzz::ReadFolder(std::wstring(TESTDATA_DIR) + L"\\pngsuite", L"*.png");
        printf("chunk search: %u files of the PNG test suite as seeds\n", static_cast<unsigned>(seeds.size()));
        fuzz::ChunkScanFuzzer target(seeds);
        clean &= Run("chunks", target, seed, iterations, seconds, saveFolder);
    }
    if (which == L"all" || which == L"cmdline") {
        fuzz::CommandLineFuzzer target;
        clean &= Run("cmdline", target, seed, iterations, seconds, saveFolder);
    }
    if (which == L"all" || which == L"drop") {
        fuzz::DroppedFilesFuzzer target;
        clean &= Run("drop", target, seed, iterations, seconds, saveFolder);
    }
    FreeMemoryLibrary();
    DestroyMainHeap();
    return clean ? 0 : 1;
}
