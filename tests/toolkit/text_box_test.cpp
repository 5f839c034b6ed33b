// text_box_test.cpp: text box gadgets: creation, numbers, text, events, clean-up, colours and the brush cache.
#include <gtest/gtest.h>
#include <string>
#include "tests/toolkit/toolkit_test_support.h"
#include "toolkit/brush_cache.h"
#include "toolkit/gadget_library.h"
#include "toolkit/gadget_record.h"
#include "toolkit/window_messages.h"
#include "toolkit/window_record.h"

namespace {

const uint32_t MainWindowFlags = 0xCA0001;
const uint32_t ReportBoxFlags = 0x200007;

GadgetRecord* GadgetOf(ObjectNumber number) {
    return static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), number));
}

struct PropertySearch {
    const wchar_t* name;
    bool found;
};

BOOL CALLBACK MatchProperty(HWND, LPWSTR name, HANDLE, ULONG_PTR context) {
    PropertySearch* search = reinterpret_cast<PropertySearch*>(context);
    if (!IS_INTRESOURCE(name) && wcscmp(name, search->name) == 0) search->found = true;
    return TRUE;
}

// Whether the property exists at all (a value of 0 cannot tell).
bool HasProperty(HWND hwnd, const wchar_t* name) {
    PropertySearch search = {name, false};
    EnumPropsExW(hwnd, MatchProperty, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What CreateWindowExW was asked for, seen before any window procedure changes it.
struct CreationSeen {
    DWORD style;
    DWORD exStyle;
    HMENU menu;
    HWND parent;
    bool seen;
};
CreationSeen creation;
HHOOK creationHook;

LRESULT CALLBACK WatchEditCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (!IS_INTRESOURCE(cs->lpszClass) && _wcsicmp(cs->lpszClass, L"Edit") == 0) {
            creation = CreationSeen{static_cast<DWORD>(cs->style), cs->dwExStyle, cs->hMenu, cs->hwndParent, true};
        }
    }
    return CallNextHookEx(creationHook, code, wParam, lParam);
}

class TextBoxTest : public testing::Test {
protected:
    static void SetUpTestSuite() { StartToolkitLibraries(); }
    void SetUp() override {
        main = reinterpret_cast<HWND>(OpenNumberedWindow(0, 0, 0, 640, 480, L"PNG text chunks", MainWindowFlags));
        ASSERT_NE(main, nullptr);
        PumpEvents(20);
    }
    void TearDown() override {
        ReleaseWindow(-1);
        PumpEvents();
    }
    HWND main = nullptr;
};

TEST_F(TextBoxTest, TheReportBoxHasItsStyleEdgeNumberAndFont) {
    creation = CreationSeen{};
    creationHook = SetWindowsHookExW(WH_CBT, WatchEditCreation, nullptr, GetCurrentThreadId());
    HWND box = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 460, L"", ReportBoxFlags));
    UnhookWindowsHookEx(creationHook);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(creation.seen);
    EXPECT_EQ(creation.style, 0x50230087u);
    EXPECT_EQ(creation.exStyle & WS_EX_CLIENTEDGE, static_cast<DWORD>(WS_EX_CLIENTEDGE));
    EXPECT_EQ(creation.menu, reinterpret_cast<HMENU>(-1)) << "created unnumbered, numbered when attached";
    EXPECT_EQ(creation.parent, main);

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(box, GWL_STYLE)), 0x50230087u);
    EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(GetParent(box), main);
    EXPECT_EQ(GetWindowLongPtrW(box, GWLP_ID), 0);
    EXPECT_TRUE(HasProperty(box, L"Zorv_ID"));
    EXPECT_EQ(SendMessageW(box, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)));
    RECT r;
    GetWindowRect(box, &r);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 460);

    GadgetRecord* gadget = GadgetOf(0);
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(gadget->control, box);
    ASSERT_EQ(gadget->kind, TextBoxKind());
    EXPECT_EQ(gadget->kind->kindNumber, 2);
    EXPECT_EQ(gadget->kind->parentMessage, HandleTextBoxColors);
    EXPECT_EQ(gadget->kind->getText, nullptr);
    EXPECT_EQ(gadget->textColor, static_cast<COLORREF>(-1));
    EXPECT_EQ(gadget->backgroundColor, static_cast<COLORREF>(-1));
    // Two-level subclassing: gadget procedure, then the text box procedure, then the stock one.
    EXPECT_EQ(GetWindowLongPtrW(box, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(GadgetWindowProc));
    EXPECT_EQ(gadget->previousProc, TextBoxWindowProc);

    EXPECT_EQ(FindOwnerWindow(box), main);
    EXPECT_EQ(WindowNumberOf(FindOwnerWindow(box)), 0);
}

