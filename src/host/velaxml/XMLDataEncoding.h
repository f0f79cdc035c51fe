// How VelaXML field values are encoded and how binary values travel: the enumerations that the
// field elements carry in their "velaxmldataencoding" and "velaxmldatabinarymode" attributes,
// their text forms, and the encoding and decoding of field values. Also the lookup field value
// modes that an export asks its writer for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vela {

// Encoding of a field value's text. The ordinals are fixed: they are written into documents and
// read from configurations as numbers.
enum TVelaXMLDataEncoding : uint8_t {
  xdeNone = 0,              // the text itself
  xdeBase64 = 1,            // MIME Base64
  xdeBase64Compressed = 2,  // compressed, then MIME Base64
  xdeHex = 3,               // hexadecimal text, two digits per byte
  // A plain text value, written as it stands. Reads like xdeNone; a writer's callbacks see a
  // non-zero encoding on every field element, so plain text fields are announced with this one.
  xdeText = 4,
};

// Where a binary value goes: inline in the document, or into a file whose path is the value.
enum TVelaXMLBinaryHandlingMode : uint8_t {
  xbhInline = 0,
  xbhFile = 1,
};

// What an export writes for a field that looks its value up in another table.
enum TLookupFieldValueMode : uint8_t {
  lfmDefault = 0,       // what the part's own settings say
  lfmKeyValue = 1,      // the stored key
  lfmDisplayValue = 2,  // the text users see for the key
  lfmBoth = 3,          // the key and the display text
  lfmCustomField = 4,   // another field of the looked-up record, named by the export
};

// The texts are "none", "base64", "base64compressed", "hex", "text" and "inline", "file".
const char* XMLDataEncodingToStr(TVelaXMLDataEncoding AValue) noexcept;
const char* XMLBinaryHandlingModeToStr(TVelaXMLBinaryHandlingMode AValue) noexcept;

// Accept the text form (ignoring ASCII case and surrounding blanks) or the ordinal as a number;
// anything else, the empty text included, gives ADefault.
TVelaXMLDataEncoding StrToXMLDataEncoding(std::string_view AValue,
                                          TVelaXMLDataEncoding ADefault = xdeNone) noexcept;
TVelaXMLBinaryHandlingMode StrToXMLBinaryHandlingMode(
    std::string_view AValue, TVelaXMLBinaryHandlingMode ADefault = xbhInline) noexcept;

// "default", "keyvalue", "displayvalue", "both", "customfield"; read like the encodings.
const char* LookupFieldValueModeToStr(TLookupFieldValueMode AValue) noexcept;
TLookupFieldValueMode StrToLookupFieldValueModeDef(std::string_view AValue,
                                                   TLookupFieldValueMode ADefault) noexcept;

// True for the encodings whose document text is the value itself (xdeNone, xdeText).
constexpr bool IsTextEncoding(TVelaXMLDataEncoding AValue) noexcept {
  return AValue == xdeNone || AValue == xdeText;
}

// The document text of a field value: MIME Base64 (lines of 76 characters joined by LF);
// zlib at level 9, then MIME Base64; hexadecimal; unchanged for xdeNone and xdeText. Another
// ordinal raises EConvertError. An empty value gives an empty text in every encoding.
std::string EncodeXMLFieldValue(std::string_view ABytes, TVelaXMLDataEncoding AEncoding);
// The reverse; an empty (or blank) text is the empty value. Malformed text raises EConvertError
// (EDecompressionError for broken compressed data).
std::string DecodeXMLFieldValue(std::string_view AText, TVelaXMLDataEncoding AEncoding);

}  // namespace vela
