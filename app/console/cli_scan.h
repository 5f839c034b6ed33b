// cli_scan.h: the console front end's scans, on worker threads, written in the order of the names.
#pragma once
#include <vector>
#include "app/console/cli_names.h"
#include "app/console/console_output.h"

// Scans every item (or reports its notice) and writes each one's output in item order: the same bytes
// whatever the number of threads. Each thread has its own loader and work buffer; at most a few
// items ahead of the one being written are scanned, so memory stays bounded. True when every item
// was a file that was loaded and searched.
bool ScanItems(const std::vector<CliItem>& items, bool json, unsigned threads, ConsoleStream* out, ConsoleStream* err);

// The processors this process may use, at least 1.
unsigned ProcessorCount();