TEST_F(TextBoxTest, FlagsPassIntoTheStyleAndOneDropsTheEdge) {
    creation = CreationSeen{};
    creationHook = SetWindowsHookExW(WH_CBT, WatchEditCreation, nullptr, GetCurrentThreadId());
    HWND plain = reinterpret_cast<HWND>(CreateTextBox(1, 0, 0, 100, 20, nullptr, 0));
    DWORD plainStyle = creation.style;
    HWND flat = reinterpret_cast<HWND>(CreateTextBox(2, 0, 30, 100, 20, L"x", TextBoxNoEdgeFlag | ES_READONLY));
    UnhookWindowsHookEx(creationHook);
    ASSERT_TRUE(plain && flat);
    EXPECT_EQ(plainStyle, 0x50030080u);
    EXPECT_EQ(creation.style, 0x50030080u | TextBoxNoEdgeFlag | ES_READONLY);
    EXPECT_EQ(creation.exStyle & WS_EX_CLIENTEDGE, 0u);
    EXPECT_EQ(ReadGadgetText(1), L"");
    EXPECT_EQ(ReadGadgetText(2), L"x");
}

TEST_F(TextBoxTest, AutoNumberUsesTheRecordAddressEverywhere) {
    intptr_t number = CreateTextBox(AutoNumber, 0, 0, 100, 20, L"auto", 0);
    ASSERT_NE(number, 0);
    GadgetRecord* gadget = GadgetOf(number);
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(reinterpret_cast<intptr_t>(gadget), number);
    EXPECT_EQ(GetWindowLongPtrW(gadget->control, GWLP_ID), number);
    EXPECT_EQ(GetPropW(gadget->control, L"Zorv_ID"), reinterpret_cast<HANDLE>(number));
    EXPECT_EQ(ReadGadgetText(number), L"auto");
    HWND control = gadget->control;
    EXPECT_TRUE(ReleaseGadget(number));
    EXPECT_FALSE(IsWindow(control));
    EXPECT_EQ(GadgetOf(number), nullptr);
}

// A drop target that only counts its references, to see the registration taken and given back.
class CountingDropTarget : public IDropTarget {
public:
    LONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = 0;
        return S_OK;
    }
};

// Looks at the control right after GadgetWindowProc has cleaned up at WM_NCDESTROY.
struct CleanupSeen {
    bool seen;
    bool hasGadgetId;
    bool hasDropAccept;
    LONG_PTR controlId;
    bool recordLive;
};
CleanupSeen cleanup;
WNDPROC innerProc;

LRESULT CALLBACK WatchCleanup(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcW(innerProc, hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        cleanup.seen = true;
        cleanup.hasGadgetId = HasProperty(hwnd, L"Zorv_ID");
        cleanup.hasDropAccept = HasProperty(hwnd, L"Zorv_DropAccept");
        cleanup.controlId = GetWindowLongPtrW(hwnd, GWLP_ID);
        GadgetRecord* gadget = GadgetOf(0);
        cleanup.recordLive = gadget && gadget->control == hwnd;
    }
    return result;
}

int releasedMarker;
int releaseCalls;
void CountRelease(void*) { releaseCalls++; }

