#include "host/HTTPUtils.h"

#include <idn2.h>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendPercent(std::string& AOut, unsigned char AByte) {
  AOut.push_back('%');
  AOut.push_back(kHex[AByte >> 4]);
  AOut.push_back(kHex[AByte & 0x0F]);
}

// The IDNA 2008 form of a host name (libidn2, non-transitional UTS #46 mapping).
std::string PunycodeHost(const std::string& AHost) {
  char* ascii = nullptr;
  const int rc = idn2_to_ascii_8z(AHost.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (rc != IDN2_OK)
    throw EConvertError("The host name \"" + AHost +
                        "\" cannot be converted to its IDNA form: " + idn2_strerror(rc));
  std::string result(ascii);
  idn2_free(ascii);
  return result;
}

}  // namespace

std::string THTTPUtils::GetInternationalURL(const std::string& AURL) {
  size_t hostStart = 0;
  size_t hostEnd = 0;
  if (const size_t scheme = AURL.find("://"); scheme != std::string::npos) {
    const size_t authorityStart = scheme + 3;
    const size_t authorityEnd = std::min(AURL.find_first_of("/?#", authorityStart), AURL.size());
    const size_t at = AURL.rfind('@', authorityEnd - 1);
    hostStart = at != std::string::npos && at >= authorityStart ? at + 1 : authorityStart;
    hostEnd = AURL.find(':', hostStart);
    if (hostEnd > authorityEnd || (hostStart < AURL.size() && AURL[hostStart] == '['))
      hostEnd = authorityEnd;
  }
  std::string result;
  result.reserve(AURL.size() + 16);
  for (size_t i = 0; i < AURL.size(); ++i) {
    if (i == hostStart && hostEnd > hostStart) {
      const std::string host = AURL.substr(hostStart, hostEnd - hostStart);
      result += IsAscii(host) ? host : PunycodeHost(host);
      i = hostEnd - 1;
      continue;
    }
    const auto c = static_cast<unsigned char>(AURL[i]);
    if (c <= 0x20 || c >= 0x7F)
      AppendPercent(result, c);
    else
      result.push_back(static_cast<char>(c));
  }
  return result;
}

std::string THTTPUtils::ParamsEncode(std::string_view AValue) {
  std::string result;
  result.reserve(AValue.size() * 3 / 2);
  for (unsigned char c : AValue) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
        c == '-' || c == '.' || c == '_')
      result.push_back(static_cast<char>(c));
    else if (c == ' ')
      result.push_back('+');
    else
      AppendPercent(result, c);
  }
  return result;
}

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

std::string THTTPUtils::ExtractContentType(std::string_view AContentType) {
  return Trim(AContentType.substr(0, AContentType.find(';')));
}

std::string THTTPUtils::ExtractContentEncoding(std::string_view AContentType) {
  size_t pos = AContentType.find(';');
  while (pos != std::string_view::npos) {
    const size_t end = AContentType.find(';', pos + 1);
    const std::string parameter = Trim(AContentType.substr(pos + 1, end - pos - 1));
    if (StartsText("charset=", parameter)) {
      std::string value = Trim(std::string_view(parameter).substr(8));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      return value;
    }
    pos = end;
  }
  return {};
}

}  // namespace vela
