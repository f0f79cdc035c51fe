#include "rtl/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include <utf8proc.h>

#include "rtl/DateUtils.h"
#include "rtl/Exceptions.h"

namespace vela {

TFormatSettings FormatSettings;

TFormatSettings FormatSettingsFor(std::string_view language) {
  TFormatSettings fs;
  // "de", "de-DE", "de_AT", "deu", "German": the German conventions.
  const bool german = StartsText("german", language) || SameText(language, "deu") ||
                      (StartsText("de", language) &&
                       (language.size() == 2 || language[2] == '-' || language[2] == '_'));
  if (german) {
    fs.DecimalSeparator = ',';
    fs.ThousandSeparator = '.';
    fs.DateSeparator = '.';
    fs.TimeSeparator = ':';
    fs.ShortDateFormat = "dd.mm.yyyy";
    fs.LongDateFormat = "dddd, d. mmmm yyyy";
    fs.ShortTimeFormat = "hh:nn";
    fs.LongTimeFormat = "hh:nn:ss";
    fs.TimeAMString = "";
    fs.TimePMString = "";
    fs.CurrencyString = "\xE2\x82\xAC";  // €
    fs.CurrencyFormat = 3;
    fs.NegCurrFormat = 8;
    fs.CurrencyDecimals = 2;
  }
  return fs;
}

// ---------------------------------------------------------------------------------------------
// comparison

namespace {

inline unsigned char AsciiUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}
inline unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool EqualTextAt(std::string_view s, size_t pos, std::string_view sub) {
  for (size_t i = 0; i < sub.size(); ++i) {
    if (AsciiUpper(static_cast<unsigned char>(s[pos + i])) !=
        AsciiUpper(static_cast<unsigned char>(sub[i])))
      return false;
  }
  return true;
}

}  // namespace

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = AsciiUpper(static_cast<unsigned char>(a[i]));
    const int cb = AsciiUpper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualTextAt(a, 0, b);
}

int CompareStr(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = static_cast<unsigned char>(a[i]);
    const int cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca - cb;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool StartsText(std::string_view prefix, std::string_view s) {
  return prefix.size() <= s.size() && EqualTextAt(s, 0, prefix);
}

bool EndsText(std::string_view suffix, std::string_view s) {
  return suffix.size() <= s.size() && EqualTextAt(s, s.size() - suffix.size(), suffix);
}

bool ContainsText(std::string_view s, std::string_view sub) {
  return PosText(sub, s) != std::string_view::npos;
}

size_t PosText(std::string_view sub, std::string_view s, size_t from) {
  if (sub.size() > s.size() || from > s.size() - sub.size()) return std::string_view::npos;
  if (sub.empty()) return from;
  const unsigned char first = AsciiUpper(static_cast<unsigned char>(sub[0]));
  for (size_t i = from, last = s.size() - sub.size(); i <= last; ++i) {
    if (AsciiUpper(static_cast<unsigned char>(s[i])) == first && EqualTextAt(s, i, sub)) return i;
  }
  return std::string_view::npos;
}

// ---------------------------------------------------------------------------------------------
// trimming

std::string_view TrimView(std::string_view s) noexcept {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
    ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
    --e;
  return s.substr(b, e - b);
}

std::string Trim(std::string_view s) {
  return std::string(TrimView(s));
}

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ')
    ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= ' ')
    --e;
  return std::string(s.substr(0, e));
}

// ---------------------------------------------------------------------------------------------
// case

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    c = static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)));
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
  return r;
}

namespace {

// Maps every code point with fn; ASCII takes a fast path and bytes that are not valid UTF-8
// are kept as they are.
template <class AsciiFn, class CpFn>
void MapCodePoints(std::string_view s, std::string& out, AsciiFn ascii, CpFn cp, size_t limit) {
  const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(s.data());
  size_t i = 0, count = 0;
  while (i < s.size()) {
    const bool mapped = count < limit;
    ++count;
    const unsigned char c = p[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(mapped ? ascii(c) : c));
      ++i;
      continue;
    }
    utf8proc_int32_t code = 0;
    const utf8proc_ssize_t n =
        utf8proc_iterate(p + i, static_cast<utf8proc_ssize_t>(s.size() - i), &code);
    if (n <= 0) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    if (!mapped) {
      out.append(s.data() + i, static_cast<size_t>(n));
    } else {
      utf8proc_uint8_t buf[4];
      const utf8proc_ssize_t len = utf8proc_encode_char(cp(code), buf);
      out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
    }
    i += static_cast<size_t>(n);
  }
}

