// drop_target.h: OLE drop target for gadgets and windows; dropped data becomes a toolkit event.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include "runtime/intrusive_list.h"
#include "runtime/object_registry.h"

// Clipboard format that selects the private-type list (CF_PRIVATEFIRST). Data offered in this format is
// matched by the 32-bit private type in its first four bytes.
const UINT PrivateDropFormat = CF_PRIVATEFIRST;
static_assert(PrivateDropFormat == 512, "the private drop format");
// The clipboard format of a file list.
const UINT FileListDropFormat = CF_HDROP;
static_assert(FileListDropFormat == 15, "the file list format");

enum DropMatchState : int32_t {
    DropMatchNone = 0,
    DropMatchFormat = 1,
    DropMatchPrivate = 2,
};

// DropFeedback modes.
enum DropFeedbackMode : int32_t {
    DropFeedbackAcceptable = 1, // the drag is over a spot that takes it
    DropFeedbackRefused = 2,    // over the control, but refused
    DropFeedbackDropped = 3,
    DropFeedbackLeft = 4,       // left, or the drop was refused
};

// One accepted format (or private type) of a control: the list links first, then key and actions.
struct DropAcceptEntry {
    ListNode links;   // next = older entry, prev = newer entry; the list head is the newest
    uint32_t key;     // clipboard format, or private type in the private-type list
    DWORD actions;    // DROPEFFECT bits the control allows for this key
};

// The data of a drop event. Owned by the event queue, which frees it with FreeDropRecord.
struct DropRecord {
    uint32_t format;      // clipboard format of the data, or PrivateDropFormat
    uint32_t privateType; // matched private type; 0 for a clipboard format
    DWORD effect;         // the DROPEFFECT the drop used
    int32_t x, y;         // drop position in client coordinates of the control window
    void* data;           // main-heap copy of the whole dropped block; null for private data
    uint32_t size;        // bytes in data (0 for private data)
};

// Result of OleInitialize(NULL) (callers ignore it) / OleUninitialize.
HRESULT InitDragDrop();
void FreeDragDrop();

// Enables (actions != 0), changes or withdraws (actions 0) one format on a gadget's control.
// Unknown gadget numbers do nothing.
void AcceptDropOnGadget(ObjectNumber gadget, UINT format, DWORD actions);
void AcceptPrivateDropOnGadget(ObjectNumber gadget, UINT format, DWORD actions, uint32_t privateType);
// The same for a numbered toplevel window (object kind 0).
void AcceptDropOnWindow(ObjectNumber window, UINT format, DWORD actions, uint32_t privateType);

// CF_TEXT (1) stands for CF_TEXT, CF_OEMTEXT and CF_UNICODETEXT; format 0 changes nothing.
void SetDropFormats(ObjectNumber number, int32_t kind, HWND control, UINT format, DWORD actions,
                    uint32_t privateType);
// Adds, updates or removes one entry. The first entry registers a DropTarget with OLE (the property
// "Zorv_DropAccept" names it but holds no reference); removing the last one revokes it, which frees it.
void SetDropEntry(ObjectNumber number, int32_t kind, HWND control, UINT format, DWORD actions,
                  uint32_t privateType);

// Withdraws the drop target of a control on its way out: removes "Zorv_DropAccept" and, when the
// property was there, revokes the registration, which frees the target. Nothing happens without one.
void WithdrawDropTarget(HWND control);

// Moves check boxes, radio buttons and group boxes that overlap control and lie above it in the
// Z order to just below it, so they do not swallow the drop.
void LowerOverlappingButtons(HWND control);

// The effect for a drag: entry actions and the source's offered effects, steered by Shift/Ctrl/Alt.
DWORD ChooseDropEffect(DWORD keyState, DWORD entryActions, DWORD offered);

// The names in the current event's file list, joined by LF; empty when it carries none.
std::wstring GetDroppedFiles();
// The names in a record's CF_HDROP copy, joined by LF; empty for null, no data, another format, or a
// block that is not a well-formed DROPFILES list (the names must end inside the block).
std::wstring DroppedFilesOfRecord(const DropRecord* record);
// Release routine handed to the event queue: frees the data copy, then the record. Null does nothing.
void FreeDropRecord(void* record);

#if defined(CINTERFACE)
// The COM side, visible only to translation units that see C-layout COM tables (CINTERFACE defined
// before the first Windows header). Every slot is a free function, so tests call them without OLE.
#include <ole2.h>

struct DropTarget {
    IDropTarget iface;         // first: the record is the interface pointer
    LONG references;           // 1 at creation
    int32_t kind;              // 0: a window; otherwise the gadget kind number
    ObjectNumber number;       // window or gadget number
    HWND control;              // the window the target is registered on
    ListNode* formats;         // DropAcceptEntry list keyed by clipboard format
    ListNode* privateTypes;    // DropAcceptEntry list keyed by private type
    int32_t matchState;        // DropMatchState, set by DragEnter
    uint32_t matchedKey;       // format or private type DragEnter found
    DWORD matchedActions;      // actions of the entry DragEnter found
};
static_assert(offsetof(DropTarget, iface) == 0, "OLE sees the record as its interface");

// A target with one reference (the caller's), empty lists and no match; null when memory is out.
DropTarget* CreateDropTarget(int32_t kind, ObjectNumber number, HWND control);

HRESULT STDMETHODCALLTYPE DropTargetQueryInterface(IDropTarget* self, REFIID riid, void** out);
ULONG STDMETHODCALLTYPE DropTargetAddRef(IDropTarget* self);
ULONG STDMETHODCALLTYPE DropTargetRelease(IDropTarget* self);
HRESULT STDMETHODCALLTYPE DropTargetDragEnter(IDropTarget* self, IDataObject* data, DWORD keyState,
                                              POINTL point, DWORD* effect);
HRESULT STDMETHODCALLTYPE DropTargetDragOver(IDropTarget* self, DWORD keyState, POINTL point,
                                             DWORD* effect);
HRESULT STDMETHODCALLTYPE DropTargetDragLeave(IDropTarget* self);
HRESULT STDMETHODCALLTYPE DropTargetDrop(IDropTarget* self, IDataObject* data, DWORD keyState,
                                         POINTL point, DWORD* effect);

// Visual feedback for the target's object kind; windows and text boxes show none.
void DropFeedback(DropTarget* target, int32_t x, int32_t y, int32_t mode);
#endif
