// out_folder.h: --out DIR: one file per reported chunk, named after its image and keyword.
#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include "app/console/options.h"
#include "app/console/output_stream.h"
#include "runtime/partial_folder.h"
#include "runtime/thread_sync.h"
#include "runtime/whole_file_writer.h"

// The names the files of one run get: BASE.EXTENSION, or else the first BASE.N.EXTENSION (N from 2
// on) not given before, case ignored as the file system ignores it. Each name remembers the N its next
// repeat tries first, so that many repeats of one name cost no more than as many different names.
class OutFileNames {
public:
    std::wstring Take(const std::wstring& base, const wchar_t* extension);
    // The names looked up so far: one per name taken, more only where a repeat's BASE.N was taken
    // already by a name of its own (a keyword that ends in ".2").
    size_t LookedUp() const { return lookedUp_; }

private:
    bool Unused(const std::wstring& name);
    std::set<std::wstring> used_;                  // in upper case
    std::map<std::wstring, unsigned> nextRepeat_;  // of a name in used_: the N its next repeat tries first
    size_t lookedUp_ = 0;
};

// A chunk's file, written whole under a temporary name in the folder on the thread that found the
// chunk, waiting for its turn to be named (OutFolder::Place).
struct PendingOutFile {
    std::wstring base;  // OutFileBase of the image and the keyword
    bool json = false;
    std::unique_ptr<WholeFileWriter> writer;  // null: the folder could not be made
};

// A chunk's file is IMAGE-STEM.KEYWORD.json when its text is a JSON object or array, .txt otherwise:
// its text as UTF-8 without a byte-order mark. Files are written on the scanning threads (Prepare),
// then named and renamed into place in the order of the report, on one thread (Place), so the names
// are the same whatever the number of threads. A name used before in this run (a second chunk of the
// same keyword, or an image of the same stem from another folder) takes .2, .3, ... before its
// extension. An existing file is never overwritten unless --force: its chunk gets the notice
// "OUTFILE: Exists, not overwritten (--force overwrites)" on stderr instead. Each file is written
// whole or not at all (whole_file_writer.h): a file that cannot be written leaves nothing under its
// name and gets "OUTFILE: Cannot write file: " and the system's reason. The folder is made, with any
// folders above it, at the first file; a folder that cannot be made is said once, at the first turn.
class OutFolder {
public:
    explicit OutFolder(const CliOptions& options);
    // On any thread: the file of a chunk, written and flushed under a temporary name. bytes: room to
    // encode the text in (kept by the caller from file to file), or null.
    std::unique_ptr<PendingOutFile> Prepare(const std::wstring& imageName, const std::wstring& keyword,
                                            const std::wstring& text, bool json, std::string* bytes);
    // On the one writing thread, in the order of the report: the file named and renamed into place.
    // False, with a notice on err, when the file was not written.
    bool Place(PendingOutFile* file, ConsoleStream* err);
    // Both at once.
    bool Write(const std::wstring& imageName, const std::wstring& keyword, const std::wstring& text, bool json,
               ConsoleStream* err) {
        return Place(Prepare(imageName, keyword, text, json, nullptr).get(), err);
    }

private:
    bool FolderMade();
    std::wstring folder_;
    std::wstring prefix_;  // the folder as the files' names start: with a separator where one is needed
    bool force_;
    bool verbose_;
    ThreadLock lock_;  // the making of the folder, tried once by whichever thread comes first
    bool tried_ = false;
    bool made_ = false;
    bool said_ = false;  // the writer said that the folder could not be made
    OutFileNames names_;
    PartialFolder partial_;  // where the files are written before they are named; gone with this object,
                             // after the files pending (the scan's results) are
};

// The folder as the names of the files in it start, its separators backslashes: with a separator where
// one is needed (none after a separator, none after "D:", which names that drive's current folder, none
// for an empty folder).
std::wstring FolderPrefix(const std::wstring& folder);

// Makes the folder and those above it that are missing; true when it is a folder then (made by
// another thread meanwhile included).
bool MakeFolders(const std::wstring& folder);

// The file name part made safe for Windows: characters that no name may hold (< > : " / \ | ? *,
// controls and a lone half of a surrogate pair) become '_', trailing dots and blanks are dropped, and
// an empty part is "_". Long parts are cut at MaxNamePart UTF-16 units, or one fewer where the cut
// would split a surrogate pair.
std::wstring SafeNamePart(const std::wstring& part);
const size_t MaxNamePart = 100;

// The file a chunk goes to, before repeats are counted: STEM.KEYWORD, both parts safe; a name whose
// part before its first dot is a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$)
// gets a '_' in front, since Windows takes "NUL.anything" for the device.
std::wstring OutFileBase(const std::wstring& imageName, const std::wstring& keyword);
