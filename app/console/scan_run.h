// scan_run.h: the console front end's scans, on worker threads, written in the order of the names.
#pragma once
#include <vector>
#include "app/console/name_expansion.h"
#include "app/console/options.h"
#include "app/console/output_stream.h"

struct ScanOutcome {
    bool allLoaded = true;      // every item was a file that was loaded and searched
    bool reported = false;      // some chunk was reported (passed -k and --grep)
    bool outputWritten = true;  // every file of --out was written
    bool outputFailed = false;  // stdout or stderr could not be written (Error() says why): the run stopped there
};

// Scans every item (or reports its notice) and writes each one's output, as the options ask, in item
// order: the same bytes whatever the number of threads. Each thread has its own loader and work
// buffer; at most a few items ahead of the one being written are scanned, and each item's output is
// freed once written, so memory stays bounded whatever the number of items. Once stdout or stderr
// fails, scanning stops.
ScanOutcome ScanItems(const std::vector<CliItem>& items, const CliOptions& options, unsigned threads,
                      ConsoleStream* out, ConsoleStream* err);

// The exit code of a run. ExitOutputFailed when stdout or stderr could not be written, whatever else. Otherwise ExitAllLoaded, or ExitSomeNotLoaded when a file was not loaded or
// a file of --out was not written. With --grep or -l, as grep's, in this order of precedence:
// ExitError when a file was not loaded or a file of --out not written, else ExitFound when something
// was reported, else ExitNothingFound.
int ExitCodeOf(const CliOptions& options, const ScanOutcome& outcome);

// The processors this process may use, at least 1.
unsigned ProcessorCount();

// The threads a run of these options scans on: one per processor; --clean and --out, whose files are
// flushed to disk on the scanning threads and mostly wait for it, two per processor up to 8 (one
// where there is one processor).
unsigned ScanThreads(const CliOptions& options, unsigned processors);
