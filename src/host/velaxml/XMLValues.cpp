#include "host/velaxml/XMLValues.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// Reads exactly ADigits digits at APos.
bool Digits(std::string_view s, size_t& APos, size_t ADigits, int& AValue) {
  if (APos + ADigits > s.size()) return false;
  AValue = 0;
  for (size_t i = 0; i < ADigits; ++i) {
    const char c = s[APos + i];
    if (c < '0' || c > '9') return false;
    AValue = AValue * 10 + (c - '0');
  }
  APos += ADigits;
  return true;
}

bool ReadDate(std::string_view s, size_t& p, TDateTime& AValue) {
  int y, m, d;
  if (!Digits(s, p, 4, y) || p >= s.size() || s[p++] != '-' || !Digits(s, p, 2, m) ||
      p >= s.size() || s[p++] != '-' || !Digits(s, p, 2, d))
    return false;
  return TryEncodeDate(y, m, d, AValue);
}

bool ReadTime(std::string_view s, size_t& p, TDateTime& AValue) {
  int h, n, sec = 0, ms = 0;
  if (!Digits(s, p, 2, h) || p >= s.size() || s[p++] != ':' || !Digits(s, p, 2, n)) return false;
  if (p < s.size() && s[p] == ':') {
    ++p;
    if (!Digits(s, p, 2, sec)) return false;
    if (p < s.size() && (s[p] == '.' || s[p] == ',')) {
      ++p;
      int scale = 100;
      const size_t start = p;
      for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p, scale /= 10)
        ms += (s[p] - '0') * scale;
      if (p == start) return false;
    }
  }
  // A zone ("Z", "+01:00", "-0500") is accepted: values are local times.
  if (p < s.size() && s[p] == 'Z') {
    ++p;
  } else if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
    int zh, zm = 0;
    ++p;
    if (!Digits(s, p, 2, zh)) return false;
    if (p < s.size() && s[p] == ':') ++p;
    if (p < s.size() && !Digits(s, p, 2, zm)) return false;
  }
  return TryEncodeTime(h, n, sec, ms, AValue);
}

// Appends AValue with leading zeros up to AWidth digits (a sign counts towards the width).
void AppendPadded(std::string& AText, int AValue, int AWidth) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, AValue);
  const int len = static_cast<int>(r.ptr - buf);
  if (AValue < 0) {
    AText += '-';
    if (AWidth > len) AText.append(static_cast<size_t>(AWidth - len), '0');
    AText.append(buf + 1, r.ptr);
    return;
  }
  if (AWidth > len) AText.append(static_cast<size_t>(AWidth - len), '0');
  AText.append(buf, r.ptr);
}

void AppendXMLDate(std::string& AText, TDateTime AValue) {
  int y, m, d;
  DecodeDate(AValue, y, m, d);
  AppendPadded(AText, y, 4);
  AText += '-';
  AppendPadded(AText, m, 2);
  AText += '-';
  AppendPadded(AText, d, 2);
}

void AppendXMLTime(std::string& AText, TDateTime AValue) {
  int h, n, s, ms;
  DecodeTime(AValue, h, n, s, ms);
  AppendPadded(AText, h, 2);
  AText += ':';
  AppendPadded(AText, n, 2);
  AText += ':';
  AppendPadded(AText, s, 2);
  if (ms != 0) {
    AText += '.';
    AppendPadded(AText, ms, 3);
  }
}

}  // namespace

std::string XMLDateToStr(TDateTime AValue) {
  std::string text;
  AppendXMLDate(text, AValue);
  return text;
}

std::string XMLTimeToStr(TDateTime AValue) {
  std::string text;
  AppendXMLTime(text, AValue);
  return text;
}

std::string XMLDateTimeToStr(TDateTime AValue) {
  std::string text;
  text.reserve(23);
  AppendXMLDate(text, AValue);
  text += 'T';
  AppendXMLTime(text, AValue);
  return text;
}

std::string XMLFloatToStr(double AValue) {
  if (std::isnan(AValue)) return "NaN";
  if (std::isinf(AValue)) return AValue < 0 ? "-INF" : "INF";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, AValue);
  return std::string(buf, r.ptr);
}

std::string XMLBoolToStr(bool AValue) {
  return AValue ? "true" : "false";
}

bool TryXMLStrToDateTime(std::string_view AText, TDateTime& AValue) {
  const std::string_view s = TrimView(AText);
  size_t p = 0;
  TDateTime date = 0, time = 0;
  if (s.size() >= 10 && s[4] == '-') {
    if (!ReadDate(s, p, date)) return false;
    if (p < s.size()) {
      if (s[p] != 'T' && s[p] != ' ') return false;
      ++p;
      if (!ReadTime(s, p, time)) return false;
    }
  } else if (!ReadTime(s, p, time)) {
    return false;
  }
  if (p != s.size()) return false;
  AValue = date < 0 ? date - time : date + time;
  return true;
}

bool TryXMLStrToFloat(std::string_view AText, double& AValue) {
  std::string s(TrimView(AText));
  if (s.empty()) return false;
  if (s.find('.') == std::string::npos)
    for (char& c : s)
      if (c == ',') c = '.';
  const char* begin = s.data() + (s[0] == '+' ? 1 : 0);
  const auto r = std::from_chars(begin, s.data() + s.size(), AValue);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool TryXMLStrToBool(std::string_view AText, bool& AValue) {
  const std::string_view s = TrimView(AText);
  for (const char* t : {"true", "1", "yes"})
    if (SameText(s, t)) return AValue = true, true;
  for (const char* f : {"false", "0", "no"})
    if (SameText(s, f)) return AValue = false, true;
  return false;
}

TDateTime XMLStrToDateTime(std::string_view AText) {
  TDateTime v;
  if (!TryXMLStrToDateTime(AText, v))
    throw EConvertError("'" + std::string(AText) + "' is not a valid XML date or time");
  return v;
}

double XMLStrToFloat(std::string_view AText) {
  double v;
  if (!TryXMLStrToFloat(AText, v))
    throw EConvertError("'" + std::string(AText) + "' is not a valid XML number");
  return v;
}

int64_t XMLStrToInteger(std::string_view AText) {
  return static_cast<int64_t>(std::llround(XMLStrToFloat(AText)));
}

bool XMLStrToBool(std::string_view AText) {
  bool v;
  if (!TryXMLStrToBool(AText, v))
    throw EConvertError("'" + std::string(AText) + "' is not a valid XML Boolean");
  return v;
}

}  // namespace vela
