// options.h: pngtext-cli's command line: one record of every choice, file arguments, usage text.
#pragma once
#include <string>
#include <vector>

// Exit codes of pngtext-cli. With --grep, -l or --check they follow grep's instead (see ExitCodeOf).
const int ExitAllLoaded = 0;     // every file was loaded and searched
const int ExitSomeNotLoaded = 1; // some file could not be loaded, or a name matched nothing
const int ExitUsageError = 2;    // the command line is wrong: unknown option, no file
const int ExitOutputFailed = 3;  // stdout or stderr could not be written: the run stopped there (in every mode)
const int ExitFound = 0;         // --grep, -l: something was reported; --check: something found or not checked
const int ExitNothingFound = 1;  // --grep, -l: nothing was reported; --check: every file checked whole, nothing found
const int ExitError = 2;         // --grep, -l, --check: a file could not be read (or checked to its end), or an output not written

// What the output of each reported chunk is.
enum class OutputForm {
    Report,            // the report lines, each file's "file:" line first
    Json,              // --json: JSON Lines
    TextAlone,         // --text: each text alone
    FilesWithMatches,  // -l: the names of the files with a reported chunk
    OutFolder,         // --out DIR: one file per chunk
};

// Every choice of the command line, passed whole from here to the scan and the output.
struct CliOptions {
    bool help = false;
    bool version = false;
    bool recursive = false;
    OutputForm form = OutputForm::Report;
    std::vector<std::wstring> keywords;  // -k: patterns with * and ?; none: every chunk
    bool ignoreCase = false;             // -i: keywords compare ignoring case
    std::vector<std::wstring> greps;     // --grep: any of them in keyword or text; none: every chunk
    bool nullEnds = false;               // -0: texts and names end with NUL instead of LF
    bool pretty = false;                 // --pretty: JSON texts indented
    bool utf8Text = false;               // --utf8-text: tEXt and zTXt bytes that are UTF-8 read as UTF-8
    std::wstring outFolder;              // --out
    bool force = false;                  // --force: --out and --clean may overwrite
    bool verbose = false;                // -v: --out names each file written on stderr, --clean what it did
    bool check = false;                  // --check: what each file gives away, instead of its texts
    std::wstring cleanFolder;            // --clean DIR: share-safe copies there, instead of the report
    std::vector<std::wstring> keeps;     // --keep: with --clean, text chunks of these keywords stay
    std::vector<std::wstring> drops;     // --drop: with --clean, these ancillary types go too (eXIf)
    bool clearStealth = false;           // --clear-stealth: with --clean, text hidden in the pixels goes too
    std::vector<std::wstring> names;     // in argument order, each whole (a line feed stays in its name)
    std::wstring error;                  // not empty: a usage error, said in one line

    bool Clean() const { return !cleanFolder.empty(); }
    // Exit codes as grep's: --grep, -l or --check.
    bool GrepExitCodes() const { return !greps.empty() || form == OutputForm::FilesWithMatches || check; }
};

// Options may stand anywhere before "--"; every argument after "--", and every argument that does
// not start with '-' (or is "-" alone), is a name. An empty argument is a name too: the scan reports it.
// An option's value is the next argument (-k NAME) or joined to it (--keyword=NAME, -kNAME).
CliOptions ParseCommandLine(int argc, const wchar_t* const* argv);

// The text of --help: usage, options, exit codes, recipes and an example of each.
const wchar_t* UsageText();