TEST_F(TextBoxTest, ASecondTextBoxZeroDestroysTheFirstAndCleansUp) {
    HWND first = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 460, L"first", ReportBoxFlags));
    ASSERT_NE(first, nullptr);
    PumpEvents();

    CountingDropTarget target;
    ASSERT_EQ(RegisterDragDrop(first, &target), S_OK);
    ASSERT_GT(target.references, 1) << "the registration holds a reference";
    SetPropW(first, L"Zorv_DropAccept", &target);

    // A queued event of gadget 0 that must go, and one of another gadget that must stay.
    releaseCalls = 0;
    RaiseEventWithData(GadgetNotifyEvent, 0, 0, 777, &releasedMarker, CountRelease);
    RaiseEvent(GadgetNotifyEvent, 9, 0, 778);

    cleanup = CleanupSeen{};
    innerProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(first, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchCleanup)));

    HWND second = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 460, L"second", ReportBoxFlags));
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    ASSERT_TRUE(cleanup.seen);
    EXPECT_FALSE(cleanup.hasGadgetId);
    EXPECT_FALSE(cleanup.hasDropAccept);
    EXPECT_EQ(cleanup.controlId, -1);
    EXPECT_FALSE(cleanup.recordLive) << "the record is released at WM_NCDESTROY";
    EXPECT_EQ(target.references, 1) << "the drop registration was revoked";

    std::vector<SeenEvent> events = EventsWithCode(PumpEvents(), GadgetNotifyEvent);
    bool sawPurged = false, sawOther = false;
    for (const SeenEvent& e : events) {
        if (e.subtype == 777) sawPurged = true;
        if (e.subtype == 778 && e.object == 9) sawOther = true;
    }
    EXPECT_FALSE(sawPurged);
    EXPECT_TRUE(sawOther);

    ASSERT_NE(GadgetOf(0), nullptr);
    EXPECT_EQ(GadgetOf(0)->control, second);
    EXPECT_EQ(GetWindowLongPtrW(second, GWLP_ID), 0);
    EXPECT_EQ(ReadGadgetText(0), L"second");
}

TEST_F(TextBoxTest, ReplacingTextRaisesNoEventsWhileTypingAndFocusChangesDo) {
    HWND box = reinterpret_cast<HWND>(CreateTextBox(3, 0, 0, 200, 20, L"", 0));
    HWND other = reinterpret_cast<HWND>(CreateTextBox(4, 0, 30, 200, 20, L"", 0));
    ASSERT_TRUE(box && other);
    ActivateWindow(main);
    SetFocus(other);
    PumpEvents(20);

    // The single-line control does notify its window of a text change made directly.
    SetWindowTextW(box, L"direct");
    std::vector<SeenEvent> direct = EventsWithCode(PumpEvents(), GadgetNotifyEvent);
    ASSERT_FALSE(direct.empty());
    EXPECT_EQ(direct[0].object, 3);
    EXPECT_EQ(direct[0].window, 0);

    ReplaceGadgetText(3, L"replaced");
    EXPECT_EQ(CountOf(PumpEvents(), GadgetNotifyEvent), 0u);
    EXPECT_EQ(ReadGadgetText(3), L"replaced");
    EXPECT_EQ(EventLibrary()->suspendCount, 0);

    SetFocus(box);
    std::vector<SeenEvent> focus = EventsWithCode(PumpEvents(), GadgetNotifyEvent);
    bool otherLost = false, boxGained = false;
    for (const SeenEvent& e : focus) {
        EXPECT_EQ(e.window, 0);
        if (e.object == 4 && e.subtype == FocusLostSubtype) otherLost = true;
        if (e.object == 3 && e.subtype == FocusGainedSubtype) boxGained = true;
    }
    EXPECT_TRUE(otherLost);
    EXPECT_TRUE(boxGained);

    SendMessageW(box, EM_SETSEL, 0, -1);
    PressKey('Q');
    std::vector<SeenEvent> typed = EventsWithCode(PumpEvents(50), GadgetNotifyEvent);
    EXPECT_FALSE(typed.empty()) << "typing raises gadget events";
    for (const SeenEvent& e : typed) EXPECT_EQ(e.object, 3);
    EXPECT_EQ(ReadGadgetText(3), L"q");
}

