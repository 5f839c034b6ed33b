// own_console.cpp: telling a console of the program's own, and waiting for a key in it.
#include "app/console/own_console.h"
#include <windows.h>
#include "runtime/owned_handle.h"

const wchar_t* const DropHint =
    L"\nFiles can be dropped on pngtext-cli.exe: their texts then show in a window like this one.\n";

bool ConsoleOfItsOwn() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForKeyBeforeClosing() {
    // The console itself, whatever stdin and stdout were redirected to.
    OwnedFile output(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    OwnedFile input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (output.Open()) {
        static const wchar_t prompt[] = L"\nPress any key to close this window.\n";
        DWORD written = 0;
        WriteConsoleW(output.Get(), prompt, static_cast<DWORD>(wcslen(prompt)), &written, nullptr);
        output.Close();
    }
    if (!input.Open()) return;
    // Keys pressed while the files were scanned do not count: the text must be seen first.
    FlushConsoleInputBuffer(input.Get());
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(input.Get(), &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
    }
}