// Length in bytes of the UTF-8 sequence starting at s[i] (1 for bytes that start none).
size_t SequenceLength(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  utf8proc_int32_t code = 0;
  const utf8proc_ssize_t n =
      utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data()) + i,
                       static_cast<utf8proc_ssize_t>(s.size() - i), &code);
  return n > 0 ? static_cast<size_t>(n) : 1;
}

}  // namespace

std::string AnsiUpperCase(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  MapCodePoints(s, r, AsciiUpper, utf8proc_toupper, SIZE_MAX);
  return r;
}

std::string AnsiLowerCase(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  MapCodePoints(s, r, AsciiLower, utf8proc_tolower, SIZE_MAX);
  return r;
}

std::string AnsiFirstUpper(std::string_view s) {
  if (s.empty()) return {};
  const size_t first = SequenceLength(s, 0);
  std::string r;
  r.reserve(s.size());
  MapCodePoints(s.substr(0, first), r, AsciiUpper, utf8proc_toupper, SIZE_MAX);
  MapCodePoints(s.substr(first), r, AsciiLower, utf8proc_tolower, SIZE_MAX);
  return r;
}

// ---------------------------------------------------------------------------------------------
// replace

namespace {

// Length of the match of pattern at s[pos] ignoring case (Unicode simple case folding through
// upper case), or npos. The matched length may differ from the pattern's byte length.
size_t MatchIgnoreCase(std::string_view s, size_t pos, std::string_view pattern) {
  const auto* ps = reinterpret_cast<const utf8proc_uint8_t*>(s.data());
  const auto* pp = reinterpret_cast<const utf8proc_uint8_t*>(pattern.data());
  size_t i = pos, j = 0;
  while (j < pattern.size()) {
    if (i >= s.size()) return std::string_view::npos;
    const unsigned char a = ps[i], b = pp[j];
    if (a < 0x80 && b < 0x80) {
      if (AsciiUpper(a) != AsciiUpper(b)) return std::string_view::npos;
      ++i;
      ++j;
      continue;
    }
    utf8proc_int32_t ca = 0, cb = 0;
    utf8proc_ssize_t na =
        utf8proc_iterate(ps + i, static_cast<utf8proc_ssize_t>(s.size() - i), &ca);
    utf8proc_ssize_t nb =
        utf8proc_iterate(pp + j, static_cast<utf8proc_ssize_t>(pattern.size() - j), &cb);
    if (na <= 0 || nb <= 0) {  // invalid bytes compare as bytes
      if (a != b) return std::string_view::npos;
      ++i;
      ++j;
      continue;
    }
    if (ca != cb && utf8proc_toupper(ca) != utf8proc_toupper(cb)) return std::string_view::npos;
    i += static_cast<size_t>(na);
    j += static_cast<size_t>(nb);
  }
  return i - pos;
}

}  // namespace

std::string StringReplace(std::string_view s, std::string_view oldPattern,
                          std::string_view newPattern, unsigned flags) {
  if (oldPattern.empty()) return std::string(s);
  const bool all = (flags & rfReplaceAll) != 0;
  std::string r;
  r.reserve(s.size());
  size_t pos = 0;
  if ((flags & rfIgnoreCase) == 0) {
    while (pos <= s.size()) {
      const size_t hit = s.find(oldPattern, pos);
      if (hit == std::string_view::npos) break;
      r.append(s.data() + pos, hit - pos);
      r.append(newPattern);
      pos = hit + oldPattern.size();
      if (!all) break;
    }
  } else {
    size_t i = 0;
    while (i < s.size()) {
      const size_t len = MatchIgnoreCase(s, i, oldPattern);
      if (len == std::string_view::npos) {
        i += SequenceLength(s, i);
        continue;
      }
      r.append(s.data() + pos, i - pos);
      r.append(newPattern);
      i += len;
      pos = i;
      if (!all) break;
    }
  }
  r.append(s.data() + pos, s.size() - pos);
  return r;
}

// ---------------------------------------------------------------------------------------------
// ExtractStrings: line breaks always separate and count as white space; quotes group and stay
// part of the item; the content ends at the first #0.

