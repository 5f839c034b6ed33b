// drop_target.cpp: the IDropTarget record, format lists, drag answers and the drop event.
// C-layout COM tables: these two must come before the first Windows header of this file.
#define CINTERFACE
#define COBJMACROS
#include "toolkit/drop_target.h"
#include <shellapi.h>
#include <shlobj.h>
#include <cstring>
#include "runtime/main_heap.h"
#include "runtime/owned_handle.h"
#include "toolkit/events.h"
#include "toolkit/gadget_library.h"
#include "toolkit/gadget_record.h"
#include "toolkit/window_record.h"

static_assert(offsetof(DropAcceptEntry, key) == sizeof(ListNode), "the payload of a list node is key, actions");

static const DWORD KeyModifierMask = MK_SHIFT | MK_CONTROL | MK_ALT;
static_assert(KeyModifierMask == 0x2C, "the keys that steer the effect");
// Button styles with any of the low three bits: every kind but BS_PUSHBUTTON (check and radio boxes,
// group boxes, default push buttons).
static const LONG NonPushButtonStyles = 7;

static IDropTargetVtbl dropTargetSlots = {
    DropTargetQueryInterface,
    DropTargetAddRef,
    DropTargetRelease,
    DropTargetDragEnter,
    DropTargetDragOver,
    DropTargetDragLeave,
    DropTargetDrop,
};

static DropTarget* TargetOf(IDropTarget* self) { return reinterpret_cast<DropTarget*>(self); }

static DropAcceptEntry* EntryOfNode(ListNode* node) { return reinterpret_cast<DropAcceptEntry*>(node); }

static void FreeEntryList(ListNode** list) {
    while (*list) RemoveListNode(list, PayloadOfNode(*list));
}

HRESULT InitDragDrop() { return OleInitialize(nullptr); }

void FreeDragDrop() { OleUninitialize(); }

DropTarget* CreateDropTarget(int32_t kind, ObjectNumber number, HWND control) {
    DropTarget* target = static_cast<DropTarget*>(MainHeapAlloc(sizeof(DropTarget)));
    if (!target) return nullptr;
    target->iface.lpVtbl = &dropTargetSlots;
    target->references = 1;
    target->kind = kind;
    target->number = number;
    target->control = control;
    target->matchState = DropMatchNone;
    return target;
}

// The entry with key in a list, or null.
static DropAcceptEntry* FindDropEntry(ListNode* list, uint32_t key) {
    for (ListNode* node = list; node; node = node->next) {
        DropAcceptEntry* entry = EntryOfNode(node);
        if (entry->key == key) return entry;
    }
    return nullptr;
}

void AcceptDropOnGadget(ObjectNumber gadget, UINT format, DWORD actions) {
    AcceptPrivateDropOnGadget(gadget, format, actions, 0);
}

void AcceptPrivateDropOnGadget(ObjectNumber gadget, UINT format, DWORD actions, uint32_t privateType) {
    ObjectRegistry* registry = GadgetRegistry();
    if (!registry) return;
    GadgetRecord* record = static_cast<GadgetRecord*>(LookupObject(registry, gadget));
    // A gadget without a kind cannot be told apart from a window target (kind 0): refuse it.
    if (!record || !record->kind) return;
    SetDropFormats(gadget, record->kind->kindNumber, record->control, format, actions, privateType);
    LowerOverlappingButtons(record->control);
}

void AcceptDropOnWindow(ObjectNumber window, UINT format, DWORD actions, uint32_t privateType) {
    ObjectRegistry* registry = WindowRegistry();
    if (!registry) return;
    WindowRecord* record = static_cast<WindowRecord*>(LookupObject(registry, window));
    if (!record) return;
    SetDropFormats(window, 0, record->hwnd, format, actions, privateType);
}

void SetDropFormats(ObjectNumber number, int32_t kind, HWND control, UINT format, DWORD actions,
                    uint32_t privateType) {
    if (format == 0) return;
    if (format == CF_TEXT) {
        SetDropEntry(number, kind, control, CF_TEXT, actions, privateType);
        SetDropEntry(number, kind, control, CF_OEMTEXT, actions, privateType);
        SetDropEntry(number, kind, control, CF_UNICODETEXT, actions, privateType);
        return;
    }
    SetDropEntry(number, kind, control, format, actions, privateType);
}