TEST_F(TextBoxTest, TextIsReplacedAndReadWhole) {
    ASSERT_NE(CreateTextBox(0, 0, 0, 640, 460, L"start", ReportBoxFlags), 0);
    ReplaceGadgetText(0, nullptr);
    EXPECT_EQ(ReadGadgetText(0), L"");
    std::wstring report = L"file:Z:\\x\\y.png";
    for (int i = 0; i < 2000; i++) report += L"\r\ntEXt Comment: \u00e9\u4e2d line " + std::to_wstring(i);
    ReplaceGadgetText(0, report.c_str());
    EXPECT_EQ(ReadGadgetText(0), report);
    // Numbers without a gadget: nothing happens, nothing is read.
    ReplaceGadgetText(12, L"nobody");
    EXPECT_EQ(ReadGadgetText(12), L"");
    EXPECT_EQ(ReadGadgetText(-5), L"");
}

TEST_F(TextBoxTest, TextIsAppendedPastTheFirstLimitWithoutEventsAndControlASelectsAll) {
    HWND box = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 460, L"", ReportBoxFlags));
    ASSERT_NE(box, nullptr);
    ActivateWindow(main);
    SetFocus(box);
    PumpEvents(20);
    std::wstring expected;
    for (int i = 0; i < 300; i++) {
        std::wstring line = (i ? L"\r\n" : L"") + std::wstring(L"tEXt : Comment \u00e9\u4e2d line ") + std::to_wstring(i) +
                            std::wstring(100, L'x');
        AppendGadgetText(0, line.c_str());
        expected += line;
    }
    ASSERT_GT(expected.size(), 30000u) << "past the control's first limit";
    EXPECT_EQ(ReadGadgetText(0), expected);
    EXPECT_EQ(CountOf(PumpEvents(), GadgetNotifyEvent), 0u) << "appending raises no gadget events";
    EXPECT_EQ(EventLibrary()->suspendCount, 0);
    AppendGadgetText(0, nullptr);
    AppendGadgetText(12, L"nobody");
    EXPECT_EQ(ReadGadgetText(0), expected);

    // Ctrl+A, as TranslateMessage gives it: the whole text selected.
    SendMessageW(box, EM_SETSEL, 5, 5);
    SendMessageW(box, WM_CHAR, SelectAllCharacter, 0);
    DWORD start = 1, end = 1;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, expected.size());
    EXPECT_EQ(ReadGadgetText(0), expected) << "the character is not typed";
}

// Text put in the middle: the user's selection moves with the text it is on, the view stays.
TEST_F(TextBoxTest, TextIsInsertedWhereAskedKeepingTheUsersSelectionAndView) {
    HWND box = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 460, L"", ReportBoxFlags));
    ASSERT_NE(box, nullptr);
    std::wstring text;
    for (int i = 0; i < 200; i++) text += L"line " + std::to_wstring(i) + L"\r\n";
    ReplaceGadgetText(0, text.c_str());
    std::wstring inserted;
    for (int i = 0; i < 300; i++) inserted += L"new \u00e9\u4e2d " + std::to_wstring(i) + std::wstring(100, L'x') + L"\r\n";
    const size_t at = text.find(L"line 10\r\n");
    SendMessageW(box, EM_SETSEL, 2, 4);
    SendMessageW(box, EM_LINESCROLL, 0, 5);
    ASSERT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 5);
    PumpEvents();  // the scroll's own
    InsertGadgetText(0, at, inserted.c_str());
    ASSERT_GT(text.size() + inserted.size(), 30000u) << "past the control's first limit";
    EXPECT_TRUE(ReadGadgetText(0) == text.substr(0, at) + inserted + text.substr(at));
    DWORD start = 0, end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 5) << "the view stays";
    // A selection behind the place moves with its text; a place past the end is the end.
    const size_t behind = at + inserted.size() + 3;
    SendMessageW(box, EM_SETSEL, behind, behind + 2);
    PumpEvents();
    InsertGadgetText(0, at, L"ab");
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, behind + 2);
    EXPECT_EQ(end, behind + 4);
    InsertGadgetText(0, 1u << 30, L"end");
    const std::wstring all = ReadGadgetText(0);
    EXPECT_EQ(all.substr(all.size() - 3), L"end");
    EXPECT_EQ(CountOf(PumpEvents(), GadgetNotifyEvent), 0u) << "inserting raises no gadget events";
    EXPECT_EQ(EventLibrary()->suspendCount, 0);
    InsertGadgetText(0, 0, nullptr);
    InsertGadgetText(12, 0, L"nobody");
    EXPECT_TRUE(ReadGadgetText(0) == all);
}

