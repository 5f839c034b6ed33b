// own_console.h: the console window that Explorer opens for pngtext-cli, kept open until it is read.
#pragma once

// True when no other process is attached to this process's console: Explorer (a double-click, or
// files dropped on the program) made it for this process alone, and it closes when the process
// ends. A console that cmd, PowerShell or a script shares, or none at all, gives false. (A program
// without a console that starts this one also gives it a console of its own: the caller waits only
// when its stdout is that console, never when the output is captured.)
bool ConsoleOfItsOwn();

// Writes "Press any key to close this window." to the console and waits for a key press on its input.
void WaitForKeyBeforeClosing();

// The line that follows the usage when the program was started without names in a console of its own.
extern const wchar_t* const DropHint;
