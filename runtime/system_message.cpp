// system_message.cpp: the system's texts for error codes.
#include "runtime/system_message.h"

bool IsClosedPipe(DWORD error) {
    // Wine reports a Linux pipe whose reader has gone as not connected.
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

std::wstring SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message;
    if (length && text) {
        while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' ' ||
                              text[length - 1] == L'.'))
            length--;
        message.assign(text, length);
    }
    if (text) LocalFree(text);
    return message;
}
