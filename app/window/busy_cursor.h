// busy_cursor.h: the wait cursor shown while a long piece of work keeps the GUI thread from its messages.
#pragma once
#include <windows.h>

// Shows the wait cursor from construction to destruction, then puts the previous cursor back. A scan
// of a 1 GB file or of 50,000 chunks runs for seconds without taking a message: the wait cursor is
// the sign of work the user sees meanwhile. Header-only: it owns nothing but the previous cursor.
class BusyCursor {
public:
    BusyCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~BusyCursor() { SetCursor(previous_); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    HCURSOR previous_;
};
