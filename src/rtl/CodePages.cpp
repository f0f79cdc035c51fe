#include "rtl/CodePages.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include <iconv.h>

#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

std::atomic<int> GSystemAnsiCodePage{1252};

struct TCodePageName {
  int CodePage;
  const char* IconvName;
};

// Code pages with names that are not simply "CP<number>" for iconv.
constexpr TCodePageName kCodePageNames[] = {
    {CP_UTF8, "UTF-8"},
    {CP_UTF16LE, "UTF-16LE"},
    {CP_UTF16BE, "UTF-16BE"},
    {12000, "UTF-32LE"},
    {12001, "UTF-32BE"},
    {65000, "UTF-7"},
    {20127, "ASCII"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"},
    {20866, "KOI8-R"},
    {21866, "KOI8-U"},
    {10000, "MACINTOSH"},
    {51932, "EUC-JP"},
    {50220, "ISO-2022-JP"},
    {51949, "EUC-KR"},
    {54936, "GB18030"},
    {936, "GBK"},
    {950, "BIG5"},
    {932, "SHIFT_JIS"},
    {949, "CP949"},
    {874, "CP874"},
};

// Charset names as used in MIME, vCard and XML, lower case.
const std::unordered_map<std::string, int>& CharsetNames() {
  static const std::unordered_map<std::string, int> names = {
      {"utf-8", CP_UTF8},
      {"utf8", CP_UTF8},
      {"utf-16", CP_UTF16LE},
      {"utf-16le", CP_UTF16LE},
      {"utf-16be", CP_UTF16BE},
      {"unicode", CP_UTF16LE},
      {"unicodefffe", CP_UTF16BE},
      {"utf-32", 12000},
      {"utf-32le", 12000},
      {"utf-32be", 12001},
      {"utf-7", 65000},
      {"us-ascii", 20127},
      {"ascii", 20127},
      {"latin1", 28591},
      {"latin-1", 28591},
      {"l1", 28591},
      {"latin9", 28605},
      {"latin-9", 28605},
      {"iso8859-1", 28591},
      {"iso8859-15", 28605},
      {"koi8-r", 20866},
      {"koi8-u", 21866},
      {"macintosh", 10000},
      {"mac", 10000},
      {"euc-jp", 51932},
      {"iso-2022-jp", 50220},
      {"euc-kr", 51949},
      {"ks_c_5601-1987", 949},
      {"gb18030", 54936},
      {"gbk", 936},
      {"gb2312", 936},
      {"big5", 950},
      {"shift_jis", 932},
      {"shift-jis", 932},
      {"sjis", 932},
      {"x-sjis", 932},
      {"windows-874", 874},
      {"tis-620", 874},
  };
  return names;
}

// Code pages that keep ASCII as it is, one byte per character: pure ASCII needs no conversion.
bool IsAsciiCompatible(int cp) {
  return cp == CP_UTF8 || cp == 20127 || (cp >= 1250 && cp <= 1258) ||
         (cp >= 28591 && cp <= 28605) || (cp >= 437 && cp <= 869 && cp != 708 && cp != 720) ||
         cp == 874 || cp == 20866 || cp == 21866;
}

// Length of the valid UTF-8 sequence at p (n bytes available); 0 when invalid.
size_t ValidSequence(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < len) return 0;
  if (p[1] < lo || p[1] > hi) return 0;
  for (size_t k = 2; k < len; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  return len;
}

// Replaces invalid UTF-8 sequences by '?'.
std::string SanitizeUtf8(std::string_view s) {
  if (IsValidUtf8(s)) return std::string(s);
  std::string r;
  r.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0;
  while (i < s.size()) {
    const size_t len = ValidSequence(p + i, s.size() - i);
    if (len == 0) {
      r.push_back('?');
      ++i;
    } else {
      r.append(s.data() + i, len);
      i += len;
    }
  }
  return r;
}

// Converters per thread and direction: iconv descriptors are not safe for concurrent use and
// costly to open.
class TConverterCache {
 public:
  ~TConverterCache() {
    for (auto& [key, cd] : FMap)
      iconv_close(cd);
  }
  // (iconv_t)-1 when iconv does not know one of the names.
  iconv_t Get(const std::string& to, const std::string& from) {
    const std::string key = to + '\n' + from;
    auto it = FMap.find(key);
    if (it != FMap.end()) {
      iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // reset shift state
      return it->second;
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    FMap.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::string, iconv_t> FMap;
};

thread_local TConverterCache GConverters;

// Unit of the source encoding to skip over an undecodable sequence.
size_t SourceUnit(const std::string& from) {
  if (from.rfind("UTF-16", 0) == 0) return 2;
  if (from.rfind("UTF-32", 0) == 0) return 4;
  return 1;
}

// Converts with iconv; undecodable input and characters the target lacks become '?' (in the
// target encoding). Raises EEncodingError with what when a name is unknown.
std::string Convert(std::string_view in, const std::string& to, const std::string& from,
                    const std::string& what) {
  iconv_t cd = GConverters.Get(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw EEncodingError("Unsupported code page: " + what);
  const bool fromUtf8 = from == "UTF-8";
  const size_t unit = SourceUnit(from);

  std::string out;
  out.resize(in.size() + in.size() / 2 + 16);
  size_t used = 0;
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();

  auto grow = [&] { out.resize(out.size() * 2 + 16); };
  auto emit = [&](char* p, size_t n, bool flush) {
    for (;;) {
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      const size_t rc =
          flush ? iconv(cd, nullptr, nullptr, &dst, &dstLeft) : iconv(cd, &p, &n, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (rc != static_cast<size_t>(-1)) return true;
      if (errno == E2BIG) {
        grow();
        continue;
      }
      return false;
    }
  };
  // Conversions run either from or to UTF-8: towards UTF-8 the '?' is written as it is, the
  // other way it goes through the converter to come out in the target encoding.
  auto replace = [&] {
    if (fromUtf8) {
      char q = '?';
      emit(&q, 1, false);
    } else {
      if (used == out.size()) grow();
      out[used++] = '?';
    }
  };

  while (srcLeft > 0) {
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    used = out.size() - dstLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      grow();
    } else if (errno == EILSEQ) {
      // Skip one source character: a whole UTF-8 sequence, or one unit of the source.
      size_t skip = unit;
      if (fromUtf8) {
        skip = ValidSequence(reinterpret_cast<const unsigned char*>(src), srcLeft);
        if (skip == 0) skip = 1;
      }
      skip = std::min(skip, srcLeft);
      src += skip;
      srcLeft -= skip;
      replace();
    } else {  // EINVAL: incomplete sequence at the end
      srcLeft = 0;
      replace();
    }
  }
  emit(nullptr, 0, true);
  out.resize(used);
  return out;
}

std::string NameOrRaise(int codePage) {
  std::string name = CodePageName(codePage);
  if (name.empty()) throw EEncodingError("Unsupported code page: " + std::to_string(codePage));
  return name;
}

std::string CharsetIconvName(std::string_view charset) {
  const int cp = CodePageFromName(charset);
  if (cp != 0) {
    std::string name = CodePageName(cp);
    if (!name.empty()) return name;
  }
  return std::string(Trim(charset));
}

}  // namespace

bool IsAscii(std::string_view s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size(), i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ull) return false;
  }
  for (; i < n; ++i)
    if (p[i] & 0x80) return false;
  return true;
}

int SystemAnsiCodePage() {
  return GSystemAnsiCodePage.load(std::memory_order_relaxed);
}

void SetSystemAnsiCodePage(int codePage) {
  GSystemAnsiCodePage.store(codePage, std::memory_order_relaxed);
}

std::string CodePageName(int codePage) {
  for (const auto& e : kCodePageNames)
    if (e.CodePage == codePage) return e.IconvName;
  if (codePage <= 0 || codePage > 99999) return {};
  // The Windows and DOS code pages that iconv knows as CP<number> (1250..1258, 437, 850, ...).
  static std::mutex lock;
  static std::unordered_map<int, bool> known;
  std::string name = "CP" + std::to_string(codePage);
  std::lock_guard<std::mutex> guard(lock);
  auto it = known.find(codePage);
  if (it == known.end()) {
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    const bool ok = cd != reinterpret_cast<iconv_t>(-1);
    if (ok) iconv_close(cd);
    it = known.emplace(codePage, ok).first;
  }
  return it->second ? name : std::string();
}

int CodePageFromName(std::string_view name) {
  std::string n = LowerCase(Trim(name));
  if (n.empty()) return 0;
  auto it = CharsetNames().find(n);
  if (it != CharsetNames().end()) return it->second;
  auto number = [](std::string_view digits) -> int {
    int v = 0;
    if (digits.empty() || digits.size() > 5) return 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return 0;
      v = v * 10 + (c - '0');
    }
    return v;
  };
  // iso-8859-N, iso_8859-N, iso8859_N
  for (std::string_view prefix : {"iso-8859-", "iso_8859-", "iso8859_", "iso_8859_"}) {
    if (n.rfind(prefix, 0) == 0) {
      const int part = number(std::string_view(n).substr(prefix.size()));
      if (part >= 1 && part <= 15 && part != 12) return 28590 + part;
      return 0;
    }
  }
  for (std::string_view prefix : {"windows-", "windows", "cp-", "cp", "x-cp", "ibm", "ms-"}) {
    if (n.rfind(prefix, 0) == 0) {
      const int cp = number(std::string_view(n).substr(prefix.size()));
      return (cp != 0 && !CodePageName(cp).empty()) ? cp : 0;
    }
  }
  return 0;
}

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
  if (codePage == CP_UTF8) return SanitizeUtf8(bytes);
  const std::string name = NameOrRaise(codePage);
  if (IsAsciiCompatible(codePage) && IsAscii(bytes)) return std::string(bytes);
  return Convert(bytes, "UTF-8", name, std::to_string(codePage));
}

