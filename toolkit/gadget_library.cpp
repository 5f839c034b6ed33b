// gadget_library.cpp: the gadget library: its registry and state, attaching controls, clean-up, text.
#include "toolkit/gadget_library.h"
#include <commctrl.h>
#include <cwchar>
#include "runtime/main_heap.h"
#include "toolkit/brush_cache.h"
#include "toolkit/drop_target.h"
#include "toolkit/events.h"
#include "toolkit/exception_barrier.h"
#include "toolkit/gadget_record.h"
#include "toolkit/window_record.h"

static const int32_t InitialStackCapacity = 10;

static HFONT defaultGuiFont;

static ObjectRegistry* gadgetRegistry;
static GadgetLibraryState* gadgetLibraryState;

ObjectRegistry* GadgetRegistry() { return gadgetRegistry; }
GadgetLibraryState* GadgetLibrary() { return gadgetLibraryState; }

// A new zero-filled container stack for the live state (none when memory is out).
static void GiveContainerStack(GadgetLibraryState* state) {
    state->containerStack = static_cast<HWND*>(MainHeapAlloc(sizeof(HWND) * InitialStackCapacity));
    state->stackCapacity = state->containerStack ? InitialStackCapacity : 0;
}

static void InitGadgetLibraryState(void* record) {
    GadgetLibraryState* state = static_cast<GadgetLibraryState*>(record);
    GiveContainerStack(state);
    state->stackDepth = 0;
    state->defaultFont = defaultGuiFont;
}

BOOL InitGadgetLibrary() {
    InitBrushCache();
    defaultGuiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    ObjectRegistry* registry = CreateObjectRegistry(sizeof(GadgetRecord), 50, [](ObjectNumber number) {
        ReleaseGadget(number);
    });
    GadgetLibraryState* state = static_cast<GadgetLibraryState*>(
        CreateLibraryState(sizeof(GadgetLibraryState), InitGadgetLibraryState));
    gadgetRegistry = registry;
    gadgetLibraryState = state;
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), GadgetControlClasses};
    static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "the record size InitCommonControlsEx is given");
    return InitCommonControlsEx(&controls);
}

void FreeGadgetLibrary() {
    GadgetLibraryState* state = GadgetLibrary();
    if (state && state->auxiliaryWindow) {
        DestroyWindow(state->auxiliaryWindow);
        state->auxiliaryWindow = nullptr;
    }
}

intptr_t AttachGadget(ObjectNumber number, GadgetRecord* record, HWND control, const GadgetKind* kind) {
    bool autoNumber = number == AutoNumber;
    if (autoNumber) number = reinterpret_cast<ObjectNumber>(record);
    record->control = control;
    record->kind = kind;
    record->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetWindowProc)));
    SetWindowLongPtrW(control, GWLP_ID, number);
    SetPropW(control, PropGadgetId, reinterpret_cast<HANDLE>(number));
    GadgetLibraryState* state = GadgetLibrary();
    if (state) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state->defaultFont), TRUE);
    return autoNumber ? number : reinterpret_cast<intptr_t>(control);
}

LRESULT CALLBACK GadgetWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    ObjectNumber number = GetWindowLongPtrW(control, GWLP_ID);
    if (number == -1) return DefWindowProcW(control, message, wParam, lParam);
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    // A control whose record is gone has no procedure to go on to.
    if (!record || record->control != control) return DefWindowProcW(control, message, wParam, lParam);

    LRESULT result = record->previousProc
                         ? CallWindowProcW(record->previousProc, control, message, wParam, lParam)
                         : DefWindowProcW(control, message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        // The kind's release handler and the release routines of purged events are the program's
        // code: whatever they throw, the clean-up runs to its end and nothing leaves this procedure.
        if (record->kind && record->kind->release) RunStoppingExceptions([&] { record->kind->release(record); });
        RemovePropW(control, PropGadgetId);
        WithdrawDropTarget(control);
        SetWindowLongPtrW(control, GWLP_ID, -1);
        RunStoppingExceptions([&] { PurgeEvents(GadgetNotifyEvent, number, -1, -1); });
        ReleaseObject(GadgetRegistry(), number);
    }
    return result;
}

void PostGadgetFocusEvent(HWND control, int32_t subtype) {
    ObjectNumber object = GetWindowLongPtrW(control, GWLP_ID);
    RaiseEvent(GadgetNotifyEvent, object, WindowNumberOf(FindOwnerWindow(control)), subtype);
}

BOOL ReleaseGadget(ObjectNumber number) {
    if (number == -1) {
        ReleaseAllObjects(GadgetRegistry());
        return FALSE;
    }
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    if (!record) return FALSE;
    // The clean-up runs in GadgetWindowProc at WM_NCDESTROY, before DestroyWindow returns.
    return DestroyWindow(record->control);
}

void ReplaceGadgetText(ObjectNumber number, const wchar_t* text) {
    if (!text) text = L"";
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    if (!record) return;
    // The control's change notifications during the replacement raise no gadget events.
    SuspendEvents();
    if (record->kind && record->kind->setText) record->kind->setText(record, text);
    else SetWindowTextW(record->control, text);
    ResumeEvents();
}

// A typed or appended text stops at the control's limit (30,000 characters at first), a whole-text
// write does not: the limit grows as far as the text does.
static void RaiseTextLimit(HWND control, size_t length) {
    if (static_cast<size_t>(SendMessageW(control, EM_GETLIMITTEXT, 0, 0)) < length)
        SendMessageW(control, EM_SETLIMITTEXT, static_cast<WPARAM>(length), 0);
}