void SetDropEntry(ObjectNumber number, int32_t kind, HWND control, UINT format, DWORD actions,
                  uint32_t privateType) {
    const bool isPrivate = format == PrivateDropFormat;
    const uint32_t key = isPrivate ? privateType : format;
    DropTarget* target = static_cast<DropTarget*>(GetPropW(control, PropDropAccept));

    if (actions == 0) {
        if (!target) return;
        ListNode** list = isPrivate ? &target->privateTypes : &target->formats;
        if (DropAcceptEntry* entry = FindDropEntry(*list, key)) RemoveListNode(list, PayloadOfNode(&entry->links));
        if (!target->formats && !target->privateTypes) WithdrawDropTarget(control);
        return;
    }

    if (!target) {
        target = CreateDropTarget(kind, number, control);
        if (!target) return;
        HRESULT result = RegisterDragDrop(control, &target->iface);
        if (result == DRAGDROP_E_ALREADYREGISTERED) {
            // Someone else's target sits on the control: ours replaces it.
            RevokeDragDrop(control);
            result = RegisterDragDrop(control, &target->iface);
        }
        if (result != S_OK) {
            DropTargetRelease(&target->iface);
            return;
        }
        SetPropW(control, PropDropAccept, target);
        // From here on the registration holds the only reference.
        DropTargetRelease(&target->iface);
    }

    ListNode** list = isPrivate ? &target->privateTypes : &target->formats;
    if (DropAcceptEntry* entry = FindDropEntry(*list, key)) {
        entry->actions = actions;
        return;
    }
    void* payload = AddListNode(list, sizeof(DropAcceptEntry) - sizeof(ListNode));
    if (!payload) return;
    DropAcceptEntry* entry = EntryOfNode(NodeOfPayload(payload));
    entry->key = key;
    entry->actions = actions;
}

void WithdrawDropTarget(HWND control) {
    // The property holds no reference: revoking drops the registration's, which frees the target.
    if (RemovePropW(control, PropDropAccept)) RevokeDragDrop(control);
}

struct LowerButtonsContext {
    HWND control;
    HWND parent;
    RECT controlRect;
};

