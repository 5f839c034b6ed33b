// version_info.cpp: prints an executable's version resource the way Explorer reads it, for the release test.
//   version_info FILE   prints "FILEVERSION a.b.c.d", "PRODUCTVERSION a.b.c.d", "Translation LLLLCCCC"
//                       and one "Name=Value" line per string the test expects, in UTF-8 with LF line ends;
//                       exit code 1 when the file has no version resource.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

static const wchar_t* const StringNames[] = {L"FileDescription", L"ProductName", L"FileVersion",
                                             L"ProductVersion", L"OriginalFilename", L"InternalName"};

static void WriteUtf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

static std::wstring FourPart(DWORD high, DWORD low) {
    wchar_t text[64];
    swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
    return text;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        WriteUtf8(L"usage: version_info FILE\n");
        return 2;
    }
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    if (size == 0) {
        WriteUtf8(L"no version resource\n");
        return 1;
    }
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(argv[1], 0, size, data.data())) {
        WriteUtf8(L"no version resource\n");
        return 1;
    }
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        WriteUtf8(L"FILEVERSION " + FourPart(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + L"\n");
        WriteUtf8(L"PRODUCTVERSION " + FourPart(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + L"\n");
    }
    // The strings are read from the block the first translation names, as Explorer does.
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) {
        WriteUtf8(L"no translation\n");
        return 1;
    }
    const WORD* translation = static_cast<const WORD*>(value);
    wchar_t block[16];
    swprintf(block, 16, L"%04X%04X", translation[0], translation[1]);
    WriteUtf8(std::wstring(L"Translation ") + block + L"\n");
    for (const wchar_t* name : StringNames) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
        if (VerQueryValueW(data.data(), path.c_str(), &value, &length) && length > 0)
            WriteUtf8(std::wstring(name) + L"=" + static_cast<const wchar_t*>(value) + L"\n");
        else
            WriteUtf8(std::wstring(name) + L" missing\n");
    }
    return 0;
}
