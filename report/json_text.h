// json_text.h: whether a chunk's text is JSON (parsed, not guessed), and the same JSON indented.
#pragma once
#include <string>

// True when the whole text, blanks around it aside, is one JSON object or array as RFC 8259 defines
// JSON. With pretty not null, the same JSON indented is appended to *pretty: each member and element
// on a line of its own, two spaces per level, ": " after a key, keys in their order, strings and
// numbers as written, empty objects and arrays as {} and []. Nesting depth costs no stack: a text
// of a million '[' is answered like any other. *pretty is unchanged when the text is no JSON; JSON
// whose indented form would be more than eight times its size (deep nesting) is appended as it is.
bool ReadJsonContainer(const std::wstring& text, std::wstring* pretty);
