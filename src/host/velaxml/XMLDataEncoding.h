// How VelaXML field values are encoded and how binary values travel: the enumerations that the
// field elements carry in their "velaxmldataencoding" and "velaxmldatabinarymode" attributes, and
// their text forms.
#pragma once

#include <cstdint>
#include <string_view>

namespace vela {

// Encoding of a field value's text. The ordinals are fixed: they are written into documents and
// read from configurations as numbers.
enum TVelaXMLDataEncoding : uint8_t {
  xdeNone = 0,              // the text itself
  xdeBase64 = 1,            // MIME Base64
  xdeBase64Compressed = 2,  // compressed, then MIME Base64
  xdeHex = 3,               // hexadecimal text, two digits per byte
};

// Where a binary value goes: inline in the document, or into a file whose path is the value.
enum TVelaXMLBinaryHandlingMode : uint8_t {
  xbhInline = 0,
  xbhFile = 1,
};

// The texts are "none", "base64", "base64compressed", "hex" and "inline", "file".
const char* XMLDataEncodingToStr(TVelaXMLDataEncoding AValue) noexcept;
const char* XMLBinaryHandlingModeToStr(TVelaXMLBinaryHandlingMode AValue) noexcept;

// Accept the text form (ignoring ASCII case and surrounding blanks) or the ordinal as a number;
// anything else, the empty text included, gives ADefault.
TVelaXMLDataEncoding StrToXMLDataEncoding(std::string_view AValue,
                                          TVelaXMLDataEncoding ADefault = xdeNone) noexcept;
TVelaXMLBinaryHandlingMode StrToXMLBinaryHandlingMode(
    std::string_view AValue, TVelaXMLBinaryHandlingMode ADefault = xbhInline) noexcept;

}  // namespace vela
