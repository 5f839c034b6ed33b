// cli_scan.h: the console front end's scans, on worker threads, written in the order of the names.
#pragma once
#include <vector>
#include "app/console/cli_names.h"
#include "app/console/console_output.h"

// How a run of ScanItems ended.
enum class ScanOutcome {
    AllLoaded,     // every item was a file that was loaded and searched to the end
    SomeNotLoaded, // some item got a notice (its file's report is not whole, or it stood for no file)
    OutputFailed,  // stdout could not be written (out->Error() says why): the run stopped there
};

// Scans every item (or reports its notice) and writes each one's output in item order: the same bytes
// whatever the number of threads. Each thread has its own loader and work buffer; at most a few
// items ahead of the one being written are scanned, and each item's output is freed once written, so
// memory stays bounded whatever the number of items. Once stdout fails, scanning stops.
ScanOutcome ScanItems(const std::vector<CliItem>& items, bool json, unsigned threads, ConsoleStream* out,
                      ConsoleStream* err);

// The processors this process may use, at least 1.
unsigned ProcessorCount();
