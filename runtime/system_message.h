// system_message.h: what the system says about an error code.
#pragma once
#include <windows.h>
#include <string>

// True for the errors of a pipe whose reader has gone (as `| head` leaves it): the run then ends
// quietly, as console tools do.
bool IsClosedPipe(DWORD error);
// The system's text for an error code, without its line break; empty when there is none.
std::wstring SystemMessage(DWORD error);