static BOOL CALLBACK LowerButtonIfOverlapping(HWND child, LPARAM param) {
    LowerButtonsContext* context = reinterpret_cast<LowerButtonsContext*>(param);
    if (child == context->control) return FALSE; // only siblings above the control can cover it
    if (GetParent(child) != context->parent) return TRUE;
    wchar_t className[51] = {};
    GetClassNameW(child, className, 51);
    if (lstrcmpiW(className, L"Button") != 0) return TRUE;
    if ((GetWindowLongW(child, GWL_STYLE) & NonPushButtonStyles) == 0) return TRUE; // plain push buttons stay
    RECT childRect, overlap;
    if (!GetWindowRect(child, &childRect) || !IntersectRect(&overlap, &childRect, &context->controlRect))
        return TRUE;
    SetWindowPos(child, context->control, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    return TRUE;
}

void LowerOverlappingButtons(HWND control) {
    LowerButtonsContext context = {control, GetParent(control), {}};
    if (!context.parent || !GetWindowRect(control, &context.controlRect)) return;
    EnumChildWindows(context.parent, LowerButtonIfOverlapping, reinterpret_cast<LPARAM>(&context));
}

DWORD ChooseDropEffect(DWORD keyState, DWORD entryActions, DWORD offered) {
    const DWORD allowed = entryActions & offered;
    const DWORD keys = keyState & KeyModifierMask;
    if ((allowed & DROPEFFECT_LINK) && (keys == (MK_SHIFT | MK_CONTROL) || keys == MK_ALT))
        return DROPEFFECT_LINK;
    if ((allowed & DROPEFFECT_MOVE) && (keys == MK_SHIFT || !(allowed & DROPEFFECT_COPY)))
        return DROPEFFECT_MOVE;
    if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
    return allowed & DROPEFFECT_LINK;
}

void DropFeedback(DropTarget* target, int32_t x, int32_t y, int32_t mode) {
    // Windows and text boxes, the only kinds that take drops so far, show no feedback: the system's
    // drag cursor already tells the user whether the spot accepts the data.
    (void)target;
    (void)x;
    (void)y;
    (void)mode;
}

HRESULT STDMETHODCALLTYPE DropTargetQueryInterface(IDropTarget* self, REFIID riid, void** out) {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *out = self;
        DropTargetAddRef(self);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DropTargetAddRef(IDropTarget* self) {
    return static_cast<ULONG>(InterlockedIncrement(&TargetOf(self)->references));
}

ULONG STDMETHODCALLTYPE DropTargetRelease(IDropTarget* self) {
    DropTarget* target = TargetOf(self);
    LONG count = InterlockedDecrement(&target->references);
    if (count > 0) return static_cast<ULONG>(count);
    FreeEntryList(&target->formats);
    FreeEntryList(&target->privateTypes);
    MainHeapFree(target);
    return static_cast<ULONG>(count);
}

static POINT ClientPointOf(DropTarget* target, POINTL screen) {
    POINT point = {screen.x, screen.y};
    ScreenToClient(target->control, &point);
    return point;
}

// The private type in the first four bytes of data offered as PrivateDropFormat; false when there is none.
static bool ReadOfferedPrivateType(IDataObject* data, uint32_t* type) {
    FORMATETC format = {static_cast<CLIPFORMAT>(PrivateDropFormat), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (IDataObject_GetData(data, &format, &medium) != S_OK) return false;
    bool found = false;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        const void* bytes = GlobalLock(medium.hGlobal);
        if (bytes) {
            if (GlobalSize(medium.hGlobal) >= sizeof(uint32_t)) {
                memcpy(type, bytes, sizeof(uint32_t));
                found = true;
            }
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return found;
}

HRESULT STDMETHODCALLTYPE DropTargetDragEnter(IDropTarget* self, IDataObject* data, DWORD keyState,
                                              POINTL point, DWORD* effect) {
    DropTarget* target = TargetOf(self);
    if (!effect) return E_INVALIDARG;
    target->matchState = DropMatchNone;
    if (data) {
        for (ListNode* node = target->formats; node; node = node->next) {
            DropAcceptEntry* entry = EntryOfNode(node);
            if (!(entry->actions & *effect)) continue;
            FORMATETC format = {static_cast<CLIPFORMAT>(entry->key), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            if (IDataObject_QueryGetData(data, &format) == S_OK) {
                target->matchState = DropMatchFormat;
                target->matchedKey = entry->key;
                target->matchedActions = entry->actions;
                break;
            }
        }
        uint32_t type = 0;
        if (target->matchState == DropMatchNone && target->privateTypes && ReadOfferedPrivateType(data, &type)) {
            DropAcceptEntry* entry = FindDropEntry(target->privateTypes, type);
            if (entry && (entry->actions & *effect)) {
                target->matchState = DropMatchPrivate;
                target->matchedKey = type;
                target->matchedActions = entry->actions;
            }
        }
    }
    *effect = target->matchState != DropMatchNone ? ChooseDropEffect(keyState, target->matchedActions, *effect) : 0;
    POINT client = ClientPointOf(target, point);
    DropFeedback(target, client.x, client.y, *effect ? DropFeedbackAcceptable : DropFeedbackRefused);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTargetDragOver(IDropTarget* self, DWORD keyState, POINTL point, DWORD* effect) {
    DropTarget* target = TargetOf(self);
    if (!effect) return E_INVALIDARG;
    *effect = target->matchState != DropMatchNone ? ChooseDropEffect(keyState, target->matchedActions, *effect) : 0;
    POINT client = ClientPointOf(target, point);
    DropFeedback(target, client.x, client.y, *effect ? DropFeedbackAcceptable : DropFeedbackRefused);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTargetDragLeave(IDropTarget* self) {
    DropFeedback(TargetOf(self), 0, 0, DropFeedbackLeft);
    return S_OK;
}

// A record holding a main-heap copy of the matched format's data; null when anything fails.
static DropRecord* CopyDroppedData(DropTarget* target, IDataObject* data, DWORD effect, POINT client) {
    FORMATETC format = {static_cast<CLIPFORMAT>(target->matchedKey), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (!data || IDataObject_GetData(data, &format, &medium) != S_OK) return nullptr;
    DropRecord* record = nullptr;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        const void* bytes = GlobalLock(medium.hGlobal);
        if (bytes) {
            SIZE_T size = GlobalSize(medium.hGlobal);
            record = static_cast<DropRecord*>(MainHeapAlloc(sizeof(DropRecord)));
            void* copy = record ? MainHeapAllocRaw(size ? size : 1) : nullptr;
            if (copy) {
                memcpy(copy, bytes, size);
                *record = {target->matchedKey, 0, effect, client.x, client.y, copy, static_cast<uint32_t>(size)};
            } else {
                MainHeapFree(record); // half-made: no record at all
                record = nullptr;
            }
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return record;
}

HRESULT STDMETHODCALLTYPE DropTargetDrop(IDropTarget* self, IDataObject* data, DWORD keyState, POINTL point,
                                         DWORD* effect) {
    DropTarget* target = TargetOf(self);
    if (!effect) return E_INVALIDARG;
    *effect = target->matchState != DropMatchNone ? ChooseDropEffect(keyState, target->matchedActions, *effect) : 0;
    POINT client = ClientPointOf(target, point);
    if (*effect == 0) {
        DropFeedback(target, client.x, client.y, DropFeedbackLeft);
        return S_OK;
    }
    DropRecord* record = nullptr;
    if (target->matchState == DropMatchPrivate) {
        record = static_cast<DropRecord*>(MainHeapAlloc(sizeof(DropRecord)));
        if (record) *record = {PrivateDropFormat, target->matchedKey, *effect, client.x, client.y, nullptr, 0};
    } else {
        record = CopyDroppedData(target, data, *effect, client);
    }
    if (!record) {
        *effect = 0;
        DropFeedback(target, client.x, client.y, DropFeedbackLeft);
        return S_OK;
    }
    DropFeedback(target, client.x, client.y, DropFeedbackDropped);
    if (target->kind != 0) {
        RaiseEventWithData(DropOnGadgetEvent, target->number, WindowNumberOf(FindOwnerWindow(target->control)), 0,
                           record, FreeDropRecord);
    } else {
        RaiseEventWithData(DropOnWindowEvent, 0, target->number, 0, record, FreeDropRecord);
    }
    return S_OK;
}

void FreeDropRecord(void* data) {
    DropRecord* record = static_cast<DropRecord*>(data);
    if (!record) return;
    MainHeapFree(record->data);
    MainHeapFree(record);
}

// Format notes: a CF_HDROP block is a DROPFILES header whose pFiles is the byte offset of the name
// list; the list holds NUL-terminated names (UTF-16 when fWide, else ANSI) and ends with an empty name.
// DragQueryFileW trusts all of this (and walks past the end of a list that holds no name at all), so the
// list must be seen to end inside the block first. Returns the number of names; 0 when malformed or empty.
static uint32_t CountNamesInFileList(const uint8_t* block, uint32_t size) {
    DROPFILES header;
    if (size < sizeof(header)) return 0;
    memcpy(&header, block, sizeof(header));
    if (header.pFiles < sizeof(header) || header.pFiles >= size) return 0;
    const uint32_t unit = header.fWide ? 2 : 1;
    uint32_t offset = header.pFiles;
    uint32_t nameLength = 0, names = 0;
    while (offset + unit <= size) {
        uint16_t value = 0;
        memcpy(&value, block + offset, unit);
        offset += unit;
        if (value != 0) {
            ++nameLength;
        } else if (nameLength == 0) {
            return names; // the empty name that ends the list
        } else {
            ++names;
            nameLength = 0;
        }
    }
    return 0;
}

std::wstring DroppedFilesOfRecord(const DropRecord* record) {
    if (!record || !record->data || record->format != FileListDropFormat) return std::wstring();
    const uint32_t listed = CountNamesInFileList(static_cast<const uint8_t*>(record->data), record->size);
    if (listed == 0) return std::wstring();

    OwnedGlobal block(GlobalAlloc(GMEM_MOVEABLE, record->size));
    if (!block.Open()) return std::wstring();
    void* bytes = GlobalLock(block.Get());
    if (!bytes) return std::wstring();
    memcpy(bytes, record->data, record->size);
    GlobalUnlock(block.Get());
    HDROP drop = static_cast<HDROP>(block.Get());

    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > listed) count = listed; // never ask for a name the list does not hold
    if (static_cast<int32_t>(count) <= 0) return std::wstring();
    size_t total = count - 1; // one LF between names
    for (UINT i = 0; i < count; ++i) total += DragQueryFileW(drop, i, nullptr, 0);

    // Out of memory for the text gives no names, like every other problem; the block goes either way.
    std::wstring names;
    try {
        // One unit more than the text: DragQueryFileW always writes a terminating NUL, and the LF after
        // the last name lands there before it becomes the end of the text.
        names.assign(total + 1, L'\0');
    } catch (...) {
        return std::wstring();
    }
    size_t used = 0;
    for (UINT i = 0; i < count && used < names.size(); ++i) {
        const size_t room = names.size() - used;
        size_t copied = DragQueryFileW(drop, i, &names[used], static_cast<UINT>(room));
        if (copied >= room) copied = room - 1;
        used += copied;
        names[used] = L'\n';
        ++used;
    }
    names.resize(used ? used - 1 : 0);
    return names;
}

std::wstring GetDroppedFiles() {
    return DroppedFilesOfRecord(static_cast<const DropRecord*>(DataOfCurrentEvent()));
}
