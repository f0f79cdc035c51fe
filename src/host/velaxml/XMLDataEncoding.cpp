#include "host/velaxml/XMLDataEncoding.h"

#include <array>
#include <charconv>

#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr std::array<const char*, 4> kEncodingNames = {"none", "base64", "base64compressed", "hex"};
constexpr std::array<const char*, 2> kBinaryModeNames = {"inline", "file"};

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
    s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
    s.remove_suffix(1);
  return s;
}

// The ordinal named by AValue (its text or its number), or -1.
template <size_t N>
int OrdinalOf(std::string_view AValue, const std::array<const char*, N>& ANames) {
  const std::string_view s = TrimBlanks(AValue);
  for (size_t i = 0; i < N; ++i)
    if (SameText(s, ANames[i])) return static_cast<int>(i);
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value >= N) return -1;
  return static_cast<int>(value);
}

}  // namespace

const char* XMLDataEncodingToStr(TVelaXMLDataEncoding AValue) noexcept {
  return AValue < kEncodingNames.size() ? kEncodingNames[AValue] : kEncodingNames[xdeNone];
}

const char* XMLBinaryHandlingModeToStr(TVelaXMLBinaryHandlingMode AValue) noexcept {
  return AValue < kBinaryModeNames.size() ? kBinaryModeNames[AValue] : kBinaryModeNames[xbhInline];
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

}  // namespace vela