// A replacement with room: the box as a whole-text write leaves it, and text added up to the room
// stays in the same buffer.
TEST_F(TextBoxTest, TextIsReplacedWithRoomForWhatFollows) {
    HWND box = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 640, 460, L"old text", ReportBoxFlags));
    ASSERT_NE(box, nullptr);
    SendMessageW(box, EM_SETSEL, 3, 3);
    SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"typed"));
    std::wstring head;
    for (int i = 0; i < 100; i++) head += L"head " + std::to_wstring(i) + L"\r\n";
    const size_t room = 200000;
    PumpEvents();  // the typing's own
    ReplaceGadgetTextWithRoom(0, head.c_str(), room);
    EXPECT_TRUE(ReadGadgetText(0) == head);
    DWORD start = 1, end = 1;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_EQ(SendMessageW(box, EM_CANUNDO, 0, 0), 0);
    EXPECT_EQ(SendMessageW(box, EM_GETMODIFY, 0, 0), 0);
    HLOCAL buffer = reinterpret_cast<HLOCAL>(SendMessageW(box, EM_GETHANDLE, 0, 0));
    ASSERT_NE(buffer, nullptr);
    EXPECT_GE(LocalSize(buffer), (room + 1) * sizeof(wchar_t));
    std::wstring rest;
    while (head.size() + rest.size() < room - 200) rest += L"more text, more lines\r\n";
    for (size_t at = 0; at < rest.size(); at += 10000) InsertGadgetText(0, head.size() + at, rest.substr(at, 10000).c_str());
    EXPECT_TRUE(ReadGadgetText(0) == head + rest);
    EXPECT_EQ(reinterpret_cast<HLOCAL>(SendMessageW(box, EM_GETHANDLE, 0, 0)), buffer) << "the text stayed in its buffer";
    EXPECT_EQ(CountOf(PumpEvents(), GadgetNotifyEvent), 0u) << "replacing raises no gadget events";
    // Unknown numbers: nothing; a room smaller than the text is the text's.
    ReplaceGadgetTextWithRoom(12, L"nobody", 10);
    ReplaceGadgetTextWithRoom(0, L"short", 0);
    EXPECT_EQ(ReadGadgetText(0), L"short");
}

