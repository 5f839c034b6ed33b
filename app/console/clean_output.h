// clean_output.h: the words of --clean: notices, what -v tells, the JSON object of each copy.
#pragma once
#include <string>
#include <vector>
#include "png/clean_copy.h"

// The notice of a file that gets no copy; empty when it gets one.
//   Not a well-formed PNG (the CRC of IDAT at byte 33 is wrong): no copy made
std::wstring CleanNotice(const CleanResult& result);

// The notices of a copy written that still gives something away: text hidden in the pixels, an eXIf
// kept for its orientation, pixels that could not be looked at for hidden text.
std::vector<std::wstring> CopyNotices(const CleanResult& result);

// The account of a copy written. json: one object on out,
//   {"file":..., "copy":..., "removed":[{"type","keyword","offset","size","why"}...],
//    "kept":[{"type","offset","size","why"}...], "trailer_removed":N, "stealth":"absent"|...,
//    "cleared":{"modes":[...],"bits":N,"image_data_size":N} where hidden text was cleared}
// (kept lists every chunk kept; removed the IDAT chunks made again, why "stealth"). verbose: on err, "FILE: copied to COPY", then a line for each chunk
// removed and each kept for a reason of its own, and one for the image's chunks kept byte for byte.
// A caBX removed is said on err whatever the choices: whoever checks the signature should know why it is gone.
void AppendCleanAccount(std::wstring& out, std::wstring& err, const std::wstring& file, const std::wstring& copy,
                        const CleanResult& result, bool json, bool verbose);
