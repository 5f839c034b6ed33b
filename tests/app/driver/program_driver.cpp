// program_driver.cpp: starting the program, finding its windows, reading them, and real input and drags.
#include "tests/app/driver/program_driver.h"
#include <ole2.h>
#include <shlobj.h>
#include <cstring>
#include <thread>

const wchar_t ProgramWindowTitle[] = L"PNG text chunks";
const wchar_t NoticeTitle[] = L"File";

static const DWORD PollInterval = 20;
static const UINT CrossProcessTimeout = 5000;

// ---- windows of another process ----------------------------------------------------------------------

struct WindowSearch {
    DWORD processId;
    const wchar_t* title;
    HWND found;
};

static BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    if (search->title) {
        wchar_t title[256] = {};
        GetWindowTextW(window, title, 256);
        if (wcscmp(title, search->title) != 0) return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* title) {
    WindowSearch search = {processId, title, nullptr};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ReadWindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, CrossProcessTimeout, &length))
        return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             CrossProcessTimeout, &copied))
        return L"<no answer>";
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

std::wstring NoticeMessage(HWND box) {
    wchar_t message[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, message, 1024);
    return message;
}

bool ConfirmNotice(HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(ok, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, CrossProcessTimeout, &result) != 0;
}

// ---- the program ------------------------------------------------------------------------------------

ProgramUnderTest::~ProgramUnderTest() {
    Kill();
    if (process_) CloseHandle(process_);
}

bool ProgramUnderTest::Start(const std::wstring& exe, const std::wstring& parameters) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!parameters.empty()) commandLine += L" " + parameters;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    return true;
}

HWND ProgramUnderTest::WaitForWindow(DWORD timeout) {
    const DWORD start = GetTickCount();
    do {
        window_ = FindProcessWindow(processId_, ProgramWindowTitle);
        if (window_) return window_;
        if (!Running()) return nullptr;
        Sleep(PollInterval);
    } while (GetTickCount() - start < timeout);
    return nullptr;
}

HWND ProgramUnderTest::TextBox() const {
    return window_ ? FindWindowExW(window_, nullptr, L"Edit", nullptr) : nullptr;
}

HWND ProgramUnderTest::WaitForTextBox(DWORD timeout) const {
    const DWORD start = GetTickCount();
    do {
        if (HWND box = TextBox()) return box;
        Sleep(PollInterval);
    } while (GetTickCount() - start < timeout);
    return nullptr;
}

std::wstring ProgramUnderTest::ReadReport() const {
    HWND box = TextBox();
    return box ? ReadWindowText(box) : L"<no text box>";
}

std::wstring ProgramUnderTest::WaitForReport(const std::wstring& expected, DWORD timeout) const {
    const DWORD start = GetTickCount();
    std::wstring text = ReadReport();
    while (text != expected && GetTickCount() - start < timeout) {
        Sleep(PollInterval);
        text = ReadReport();
    }
    return text;
}

bool ProgramUnderTest::WaitUntilIdle(DWORD timeout) const {
    return process_ && WaitForInputIdle(process_, timeout) == 0;
}

HWND ProgramUnderTest::WaitForNotice(DWORD timeout) const {
    const DWORD start = GetTickCount();
    do {
        if (HWND box = FindProcessWindow(processId_, NoticeTitle)) return box;
        Sleep(PollInterval);
    } while (GetTickCount() - start < timeout);
    return nullptr;
}

DWORD ProgramUnderTest::WaitForExit(DWORD timeout) const {
    if (!process_) return 0;
    WaitForSingleObject(process_, timeout);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

void ProgramUnderTest::Kill() {
    if (process_ && Running()) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, 5000);
    }
}

POINT ClientPointOnScreen(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

// ---- input ------------------------------------------------------------------------------------------

void MoveMouseTo(POINT screen) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    // Absolute coordinates run from 0 to 65535 over the primary screen.
    input.mi.dx = static_cast<LONG>((screen.x * 65536LL + width - 1) / width);
    input.mi.dy = static_cast<LONG>((screen.y * 65536LL + height - 1) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(input));
}

void PressMouseButton(bool down) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(input));
}

void PressKey(WORD virtualKey, bool down) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
}

void ClickAt(POINT screen) {
    MoveMouseTo(screen);
    Sleep(50);
    PressMouseButton(true);
    Sleep(50);
    PressMouseButton(false);
}