TEST_F(TextBoxTest, ReleasingGadgetsOneOrAllAndThroughTheirWindow) {
    EXPECT_FALSE(ReleaseGadget(0)) << "no gadget, no result";
    HWND a = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 100, 20, L"", 0));
    HWND b = reinterpret_cast<HWND>(CreateTextBox(1, 0, 30, 100, 20, L"", 0));
    intptr_t c = CreateTextBox(AutoNumber, 0, 60, 100, 20, L"", 0);
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(ReleaseGadget(0));
    EXPECT_FALSE(IsWindow(a));
    EXPECT_EQ(GadgetOf(0), nullptr);
    ReleaseGadget(-1);
    EXPECT_FALSE(IsWindow(b));
    EXPECT_EQ(GadgetOf(1), nullptr);
    EXPECT_EQ(GadgetOf(c), nullptr);

    HWND d = reinterpret_cast<HWND>(CreateTextBox(2, 0, 0, 100, 20, L"", 0));
    ASSERT_NE(d, nullptr);
    ReleaseWindow(0);
    EXPECT_FALSE(IsWindow(d));
    EXPECT_EQ(GadgetOf(2), nullptr) << "destroying the window cleans up its gadgets";
    EXPECT_EQ(CreateTextBox(3, 0, 0, 100, 20, L"", 0), 0) << "no gadget list, no text box";
    EXPECT_EQ(GadgetOf(3), nullptr);
}

TEST_F(TextBoxTest, ColoursAreAnsweredOnlyWhenSet) {
    HWND box = reinterpret_cast<HWND>(CreateTextBox(0, 0, 0, 100, 20, L"", 0));
    ASSERT_NE(box, nullptr);
    GadgetRecord* gadget = GadgetOf(0);
    HDC dc = GetDC(box);
    WPARAM wp = reinterpret_cast<WPARAM>(dc);
    LPARAM lp = reinterpret_cast<LPARAM>(box);
    EXPECT_EQ(HandleTextBoxColors(gadget, main, WM_CTLCOLOREDIT, wp, lp), NotHandled);
    EXPECT_EQ(HandleTextBoxColors(gadget, main, WM_CTLCOLORBTN, wp, lp), NotHandled);

    gadget->kind->setColor(gadget, GadgetTextColor, RGB(200, 0, 0));
    EXPECT_EQ(gadget->kind->getColor(gadget, GadgetTextColor), RGB(200, 0, 0));
    EXPECT_EQ(HandleTextBoxColors(gadget, main, WM_CTLCOLOREDIT, wp, lp),
              reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
    EXPECT_EQ(GetTextColor(dc), RGB(200, 0, 0));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(HandleTextBoxColors(gadget, main, WM_CTLCOLORSTATIC, wp, lp),
              reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));

    gadget->kind->setColor(gadget, GadgetBackgroundColor, RGB(0, 0, 90));
    ASSERT_NE(gadget->backgroundBrush, nullptr);
    EXPECT_EQ(HandleTextBoxColors(gadget, main, WM_CTLCOLOREDIT, wp, lp),
              reinterpret_cast<LRESULT>(gadget->backgroundBrush));
    EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 90));
    // A disabled box keeps the default colours of a static.
    EnableWindow(box, FALSE);
    EXPECT_EQ(HandleTextBoxColors(gadget, main, WM_CTLCOLORSTATIC, wp, lp), NotHandled);
    EXPECT_EQ(gadget->kind->getColor(gadget, 3), static_cast<COLORREF>(-1));
    ReleaseDC(box, dc);

    gadget->kind->setColor(gadget, GadgetBackgroundColor, static_cast<COLORREF>(-1));
    EXPECT_EQ(gadget->backgroundBrush, nullptr);
}

TEST_F(TextBoxTest, BoxesOfOneColourShareABrushUntilTheLastIsGone) {
    ASSERT_NE(CreateTextBox(0, 0, 0, 100, 20, L"", 0), 0);
    ASSERT_NE(CreateTextBox(1, 0, 30, 100, 20, L"", 0), 0);
    GadgetRecord* a = GadgetOf(0);
    GadgetRecord* b = GadgetOf(1);
    const COLORREF color = RGB(12, 34, 56);
    SetTextBoxColor(a, GadgetBackgroundColor, color);
    SetTextBoxColor(b, GadgetBackgroundColor, color);
    HBRUSH brush = a->backgroundBrush;
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(b->backgroundBrush, brush);
    EXPECT_EQ(ColorBrushReferences(brush), 2);
    ReleaseGadget(0);
    EXPECT_EQ(ColorBrushReferences(brush), 1) << "the released box gave its reference back";
    EXPECT_NE(GetObjectType(brush), 0u);
    ReleaseGadget(1);
    EXPECT_EQ(ColorBrushReferences(brush), 0);
    EXPECT_EQ(GetObjectType(brush), 0u) << "the last reference deletes the brush";
}

