// cli_options.h: pngtext-cli's command line: options, file arguments, usage and version texts.
#pragma once
#include <string>
#include <vector>

// Exit codes of pngtext-cli.
const int ExitAllLoaded = 0;    // every file was loaded and searched
const int ExitSomeNotLoaded = 1; // some file could not be loaded, or a name matched nothing
const int ExitUsageError = 2;   // the command line is wrong: unknown option, no file
const int ExitOutputFailed = 3; // stdout could not be written: the run stopped there

struct CliOptions {
    bool help = false;
    bool version = false;
    bool recursive = false;
    bool json = false;
    std::vector<std::wstring> names;  // in argument order, each whole (a line feed stays in its name)
    std::wstring error;               // not empty: a usage error, said in one line
};

// Options may stand anywhere before "--"; every argument after "--", and every argument that does
// not start with '-' (or is "-" alone), is a name. An empty argument is a name too: the scan reports it.
CliOptions ParseCommandLine(int argc, const wchar_t* const* argv);

// The text of --help: usage, options, exit codes and an example of each.
const wchar_t* UsageText();
