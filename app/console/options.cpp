// options.cpp: pngtext-cli's command line.
#include "app/console/options.h"
#include <cwchar>

namespace {

// The options that stand alone, each with its short letter (0: none) and long name.
struct Flag {
    wchar_t letter;
    const wchar_t* name;
    void (*set)(CliOptions* options);
};

const Flag flags[] = {
    {L'h', L"help", [](CliOptions* o) { o->help = true; }},
    {L'?', nullptr, [](CliOptions* o) { o->help = true; }},
    {0, L"version", [](CliOptions* o) { o->version = true; }},
    {L'r', L"recursive", [](CliOptions* o) { o->recursive = true; }},
    {0, L"json", [](CliOptions* o) { o->form = OutputForm::Json; }},
    {0, L"text", [](CliOptions* o) { o->form = OutputForm::TextAlone; }},
    {L'l', L"files-with-matches", [](CliOptions* o) { o->form = OutputForm::FilesWithMatches; }},
    {L'i', L"ignore-case", [](CliOptions* o) { o->ignoreCase = true; }},
    {L'0', L"null", [](CliOptions* o) { o->nullEnds = true; }},
    {0, L"pretty", [](CliOptions* o) { o->pretty = true; }},
    {0, L"utf8-text", [](CliOptions* o) { o->utf8Text = true; }},
    {0, L"force", [](CliOptions* o) { o->force = true; }},
    {L'v', L"verbose", [](CliOptions* o) { o->verbose = true; }},
    {0, L"check", [](CliOptions* o) { o->check = true; }},
    {0, L"clear-stealth", [](CliOptions* o) { o->clearStealth = true; }},
};

// The options that take a value.
struct ValueOption {
    wchar_t letter;
    const wchar_t* name;
    void (*set)(CliOptions* options, const wchar_t* value);
};

const ValueOption valueOptions[] = {
    {L'k', L"keyword", [](CliOptions* o, const wchar_t* v) { o->keywords.emplace_back(v); }},
    {L'e', L"grep", [](CliOptions* o, const wchar_t* v) { o->greps.emplace_back(v); }},
    {L'o', L"out",
     [](CliOptions* o, const wchar_t* v) {
         o->form = OutputForm::OutFolder;
         o->outFolder = v;
     }},
    {0, L"clean", [](CliOptions* o, const wchar_t* v) { o->cleanFolder = v; }},
    {0, L"keep", [](CliOptions* o, const wchar_t* v) { o->keeps.emplace_back(v); }},
    {0, L"drop", [](CliOptions* o, const wchar_t* v) { o->drops.emplace_back(v); }},
};

// Four ASCII letters, the first lower case: a chunk a decoder may skip.
bool IsAncillaryTypeCode(const std::wstring& type) {
    if (type.size() != 4 || !(type[0] >= L'a' && type[0] <= L'z')) return false;
    for (wchar_t c : type) {
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'))) return false;
    }
    return true;
}

class Parser {
public:
    Parser(int argc, const wchar_t* const* argv) : argc_(argc), argv_(argv) {}

    CliOptions Parse() {
        bool optionsEnded = false;
        for (next_ = 1; next_ < argc_;) {
            const wchar_t* argument = argv_[next_++];
            if (!optionsEnded && wcscmp(argument, L"/?") == 0) {
                options_.help = true;  // cmd's way of asking, though it does not start with '-'
            } else if (optionsEnded || argument[0] != L'-' || argument[1] == 0) {
                options_.names.emplace_back(argument);
            } else if (wcscmp(argument, L"--") == 0) {
                optionsEnded = true;
            } else if (argument[1] == L'-') {
                LongOption(argument);
            } else {
                ShortOptions(argument);
            }
        }
        Check();
        return options_;
    }

private:
    void Fail(const std::wstring& error) {
        if (options_.error.empty()) options_.error = error;
    }

    // The value of an option: the rest of its argument, or the next argument.
    const wchar_t* Value(const wchar_t* joined, const std::wstring& option) {
        if (joined) return joined;
        if (next_ < argc_) return argv_[next_++];
        Fail(option + L" needs a value");
        return nullptr;
    }

    // Sets an option, counting the ones that choose the output form.
    void Set(const Flag& flag) {
        flag.set(&options_);
        if (flag.name && IsFormName(flag.name)) formsChosen_ |= 1u << static_cast<unsigned>(options_.form);
    }
    void Set(const ValueOption& option, const wchar_t* value) {
        option.set(&options_, value);
        if (wcscmp(option.name, L"clean") == 0) cleanGiven_ = true;
        if (option.letter == L'o') formsChosen_ |= 1u << static_cast<unsigned>(options_.form);
    }
    static bool IsFormName(const wchar_t* name) {
        return wcscmp(name, L"json") == 0 || wcscmp(name, L"text") == 0 || wcscmp(name, L"files-with-matches") == 0;
    }

