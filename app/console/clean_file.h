// clean_file.h: --clean for one file: loaded for reading only, its share-safe copy made by the PNG
// layer, written whole beside the others, read back before it takes its name; the account of it
// gathered where the file's output waits for its turn.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "app/console/name_expansion.h"
#include "app/console/options.h"
#include "app/console/file_output.h"
#include "report/file_loader.h"
#include "runtime/partial_folder.h"
#include "runtime/thread_sync.h"

// The memory of the last copy made on one thread (kept for the next file up to a size) and the piece
// its read-back is read into: memory fresh for every copy costs its page faults each time. Owned by the thread's scanner, never a
// thread_local: this toolchain's thread_local storage is freed before its destructors run at a
// thread's end, so a vector there frees whatever has taken its place since (a crash, now and then,
// as a run of --clean ended).
struct CleanMemory {
    std::vector<uint8_t> copy;
    std::vector<uint8_t> readBack;
};

// What the cleaning threads of one run share: the hidden folder of the run's own in DIR where the
// copies into DIR itself are written before they take their names (partial_folder.h says why). Copies
// into folders below DIR (-r) are written beside their names.
class CleanRun {
public:
    explicit CleanRun(const CliOptions& options);
    // The prefix a temporary file for copyPath is made with; DIR exists by then.
    std::wstring TemporaryPrefix(const std::wstring& copyPath);

private:
    std::wstring rootPrefix_;  // DIR as its copies' names start
    ThreadLock lock_;          // the partial folder is made once, by the first thread that needs it
    PartialFolder partial_;
};

// The copy of item goes to DIR\ + the item's name below its argument (clean_output.h words it). A
// notice, and false, for a file that gets no copy (not loaded, not a well-formed PNG, a name taken
// without --force, the file itself, a write or read-back that failed, hidden text --clear-stealth could
// not clear: nothing is left under the copy's name then) and for a copy that still gives something
// away (text hidden in the pixels without --clear-stealth, an eXIf kept for its orientation, hidden
// text that could not be looked for). True: the copy is written and holds nothing of those. May
// throw std::bad_alloc (the scan's policy then says "Cannot allocate memory").
// memory is the calling thread's, kept from file to file (see CleanMemory).
bool CleanFile(const CliItem& item, const CliOptions& options, FileLoader* loader, CleanMemory* memory, CleanRun* run,
               ConsoleReport* report);

// Items whose copies would take one name (the same file named twice, two files of one name from
// different folders named without -r): each after the first in the order of the names gets a notice
// instead of a copy, so which one is copied never depends on which thread comes first.
void MarkCopyNameClashes(const CliOptions& options, std::vector<CliItem>* items);

// Where the copy of a file goes: the folder, a separator, the name's part after rootLength.
std::wstring CleanCopyPath(const std::wstring& folder, const std::wstring& name, size_t rootLength);

// True when both names stand for one file: the same full path (case ignored), or, when both exist,
// the same file on the same volume (a link, another spelling). bExists: whether b was seen to exist
// (when not, the full paths alone are compared).
bool SameFile(const std::wstring& a, const std::wstring& b, bool bExists = true);