int ExtractStrings(std::string_view separators, std::string_view whiteSpace,
                   std::string_view content, std::vector<std::string>& strings) {
  bool sep[256] = {}, ws[256] = {};
  for (char c : separators)
    sep[static_cast<unsigned char>(c)] = true;
  for (char c : whiteSpace)
    ws[static_cast<unsigned char>(c)] = true;
  for (unsigned char c : {'\r', '\n'})
    ws[c] = true;
  for (unsigned char c : {'\0', '\r', '\n', '\'', '"'})
    sep[c] = true;

  const size_t n = content.size();
  auto at = [&](size_t i) -> unsigned char {
    return i < n ? static_cast<unsigned char>(content[i]) : 0;
  };
  int result = 0;
  if (n == 0 || at(0) == 0) return 0;
  size_t tail = 0;
  bool inQuote = false;
  unsigned char quoteChar = 0;
  bool eos = false;
  do {
    while (at(tail) != 0 && ws[at(tail)])
      ++tail;
    const size_t head = tail;
    for (;;) {
      for (;;) {
        const unsigned char c = at(tail);
        const bool quoteOrEnd = c == '\'' || c == '"' || c == 0;
        if ((inQuote && !quoteOrEnd) || !sep[c]) {
          ++tail;
        } else {
          break;
        }
      }
      const unsigned char c = at(tail);
      if (c == '\'' || c == '"') {
        if (quoteChar != 0 && quoteChar == c) {
          quoteChar = 0;
        } else if (quoteChar == 0) {
          quoteChar = c;
        }
        inQuote = quoteChar != 0;
        ++tail;
      } else {
        break;
      }
    }
    eos = at(tail) == 0;
    if (head != tail && at(head) != 0) {
      strings.emplace_back(content.substr(head, tail - head));
      ++result;
    }
    ++tail;
  } while (!eos);
  return result;
}

// ---------------------------------------------------------------------------------------------
// code points

size_t Utf8Length(std::string_view s) {
  size_t count = 0;
  for (char c : s)
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

std::string Utf8Copy(std::string_view s, size_t start, size_t count) {
  size_t i = 0, cp = 0;
  auto advance = [&](size_t target) {
    while (i < s.size() && cp < target) {
      ++i;
      while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        ++i;
      ++cp;
    }
  };
  advance(start);
  const size_t b = i;
  advance(count > SIZE_MAX - start ? SIZE_MAX : start + count);
  return std::string(s.substr(b, i - b));
}

// ---------------------------------------------------------------------------------------------
// integers

std::string IntToStr(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string UIntToStr(uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string IntToHex(uint64_t v, int digits) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
  std::string s(buf, r.ptr);
  for (char& c : s)
    c = static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)));
  if (digits > 0 && s.size() < static_cast<size_t>(digits))
    s.insert(0, static_cast<size_t>(digits) - s.size(), '0');
  return s;
}

