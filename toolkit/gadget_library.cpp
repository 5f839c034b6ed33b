// gadget_library.cpp: the gadget library: its registry and state, attaching controls, clean-up, text.
#include "toolkit/gadget_library.h"
#include <commctrl.h>
#include <ole2.h>
#include <cwchar>
#include "runtime/main_heap.h"
#include "toolkit/brush_cache.h"
#include "toolkit/events.h"
#include "toolkit/gadget_record.h"
#include "toolkit/window_record.h"

static const int32_t InitialStackCapacity = 10;

static HFONT defaultGuiFont;

static ObjectRegistry* gadgetRegistry;
static GadgetLibraryState* gadgetLibraryState;

ObjectRegistry* GadgetRegistry() { return gadgetRegistry; }
GadgetLibraryState* GadgetLibrary() { return gadgetLibraryState; }

void SetGadgetLibraryGlobals(ObjectRegistry* registry, GadgetLibraryState* state) {
    gadgetRegistry = registry;
    gadgetLibraryState = state;
}

static void InitGadgetLibraryState(void* record) {
    GadgetLibraryState* state = static_cast<GadgetLibraryState*>(record);
    state->containerStack = static_cast<HWND*>(MainHeapAlloc(sizeof(HWND) * InitialStackCapacity));
    state->stackCapacity = state->containerStack ? InitialStackCapacity : 0;
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
    SetGadgetLibraryGlobals(registry, state);
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = 8;
    controls.dwICC = 0x0B48; // tab, hot-key, date, extended combo box and IP address classes
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
        SetWindowLongW(control, GWL_WNDPROC, reinterpret_cast<LONG>(GadgetWindowProc)));
    SetWindowLongW(control, GWL_ID, static_cast<LONG>(number));
    SetPropW(control, PropGadgetId, reinterpret_cast<HANDLE>(number));
    GadgetLibraryState* state = GadgetLibrary();
    if (state) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state->defaultFont), TRUE);
    return autoNumber ? number : reinterpret_cast<intptr_t>(control);
}

LRESULT CALLBACK GadgetWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    ObjectNumber number = static_cast<LONG>(GetWindowLongW(control, GWL_ID));
    if (number == -1) return DefWindowProcW(control, message, wParam, lParam);
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
    // A control whose record is gone has no procedure to go on to.
    if (!record || record->control != control) return DefWindowProcW(control, message, wParam, lParam);

    LRESULT result = record->previousProc
                         ? CallWindowProcW(record->previousProc, control, message, wParam, lParam)
                         : DefWindowProcW(control, message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        if (record->kind && record->kind->release) record->kind->release(record);
        RemovePropW(control, PropGadgetId);
        // The property holds no reference; revoking the registration frees the drop target.
        if (RemovePropW(control, PropDropAccept)) RevokeDragDrop(control);
        SetWindowLongW(control, GWL_ID, -1);
        PurgeEvents(GadgetNotifyEvent, number, -1, -1);
        ReleaseObject(GadgetRegistry(), number);
    }
    return result;
}

void PostGadgetFocusEvent(HWND control, int32_t subtype) {
    ObjectNumber object = static_cast<LONG>(GetWindowLongW(control, GWL_ID));
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

HWND FindOwnerWindow(HWND w) {
    while (w) {
        HWND parent = GetParent(w);
        if (!parent || GetPropW(w, PropWindowId)) return w;
        w = parent;
    }
    return w;
}

ObjectNumber WindowNumberOf(HWND w) {
    return reinterpret_cast<ObjectNumber>(GetPropW(w, PropWindowId)) - 1;
}
