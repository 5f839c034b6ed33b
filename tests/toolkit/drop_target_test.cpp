// drop_target_test.cpp: the drop target's slots, format lists, effect rules and dropped-name lists.
#define CINTERFACE
#define COBJMACROS
#include "toolkit/drop_target.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>
#include "tests/failing_allocator.h"
#include "tests/toolkit/toolkit_test_support.h"
#include "toolkit/events.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/gadget_library.h"
#include "toolkit/text_box.h"
#include "toolkit/window_record.h"

namespace {

// ---- A data object offering fixed formats, in the C layout OLE uses --------------------------------

struct FakeDataObject {
    IDataObject iface;
    LONG references;
    std::vector<CLIPFORMAT> formats; // answered by QueryGetData
    std::vector<uint8_t> bytes;      // handed out by GetData for every offered format
    int getDataCalls;
};

FakeDataObject* Fake(IDataObject* self) { return reinterpret_cast<FakeDataObject*>(self); }

bool Offers(FakeDataObject* fake, const FORMATETC* format) {
    if (!format || format->tymed != TYMED_HGLOBAL || format->dwAspect != DVASPECT_CONTENT) return false;
    for (CLIPFORMAT offered : fake->formats)
        if (offered == format->cfFormat) return true;
    return false;
}

HRESULT STDMETHODCALLTYPE FakeQueryInterface(IDataObject* self, REFIID riid, void** out) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
        *out = self;
        ++Fake(self)->references;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE FakeAddRef(IDataObject* self) { return ++Fake(self)->references; }
ULONG STDMETHODCALLTYPE FakeRelease(IDataObject* self) { return --Fake(self)->references; }
HRESULT STDMETHODCALLTYPE FakeGetData(IDataObject* self, FORMATETC* format, STGMEDIUM* medium) {
    FakeDataObject* fake = Fake(self);
    ++fake->getDataCalls;
    if (!Offers(fake, format)) return DV_E_FORMATETC;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, fake->bytes.size());
    if (!block) return E_OUTOFMEMORY;
    void* p = GlobalLock(block);
    if (!fake->bytes.empty()) memcpy(p, fake->bytes.data(), fake->bytes.size());
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE FakeGetDataHere(IDataObject*, FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE FakeQueryGetData(IDataObject* self, FORMATETC* format) {
    return Offers(Fake(self), format) ? S_OK : DV_E_FORMATETC;
}
HRESULT STDMETHODCALLTYPE FakeGetCanonical(IDataObject*, FORMATETC*, FORMATETC* out) {
    out->ptd = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE FakeSetData(IDataObject*, FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE FakeEnumFormats(IDataObject*, DWORD, IEnumFORMATETC** out) {
    *out = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE FakeDAdvise(IDataObject*, FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
    return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT STDMETHODCALLTYPE FakeDUnadvise(IDataObject*, DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT STDMETHODCALLTYPE FakeEnumDAdvise(IDataObject*, IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

IDataObjectVtbl fakeDataSlots = {FakeQueryInterface, FakeAddRef,      FakeRelease,     FakeGetData,
                                 FakeGetDataHere,    FakeQueryGetData, FakeGetCanonical, FakeSetData,
                                 FakeEnumFormats,    FakeDAdvise,      FakeDUnadvise,   FakeEnumDAdvise};

struct DataOffer {
    FakeDataObject fake{};
    explicit DataOffer(std::vector<CLIPFORMAT> formats, std::vector<uint8_t> bytes = {}) {
        fake.iface.lpVtbl = &fakeDataSlots;
        fake.references = 1;
        fake.formats = std::move(formats);
        fake.bytes = std::move(bytes);
    }
    IDataObject* Get() { return &fake.iface; }
};

// ---- DROPFILES blocks -------------------------------------------------------------------------------

std::vector<uint8_t> WideFileList(const std::vector<std::wstring>& names) {
    std::vector<uint8_t> block(sizeof(DROPFILES));
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    memcpy(block.data(), &header, sizeof(header));
    for (const std::wstring& name : names) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(name.c_str());
        block.insert(block.end(), p, p + (name.size() + 1) * sizeof(wchar_t));
    }
    block.push_back(0);
    block.push_back(0);
    return block;
}

std::vector<uint8_t> AnsiFileList(const std::vector<std::string>& names) {
    std::vector<uint8_t> block(sizeof(DROPFILES));
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = FALSE;
    memcpy(block.data(), &header, sizeof(header));
    for (const std::string& name : names) {
        block.insert(block.end(), name.begin(), name.end());
        block.push_back(0);
    }
    block.push_back(0);
    return block;
}

// A record whose data copy sits directly before an inaccessible page, so a read past its end faults.
class GuardedRecord {
public:
    explicit GuardedRecord(const std::vector<uint8_t>& bytes, uint32_t format = CF_HDROP) {
        const SIZE_T page = 4096;
        const SIZE_T pages = (bytes.size() + page - 1) / page + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
        uint8_t* data = base_ + (pages - 1) * page - bytes.size();
        if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
        record_ = {format, 0, DROPEFFECT_COPY, 0, 0, data, static_cast<uint32_t>(bytes.size())};
    }
    ~GuardedRecord() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedRecord(const GuardedRecord&) = delete;
    GuardedRecord& operator=(const GuardedRecord&) = delete;
    const DropRecord* Get() const { return &record_; }

private:
    uint8_t* base_ = nullptr;
    DropRecord record_{};
};

std::wstring NamesOf(const std::vector<uint8_t>& bytes, uint32_t format = CF_HDROP) {
    GuardedRecord record(bytes, format);
    return DroppedFilesOfRecord(record.Get());
}

// ---- A plain window to register targets on, with OLE started for the test suite ---------------------

class DropTargetOnWindow : public testing::Test {
protected:
    // Starts events, windows, gadgets and OLE once for the whole test process.
    static void SetUpTestSuite() { StartToolkitLibraries(); }

    void SetUp() override {
        window_ = CreateWindowExW(0, L"Static", L"drop test", WS_OVERLAPPED, 100, 100, 200, 150, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (GetPropW(window_, PropDropAccept)) {
            RemovePropW(window_, PropDropAccept);
            RevokeDragDrop(window_);
        }
        DestroyWindow(window_);
    }

    DropTarget* Target() const { return static_cast<DropTarget*>(GetPropW(window_, PropDropAccept)); }

    static std::vector<std::pair<uint32_t, DWORD>> Entries(ListNode* list) {
        std::vector<std::pair<uint32_t, DWORD>> entries;
        for (ListNode* node = list; node; node = node->next) {
            DropAcceptEntry* entry = reinterpret_cast<DropAcceptEntry*>(node);
            entries.emplace_back(entry->key, entry->actions);
        }
        return entries;
    }

    HWND window_ = nullptr;
};

// A target that is not registered anywhere: the caller holds its one reference.
struct LooseTarget {
    DropTarget* target;
    LooseTarget(int32_t kind, HWND control) : target(CreateDropTarget(kind, 7, control)) {}
    ~LooseTarget() {
        if (target) DropTargetRelease(&target->iface);
    }
    IDropTarget* Iface() { return &target->iface; }
};

typedef std::pair<uint32_t, DWORD> Entry;

// Empties the queue (bounded: nothing here posts endlessly).
void DrainEvents() {
    for (int i = 0; i < 1000 && TakeNextEvent() != 0; ++i) {
    }
}

} // namespace

// ---- QueryInterface, AddRef, Release ----------------------------------------------------------------

TEST(DropTargetSlots, QueryInterfaceAnswersUnknownAndDropTargetOnly) {
    LooseTarget loose(2, nullptr);
    ASSERT_NE(loose.target, nullptr);
    IDropTarget* self = loose.Iface();
    EXPECT_EQ(self->lpVtbl->QueryInterface, &DropTargetQueryInterface);
    EXPECT_EQ(self->lpVtbl->Drop, &DropTargetDrop);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(DropTargetQueryInterface(self, IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, self);
    EXPECT_EQ(loose.target->references, 2);

    out = nullptr;
    EXPECT_EQ(DropTargetQueryInterface(self, IID_IDropTarget, &out), S_OK);
    EXPECT_EQ(out, self);
    EXPECT_EQ(loose.target->references, 3);

    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(DropTargetQueryInterface(self, IID_IDataObject, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(DropTargetQueryInterface(self, IID_IDropSource, &out), E_NOINTERFACE);
    EXPECT_EQ(loose.target->references, 3);

    EXPECT_EQ(DropTargetQueryInterface(self, IID_IUnknown, nullptr), E_INVALIDARG);
    EXPECT_EQ(loose.target->references, 3);

    EXPECT_EQ(DropTargetRelease(self), 2u);
    EXPECT_EQ(DropTargetRelease(self), 1u);
}

TEST(DropTargetSlots, AddRefAndReleaseCountAndTheLastReleaseFreesTheLists) {
    DropTarget* target = CreateDropTarget(0, 3, nullptr);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->references, 1);
    EXPECT_EQ(target->kind, 0);
    EXPECT_EQ(target->number, 3);
    EXPECT_EQ(target->matchState, DropMatchNone);
    EXPECT_EQ(DropTargetAddRef(&target->iface), 2u);
    EXPECT_EQ(DropTargetAddRef(&target->iface), 3u);
    EXPECT_EQ(DropTargetRelease(&target->iface), 2u);
    EXPECT_EQ(DropTargetRelease(&target->iface), 1u);
    // Entries on both lists go with the target; freeing them must not touch freed memory.
    ASSERT_NE(AddListNode(&target->formats, 8), nullptr);
    ASSERT_NE(AddListNode(&target->privateTypes, 8), nullptr);
    EXPECT_EQ(DropTargetRelease(&target->iface), 0u);
}

// ---- ChooseDropEffect ---------------------------------------------------------------------------------

TEST(ChooseDropEffect, CopyOnlyEntryCopiesWhateverKeysAreHeld) {
    const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    for (DWORD keys : std::vector<DWORD>{0u, (DWORD)MK_SHIFT, (DWORD)MK_CONTROL, (DWORD)MK_ALT, (DWORD)(MK_SHIFT | MK_CONTROL),
                       (DWORD)(MK_LBUTTON | MK_SHIFT)}) {
        EXPECT_EQ(ChooseDropEffect(keys, DROPEFFECT_COPY, all), (DWORD)DROPEFFECT_COPY) << keys;
        EXPECT_EQ(ChooseDropEffect(keys, DROPEFFECT_COPY, DROPEFFECT_COPY), (DWORD)DROPEFFECT_COPY) << keys;
    }
    // A source that offers no copying gets nothing from a copy-only entry.
    EXPECT_EQ(ChooseDropEffect(0, DROPEFFECT_COPY, DROPEFFECT_MOVE | DROPEFFECT_LINK), (DWORD)DROPEFFECT_NONE);
}

TEST(ChooseDropEffect, RulesApplyInOrder) {
    const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    // Link: exactly Shift+Ctrl or exactly Alt.
    EXPECT_EQ(ChooseDropEffect(MK_SHIFT | MK_CONTROL, all, all), (DWORD)DROPEFFECT_LINK);
    EXPECT_EQ(ChooseDropEffect(MK_ALT, all, all), (DWORD)DROPEFFECT_LINK);
    EXPECT_EQ(ChooseDropEffect(MK_ALT | MK_LBUTTON | MK_RBUTTON, all, all), (DWORD)DROPEFFECT_LINK);
    EXPECT_EQ(ChooseDropEffect(MK_ALT | MK_SHIFT, all, all), (DWORD)DROPEFFECT_COPY);
    // Move: exactly Shift, or no copy allowed.
    EXPECT_EQ(ChooseDropEffect(MK_SHIFT, all, all), (DWORD)DROPEFFECT_MOVE);
    EXPECT_EQ(ChooseDropEffect(0, DROPEFFECT_MOVE | DROPEFFECT_LINK, all), (DWORD)DROPEFFECT_MOVE);
    EXPECT_EQ(ChooseDropEffect(MK_CONTROL, all, DROPEFFECT_MOVE), (DWORD)DROPEFFECT_MOVE);
    // Copy otherwise.
    EXPECT_EQ(ChooseDropEffect(0, all, all), (DWORD)DROPEFFECT_COPY);
    EXPECT_EQ(ChooseDropEffect(MK_CONTROL, all, all), (DWORD)DROPEFFECT_COPY);
    // Finally whatever link is left, or nothing.
    EXPECT_EQ(ChooseDropEffect(0, DROPEFFECT_LINK, all), (DWORD)DROPEFFECT_LINK);
    EXPECT_EQ(ChooseDropEffect(MK_SHIFT, DROPEFFECT_LINK, DROPEFFECT_LINK), (DWORD)DROPEFFECT_LINK);
    EXPECT_EQ(ChooseDropEffect(0, all, DROPEFFECT_NONE), (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(ChooseDropEffect(MK_SHIFT, DROPEFFECT_NONE, all), (DWORD)DROPEFFECT_NONE);
}

// ---- SetDropFormats / SetDropEntry ---------------------------------------------------------------------

TEST_F(DropTargetOnWindow, FirstEntryRegistersTheTargetAndNamesItInTheProperty) {
    SetDropEntry(5, 2, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    DropTarget* target = Target();
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->kind, 2);
    EXPECT_EQ(target->number, 5);
    EXPECT_EQ(target->control, window_);
    EXPECT_EQ(Entries(target->formats), (std::vector<Entry>{{CF_HDROP, DROPEFFECT_COPY}}));
    EXPECT_TRUE(Entries(target->privateTypes).empty());
    // OLE holds the target now: registering again on the window is refused.
    LooseTarget other(2, window_);
    EXPECT_EQ(RegisterDragDrop(window_, other.Iface()), DRAGDROP_E_ALREADYREGISTERED);
}

TEST_F(DropTargetOnWindow, SameFormatTwiceKeepsOneEntryAndUpdatesItsActions) {
    SetDropEntry(0, 2, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    DropTarget* target = Target();
    SetDropEntry(0, 2, window_, CF_HDROP, DROPEFFECT_COPY | DROPEFFECT_MOVE, 0);
    EXPECT_EQ(Target(), target);
    EXPECT_EQ(Entries(target->formats), (std::vector<Entry>{{CF_HDROP, DROPEFFECT_COPY | DROPEFFECT_MOVE}}));
}

TEST_F(DropTargetOnWindow, TextStandsForThreeFormatsAndFormatZeroForNone) {
    SetDropFormats(0, 2, window_, 0, DROPEFFECT_COPY, 0);
    EXPECT_EQ(Target(), nullptr);
    SetDropFormats(0, 2, window_, CF_TEXT, DROPEFFECT_COPY, 0);
    ASSERT_NE(Target(), nullptr);
    // New entries go to the head: the last one set comes first.
    EXPECT_EQ(Entries(Target()->formats), (std::vector<Entry>{{CF_UNICODETEXT, DROPEFFECT_COPY},
                                                              {CF_OEMTEXT, DROPEFFECT_COPY},
                                                              {CF_TEXT, DROPEFFECT_COPY}}));
    SetDropFormats(0, 2, window_, CF_TEXT, 0, 0);
    EXPECT_EQ(Target(), nullptr);
}

TEST_F(DropTargetOnWindow, PrivateFormatKeysThePrivateList) {
    SetDropEntry(0, 2, window_, PrivateDropFormat, DROPEFFECT_MOVE, 0x4242);
    ASSERT_NE(Target(), nullptr);
    EXPECT_TRUE(Entries(Target()->formats).empty());
    EXPECT_EQ(Entries(Target()->privateTypes), (std::vector<Entry>{{0x4242, DROPEFFECT_MOVE}}));
    // Withdrawing a format that was never there changes nothing.
    SetDropEntry(0, 2, window_, CF_HDROP, 0, 0);
    ASSERT_NE(Target(), nullptr);
    EXPECT_EQ(Entries(Target()->privateTypes).size(), 1u);
}

TEST_F(DropTargetOnWindow, WithdrawingTheLastEntryRevokesAndFreesTheTarget) {
    SetDropEntry(0, 2, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    SetDropEntry(0, 2, window_, PrivateDropFormat, DROPEFFECT_COPY, 9);
    DropTarget* target = Target();
    ASSERT_NE(target, nullptr);
    // Hold a reference of our own to watch the registration's go away.
    DropTargetAddRef(&target->iface);

    SetDropEntry(0, 2, window_, CF_HDROP, 0, 0);
    EXPECT_EQ(Target(), target) << "an entry is still left";
    SetDropEntry(0, 2, window_, PrivateDropFormat, 0, 9);
    EXPECT_EQ(Target(), nullptr);
    // Ours was the last reference: OLE kept none after the revocation.
    EXPECT_EQ(DropTargetRelease(&target->iface), 0u);

    // And the window is free for a new registration.
    LooseTarget other(2, window_);
    EXPECT_EQ(RegisterDragDrop(window_, other.Iface()), S_OK);
    EXPECT_EQ(RevokeDragDrop(window_), S_OK);
}

TEST_F(DropTargetOnWindow, ARegistrationAlreadyThereIsReplaced) {
    LooseTarget foreign(2, window_);
    ASSERT_EQ(RegisterDragDrop(window_, foreign.Iface()), S_OK);
    ASSERT_GT(foreign.target->references, 1);

    SetDropEntry(0, 2, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    ASSERT_NE(Target(), nullptr);
    EXPECT_NE(Target(), foreign.target);
    // The foreign registration was revoked: only our own reference to it is left.
    EXPECT_EQ(foreign.target->references, 1);
}


// ---- DragEnter / DragOver / DragLeave / Drop ----------------------------------------------------------

TEST_F(DropTargetOnWindow, DragOfAFileListIsCopiedAndPlainTextIsRefused) {
    SetDropEntry(0, 2, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    DropTarget* target = Target();
    ASSERT_NE(target, nullptr);
    IDropTarget* self = &target->iface;
    POINTL point = {150, 150};

    DataOffer files({CF_HDROP}, WideFileList({L"C:\\a.png"}));
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    EXPECT_EQ(DropTargetDragEnter(self, files.Get(), MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_COPY);
    EXPECT_EQ(target->matchState, DropMatchFormat);
    EXPECT_EQ(target->matchedKey, (uint32_t)CF_HDROP);
    EXPECT_EQ(target->matchedActions, (DWORD)DROPEFFECT_COPY);
    for (DWORD keys : {(DWORD)MK_SHIFT, (DWORD)MK_CONTROL, (DWORD)MK_ALT}) {
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        EXPECT_EQ(DropTargetDragOver(self, MK_LBUTTON | keys, point, &effect), S_OK);
        EXPECT_EQ(effect, (DWORD)DROPEFFECT_COPY) << keys;
    }
    EXPECT_EQ(DropTargetDragLeave(self), S_OK);
    EXPECT_EQ(target->matchState, DropMatchFormat) << "DragLeave leaves the match for the next DragEnter";

    DataOffer text({CF_TEXT, CF_UNICODETEXT}, {'h', 'i', 0});
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(DropTargetDragEnter(self, text.Get(), MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(target->matchState, DropMatchNone);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(DropTargetDragOver(self, MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(DropTargetDrop(self, text.Get(), 0, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(text.fake.getDataCalls, 0);

    // A source offering only moving or linking is refused without even being asked for the format.
    effect = DROPEFFECT_MOVE | DROPEFFECT_LINK;
    EXPECT_EQ(DropTargetDragEnter(self, files.Get(), MK_LBUTTON, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(target->matchState, DropMatchNone);

    EXPECT_EQ(files.fake.references, 1) << "the target keeps no reference to the data object";
}

TEST_F(DropTargetOnWindow, FirstMatchingFormatWinsAndPrivateTypesComeLast) {
    SetDropEntry(0, 2, window_, CF_UNICODETEXT, DROPEFFECT_MOVE, 0);
    SetDropEntry(0, 2, window_, CF_HDROP, DROPEFFECT_COPY, 0); // head of the list now
    SetDropEntry(0, 2, window_, PrivateDropFormat, DROPEFFECT_LINK, 0x1234);
    DropTarget* target = Target();
    IDropTarget* self = &target->iface;
    POINTL point = {0, 0};

    DataOffer both({CF_UNICODETEXT, CF_HDROP});
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    DropTargetDragEnter(self, both.Get(), 0, point, &effect);
    EXPECT_EQ(target->matchedKey, (uint32_t)CF_HDROP);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_COPY);

    // CF_HDROP is skipped when copying is not offered; the text entry allows moving.
    effect = DROPEFFECT_MOVE;
    DropTargetDragEnter(self, both.Get(), 0, point, &effect);
    EXPECT_EQ(target->matchedKey, (uint32_t)CF_UNICODETEXT);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_MOVE);

    const uint32_t type = 0x1234;
    std::vector<uint8_t> typeBytes(reinterpret_cast<const uint8_t*>(&type), reinterpret_cast<const uint8_t*>(&type) + 4);
    DataOffer privateData({static_cast<CLIPFORMAT>(PrivateDropFormat)}, typeBytes);
    effect = DROPEFFECT_LINK | DROPEFFECT_COPY;
    DropTargetDragEnter(self, privateData.Get(), 0, point, &effect);
    EXPECT_EQ(target->matchState, DropMatchPrivate);
    EXPECT_EQ(target->matchedKey, 0x1234u);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_LINK);

    const uint32_t otherType = 0x9999;
    DataOffer otherPrivate({static_cast<CLIPFORMAT>(PrivateDropFormat)},
                           std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&otherType),
                                                reinterpret_cast<const uint8_t*>(&otherType) + 4));
    effect = DROPEFFECT_LINK;
    DropTargetDragEnter(self, otherPrivate.Get(), 0, point, &effect);
    EXPECT_EQ(target->matchState, DropMatchNone);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);

    // Private data shorter than its type field matches nothing and is not read past its end.
    DataOffer shortPrivate({static_cast<CLIPFORMAT>(PrivateDropFormat)}, {0x34, 0x12});
    effect = DROPEFFECT_LINK;
    DropTargetDragEnter(self, shortPrivate.Get(), 0, point, &effect);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
}

TEST_F(DropTargetOnWindow, DropOnAWindowTargetQueuesTheCopiedFileList) {
    SetDropEntry(4, 0, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    DropTarget* target = Target();
    IDropTarget* self = &target->iface;
    POINT client = {12, 34};
    ClientToScreen(window_, &client);
    POINTL point = {client.x, client.y};

    DrainEvents();
    DataOffer files({CF_HDROP}, WideFileList({L"C:\\one.png", L"D:\\two words\\zwei.png"}));
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    DropTargetDragEnter(self, files.Get(), MK_LBUTTON, point, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(DropTargetDrop(self, files.Get(), 0, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_COPY);

    ASSERT_EQ(TakeNextEvent(), DropOnWindowEvent);
    const DropRecord* record = static_cast<const DropRecord*>(DataOfCurrentEvent());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->format, (uint32_t)CF_HDROP);
    EXPECT_EQ(record->privateType, 0u);
    EXPECT_EQ(record->effect, (DWORD)DROPEFFECT_COPY);
    EXPECT_EQ(record->x, 12);
    EXPECT_EQ(record->y, 34);
    ASSERT_EQ(record->size, files.fake.bytes.size());
    EXPECT_EQ(memcmp(record->data, files.fake.bytes.data(), record->size), 0);
    EXPECT_EQ(GetDroppedFiles(), L"C:\\one.png\nD:\\two words\\zwei.png");
    // The next fetch releases the record; afterwards no names are there.
    EXPECT_EQ(TakeNextEvent(), 0);
    EXPECT_EQ(GetDroppedFiles(), L"");
}

int routinesAfterTheThrow;
void ThrowingRoutine() { throw std::runtime_error("a bound routine failed"); }
void RoutineAfterTheThrow() { ++routinesAfterTheThrow; }

TEST_F(DropTargetOnWindow, ARoutineThatThrowsWhileTheDropIsPostedStaysInsideTheSlot) {
    SetDropEntry(4, 0, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    IDropTarget* self = &Target()->iface;
    POINTL point = {0, 0};
    DrainEvents();
    ASSERT_TRUE(BindEventCallback(DropOnWindowEvent, 4, -1, -1, ThrowingRoutine));
    ASSERT_TRUE(BindEventCallback(DropOnWindowEvent, 4, -1, -1, RoutineAfterTheThrow));
    routinesAfterTheThrow = 0;
    DataOffer files({CF_HDROP}, WideFileList({L"C:\\one.png"}));
    DWORD effect = DROPEFFECT_COPY;
    DropTargetDragEnter(self, files.Get(), MK_LBUTTON, point, &effect);
    effect = DROPEFFECT_COPY;
    HRESULT result = E_FAIL;
    EXPECT_NO_THROW(result = DropTargetDrop(self, files.Get(), 0, point, &effect));
    UnbindWindowCallbacks(4);
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(routinesAfterTheThrow, 1) << "the other routines still run";
    ASSERT_EQ(TakeNextEvent(), DropOnWindowEvent) << "the drop is queued all the same";
    EXPECT_EQ(GetDroppedFiles(), L"C:\\one.png");
    EXPECT_EQ(TakeNextEvent(), 0);
}

TEST_F(DropTargetOnWindow, DropOfPrivateDataCarriesTheTypeButNoCopy) {
    SetDropEntry(4, 0, window_, PrivateDropFormat, DROPEFFECT_MOVE, 77);
    DropTarget* target = Target();
    IDropTarget* self = &target->iface;
    POINTL point = {0, 0};
    DrainEvents();
    const uint32_t type = 77;
    DataOffer privateData({static_cast<CLIPFORMAT>(PrivateDropFormat)},
                          std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&type),
                                               reinterpret_cast<const uint8_t*>(&type) + 4));
    DWORD effect = DROPEFFECT_MOVE;
    DropTargetDragEnter(self, privateData.Get(), 0, point, &effect);
    ASSERT_EQ(effect, (DWORD)DROPEFFECT_MOVE);
    effect = DROPEFFECT_MOVE;
    DropTargetDrop(self, privateData.Get(), 0, point, &effect);
    ASSERT_EQ(TakeNextEvent(), DropOnWindowEvent);
    const DropRecord* record = static_cast<const DropRecord*>(DataOfCurrentEvent());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->format, PrivateDropFormat);
    EXPECT_EQ(record->privateType, 77u);
    EXPECT_EQ(record->data, nullptr);
    EXPECT_EQ(record->size, 0u);
    EXPECT_EQ(GetDroppedFiles(), L"");
    EXPECT_EQ(TakeNextEvent(), 0);
}

TEST_F(DropTargetOnWindow, DropWhoseDataCannotBeFetchedRaisesNothing) {
    SetDropEntry(4, 0, window_, CF_HDROP, DROPEFFECT_COPY, 0);
    IDropTarget* self = &Target()->iface;
    POINTL point = {0, 0};
    DrainEvents();
    DataOffer files({CF_HDROP}, WideFileList({L"C:\\x"}));
    DWORD effect = DROPEFFECT_COPY;
    DropTargetDragEnter(self, files.Get(), 0, point, &effect);
    ASSERT_EQ(effect, (DWORD)DROPEFFECT_COPY);
    // The source withdraws the format between the drag and the drop.
    files.fake.formats.clear();
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(DropTargetDrop(self, files.Get(), 0, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(TakeNextEvent(), 0);
}

TEST_F(DropTargetOnWindow, DropOnATextBoxNamesTheGadgetAndItsWindow) {
    HWND window = reinterpret_cast<HWND>(OpenNumberedWindow(6, 0, 0, 300, 200, L"drop", HiddenWindowFlag));
    ASSERT_NE(window, nullptr);
    HWND box = reinterpret_cast<HWND>(CreateTextBox(9, 0, 0, 300, 150, L"", 0x200007));
    ASSERT_NE(box, nullptr);
    AcceptDropOnGadget(9, CF_HDROP, DROPEFFECT_COPY);
    DropTarget* target = static_cast<DropTarget*>(GetPropW(box, PropDropAccept));
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->kind, TextBoxKindNumber);
    EXPECT_EQ(target->number, 9);
    // Unknown gadgets and format 0 change nothing.
    AcceptDropOnGadget(77, CF_HDROP, DROPEFFECT_COPY);
    AcceptDropOnGadget(9, 0, DROPEFFECT_COPY);
    EXPECT_EQ(Entries(target->formats), (std::vector<Entry>{{CF_HDROP, DROPEFFECT_COPY}}));

    DrainEvents();
    DataOffer files({CF_HDROP}, WideFileList({L"C:\\dropped.png"}));
    POINTL point = {0, 0};
    DWORD effect = DROPEFFECT_COPY;
    DropTargetDragEnter(&target->iface, files.Get(), 0, point, &effect);
    effect = DROPEFFECT_COPY;
    DropTargetDrop(&target->iface, files.Get(), 0, point, &effect);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_COPY);
    ASSERT_EQ(TakeNextEvent(), DropOnGadgetEvent);
    EXPECT_EQ(EventLibrary()->current.object, 9);
    EXPECT_EQ(EventLibrary()->current.window, 6);
    EXPECT_EQ(EventLibrary()->current.subtype, 0);
    EXPECT_EQ(GetDroppedFiles(), L"C:\\dropped.png");
    DrainEvents();

    // Destroying the control revokes the registration, which lets go of the target.
    DropTargetAddRef(&target->iface);
    ReleaseGadget(9);
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(DropTargetRelease(&target->iface), 0u);
    ReleaseWindow(6);
    DrainEvents();
}

// ---- LowerOverlappingButtons --------------------------------------------------------------------------

TEST(LowerOverlappingButtons, OnlyOverlappingNonPushButtonsAboveTheControlMove) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND parent = CreateWindowExW(0, L"Static", L"", WS_OVERLAPPED, 0, 0, 400, 300, nullptr, nullptr, instance, nullptr);
    ASSERT_NE(parent, nullptr);
    // Children created first lie on top; all of these are above the control.
    HWND check = CreateWindowExW(0, L"Button", L"c", WS_CHILD | BS_AUTOCHECKBOX, 10, 10, 50, 20, parent, nullptr,
                                 instance, nullptr);
    HWND push = CreateWindowExW(0, L"Button", L"p", WS_CHILD | BS_PUSHBUTTON, 10, 40, 50, 20, parent, nullptr,
                                instance, nullptr);
    HWND farAway = CreateWindowExW(0, L"Button", L"r", WS_CHILD | BS_AUTORADIOBUTTON, 300, 250, 50, 20, parent,
                                   nullptr, instance, nullptr);
    HWND control = CreateWindowExW(0, L"Edit", L"", WS_CHILD, 0, 0, 200, 100, parent, nullptr, instance, nullptr);
    ASSERT_TRUE(check && push && farAway && control);
    ASSERT_EQ(GetWindow(parent, GW_CHILD), check);

    LowerOverlappingButtons(control);

    std::vector<HWND> order;
    for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) order.push_back(w);
    EXPECT_EQ(order, (std::vector<HWND>{push, farAway, control, check}));
    DestroyWindow(parent);
}

// ---- GetDroppedFiles ----------------------------------------------------------------------------------

TEST(DroppedFiles, OneNameIsReturnedWhole) {
    EXPECT_EQ(NamesOf(WideFileList({L"C:\\pictures\\photo.png"})), L"C:\\pictures\\photo.png");
}

TEST(DroppedFiles, SeveralNamesAreJoinedByLineFeedsInDropOrder) {
    EXPECT_EQ(NamesOf(WideFileList({L"C:\\a.png", L"C:\\b c\\d.png", L"Z:\\\u00e9t\u00e9.png"})),
              L"C:\\a.png\nC:\\b c\\d.png\nZ:\\\u00e9t\u00e9.png");
    // Names of very different lengths: each copy gets exactly the room left in the result.
    std::wstring longName = L"C:\\" + std::wstring(600, L'x') + L".png";
    EXPECT_EQ(NamesOf(WideFileList({L"a", longName, L"b"})), L"a\n" + longName + L"\nb");
    EXPECT_EQ(NamesOf(WideFileList({longName, L"b"})), longName + L"\nb");
}

TEST(DroppedFiles, AnsiListsAreConverted) {
    EXPECT_EQ(NamesOf(AnsiFileList({"C:\\one.png", "C:\\two.png"})), L"C:\\one.png\nC:\\two.png");
}

TEST(DroppedFiles, NothingUsableGivesTheEmptyText) {
    EXPECT_EQ(DroppedFilesOfRecord(nullptr), L"");
    EXPECT_EQ(NamesOf(WideFileList({L"C:\\a.png"}), CF_TEXT), L"");
    DropRecord noData = {CF_HDROP, 0, DROPEFFECT_COPY, 0, 0, nullptr, 0};
    EXPECT_EQ(DroppedFilesOfRecord(&noData), L"");
    EXPECT_EQ(NamesOf(WideFileList({})), L"") << "an empty list";
}

TEST(DroppedFiles, OutOfMemoryForTheNamesGivesTheEmptyText) {
    GuardedRecord record(WideFileList({L"C:\\a.png", L"C:\\b c\\d.png"}));
    std::wstring names;
    int failures = 0;
    FailEachAllocationOf([&] { names = DroppedFilesOfRecord(record.Get()); },
                         [&](bool failed) {
                             failures += failed;
                             EXPECT_EQ(names, failed ? L"" : L"C:\\a.png\nC:\\b c\\d.png");
                         });
    EXPECT_GE(failures, 1) << "the names took no allocation that could fail";
}

TEST(DroppedFiles, MalformedBlocksAreNotReadPastTheirEnd) {
    std::vector<uint8_t> good = WideFileList({L"C:\\a.png", L"C:\\b.png"});
    // Every cut of the block: the list no longer ends inside it.
    for (size_t size = 0; size < good.size(); ++size) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + size);
        EXPECT_EQ(NamesOf(cut), L"") << size;
    }
    // pFiles pointing outside the block or into the header.
    for (DWORD offset : std::vector<DWORD>{0u, 4u, (DWORD)good.size(), 0x7FFFFFFFu, 0xFFFFFFF0u}) {
        std::vector<uint8_t> bad = good;
        memcpy(bad.data(), &offset, sizeof(offset));
        EXPECT_EQ(NamesOf(bad), L"") << offset;
    }
    // A wide list with an odd byte at the end and no wide terminator.
    std::vector<uint8_t> odd = good;
    odd.resize(odd.size() - 3);
    EXPECT_EQ(NamesOf(odd), L"");
}
