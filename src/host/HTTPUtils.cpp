#include "host/HTTPUtils.h"

#include "rtl/CodePages.h"

namespace vela {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsEscape(std::string_view s, size_t i) {
  return i + 2 < s.size() && s[i] == '%' && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0;
}

}  // namespace

std::string THTTPUtils::ParamsEncode(std::string_view AValue) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(AValue.size());
  for (const char c : AValue) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '*') {
      out += c;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

std::string THTTPUtils::ParamsDecode(std::string_view AValue) {
  std::string out;
  out.reserve(AValue.size());
  size_t i = 0;
  while (i < AValue.size()) {
    if (IsEscape(AValue, i)) {
      std::string bytes;
      while (IsEscape(AValue, i)) {
        bytes += static_cast<char>(HexDigit(AValue[i + 1]) * 16 + HexDigit(AValue[i + 2]));
        i += 3;
      }
      out += IsValidUtf8(bytes) ? bytes : CodePageToUtf8(bytes, SystemAnsiCodePage());
      continue;
    }
    out += AValue[i] == '+' ? ' ' : AValue[i];
    ++i;
  }
  return out;
}

}  // namespace vela
