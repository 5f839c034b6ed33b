// testdata.h: files of the shared test data folder (the PNG test suite and more).
#pragma once
#include <string>

// The path of a file or folder under the shared test data folder, e.g. L"pngsuite\\ct1n0g04.png". When
// it is not there, the running test fails with a message that names the path, so a test whose data is
// missing says so rather than failing on an empty result.
std::wstring TestdataPath(const std::wstring& relative);
