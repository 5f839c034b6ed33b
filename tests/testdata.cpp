// testdata.cpp: the shared test data folder, found where the build says (TESTDATA_DIR).
#include "tests/testdata.h"
#include <gtest/gtest.h>
#include <windows.h>

std::wstring TestdataPath(const std::wstring& relative) {
    std::wstring path = std::wstring(TESTDATA_DIR) + L"\\" + relative;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ADD_FAILURE() << "test data missing: " << path
                      << " (the shared test data folder is set when the build is configured: TESTDATA_DIR)";
    }
    return path;
}