TEST(BrushCacheTest, SharesByColourAndFreesByCount) {
    StartToolkitLibraries();
    HBRUSH red = AcquireColorBrush(RGB(255, 0, 0));
    HBRUSH again = AcquireColorBrush(RGB(255, 0, 0));
    HBRUSH green = AcquireColorBrush(RGB(0, 255, 0));
    ASSERT_TRUE(red && green);
    EXPECT_EQ(again, red);
    EXPECT_NE(green, red);
    EXPECT_EQ(ColorBrushReferences(red), 2);
    ReleaseColorBrush(red);
    EXPECT_EQ(GetObjectType(red), static_cast<DWORD>(OBJ_BRUSH));
    ReleaseColorBrush(red);
    EXPECT_EQ(GetObjectType(red), 0u);
    EXPECT_EQ(ColorBrushReferences(red), 0);

    // A brush the cache never made is left alone.
    HBRUSH foreign = CreateSolidBrush(RGB(1, 1, 1));
    ReleaseColorBrush(foreign);
    EXPECT_EQ(GetObjectType(foreign), static_cast<DWORD>(OBJ_BRUSH));
    DeleteObject(foreign);
    ReleaseColorBrush(nullptr);

    // A colour whose brush is gone gets a new one.
    HBRUSH redAgain = AcquireColorBrush(RGB(255, 0, 0));
    ASSERT_NE(redAgain, nullptr);
    EXPECT_EQ(GetObjectType(redAgain), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(ColorBrushReferences(redAgain), 1);
    ReleaseColorBrush(redAgain);
    ReleaseColorBrush(green);
    EXPECT_EQ(GetObjectType(green), 0u);
}

TEST_F(TextBoxTest, LengthLimitAttributeAndRequiredSize) {
    ASSERT_NE(CreateTextBox(0, 0, 0, 100, 20, L"", 0), 0);
    GadgetRecord* gadget = GadgetOf(0);
    const GadgetKind* kind = gadget->kind;
    kind->setAttribute(gadget, TextBoxMaxLengthAttribute, 0);
    EXPECT_EQ(kind->getAttribute(gadget, TextBoxMaxLengthAttribute), 1) << "limits below 1 become 1";
    kind->setAttribute(gadget, TextBoxMaxLengthAttribute, 5);
    EXPECT_EQ(kind->getAttribute(gadget, TextBoxMaxLengthAttribute), 5);
    kind->setAttribute(gadget, 7, 3);
    EXPECT_EQ(kind->getAttribute(gadget, TextBoxMaxLengthAttribute), 5);
    EXPECT_EQ(kind->getAttribute(gadget, 7), 0);

    int32_t width = -1, height = -1;
    kind->requiredSize(gadget, &width, &height);
    EXPECT_EQ(width, 2 * GetSystemMetrics(SM_CXEDGE));
    EXPECT_GE(height, 20);
    EXPECT_GT(height, 2 * GetSystemMetrics(SM_CYEDGE));
}

TEST_F(TextBoxTest, OwnerWindowAndWindowNumberOfPlainWindows) {
    HWND loose = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    HWND child = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 5, 5, loose, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(loose && child);
    EXPECT_EQ(FindOwnerWindow(child), loose) << "without a numbered window the top ancestor answers";
    EXPECT_EQ(WindowNumberOf(loose), -1);
    EXPECT_EQ(FindOwnerWindow(nullptr), nullptr);
    DestroyWindow(loose);

    HWND inner = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 50, 50, main, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    HWND innermost = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 5, 5, inner, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(FindOwnerWindow(innermost), main);
    EXPECT_EQ(WindowNumberOf(main), 0);
}

} // namespace