    void LongOption(const wchar_t* argument) {
        std::wstring name = argument + 2;
        const wchar_t* joined = nullptr;
        size_t equals = name.find(L'=');
        if (equals != std::wstring::npos) {
            joined = argument + 2 + equals + 1;
            name.resize(equals);
        }
        for (const Flag& flag : flags) {
            if (flag.name && name == flag.name && !joined) return Set(flag);
        }
        for (const ValueOption& option : valueOptions) {
            if (name != option.name) continue;
            if (const wchar_t* value = Value(joined, L"--" + name)) Set(option, value);
            return;
        }
        Fail(std::wstring(L"unknown option: ") + argument);
    }

    // One or more letters after one '-' ("-ril"); a letter that takes a value takes the rest ("-kprompt").
    void ShortOptions(const wchar_t* argument) {
        for (const wchar_t* at = argument + 1; *at; at++) {
            if (!ShortOption(at)) {
                Fail(std::wstring(L"unknown option: ") + (at == argument + 1 ? std::wstring(argument) : std::wstring(L"-") + *at));
                return;
            }
            for (const ValueOption& option : valueOptions) {
                if (option.letter != *at) continue;
                if (const wchar_t* value = Value(at[1] ? at + 1 : nullptr, std::wstring(L"-") + *at)) Set(option, value);
                return;
            }
        }
    }

    bool ShortOption(const wchar_t* at) {
        for (const Flag& flag : flags) {
            if (flag.letter == *at) {
                Set(flag);
                return true;
            }
        }
        for (const ValueOption& option : valueOptions) {
            if (option.letter == *at) return true;
        }
        return false;
    }

    // Choices that contradict each other, or one that needs another.
    void Check() {
        if (formsChosen_ & (formsChosen_ - 1)) Fail(L"--json, --text, -l and --out each choose the output: give one of them");
        if (options_.nullEnds && options_.form != OutputForm::TextAlone && options_.form != OutputForm::FilesWithMatches)
            Fail(L"-0 goes with --text or -l");
        if (options_.pretty && options_.form != OutputForm::TextAlone && options_.form != OutputForm::OutFolder)
            Fail(L"--pretty goes with --text or --out");
        if ((options_.force || options_.verbose) && options_.form != OutputForm::OutFolder && !options_.Clean())
            Fail(L"--force and -v go with --out or --clean");
        if ((!options_.keeps.empty() || !options_.drops.empty() || options_.clearStealth) && !options_.Clean())
            Fail(L"--keep, --drop and --clear-stealth go with --clean");
        if (cleanGiven_ && !options_.Clean()) Fail(L"--clean needs a folder");
        if (options_.Clean() && (options_.check || (options_.form != OutputForm::Report && options_.form != OutputForm::Json)))
            Fail(L"--clean writes copies (--json makes its report JSON): --check, --text, -l and --out do not go with it");
        if (options_.Clean() && (!options_.greps.empty() || options_.utf8Text || options_.pretty || options_.nullEnds))
            Fail(L"--clean picks text chunks by keyword alone: --grep, --utf8-text, --pretty and -0 do not go with it");
        for (const std::wstring& type : options_.drops) {
            if (!IsAncillaryTypeCode(type)) Fail(L"--drop takes the type code of an ancillary chunk, such as eXIf: " + type);
        }
        if (options_.form == OutputForm::OutFolder && options_.outFolder.empty()) Fail(L"--out needs a folder");
        if (options_.check && options_.form != OutputForm::Report && options_.form != OutputForm::Json)
            Fail(L"--check chooses the output (--json makes it JSON): --text, -l and --out do not go with it");
        if (options_.check && (!options_.keywords.empty() || !options_.greps.empty() || options_.ignoreCase || options_.utf8Text))
            Fail(L"--check looks at every chunk: -k, -i, --grep and --utf8-text do not go with it");
        for (const std::wstring& grep : options_.greps) {
            if (grep.empty()) Fail(L"--grep needs a text that is not empty");
        }
        if (options_.names.empty() && !options_.help && !options_.version) Fail(L"no file named");
    }

    int argc_;
    const wchar_t* const* argv_;
    int next_ = 1;
    unsigned formsChosen_ = 0;  // a bit for each of --json, --text, -l, --out given
    bool cleanGiven_ = false;
    CliOptions options_;
};

}  // namespace

CliOptions ParseCommandLine(int argc, const wchar_t* const* argv) { return Parser(argc, argv).Parse(); }

