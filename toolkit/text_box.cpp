// text_box.cpp: the gadget library (registry, subclassing, clean-up) and the text box kind.
#include "toolkit/text_box.h"
#include <commctrl.h>
#include <ole2.h>
#include <cwchar>
#include "runtime/main_heap.h"
#include "toolkit/brush_cache.h"
#include "toolkit/events.h"
#include "toolkit/exception_barrier.h"
#include "toolkit/gadget_record.h"
#include "toolkit/window_record.h"

static const int32_t InitialStackCapacity = 10;
static const COLORREF DefaultColor = static_cast<COLORREF>(-1);

static HFONT defaultGuiFont;
// The "Edit" class procedure, recorded by each subclassing (every text box stores the same value).
static WNDPROC stockEditProc;
static GadgetKind textBoxKind;
static bool textBoxKindFilled;

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

// Attribute 1 is the maximum text length; other attributes are ignored.
static int32_t GetTextBoxAttribute(GadgetRecord* gadget, int32_t attribute) {
    if (attribute != TextBoxMaxLengthAttribute) return 0;
    return static_cast<int32_t>(SendMessageW(gadget->control, EM_GETLIMITTEXT, 0, 0));
}

static void SetTextBoxAttribute(GadgetRecord* gadget, int32_t attribute, int32_t value) {
    if (attribute != TextBoxMaxLengthAttribute) return;
    SendMessageW(gadget->control, EM_LIMITTEXT, static_cast<WPARAM>(value < 1 ? 1 : value), 0);
}

// One line of "Hg" in the control's font inside the edges, at least 20 pixels high.
static void TextBoxRequiredSize(GadgetRecord* gadget, int32_t* width, int32_t* height) {
    int32_t textHeight = 0;
    HDC dc = GetDC(gadget->control);
    if (dc) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(gadget->control, WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        SIZE size = {};
        if (GetTextExtentPoint32W(dc, L"Hg", 2, &size)) textHeight = size.cy;
        if (old) SelectObject(dc, old);
        ReleaseDC(gadget->control, dc);
    }
    int32_t h = textHeight + 2 * GetSystemMetrics(SM_CYEDGE);
    if (width) *width = 2 * GetSystemMetrics(SM_CXEDGE);
    if (height) *height = h < 20 ? 20 : h;
}

static void FillTextBoxKind() {
    if (textBoxKindFilled) return;
    textBoxKind = GadgetKind{};
    textBoxKind.kindNumber = TextBoxKindNumber;
    textBoxKind.tableSize = sizeof(GadgetKind);
    textBoxKind.parentMessage = HandleTextBoxColors;
    textBoxKind.release = FreeTextBoxExtras;
    textBoxKind.getAttribute = GetTextBoxAttribute;
    textBoxKind.setAttribute = SetTextBoxAttribute;
    textBoxKind.setColor = SetTextBoxColor;
    textBoxKind.getColor = GetTextBoxColor;
    textBoxKind.requiredSize = TextBoxRequiredSize;
    textBoxKindFilled = true;
}

const GadgetKind* TextBoxKind() { return textBoxKindFilled ? &textBoxKind : nullptr; }

intptr_t CreateTextBox(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                       const wchar_t* text, uint32_t flags) {
    FillTextBoxKind();
    if (!text) text = L"";
    GadgetLibraryState* state = GadgetLibrary();
    ObjectRegistry* registry = GadgetRegistry();
    if (!state || !registry) return 0;

    DWORD exStyle = (flags & TextBoxNoEdgeFlag) ? 0 : WS_EX_CLIENTEDGE;
    // The identifier -1 keeps the new control out of gadget routing until it is attached.
    HWND control = CreateWindowExW(exStyle, L"Edit", text, flags | TextBoxBaseStyle, x, y, width, height,
                                   state->currentGadgetList, reinterpret_cast<HMENU>(-1),
                                   GetModuleHandleW(nullptr), nullptr);
    if (!control) return 0;

    // A gadget already holding the number is destroyed (and cleaned up) before its record is reused.
    GadgetRecord* record = static_cast<GadgetRecord*>(ClaimObject(registry, number));
    if (!record) {
        DestroyWindow(control);
        return 0;
    }
    stockEditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongW(control, GWL_WNDPROC, reinterpret_cast<LONG>(TextBoxWindowProc)));
    record->textColor = DefaultColor;
    record->backgroundColor = DefaultColor;
    return AttachGadget(number, record, control, &textBoxKind);
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
        // The kind's release handler and the release routines of purged events are the program's
        // code: whatever they throw, the clean-up runs to its end and nothing leaves this procedure.
        if (record->kind && record->kind->release) RunStoppingExceptions([&] { record->kind->release(record); });
        RemovePropW(control, PropGadgetId);
        // The property holds no reference; revoking the registration frees the drop target.
        if (RemovePropW(control, PropDropAccept)) RevokeDragDrop(control);
        SetWindowLongW(control, GWL_ID, -1);
        RunStoppingExceptions([&] { PurgeEvents(GadgetNotifyEvent, number, -1, -1); });
        ReleaseObject(GadgetRegistry(), number);
    }
    return result;
}

LRESULT CALLBACK TextBoxWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS) PostGadgetFocusEvent(control, FocusGainedSubtype);
    else if (message == WM_KILLFOCUS) PostGadgetFocusEvent(control, FocusLostSubtype);
    if (!stockEditProc) return DefWindowProcW(control, message, wParam, lParam);
    return CallWindowProcW(stockEditProc, control, message, wParam, lParam);
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

LRESULT HandleTextBoxColors(GadgetRecord* gadget, HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_CTLCOLOREDIT && !(message == WM_CTLCOLORSTATIC && IsWindowEnabled(gadget->control))) {
        return NotHandled;
    }
    HDC dc = reinterpret_cast<HDC>(wParam);
    LRESULT result = NotHandled;
    if (gadget->textColor != DefaultColor) {
        SetTextColor(dc, gadget->textColor);
        if (gadget->backgroundColor == DefaultColor) {
            int index = message == WM_CTLCOLORSTATIC ? COLOR_BTNFACE : COLOR_WINDOW;
            SetBkColor(dc, GetSysColor(index));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(index));
        }
    }
    if (gadget->backgroundColor != DefaultColor) {
        SetBkColor(dc, gadget->backgroundColor);
        result = reinterpret_cast<LRESULT>(gadget->backgroundBrush);
    }
    return result;
}

void SetTextBoxColor(GadgetRecord* gadget, int32_t which, COLORREF color) {
    if (which == GadgetTextColor) {
        gadget->textColor = color;
    } else if (which == GadgetBackgroundColor) {
        if (gadget->backgroundBrush) ReleaseColorBrush(gadget->backgroundBrush);
        gadget->backgroundBrush = color == DefaultColor ? nullptr : AcquireColorBrush(color);
        gadget->backgroundColor = color;
    }
    RedrawWindow(gadget->control, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_FRAME);
}

COLORREF GetTextBoxColor(GadgetRecord* gadget, int32_t which) {
    if (which == GadgetTextColor) return gadget->textColor;
    if (which == GadgetBackgroundColor) return gadget->backgroundColor;
    return DefaultColor;
}

void FreeTextBoxExtras(GadgetRecord* gadget) {
    if (gadget->backgroundBrush) {
        ReleaseColorBrush(gadget->backgroundBrush);
        gadget->backgroundBrush = nullptr;
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
