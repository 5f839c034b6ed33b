// program_driver.h: drives the real program from another process, as a user would.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// The program's main window title and the title of its notices.
extern const wchar_t ProgramWindowTitle[];
extern const wchar_t NoticeTitle[];

// One started copy of the program. The destructor ends it when it is still running, so a failed
// test leaves nothing behind.
class ProgramUnderTest {
public:
    ProgramUnderTest() = default;
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // Starts exe with the given parameters (already quoted as the command line needs them).
    bool Start(const std::wstring& exe, const std::wstring& parameters);
    DWORD ProcessId() const { return processId_; }
    HANDLE Process() const { return process_; }

    // The main window once it is visible, or null after timeout milliseconds.
    HWND WaitForWindow(DWORD timeout);
    // The first "Edit" child of the main window, or null.
    HWND TextBox() const;
    // The text box once it exists (it is created after the window shows), or null after timeout.
    HWND WaitForTextBox(DWORD timeout) const;
    HWND Window() const { return window_; }
    // The text box's whole text (WM_GETTEXT across the process boundary).
    std::wstring ReadReport() const;
    // Waits until the report equals expected or timeout passes; returns the last text read.
    std::wstring WaitForReport(const std::wstring& expected, DWORD timeout) const;
    // Waits until the program waits for input with none pending (it is then in a message loop).
    bool WaitUntilIdle(DWORD timeout) const;
    // A visible notice box ("File") of the program, or null after timeout.
    HWND WaitForNotice(DWORD timeout) const;
    // The process exit code, or STILL_ACTIVE when it has not ended within timeout.
    DWORD WaitForExit(DWORD timeout) const;
    bool Running() const { return WaitForExit(0) == STILL_ACTIVE; }
    // Ends the program the hard way (clean-up after a failed test).
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
};

// Finds a visible top-level window of the process with the given title (null: any title).
HWND FindProcessWindow(DWORD processId, const wchar_t* title);
// The text of a window of another process, with a time limit so a hung program fails the caller only.
std::wstring ReadWindowText(HWND window);
// A notice's message (its static control 0xFFFF) and its confirmation (BM_CLICK on OK).
std::wstring NoticeMessage(HWND box);
bool ConfirmNotice(HWND box);

// Real input through SendInput.
void MoveMouseTo(POINT screen);
void PressMouseButton(bool down);
void PressKey(WORD virtualKey, bool down);
void ClickAt(POINT screen);

// Result of one drag: DoDragDrop's result and the effect the target answered.
struct DragOutcome {
    HRESULT result = E_FAIL;
    DWORD effect = DROPEFFECT_NONE;
    // Every effect GiveFeedback was told while the mouse travelled (the target's answers).
    std::vector<DWORD> feedback;
};
// Drags a CF_HDROP list of names (or, for text, CF_UNICODETEXT + CF_TEXT) from a small window of this
// process onto the screen point with the left button, offering the given effects, and drops it there.
// Needs OleInitialize on the calling thread.
DragOutcome DragFilesTo(const std::vector<std::wstring>& names, POINT target, DWORD offered = DROPEFFECT_COPY);
DragOutcome DragTextTo(const std::wstring& text, POINT target, DWORD offered = DROPEFFECT_COPY);

// A point given in a window's client coordinates, in screen coordinates.
POINT ClientPointOnScreen(HWND window, int x, int y);
