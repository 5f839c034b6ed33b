// partial_folder.h: a folder of this process's own inside an output folder, where the temporary files
// of files that are renamed into the output folder when complete are made.
#pragma once
#include <string>

// Why a folder of its own: under Wine a name that does not exist yet is looked up by reading its
// whole folder (case is ignored by a scan), so in an output folder that fills with thousands of files
// every temporary name costs a read of all of them; in a folder of a few, next to nothing. A rename
// into the output folder is still one step on the same volume.
//
// The folder is "~pngtext-PID.partial" (the process number), hidden. It is used only when this object made it:
// a name already there (a file, a folder, a link) is never written into, and the temporaries then go
// in the output folder itself. It is removed at the end when empty; the files written through it are
// each removed or renamed by their writers before that.
class PartialFolder {
public:
    PartialFolder() = default;
    ~PartialFolder();
    PartialFolder(const PartialFolder&) = delete;
    PartialFolder& operator=(const PartialFolder&) = delete;

    // Makes the folder inside outputPrefix (the output folder as its files' names start: ending in a
    // separator or a drive's colon, or empty for the current folder), once; the caller makes sure the
    // output folder exists and that one thread calls this at a time.
    void Make(const std::wstring& outputPrefix);
    // The prefix to make temporary files with: the folder's, or outputPrefix where it was not made.
    const std::wstring& Prefix() const { return prefix_; }

private:
    std::wstring made_;  // the folder, when made here
    std::wstring prefix_;
    bool tried_ = false;
};