namespace {

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view StripBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

// Parses as Val does: sign, then decimal digits or hex after "$", "x" or "0x".
// maxPositive/maxNegative are the magnitudes allowed for decimal numbers; hex numbers may use
// the whole unsigned range (hexMax) and wrap.
bool ParseInteger(std::string_view s, uint64_t maxPositive, uint64_t maxNegative, uint64_t hexMax,
                  bool& negative, uint64_t& magnitude) {
  s = StripBlanks(s);
  negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X')) {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  const uint64_t limit = base == 16 ? hexMax : (negative ? maxNegative : maxPositive);
  if (v > limit) return false;
  magnitude = v;
  return true;
}

[[noreturn]] void RaiseInvalidInteger(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

[[noreturn]] void RaiseInvalidFloat(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
}

}  // namespace

bool TryStrToInt(std::string_view s, int32_t& v) {
  bool neg = false;
  uint64_t m = 0;
  if (!ParseInteger(s, INT32_MAX, uint64_t(INT32_MAX) + 1, UINT32_MAX, neg, m)) return false;
  const uint32_t u = static_cast<uint32_t>(m);
  v = static_cast<int32_t>(neg ? 0u - u : u);
  return true;
}

bool TryStrToInt64(std::string_view s, int64_t& v) {
  bool neg = false;
  uint64_t m = 0;
  if (!ParseInteger(s, INT64_MAX, uint64_t(INT64_MAX) + 1, UINT64_MAX, neg, m)) return false;
  v = static_cast<int64_t>(neg ? 0 - m : m);
  return true;
}

int32_t StrToInt(std::string_view s) {
  int32_t v = 0;
  if (!TryStrToInt(s, v)) RaiseInvalidInteger(s);
  return v;
}

int64_t StrToInt64(std::string_view s) {
  int64_t v = 0;
  if (!TryStrToInt64(s, v)) RaiseInvalidInteger(s);
  return v;
}

int32_t StrToIntDef(std::string_view s, int32_t def) {
  int32_t v = 0;
  return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
  int64_t v = 0;
  return TryStrToInt64(s, v) ? v : def;
}

// ---------------------------------------------------------------------------------------------
// floating point text

bool TryStrToFloat(std::string_view s, double& v, const TFormatSettings& fs) {
  s = StripBlanks(s);
  if (s.empty()) return false;
  // Normalise into a small buffer: the settings' decimal separator becomes '.', and the text
  // must be [sign] digits [sep digits] [E [sign] digits] with at least one mantissa digit.
  char stackBuf[128];
  std::string heapBuf;
  char* buf = stackBuf;
  if (s.size() >= sizeof stackBuf) {
    heapBuf.resize(s.size() + 1);
    buf = heapBuf.data();
  }
  size_t n = 0, i = 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') {
    negative = s[i] == '-';
    ++i;
  }
  const std::string_view rest = s.substr(i);
  if (SameText(rest, "INF")) {
    v = negative ? -HUGE_VAL : HUGE_VAL;
    return true;
  }
  if (SameText(rest, "NAN")) {
    v = std::nan("");
    return true;
  }
  if (negative) buf[n++] = '-';
  size_t mantissaDigits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    buf[n++] = s[i++];
    ++mantissaDigits;
  }
  if (i < s.size() && s[i] == fs.DecimalSeparator) {
    buf[n++] = '.';
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      buf[n++] = s[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return false;
  bool negativeExponent = false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    buf[n++] = 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      negativeExponent = s[i] == '-';
      buf[n++] = s[i++];
    }
    size_t expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      buf[n++] = s[i++];
      ++expDigits;
    }
    if (expDigits == 0) return false;
  }
  if (i != s.size()) return false;
  double d = 0;
  auto r = std::from_chars(buf, buf + n, d, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    if (!negativeExponent) return false;  // overflow
    d = negative ? -0.0 : 0.0;            // underflow
  } else if (r.ec != std::errc() || r.ptr != buf + n) {
    return false;
  }
  v = d;
  return true;
}

double StrToFloat(std::string_view s, const TFormatSettings& fs) {
  double v = 0;
  if (!TryStrToFloat(s, v, fs)) RaiseInvalidFloat(s);
  return v;
}

double StrToFloatDef(std::string_view s, double def, const TFormatSettings& fs) {
  double v = 0;
  return TryStrToFloat(s, v, fs) ? v : def;
}

namespace {

// A value as decimal digits: 0.d1d2d3... * 10^Exponent; no digits means zero.
struct TFloatRec {
  int Exponent = 0;
  bool Negative = false;
  int Len = 0;
  char Digits[20] = {};
};

constexpr int kMaxDigits = 18;

// Rounds |v| half away from zero to at most precision significant digits and at most decimals
// digits after the decimal point, trailing zeros removed (the runtime's FloatToDecimal). The
// 18 significant digits of the exact binary value are taken first.
TFloatRec FloatToDecimal(double v, int precision, int decimals) {
  TFloatRec r;
  r.Negative = std::signbit(v);
  const double a = std::fabs(v);
  if (a == 0) {
    r.Negative = false;
    return r;
  }
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, kMaxDigits - 1);
  char digits[kMaxDigits];
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, kMaxDigits - 1);
  const char* e = std::find(buf, res.ptr, 'e');
  int exp10 = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exp10);
  r.Exponent = exp10 + 1;

  int n = std::clamp(precision, 1, kMaxDigits);
  if (decimals < 1000) n = std::min(n, r.Exponent + decimals);
  if (n < 0) {
    r.Negative = false;
    r.Exponent = 0;
    return r;
  }
  bool carryOut = false;
  if (n < kMaxDigits && digits[n] >= '5') {
    int k = n - 1;
    while (k >= 0 && digits[k] == '9')
      digits[k--] = '0';
    if (k >= 0) {
      ++digits[k];
    } else {
      carryOut = true;
    }
  }
  if (carryOut) {
    r.Digits[0] = '1';
    r.Len = 1;
    ++r.Exponent;
    return r;
  }
  while (n > 0 && digits[n - 1] == '0')
    --n;
  if (n == 0) {
    r.Negative = false;
    r.Exponent = 0;
    return r;
  }
  std::memcpy(r.Digits, digits, static_cast<size_t>(n));
  r.Len = n;
  return r;
}