const wchar_t* UsageText() {
    return L"usage: pngtext-cli [OPTION]... FILE|FOLDER|PATTERN...\n"
           L"Prints the tEXt, zTXt and iTXt chunks of each file: a line \"file:NAME\", then one line per chunk.\n"
           L"A folder stands for the .png files in it, in name order. A pattern with * or ? in its last\n"
           L"part stands for the files it matches, in name order. Notices go to stderr as \"FILE: message\".\n"
           L"\n"
           L"which chunks (both must hold):\n"
           L"  -k, --keyword NAME    only chunks whose keyword is NAME; * and ? match; case as stored;\n"
           L"                        repeatable (any of them)\n"
           L"  -i, --ignore-case     -k ignores case\n"
           L"  -e, --grep TEXT       only chunks whose keyword or text holds TEXT, case ignored in every\n"
           L"                        script; inflated texts too; repeatable (any of them)\n"
           L"output (one of them; the report by default):\n"
           L"      --json            JSON Lines: one object per chunk and one per notice\n"
           L"      --check           what each file gives away before it is shared: text chunks (and the\n"
           L"                        generation data and secrets in them), XMP, eXIf, caBX, tIME, unknown\n"
           L"                        chunks, bytes after IEND, text hidden in the pixels; with --json as\n"
           L"                        JSON objects; exit codes as grep's (below)\n"
           L"      --clean DIR       a copy of each PNG in DIR to share (-r keeps the folders below the one\n"
           L"                        named): without its tEXt, zTXt and iTXt chunks (-k: only those named;\n"
           L"                        --keep NAME keeps those of NAME), tIME, caBX and the bytes after IEND;\n"
           L"                        eXIf goes too unless its orientation turns the image (--drop eXIf: it\n"
           L"                        goes anyway); every other chunk is kept byte for byte, in order. Only a\n"
           L"                        well-formed PNG is copied; nothing existing is overwritten (--force\n"
           L"                        overwrites), a copy never replaces its file; -v tells what went and why\n"
           L"      --text            each chunk's text alone, as UTF-8, then a line feed\n"
           L"  -l, --files-with-matches  only the names of the files with a chunk (stops at the first)\n"
           L"  -o, --out DIR         one file per chunk in DIR (made when missing): IMAGE.KEYWORD.json when\n"
           L"                        the text is a JSON object or array, else .txt; repeats get .2, .3\n"
           L"  -0, --null            with --text or -l: end each text or name with NUL, not a line feed\n"
           L"      --pretty          with --text or --out: JSON texts indented by two spaces\n"
           L"      --force           with --out or --clean: overwrite existing files (never done otherwise)\n"
           L"  -v, --verbose         with --out: name each file written on stderr; with --clean: what\n"
           L"                        each copy lost and kept, and why\n"
           L"      --keep NAME       with --clean: text chunks of keyword NAME stay (* and ?; repeatable)\n"
           L"      --drop TYPE       with --clean: chunks of the ancillary TYPE go too (eXIf)\n"
           L"      --clear-stealth   with --clean: text hidden in the pixels goes too (its bits are set as\n"
           L"                        the writer found them; the image data is deflated again)\n"
           L"      --utf8-text       tEXt and zTXt keywords and texts that are valid UTF-8 (with a byte\n"
           L"                        above 0x7F) are read as UTF-8, not in the ANSI code page\n"
           L"other:\n"
           L"  -r, --recursive       with a folder, also the .png files of its subfolders (a pattern then\n"
           L"                        also descends into the folders it matches)\n"
           L"  -h, --help            this text\n"
           L"      --version         the program's version\n"
           L"      --                every argument after it is a name, even one that starts with -\n"
           L"Short options combine (-rl); a value follows its option (-k NAME, -kNAME, --keyword=NAME).\n"
           L"\n"
           L"exit codes: 0 every file was loaded, 1 some file was not (or a name matched nothing, or a\n"
           L"            file of --out was not written), 2 usage error (unknown option, no file named),\n"
           L"            3 the output could not be written (disk full, closed handle; a pipe closed by\n"
           L"              its reader ends the run quietly with this code too); it comes first\n"
           L"  with --grep or -l, as grep's: 2 a file could not be read or an output file not written\n"
           L"            (this comes first), else 0 something was reported, else 1 nothing was\n"
           L"  with --clean: 1 also when a file got no copy, or a copy still gives something away (text\n"
           L"            hidden in the pixels, an eXIf kept for its orientation): a notice names it\n"
           L"  with --check: 2 a file could not be read or checked to its end (this comes first), else\n"
           L"            0 something was found or not checked, else 1 every file was checked: nothing\n"
           L"\n"
           L"examples:\n"
           L"  pngtext-cli image.png\n"
           L"  pngtext-cli -r D:\\Pictures > texts.txt\n"
           L"  pngtext-cli --json out\\*.png > texts.jsonl\n"
           L"  pngtext-cli -- -dash-named.png\n"
           L"recipes:\n"
           L"  extract a workflow:  pngtext-cli -k workflow --text image.png > workflow.json\n"
           L"  every text to files: pngtext-cli -r --out texts --pretty D:\\Pictures\n"
           L"  search a folder:     pngtext-cli -r -l --grep \"red fox\" D:\\Pictures\n"
           L"  check before sharing: pngtext-cli -r --check Share\\\n"
           L"  share-safe copies:   pngtext-cli -r -v --keep parameters --clean Share D:\\Pictures\n"
           L"  find API keys in workflows (one JSON object per key found):\n"
           L"                       pngtext-cli -r --check --json D:\\Pictures | findstr /c:\"\\\"finding\\\":\\\"secret\\\"\"\n";
}
