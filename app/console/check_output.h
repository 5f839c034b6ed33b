// check_output.h: the findings of --check as report lines or JSON objects.
#pragma once
#include <string>
#include "png/share_check.h"

// Bytes of the file (keywords) as Latin-1 text.
std::wstring Latin1(const std::string& bytes);
// A type code as its four letters, or as a number (0x...) when it is not four letters.
std::wstring TypeName(uint32_t type);

// One line per finding, ended by LF, in the order found; "nothing found" when the check read the
// whole file and found nothing. Texts of the file (keywords, type codes) are Latin-1, hidden text UTF-8.
//   tEXt parameters: 1234 bytes, generation data
//   secret in zTXt workflow: a key starting "sk-pr..." at byte 52 of its text
//   stealth: alpha, compressed, 812 bytes (2301 inflated)
//   stealth: not checked (a grey or palette image; the check reads RGB, RGBA and grey with alpha)
void AppendCheckLines(std::wstring& out, const CheckResult& result);

// The same as JSON Lines: one object per finding, {"file":..., "finding":"text"|"secret"|"xmp"|
// "exif"|"content_credentials"|"time"|"unknown_chunk"|"trailer"|"stealth"|"not_checked"|"nothing", ...}.
void AppendCheckJson(std::wstring& out, const std::wstring& file, const CheckResult& result);

// True when the result has a line other than "nothing found": something found, or not checked.
bool CheckFoundSomething(const CheckResult& result);

// The notice that ends a file whose check did not end Complete; null when it did.
const wchar_t* CheckNotice(const CheckResult& result, std::wstring* storage);