void AppendExponent(std::string& out, int exponent, int minDigits, bool plusSign) {
  out.push_back('E');
  if (exponent < 0) {
    out.push_back('-');
    exponent = -exponent;
  } else if (plusSign) {
    out.push_back('+');
  }
  char buf[12];
  auto r = std::to_chars(buf, buf + sizeof buf, exponent);
  const int len = static_cast<int>(r.ptr - buf);
  if (len < minDigits) out.append(static_cast<size_t>(std::min(minDigits, 4) - len), '0');
  out.append(buf, r.ptr);
}

std::string FormatGeneralRec(const TFloatRec& r, int precision, int expDigits,
                             const TFormatSettings& fs) {
  std::string out;
  if (r.Len == 0) return "0";
  if (r.Negative) out.push_back('-');
  if (r.Exponent > precision || r.Exponent < -3) {
    out.push_back(r.Digits[0]);
    if (r.Len > 1) {
      out.push_back(fs.DecimalSeparator);
      out.append(r.Digits + 1, static_cast<size_t>(r.Len - 1));
    }
    AppendExponent(out, r.Exponent - 1, expDigits, false);
    return out;
  }
  if (r.Exponent <= 0) {
    out.push_back('0');
    out.push_back(fs.DecimalSeparator);
    out.append(static_cast<size_t>(-r.Exponent), '0');
    out.append(r.Digits, static_cast<size_t>(r.Len));
    return out;
  }
  const int intLen = std::min(r.Len, r.Exponent);
  out.append(r.Digits, static_cast<size_t>(intLen));
  out.append(static_cast<size_t>(r.Exponent - intLen), '0');
  if (r.Len > r.Exponent) {
    out.push_back(fs.DecimalSeparator);
    out.append(r.Digits + r.Exponent, static_cast<size_t>(r.Len - r.Exponent));
  }
  return out;
}

// Unsigned fixed-point digits: integer part (grouped when thousands is set) and decimals.
void AppendFixedDigits(std::string& out, const TFloatRec& r, int decimals, bool thousands,
                       const TFormatSettings& fs) {
  if (r.Exponent <= 0) {
    out.push_back('0');
  } else {
    for (int i = 0; i < r.Exponent; ++i) {
      if (thousands && fs.ThousandSeparator != '\0' && i > 0 && (r.Exponent - i) % 3 == 0)
        out.push_back(fs.ThousandSeparator);
      out.push_back(i < r.Len ? r.Digits[i] : '0');
    }
  }
  if (decimals > 0) {
    out.push_back(fs.DecimalSeparator);
    for (int k = 0; k < decimals; ++k) {
      const int idx = r.Exponent + k;
      out.push_back(idx >= 0 && idx < r.Len ? r.Digits[idx] : '0');
    }
  }
}

std::string ApplyCurrency(std::string_view amount, bool negative, const TFormatSettings& fs) {
  const std::string& c = fs.CurrencyString;
  std::string a(amount);
  if (!negative) {
    switch (fs.CurrencyFormat) {
      case 1:
        return a + c;
      case 2:
        return c + " " + a;
      case 3:
        return a + " " + c;
      default:
        return c + a;
    }
  }
  switch (fs.NegCurrFormat) {
    case 1:
      return "-" + c + a;
    case 2:
      return c + "-" + a;
    case 3:
      return c + a + "-";
    case 4:
      return "(" + a + c + ")";
    case 5:
      return "-" + a + c;
    case 6:
      return a + "-" + c;
    case 7:
      return a + c + "-";
    case 8:
      return "-" + a + " " + c;
    case 9:
      return "-" + c + " " + a;
    case 10:
      return a + " " + c + "-";
    case 11:
      return c + " " + a + "-";
    case 12:
      return c + " -" + a;
    case 13:
      return a + "- " + c;
    case 14:
      return "(" + c + " " + a + ")";
    case 15:
      return "(" + a + " " + c + ")";
    default:
      return "(" + c + a + ")";
  }
}

}  // namespace

