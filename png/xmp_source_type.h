// xmp_source_type.h: the IPTC digital source type an XMP packet declares ("made by AI" or not).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Format notes: XMP in PNG is an iTXt chunk with the keyword "XML:com.adobe.xmp". The IPTC property
// Iptc4xmpExt:DigitalSourceType holds a term of the vocabulary
// http://cv.iptc.org/newscodes/digitalsourcetype/, as an attribute, an element's text or an
// rdf:resource. "trainedAlgorithmicMedia" says the image was made by a trained model;
// "compositeWithTrainedAlgorithmicMedia" that such a model made part of it.
const char XmpKeyword[] = "XML:com.adobe.xmp";

struct XmpSourceType {
    bool found = false;
    std::string term;    // the term, without the vocabulary's address (at most 64 bytes)
    bool madeByAi = false;  // a term naming a trained model
};

// The first digital source type in size bytes of XMP text. Never throws.
XmpSourceType FindDigitalSourceType(const uint8_t* text, size_t size);