void ReplaceGadgetTextWithRoom(ObjectNumber number, const wchar_t* text, size_t room) {
    if (!text) text = L"";
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    if (!record) return;
    const size_t length = wcslen(text);
    if (room < length) room = length;
    // EM_SETHANDLE is for multi-line edit controls only, and a kind's own text handler comes first.
    HLOCAL buffer = nullptr;
    const bool multiLine = (GetWindowLongW(record->control, GWL_STYLE) & ES_MULTILINE) != 0;
    if (multiLine && !(record->kind && record->kind->setText) && room < SIZE_MAX / sizeof(wchar_t) - 1)
        buffer = LocalAlloc(LMEM_MOVEABLE, (room + 1) * sizeof(wchar_t));
    wchar_t* characters = buffer ? static_cast<wchar_t*>(LocalLock(buffer)) : nullptr;
    if (!characters) {
        if (buffer) LocalFree(buffer);
        ReplaceGadgetText(number, text);
        return;
    }
    wmemcpy(characters, text, length + 1);
    LocalUnlock(buffer);
    SuspendEvents();
    // The control takes the buffer as its text and leaves caret, view, undo and modified flag as a
    // whole-text write does; the old buffer is ours to free (both as documented for EM_SETHANDLE).
    HLOCAL old = reinterpret_cast<HLOCAL>(SendMessageW(record->control, EM_GETHANDLE, 0, 0));
    SendMessageW(record->control, EM_SETHANDLE, reinterpret_cast<WPARAM>(buffer), 0);
    if (old && old != buffer) LocalFree(old);
    ResumeEvents();
}

void AppendGadgetText(ObjectNumber number, const wchar_t* text) {
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    if (!record || !text || !*text) return;
    SuspendEvents();
    // The caret to the end, then the text in its place: only the new lines are laid out, not the
    // whole text again as a replacement of everything would.
    const LRESULT end = SendMessageW(record->control, WM_GETTEXTLENGTH, 0, 0);
    RaiseTextLimit(record->control, static_cast<size_t>(end) + wcslen(text));
    SendMessageW(record->control, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(record->control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    ResumeEvents();
}

void InsertGadgetText(ObjectNumber number, size_t at, const wchar_t* text) {
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    if (!record || !text || !*text) return;
    HWND control = record->control;
    SuspendEvents();
    const size_t length = static_cast<size_t>(SendMessageW(control, WM_GETTEXTLENGTH, 0, 0));
    if (at > length) at = length;
    const size_t added = wcslen(text);
    RaiseTextLimit(control, length + added);
    DWORD start = 0, end = 0;
    SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const LRESULT firstVisible = SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(at), static_cast<LPARAM>(at));
    SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    // The replacement scrolled to the caret behind the new text; the user's selection, moved with
    // the text it was on, and the user's first visible line come back.
    if (start > at) start += static_cast<DWORD>(added);
    if (end > at) end += static_cast<DWORD>(added);
    SendMessageW(control, EM_SETSEL, start, static_cast<LPARAM>(end));
    const LRESULT scrolled = SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (scrolled != firstVisible) SendMessageW(control, EM_LINESCROLL, 0, firstVisible - scrolled);
    ResumeEvents();
}

std::wstring ReadGadgetText(ObjectNumber number) {
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    if (!record) return std::wstring();
    if (record->kind && record->kind->getText) return record->kind->getText(record);
    int length = GetWindowTextLengthW(record->control);
    if (length <= 0) return std::wstring();
    try {
        // Room for the NUL; the text copied can be shorter than the length announced.
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        int copied = GetWindowTextW(record->control, &text[0], length + 1);
        if (copied < 0) copied = 0;
        text.resize(wcsnlen(text.c_str(), static_cast<size_t>(copied)));
        return text;
    } catch (...) {
        // Out of memory for the copy: nothing to hand back.
        return std::wstring();
    }
}

HWND CurrentGadgetTarget() {
    const GadgetLibraryState* state = gadgetLibraryState;
    if (!state) return nullptr;
    if (state->stackDepth != 0 && state->containerStack) return state->containerStack[0];
    return state->currentGadgetList;
}

void SaveGadgetList(GadgetListState* saved) {
    GadgetLibraryState* state = gadgetLibraryState;
    if (!state || !saved) return;
    saved->currentGadgetList = state->currentGadgetList;
    saved->containerStack = state->containerStack;
    saved->stackDepth = state->stackDepth;
    saved->stackCapacity = state->stackCapacity;
    state->containerStack = nullptr;
    state->stackDepth = 0;
    state->stackCapacity = 0;
}

void EnterGadgetList(HWND window, GadgetListState* saved) {
    GadgetLibraryState* state = gadgetLibraryState;
    if (!state) return;
    if (saved) {
        if (state->containerStack) MainHeapFree(state->containerStack);
        state->currentGadgetList = saved->currentGadgetList;
        state->containerStack = saved->containerStack;
        state->stackDepth = saved->stackDepth;
        state->stackCapacity = saved->stackCapacity;
        saved->containerStack = nullptr;
    } else {
        if (!state->containerStack) GiveContainerStack(state);
        state->stackDepth = 0;
        state->currentGadgetList = window;
    }
    state->perListFlag = 0;
}

void ForgetGadgetList(HWND window, GadgetListState* saved) {
    GadgetLibraryState* state = gadgetLibraryState;
    // A destroyed window must not stay the place where new gadgets go.
    if (state && CurrentGadgetTarget() == window) {
        state->currentGadgetList = nullptr;
        state->stackDepth = 0;
    }
    if (saved && saved->containerStack) {
        MainHeapFree(saved->containerStack);
        saved->containerStack = nullptr;
    }
}
