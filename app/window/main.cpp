// main.cpp: the entry point: start-up, the main window and its text box, the command-line scan, the event loop.
#include <windows.h>
#include <iterator>
#include <string>
#include <utility>
#include <vector>
#include "app/window/dropped_names.h"
#include "app/window/program.h"
#include "app/window/report_fill.h"
#include "app/window/report_scan.h"
#include "runtime/parameters.h"
#include "toolkit/drop_target.h"
#include "toolkit/events.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/text_box.h"
#include "toolkit/window_record.h"

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

// The report being shown; the loop hands it to the text box a piece at a time.
static ReportFill reportFill(ReportBox);
// The report being made, on a thread of its own; the loop takes it when it is made.
static ReportScan reportScan;
// Names given while a scan runs: they replace that scan once it has stopped.
static std::vector<std::wstring> namesAfterScan;
static bool scanReplaced = false;

// How long a scan may hold the window before the loop takes messages again: a small report (nearly
// every one) is then in the box before the loop waits, as it was when the scan took no messages.
static const DWORD ScanGraceMilliseconds = 150;
// How long the end of the program waits for a scan to stop (at its next record, piece of a read or name).
static const DWORD ScanStopMilliseconds = 800;

// Over the window while a report is made or shown: the wait cursor, though the window answers.
static LRESULT ShowWaitCursorWhileBusy(HWND, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_SETCURSOR || !(reportFill.Pending() || reportScan.Running()) || LOWORD(lParam) != HTCLIENT)
        return HookNotHandled;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return TRUE;
}

// Asks the window under the mouse for its cursor again, as a mouse move would: the wait cursor
// shows when a scan starts and goes when its fill ends, with the mouse standing still.
static void RefreshCursor() {
    POINT at;
    if (!GetCursorPos(&at)) return;
    HWND under = WindowFromPoint(at);
    if (!under || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) return;
    const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(hit, WM_MOUSEMOVE));
}

static void TakeScannedReport();

// Starts scanning names; a scan that ends within the grace is shown at once.
static void StartScan(std::vector<std::wstring> names) {
    reportScan.Start(std::move(names));
    RefreshCursor();
    if (reportScan.Wait(ScanGraceMilliseconds)) TakeScannedReport();
}

// Shows the report of the scan that has ended, replacing the one being shown: the user asked for the
// new names, and the report is the last scan's. A scan stopped for newer names gives way to them.
static void TakeScannedReport() {
    GatheredReport report;
    const bool gathered = reportScan.Take(&report);
    if (scanReplaced) {
        scanReplaced = false;
        StartScan(std::move(namesAfterScan));
        return;
    }
    if (gathered) {
        reportFill.Start(std::move(report));
        reportFill.ShowFirstPiece();
    }
    RefreshCursor();
}

// Scans the names that names() gives; while a scan runs, they replace it. Whatever this throws
// (memory exhausted while the names or the report are made) ends that scan only: the program goes
// on, and nothing reaches the entry point.
template <typename Names> static void ScanAndGoOn(Names names) {
    try {
        std::vector<std::wstring> given = names();
        if (reportScan.Running()) {
            namesAfterScan = std::move(given);
            scanReplaced = true;
            reportScan.AskToStop();
            return;
        }
        StartScan(std::move(given));
    } catch (...) {
        scanReplaced = false;
    }
    RefreshCursor();
}

// Takes the scan's report once it has ended; nothing escapes, as in ScanAndGoOn.
static void TakeReportIfScanned() {
    try {
        if (reportScan.Running() && reportScan.Wait(0)) TakeScannedReport();
    } catch (...) {
        scanReplaced = false;
    }
}

// The names a drop of the command line's parameters would give: all of them, in order (Explorer's
// "Send to" and a drop on the program's icon pass every name). A line feed in a parameter separates
// names, as in a drop's text.
static std::vector<std::wstring> CommandLineNames() {
    std::vector<std::wstring> names;
    const int32_t count = CountCommandArguments();
    for (int32_t i = 0; i < count; i++) {
        std::vector<std::wstring> parts = SplitDroppedNames(GetCommandArgument(i));
        names.insert(names.end(), std::make_move_iterator(parts.begin()), std::make_move_iterator(parts.end()));
    }
    return names;
}

// The names of the current event's drop: its text split once, here.
static std::vector<std::wstring> DroppedNames() { return SplitDroppedNames(GetDroppedFiles()); }

// Runs until the window is closed or Escape is held. Escape is tested before the event is handled,
// so a drop that arrives while it is held is not scanned. Only queued events count: a message that
// any process posts with the number of an event code is just a message. While a report is being
// shown the wait does not block: when no message is waiting, the next piece goes to the text box.
// While one is being made, the wait ends every few milliseconds to see whether it is.
static void RunEventLoop() {
    for (;;) {
        const bool filling = reportFill.Pending();
        const int32_t code = filling ? WaitEventTimeout(0) : reportScan.Running() ? WaitEventTimeout(10) : WaitEvent();
        if (EscapeHeld()) return;
        if (!LastWaitReturnedEvent()) {
            TakeReportIfScanned();
            if (code == 0 && filling) {
                reportFill.ShowNextPiece();
                if (!reportFill.Pending()) RefreshCursor();
            }
            continue;
        }
        if (code == DropOnGadgetEvent) ScanAndGoOn(DroppedNames);
        if (code == WindowClosedEvent) return;
    }
}

// The main window with its text box, the command-line scan and the loop.
static void RunMainWindow() {
    if (HWND window = reinterpret_cast<HWND>(
            OpenNumberedWindow(MainWindow, 0, 0, 640, 480, L"PNG text chunks", MainWindowFlags))) {
        CreateTextBox(ReportBox, 0, 0, 640, 460, L"", ReportBoxFlags);
        AcceptDropOnGadget(ReportBox, CF_HDROP, DROPEFFECT_COPY);
        if (WindowRecord* record = static_cast<WindowRecord*>(LookupObject(WindowRegistry(), MainWindow)))
            record->messageHook = ShowWaitCursorWhileBusy;
        // Every parameter names a file, as a drop of the same names does.
        if (CountCommandArguments() > 0) {
            // The window painted first: the scan holds it for up to its grace.
            UpdateWindow(window);
            ScanAndGoOn(CommandLineNames);
        }
        RunEventLoop();
        // A scan still running uses the file and memory libraries that the end frees: it is asked to
        // stop. One that has not within the time (a piece read from a slow device, the search of a
        // gigabyte) is ended with the process, whose report it was making is not wanted. Terminated,
        // not exited: ExitProcess would run the libraries' detach code, which may wait for a lock
        // the cut-off thread held (a heap's, say) forever.
        if (reportScan.Running()) {
            reportScan.AskToStop();
            if (!reportScan.Wait(ScanStopMilliseconds)) TerminateProcess(GetCurrentProcess(), 0);
        }
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