std::string FloatToStrF(double v, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  precision = std::clamp(precision, 1, kMaxDigits);
  switch (format) {
    case ffExponent: {
      const TFloatRec r = FloatToDecimal(v, precision, 9999);
      std::string out;
      if (r.Negative) out.push_back('-');
      out.push_back(r.Len > 0 ? r.Digits[0] : '0');
      if (precision > 1) {
        out.push_back(fs.DecimalSeparator);
        for (int i = 1; i < precision; ++i)
          out.push_back(i < r.Len ? r.Digits[i] : '0');
      }
      AppendExponent(out, r.Len > 0 ? r.Exponent - 1 : 0, digits, true);
      return out;
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      digits = std::clamp(digits, 0, 18);
      const TFloatRec r = FloatToDecimal(v, precision, digits);
      if (r.Exponent > precision) return FormatGeneralRec(r, precision, 0, fs);
      std::string out;
      if (r.Negative && format != ffCurrency) out.push_back('-');
      AppendFixedDigits(out, r, digits, format != ffFixed, fs);
      if (format == ffCurrency) return ApplyCurrency(out, r.Negative, fs);
      return out;
    }
    case ffGeneral:
    default:
      return FormatGeneralRec(FloatToDecimal(v, precision, 9999), precision, digits, fs);
  }
}

std::string FloatToStr(double v, const TFormatSettings& fs) {
  return FloatToStrF(v, ffGeneral, 15, 0, fs);
}

// ---------------------------------------------------------------------------------------------
// booleans and quoting

std::string BoolToStr(bool b, bool useBoolStrs) {
  if (useBoolStrs) return b ? "True" : "False";
  return b ? "-1" : "0";
}

bool TryStrToBool(std::string_view s, bool& v) {
  if (SameText(s, "True")) {
    v = true;
    return true;
  }
  if (SameText(s, "False")) {
    v = false;
    return true;
  }
  double d = 0;
  if (TryStrToFloat(s, d, FormatSettings)) {
    v = d != 0;
    return true;
  }
  return false;
}

bool StrToBool(std::string_view s) {
  bool v = false;
  if (!TryStrToBool(s, v))
    throw EConvertError("'" + std::string(s) + "' is not a valid boolean value");
  return v;
}

bool StrToBoolDef(std::string_view s, bool def) {
  bool v = false;
  return TryStrToBool(s, v) ? v : def;
}

std::string QuotedStr(std::string_view s, char quote) {
  std::string r;
  r.reserve(s.size() + 2);
  r.push_back(quote);
  for (char c : s) {
    r.push_back(c);
    if (c == quote) r.push_back(quote);
  }
  r.push_back(quote);
  return r;
}

std::string DequotedStr(std::string_view s, char quote) {
  // Extract the quoted part (doubled quotes stand for one); the text comes
  // back unchanged when the extraction is empty or ran to the end while s is not enclosed in
  // quotes on both sides.
  std::string r;
  size_t i = 0;
  if (!s.empty() && s[0] == quote) {
    i = 1;
    while (i < s.size()) {
      if (s[i] == quote) {
        if (i + 1 < s.size() && s[i + 1] == quote) {
          r.push_back(quote);
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      r.push_back(s[i++]);
    }
  }
  const bool atEnd = i >= s.size();
  if ((r.empty() || atEnd) && !s.empty() && (s.front() != quote || s.back() != quote))
    return std::string(s);
  return r;
}

char32_t NextUtf8CodePoint(std::string_view s, size_t& i) noexcept {
  const auto b0 = static_cast<unsigned char>(s[i]);
  size_t len = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  }
  if (len == 0 || i + len > s.size()) {
    ++i;
    return b0;
  }
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return b0;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values beyond U+10FFFF are no code points either.
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return b0;
  }
  i += len;
  return cp;
}

void AppendUtf8(std::string& out, char32_t c) {
  const auto cp = static_cast<uint32_t>(c);
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | ((cp >> 18) & 0x07)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string RenderNumberText(std::string_view Text, const TFormatSettings& fs) {
  size_t b = 0, e = Text.size();
  while (b < e && static_cast<unsigned char>(Text[b]) <= ' ')
    ++b;
  while (e > b && static_cast<unsigned char>(Text[e - 1]) <= ' ')
    --e;
  std::string out(Text.substr(b, e - b));
  for (char& c : out)
    if (c == '.') c = fs.DecimalSeparator;
  return out;
}

std::string RenderFloat(double Value, const TFormatSettings& fs) {
  return FloatToStr(Value, fs);
}
std::string RenderDate(double Value, const TFormatSettings& fs) {
  return DateToStr(Value, fs);
}
std::string RenderTime(double Value, const TFormatSettings& fs) {
  return TimeToStr(Value, fs);
}
std::string RenderDateTime(double Value, const TFormatSettings& fs) {
  return DateTimeToStr(Value, fs);
}

}  // namespace vela
