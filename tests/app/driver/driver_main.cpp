// driver_main.cpp: a command-line hand for the program's window, used by scripts/run.
//   pngtext-driver report [TIMEOUT_MS]  waits for the window "PNG text chunks" to be idle, prints its report
//                                       (UTF-8, then any open notice as "notice: MESSAGE") and exits 0
//   pngtext-driver frame [TIMEOUT_MS]   prints the window's frame on the screen as WIDTHxHEIGHT+X+Y
//   pngtext-driver close [TIMEOUT_MS]   confirms any open notice, closes the window as the close box does and
//                                       waits for the program's end; exits with the program's exit code
// Exit code 2: no such window within the time limit.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include "tests/app/driver/program_driver.h"

static HWND FindProgramWindow(DWORD timeout, DWORD* processId) {
    const DWORD start = GetTickCount();
    do {
        HWND window = FindWindowW(nullptr, ProgramWindowTitle);
        if (window && IsWindowVisible(window)) {
            GetWindowThreadProcessId(window, processId);
            return window;
        }
        Sleep(50);
    } while (GetTickCount() - start < timeout);
    return nullptr;
}

static void WriteUtf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

static std::wstring WithLineFeeds(const std::wstring& report) {
    std::wstring text;
    for (size_t i = 0; i < report.size(); ++i) {
        if (report[i] == L'\r' && i + 1 < report.size() && report[i + 1] == L'\n') continue;
        text += report[i];
    }
    return text;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: pngtext-driver report|frame|close [TIMEOUT_MS]\n");
        return 64;
    }
    const std::wstring command = argv[1];
    const DWORD timeout = argc > 2 ? wcstoul(argv[2], nullptr, 10) : 30000;
    DWORD processId = 0;
    HWND window = FindProgramWindow(timeout, &processId);
    if (!window) {
        fwprintf(stderr, L"pngtext-driver: no window \"%ls\"\n", ProgramWindowTitle);
        return 2;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (command == L"report") {
        if (process) WaitForInputIdle(process, timeout);
        HWND box = FindWindowExW(window, nullptr, L"Edit", nullptr);
        std::wstring text = box ? WithLineFeeds(ReadWindowText(box)) : L"";
        if (HWND notice = FindProcessWindow(processId, NoticeTitle)) text += L"\nnotice: " + NoticeMessage(notice);
        WriteUtf8(text + L"\n");
        return 0;
    }
    if (command == L"frame") {
        RECT frame;
        GetWindowRect(window, &frame);
        wchar_t text[64];
        swprintf(text, 64, L"%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
        WriteUtf8(text);
        return 0;
    }
    if (command == L"close") {
        // A notice blocks the window: answer it first, as the user would.
        for (int i = 0; i < 20; ++i) {
            HWND notice = FindProcessWindow(processId, NoticeTitle);
            if (!notice) break;
            ConfirmNotice(notice);
            Sleep(100);
        }
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD code = 0;
        if (process && WaitForSingleObject(process, timeout) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
        else code = 3;
        return static_cast<int>(code);
    }
    fwprintf(stderr, L"pngtext-driver: unknown command %ls\n", command.c_str());
    return 64;
}
