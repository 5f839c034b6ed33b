// dropped_names.h: the names of a drop as a list, split once where the drop's text comes in.
#pragma once
#include <string>
#include <vector>

// The names of a drop, which the drop target joins with line feeds, in order; empty ones are left out.
// Throws std::bad_alloc when there is no memory for the list.
std::vector<std::wstring> SplitDroppedNames(const std::wstring& joined);
