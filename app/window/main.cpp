// main.cpp: the entry point: start-up, the main window and its text box, the command-line scan, the event loop.
#include <windows.h>
#include "app/window/program.h"
#include "app/window/report_text_box.h"
#include "runtime/parameters.h"
#include "toolkit/drop_target.h"
#include "toolkit/events.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/text_box.h"

static const ObjectNumber MainWindow = 0;
static const ObjectNumber ReportBox = 0;
// A captioned window with system menu and minimise box, centred, client area exactly as given.
static const uint32_t MainWindowFlags = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | CenterOnScreenFlag;
static_assert(MainWindowFlags == 0xCA0001, "the main window's flags");
// A multi-line edit with a vertical scroll bar and no line wrapping, its lines left-aligned. The two
// alignment bits ES_CENTER | ES_RIGHT are left out on purpose: with them the Edit control measures a
// long line over and over (a 64 KB line took 16.5 s to set instead of 0.06 s; bench/long_line_bench),
// and prompts and workflows of that size in one line are common in today's images.
static const uint32_t ReportBoxFlags = WS_VSCROLL | ES_MULTILINE;
static_assert(ReportBoxFlags == 0x200004, "the report box's flags");
static_assert((ReportBoxFlags | ES_CENTER | ES_RIGHT) == 0x200007, "all that is left out: the two alignment bits");

// Whether the foreground window is one of this program's (the main window, a notice).
static bool OwnWindowInForeground() {
    DWORD process = 0;
    HWND foreground = GetForegroundWindow();
    return foreground && GetWindowThreadProcessId(foreground, &process) && process == GetCurrentProcessId();
}

// GetAsyncKeyState reads the key for the whole desktop: Escape held in another program (closing its
// dialog, say) must not end this one when a mouse move reaches our window.
static bool EscapeHeld() {
    return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0 && OwnWindowInForeground();
}

// Scans the names that names() gives into the report. Whatever a scan throws (memory exhausted while
// the names or the report are made) ends that scan only, with the lines reported so far: the
// program goes on, and nothing reaches the entry point.
template <typename Names> static void ScanAndGoOn(Names names) {
    try {
        ScanIntoReport(names());
    } catch (...) {
    }
}

// Runs until the window is closed or Escape is held. Escape is tested before the event is handled,
// so a drop that arrives while it is held is not scanned. Only queued events count: a message that
// any process posts with the number of an event code is just a message.
static void RunEventLoop() {
    for (;;) {
        const int32_t code = WaitEvent();
        if (EscapeHeld()) return;
        if (!LastWaitReturnedEvent()) continue;
        if (code == DropOnGadgetEvent) ScanAndGoOn(GetDroppedFiles);
        if (code == WindowClosedEvent) return;
    }
}

// The main window with its text box, the command-line scan and the loop.
static void RunMainWindow() {
    if (HWND window = reinterpret_cast<HWND>(
            OpenNumberedWindow(MainWindow, 0, 0, 640, 480, L"PNG text chunks", MainWindowFlags))) {
        CreateTextBox(ReportBox, 0, 0, 640, 460, L"", ReportBoxFlags);
        AcceptDropOnGadget(ReportBox, CF_HDROP, DROPEFFECT_COPY);
        // Only the first parameter names a file; the others are ignored.
        if (CountCommandArguments() != 0) {
            // The scan takes no messages: paint the window first, so that a long scan at start-up
            // shows a window with its wait cursor rather than a blank frame.
            UpdateWindow(window);
            ScanAndGoOn([] { return GetCommandArgument(0); });
        }
        RunEventLoop();
    }
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    TakeModuleHandle();
    ToolkitStartUp();
    AllocateWorkBuffer();
    try {
        RunMainWindow();
    } catch (...) {
        // Nothing may reach std::terminate: the program ends the one way it always does.
    }
    ReleaseWorkBuffer();
    EndProgram();
}