std::string Utf8ToCodePage(std::string_view utf8, int codePage) {
  if (codePage == CP_UTF8) return SanitizeUtf8(utf8);
  const std::string name = NameOrRaise(codePage);
  if (IsAsciiCompatible(codePage) && IsAscii(utf8)) return std::string(utf8);
  return Convert(utf8, name, "UTF-8", std::to_string(codePage));
}

std::string CharsetToUtf8(std::string_view bytes, std::string_view charset) {
  const std::string name = CharsetIconvName(charset);
  if (name == "UTF-8") return SanitizeUtf8(bytes);
  return Convert(bytes, "UTF-8", name, "'" + std::string(charset) + "'");
}

std::string Utf8ToCharset(std::string_view utf8, std::string_view charset) {
  const std::string name = CharsetIconvName(charset);
  if (name == "UTF-8") return SanitizeUtf8(utf8);
  return Convert(utf8, name, "UTF-8", "'" + std::string(charset) + "'");
}

bool IsValidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    if (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      if ((w & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    const size_t len = ValidSequence(p + i, n - i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

TTextBOM DetectBOM(std::string_view start) {
  if (start.size() >= 3 && start.compare(0, 3, "\xEF\xBB\xBF") == 0) return TTextBOM::Utf8;
  if (start.size() >= 2 && start.compare(0, 2, "\xFF\xFE") == 0) return TTextBOM::Utf16LE;
  if (start.size() >= 2 && start.compare(0, 2, "\xFE\xFF") == 0) return TTextBOM::Utf16BE;
  return TTextBOM::None;
}

size_t BOMLength(TTextBOM bom) {
  switch (bom) {
    case TTextBOM::Utf8:
      return 3;
    case TTextBOM::Utf16LE:
    case TTextBOM::Utf16BE:
      return 2;
    default:
      return 0;
  }
}

std::string DecodeText(std::string_view raw, int fallbackCodePage) {
  const TTextBOM bom = DetectBOM(raw);
  const std::string_view body = raw.substr(BOMLength(bom));
  switch (bom) {
    case TTextBOM::Utf8:
      return SanitizeUtf8(body);
    case TTextBOM::Utf16LE:
      return CodePageToUtf8(body, CP_UTF16LE);
    case TTextBOM::Utf16BE:
      return CodePageToUtf8(body, CP_UTF16BE);
    default:
      break;
  }
  if (IsValidUtf8(body)) return std::string(body);
  return CodePageToUtf8(body, fallbackCodePage != 0 ? fallbackCodePage : SystemAnsiCodePage());
}

}  // namespace vela
