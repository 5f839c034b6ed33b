// text_box.cpp: the text box kind: a subclassed "Edit" control, its kind table and its colours.
#include "toolkit/text_box.h"
#include "toolkit/brush_cache.h"
#include "toolkit/events.h"
#include "toolkit/gadget_library.h"
#include "toolkit/gadget_record.h"
#include "toolkit/toolkit_test_seams.h"
#include "toolkit/window_record.h"

static const COLORREF DefaultColor = static_cast<COLORREF>(-1);

// The "Edit" class procedure, recorded by each subclassing (every text box stores the same value).
static WNDPROC stockEditProc;
static GadgetKind textBoxKind;
static bool textBoxKindFilled;

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

// Test seam (toolkit_test_seams.h).
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
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextBoxWindowProc)));
    record->textColor = DefaultColor;
    record->backgroundColor = DefaultColor;
    return AttachGadget(number, record, control, &textBoxKind);
}

LRESULT CALLBACK TextBoxWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS) PostGadgetFocusEvent(control, FocusGainedSubtype);
    else if (message == WM_KILLFOCUS) PostGadgetFocusEvent(control, FocusLostSubtype);
    // Ctrl+A (the character 1 that TranslateMessage makes of it) selects the whole text, which not
    // every platform's Edit control does by itself; Ctrl+C then copies all of it.
    if (message == WM_CHAR && wParam == SelectAllCharacter) {
        SendMessageW(control, EM_SETSEL, 0, -1);
        return 0;
    }
    if (!stockEditProc) return DefWindowProcW(control, message, wParam, lParam);
    return CallWindowProcW(stockEditProc, control, message, wParam, lParam);
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
