// long_path.h: names of any length for the Win32 file calls.
#pragma once
#include <string>

// The name as the file calls take it whole: a name too long for the classic path limit becomes an
// extended-length path ("\\?\" + its full path, "\\?\UNC\" for a network share); shorter names,
// names already extended and device names stay as they are. A name is never cut.
std::wstring ExtendedPath(const std::wstring& name);
