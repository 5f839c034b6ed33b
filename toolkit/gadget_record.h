// gadget_record.h: the record of a gadget and the table of handlers of its kind.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "runtime/object_registry.h"

struct GadgetRecord;

// A kind is a table of optional handlers; an empty slot means the generic behaviour applies.
struct GadgetKind {
    int32_t kindNumber;
    int32_t tableSize;
    LRESULT (*parentMessage)(GadgetRecord* gadget, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
    void (*release)(GadgetRecord* gadget);
    std::wstring (*getText)(GadgetRecord* gadget);
    void (*setText)(GadgetRecord* gadget, const wchar_t* text);
    int32_t (*getAttribute)(GadgetRecord* gadget, int32_t attribute);
    void (*setAttribute)(GadgetRecord* gadget, int32_t attribute, int32_t value);
    void (*setColor)(GadgetRecord* gadget, int32_t which, COLORREF color);
    COLORREF (*getColor)(GadgetRecord* gadget, int32_t which);
    void (*requiredSize)(GadgetRecord* gadget, int32_t* width, int32_t* height);
};

struct GadgetRecord {
    HWND control;             // non-zero while the gadget lives (the registry's liveness test)
    const GadgetKind* kind;
    WNDPROC previousProc;     // replaced by GadgetWindowProc
    COLORREF backgroundColor; // (COLORREF)-1: platform default
    COLORREF textColor;       // (COLORREF)-1: platform default
    HBRUSH backgroundBrush;   // from the brush cache, or null
};
static_assert(offsetof(GadgetRecord, control) == 0, "the registry tests liveness on the first field");