// ---- the drag source ----------------------------------------------------------------------------------

namespace {

// Data offered in one format set: every format hands out a copy of the same global block.
class OfferedData : public IDataObject {
public:
    OfferedData(std::vector<CLIPFORMAT> formats, std::vector<uint8_t> bytes)
        : formats_(std::move(formats)), bytes_(std::move(bytes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG count = InterlockedDecrement(&references_);
        if (count == 0) delete this;
        return count;
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
        if (!block) return E_OUTOFMEMORY;
        memcpy(GlobalLock(block), bytes_.data(), bytes_.size());
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format) return E_INVALIDARG;
        if (!(format->tymed & TYMED_HGLOBAL) || format->dwAspect != DVASPECT_CONTENT) return DV_E_FORMATETC;
        for (CLIPFORMAT offered : formats_)
            if (offered == format->cfFormat) return S_OK;
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::vector<FORMATETC> list;
        for (CLIPFORMAT offered : formats_) list.push_back({offered, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return SHCreateStdEnumFmtEtc(static_cast<UINT>(list.size()), list.data(), out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    virtual ~OfferedData() = default;
    LONG references_ = 1;
    std::vector<CLIPFORMAT> formats_;
    std::vector<uint8_t> bytes_;
};

class LeftButtonSource : public IDropSource {
public:
    explicit LeftButtonSource(std::vector<DWORD>* feedback) : feedback_(feedback) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
            *out = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }   // lives on the caller's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keyState) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return (keyState & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override {
        feedback_->push_back(effect);
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }

private:
    std::vector<DWORD>* feedback_;
};

std::vector<uint8_t> FileListBlock(const std::vector<std::wstring>& names) {
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::vector<uint8_t> block(sizeof(header));
    memcpy(block.data(), &header, sizeof(header));
    for (const std::wstring& name : names) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(name.c_str());
        block.insert(block.end(), bytes, bytes + (name.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), {0, 0});
    return block;
}

LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateSourceWindow() {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = SourceWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1);
        windowClass.lpszClassName = L"DragSourceWindow";
        atom = RegisterClassW(&windowClass);
    }
    // Bottom right corner of the screen, away from the centred program window.
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"DragSourceWindow", L"drag source", WS_POPUP,
                                  width - 120, height - 90, 100, 70, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
    }
    return window;
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

DragOutcome DragDataTo(IDataObject* data, POINT target, DWORD offered) {
    DragOutcome outcome;
    HWND source = CreateSourceWindow();
    if (!source) return outcome;
    RECT rect;
    GetWindowRect(source, &rect);
    const POINT start = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    MoveMouseTo(start);
    PumpMessages(100);
    PressMouseButton(true);
    PumpMessages(100);

    // The hand that moves the mouse while DoDragDrop runs its own loop on this thread.
    std::thread mover([start, target] {
        Sleep(200);
        const int steps = 12;
        for (int i = 1; i <= steps; ++i) {
            POINT p = {start.x + (target.x - start.x) * i / steps, start.y + (target.y - start.y) * i / steps};
            MoveMouseTo(p);
            Sleep(40);
        }
        // Stay a moment so the target is asked over the spot, wiggle once, then let go.
        Sleep(300);
        MoveMouseTo({target.x + 1, target.y});
        Sleep(150);
        MoveMouseTo(target);
        Sleep(300);
        PressMouseButton(false);
        Sleep(100);
        MoveMouseTo(target);
    });
    LeftButtonSource dropSource(&outcome.feedback);
    DWORD effect = DROPEFFECT_NONE;
    outcome.result = DoDragDrop(data, &dropSource, offered, &effect);
    outcome.effect = effect;
    mover.join();
    DestroyWindow(source);
    PumpMessages(50);
    return outcome;
}

} // namespace

DragOutcome DragFilesTo(const std::vector<std::wstring>& names, POINT target, DWORD offered) {
    OfferedData* data = new OfferedData({CF_HDROP}, FileListBlock(names));
    DragOutcome outcome = DragDataTo(data, target, offered);
    data->Release();
    return outcome;
}

DragOutcome DragTextTo(const std::wstring& text, POINT target, DWORD offered) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    std::vector<uint8_t> block(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    OfferedData* data = new OfferedData({CF_UNICODETEXT}, block);
    DragOutcome outcome = DragDataTo(data, target, offered);
    data->Release();
    return outcome;
}
