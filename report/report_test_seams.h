// report_test_seams.h: TEST SEAMS of the report library. Nothing in the program calls these; they let
// the tests step into a scan at moments the program cannot reach.
#pragma once

// Called with each name after its size was taken and the block allocated, just before the file is
// opened: the moment another process may shrink, grow or remove the file. Null (the default) calls
// nothing.
void SetBeforeFileOpenHook(void (*hook)(const wchar_t* name));
