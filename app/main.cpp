// main.cpp: the entry point: start-up, the main window and its text box, the command-line scan, the event loop.
#include <windows.h>
#include "app/program.h"
#include "app/report_text_box.h"
#include "runtime/parameters.h"
#include "toolkit/drop_target.h"
#include "toolkit/events.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/text_box.h"

static const ObjectNumber MainWindow = 0;
static const ObjectNumber ReportBox = 0;
// A captioned window with system menu and minimise box, centred, client area exactly as given.
static const uint32_t MainWindowFlags = 0xCA0001;
// A multi-line edit with a vertical scroll bar and no line wrapping, its lines left-aligned. The two
// alignment bits ES_CENTER | ES_RIGHT are left out on purpose: with them the Edit control measures a
// long line over and over (a 64 KB line took 16.5 s to set instead of 0.06 s; bench/long_line_bench),
// and prompts and workflows of that size in one line are common in today's images.
static const uint32_t ReportBoxFlags = 0x200004;

static bool EscapeHeld() { return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0; }

// Runs until the window is closed or Escape is held. Escape is tested before the event is handled,
// so a drop that arrives while it is held is not scanned.
static void RunEventLoop() {
    for (;;) {
        const int32_t code = WaitEvent();
        if (EscapeHeld()) return;
        if (code == DropOnGadgetEvent) ScanIntoReport(GetDroppedFiles());
        if (code == WindowClosedEvent) return;
    }
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    TakeModuleHandle();
    ToolkitStartUp();
    AllocateWorkBuffer();
    if (HWND window = reinterpret_cast<HWND>(
            OpenNumberedWindow(MainWindow, 0, 0, 640, 480, L"PNG text chunks", MainWindowFlags))) {
        CreateTextBox(ReportBox, 0, 0, 640, 460, L"", ReportBoxFlags);
        AcceptDropOnGadget(ReportBox, CF_HDROP, DROPEFFECT_COPY);
        // Only the first parameter names a file; the others are ignored.
        if (CountCommandArguments() != 0) {
            // The scan takes no messages: paint the window first, so that a long scan at start-up
            // shows a window with its wait cursor rather than a blank frame.
            UpdateWindow(window);
            ScanIntoReport(GetCommandArgument(0));
        }
        RunEventLoop();
    }
    ReleaseWorkBuffer();
    EndProgram();
}
