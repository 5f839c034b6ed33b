// cli_options.cpp: pngtext-cli's command line.
#include "app/console/cli_options.h"
#include <cwchar>

CliOptions ParseCommandLine(int argc, const wchar_t* const* argv) {
    CliOptions options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const wchar_t* argument = argv[i];
        if (!optionsEnded && wcscmp(argument, L"/?") == 0) {
            options.help = true;  // cmd's way of asking, though it does not start with '-'
        } else if (optionsEnded || argument[0] != L'-' || argument[1] == 0) {
            options.names.emplace_back(argument);
        } else if (wcscmp(argument, L"--") == 0) {
            optionsEnded = true;
        } else if (wcscmp(argument, L"-h") == 0 || wcscmp(argument, L"--help") == 0 || wcscmp(argument, L"-?") == 0) {
            options.help = true;
        } else if (wcscmp(argument, L"--version") == 0) {
            options.version = true;
        } else if (wcscmp(argument, L"-r") == 0 || wcscmp(argument, L"--recursive") == 0) {
            options.recursive = true;
        } else if (wcscmp(argument, L"--json") == 0) {
            options.json = true;
        } else if (options.error.empty()) {
            options.error = std::wstring(L"unknown option: ") + argument;
        }
    }
    if (options.error.empty() && options.names.empty() && !options.help && !options.version)
        options.error = L"no file named";
    return options;
}

const wchar_t* UsageText() {
    return L"usage: pngtext-cli [OPTION]... FILE|FOLDER|PATTERN...\n"
           L"Prints the tEXt, zTXt and iTXt chunks of each file: a line \"file:NAME\", then one line per chunk.\n"
           L"A folder stands for the .png files in it, in name order. A pattern with * or ? in its last\n"
           L"part stands for the files it matches, in name order. Notices go to stderr as \"FILE: message\".\n"
           L"\n"
           L"options:\n"
           L"  -r, --recursive   with a folder, also the .png files of its subfolders (a pattern then also\n"
           L"                    descends into the folders it matches)\n"
           L"      --json        JSON Lines on stdout: one object per chunk and one per notice\n"
           L"  -h, --help        this text\n"
           L"      --version     the program's version\n"
           L"      --            every argument after it is a name, even one that starts with -\n"
           L"\n"
           L"exit codes: 0 every file was loaded, 1 some file was not (or a name matched nothing),\n"
           L"            2 usage error (unknown option, no file named),\n"
           L"            3 the output could not be written (disk full, closed handle; a pipe closed by\n"
           L"              its reader ends the run quietly with this code too)\n"
           L"\n"
           L"examples:\n"
           L"  pngtext-cli image.png\n"
           L"  pngtext-cli *.png\n"
           L"  pngtext-cli -r D:\\Pictures\n"
           L"  pngtext-cli --json out\\*.png > texts.jsonl\n"
           L"  pngtext-cli -- -dash-named.png\n";
}
