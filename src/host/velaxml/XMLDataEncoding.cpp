#include "host/velaxml/XMLDataEncoding.h"

#include <array>
#include <charconv>
#include <string>

#include "rtl/Encoders.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// Views of literals: each is also a C string.
constexpr std::array<std::string_view, 5> kEncodingNames = {"none", "base64", "base64compressed",
                                                            "hex", "text"};
constexpr std::array<std::string_view, 2> kBinaryModeNames = {"inline", "file"};
constexpr std::array<std::string_view, 5> kLookupModeNames = {"default", "keyvalue", "displayvalue",
                                                              "both", "customfield"};

// The ordinal named by AValue (its text or its number), or -1.
template <size_t N>
int OrdinalOf(std::string_view AValue, const std::array<std::string_view, N>& ANames) {
  // Writers put the names as they stand; that exact spelling is checked first, as every field
  // element of a document carries one.
  for (size_t i = 0; i < N; ++i)
    if (AValue == ANames[i]) return static_cast<int>(i);
  const std::string_view s = TrimView(AValue);
  if (s.empty()) return -1;
  for (size_t i = 0; i < N; ++i)
    if (SameText(s, ANames[i])) return static_cast<int>(i);
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || value >= N) return -1;
  return static_cast<int>(value);
}

}  // namespace

const char* XMLDataEncodingToStr(TVelaXMLDataEncoding AValue) noexcept {
  return (AValue < kEncodingNames.size() ? kEncodingNames[AValue] : kEncodingNames[xdeNone]).data();
}

const char* XMLBinaryHandlingModeToStr(TVelaXMLBinaryHandlingMode AValue) noexcept {
  return (AValue < kBinaryModeNames.size() ? kBinaryModeNames[AValue] : kBinaryModeNames[xbhInline])
      .data();
}

TVelaXMLDataEncoding StrToXMLDataEncoding(std::string_view AValue,
                                          TVelaXMLDataEncoding ADefault) noexcept {
  const int i = OrdinalOf(AValue, kEncodingNames);
  return i < 0 ? ADefault : static_cast<TVelaXMLDataEncoding>(i);
}

TVelaXMLBinaryHandlingMode StrToXMLBinaryHandlingMode(
    std::string_view AValue, TVelaXMLBinaryHandlingMode ADefault) noexcept {
  const int i = OrdinalOf(AValue, kBinaryModeNames);
  return i < 0 ? ADefault : static_cast<TVelaXMLBinaryHandlingMode>(i);
}

const char* LookupFieldValueModeToStr(TLookupFieldValueMode AValue) noexcept {
  return (AValue < kLookupModeNames.size() ? kLookupModeNames[AValue]
                                           : kLookupModeNames[lfmDefault])
      .data();
}

TLookupFieldValueMode StrToLookupFieldValueModeDef(std::string_view AValue,
                                                   TLookupFieldValueMode ADefault) noexcept {
  const int i = OrdinalOf(AValue, kLookupModeNames);
  return i < 0 ? ADefault : static_cast<TLookupFieldValueMode>(i);
}

namespace {
// MIME lines joined by LF: the line end every XML reader delivers.
std::string MimeLines(std::string AText) {
  std::erase(AText, '\r');
  return AText;
}

[[noreturn]] void UnknownEncoding(TVelaXMLDataEncoding AEncoding) {
  throw EConvertError("Unknown VelaXML data encoding " + std::to_string(AEncoding));
}
}  // namespace

std::string EncodeXMLFieldValue(std::string_view ABytes, TVelaXMLDataEncoding AEncoding) {
  if (ABytes.empty() && AEncoding <= xdeText) return {};
  switch (AEncoding) {
    case xdeNone:
    case xdeText:
      return std::string(ABytes);
    case xdeBase64:
      return MimeLines(Base64EncodeMime(ABytes));
    case xdeBase64Compressed:
      return MimeLines(Base64EncodeMime(CompressString(ABytes, 9)));
    case xdeHex:
      return TextToHex(ABytes);
  }
  UnknownEncoding(AEncoding);
}

std::string DecodeXMLFieldValue(std::string_view AText, TVelaXMLDataEncoding AEncoding) {
  if (AEncoding != xdeNone && AEncoding != xdeText && TrimView(AText).empty()) return {};
  switch (AEncoding) {
    case xdeNone:
    case xdeText:
      return std::string(AText);
    case xdeBase64:
      return Base64Decode(AText);
    case xdeBase64Compressed:
      return DecompressString(Base64Decode(AText));
    case xdeHex:
      return HexToText(TrimView(AText));
  }
  UnknownEncoding(AEncoding);
}

}  // namespace vela
