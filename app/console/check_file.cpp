// check_file.cpp: one file's --check.
#include "app/console/check_file.h"
#include "app/console/check_output.h"
#include "app/console/loaded_file_bytes.h"
#include "png/share_check.h"

bool CheckFile(const std::wstring& name, int64_t listedSize, bool json, FileLoader* loader, ConsoleReport* report) {
    report->StartReport(name, false);
    Loaded loaded(loader);
    if (const wchar_t* notice = loader->Load(name, listedSize, &loaded.file)) {
        report->Notice(L"File", notice, name);
        return false;
    }
    LoadedFileBytes bytes(loaded.file);
    CheckResult result = CheckForSharing(&bytes);
    std::wstring out;
    if (json) {
        AppendCheckJson(out, name, result);
    } else {
        AppendCheckLines(out, result);
    }
    report->AppendCheckOutput(out, CheckFoundSomething(result));
    std::wstring storage;
    if (const wchar_t* notice = CheckNotice(result, &storage)) {
        report->Notice(L"File", notice, name);
        return false;
    }
    return true;
}
