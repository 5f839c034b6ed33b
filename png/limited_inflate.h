// limited_inflate.h: a whole zlib or gzip stream inflated into a string, up to a limit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "report/compressed_text.h"

enum class StreamWrapper { Zlib, Gzip };

// Inflates size bytes into *out (replaced), at most limit bytes of it, and says how inflation ended
// in the report's terms (never NotInflated). Never throws: running out of memory keeps what was
// inflated and answers Limit. Every text is held to the report's guard, MaxInflatedText.
InflateOutcome InflateLimited(const uint8_t* data, size_t size, StreamWrapper wrapper, size_t limit, std::string* out);
