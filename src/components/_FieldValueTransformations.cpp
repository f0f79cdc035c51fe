#include "components/_FieldValueTransformations.h"

#include <array>
#include <charconv>
#include <utility>

#include "host/RichText.h"
#include "rtl/Classes.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

unsigned char AsciiUpper(unsigned char c) {
  return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// Replaces every occurrence of from (exact) by to; allocates only when there is one.
void ReplaceAllExact(std::string& value, std::string_view from, std::string_view to) {
  size_t pos = value.find(from);
  if (from.empty() || pos == std::string::npos) return;
  std::string r;
  r.reserve(value.size());
  size_t last = 0;
  for (; pos != std::string::npos; pos = value.find(from, last)) {
    r.append(value, last, pos - last).append(to);
    last = pos + from.size();
  }
  r.append(value, last);
  value.swap(r);
}

// The same with ASCII letters matched ignoring case.
void ReplaceAllText(std::string& value, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  size_t pos = PosText(from, value);
  if (pos == std::string_view::npos) return;
  std::string r;
  r.reserve(value.size());
  size_t last = 0;
  for (; pos != std::string_view::npos; pos = PosText(from, value, last)) {
    r.append(value, last, pos - last).append(to);
    last = pos + from.size();
  }
  r.append(value, last);
  value.swap(r);
}

// Calls emit(part) for every part of s split at sep: CR and LF end parts too and are skipped at
// the start of a part, empty parts are left out, quotes (' or ") group and stay in the part, a
// NUL character ends the text. emit returns false to stop.
template <class F>
void ForEachPart(std::string_view s, std::string_view sep, F&& emit) {
  const size_t n = s.size();
  auto at = [&](size_t i) -> unsigned char { return i < n ? static_cast<unsigned char>(s[i]) : 0; };
  size_t tail = 0;
  unsigned char quote = 0;
  for (;;) {
    while (at(tail) == '\r' || at(tail) == '\n')
      ++tail;
    const size_t head = tail;
    for (unsigned char c; (c = at(tail)) != 0; ++tail) {
      if (c == '\'' || c == '"') {
        if (quote == 0) {
          quote = c;
        } else if (quote == c) {
          quote = 0;
        }
      } else if (quote == 0 &&
                 (c == '\r' || c == '\n' || (!sep.empty() && s.substr(tail).starts_with(sep)))) {
        break;
      }
    }
    const bool end = at(tail) == 0;
    if (head != tail && !emit(s.substr(head, tail - head))) return;
    if (end) return;
    tail += (at(tail) == '\r' || at(tail) == '\n') ? 1 : sep.size();
  }
}

// White space (Unicode White_Space) and control characters, removed by "trim".
bool IsTrimmed(char32_t cp) {
  return cp <= 0x20 || (cp >= 0x7F && cp <= 0xA0) || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

void TrimValue(std::string& v) {
  size_t b = 0;
  while (b < v.size()) {
    size_t i = b;
    if (!IsTrimmed(NextUtf8CodePoint(v, i))) break;
    b = i;
  }
  size_t e = v.size();
  while (e > b) {
    size_t start = e - 1;
    while (start > b && (static_cast<unsigned char>(v[start]) & 0xC0) == 0x80)
      --start;
    size_t i = start;
    if (!IsTrimmed(NextUtf8CodePoint(v, i)) || i != e) break;
    e = start;
  }
  if (e < v.size()) v.erase(e);
  if (b > 0) v.erase(0, b);
}

// A decimal integer (optional sign, digits only) in its canonical form.
void TryAsInt(std::string& v) {
  std::string_view s = v;
  if (s.starts_with('+') && !s.starts_with("+-")) s.remove_prefix(1);
  const size_t digits = !s.empty() && s[0] == '-' ? 1 : 0;
  if (s.size() <= digits) return;
  int64_t n = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
  if (ec != std::errc() || end != s.data() + s.size()) return;
  v = std::to_string(n);
}

// Upper case for one or two characters; otherwise lower case with the first character and every
// character after a blank, "-", "_" or "&" upper-cased.
void CapitalFirst(std::string& v) {
  const size_t length = Utf8Length(v);
  if (length == 0) return;
  if (length <= 2) {
    v = AnsiUpperCase(v);
    return;
  }
  const std::string lower = AnsiLowerCase(v);
  std::string r;
  r.reserve(lower.size());
  bool upper = true;
  for (size_t i = 0; i < lower.size();) {
    const size_t start = i;
    const char32_t cp = NextUtf8CodePoint(lower, i);
    const std::string_view ch(lower.data() + start, i - start);
    if (upper) {
      r += AnsiUpperCase(ch);
    } else {
      r.append(ch);
    }
    upper = cp == ' ' || cp == '-' || cp == '_' || cp == '&';
  }
  v.swap(r);
}

// Name capitalisation: words at delim lower-cased; a word holding "-", "&" or "_" is treated
// again with that delimiter; otherwise the first and the last word are capitalised (a word of
// one or two characters upper-cased whole).
std::string CapitalFirstEx(std::string_view value, char delim) {
  if (Utf8Length(value) < 2) return std::string(value);
  std::vector<std::string_view> words;
  for (size_t start = 0;;) {
    const size_t pos = value.find(delim, start);
    words.push_back(value.substr(start, pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  std::string r;
  r.reserve(value.size());
  for (size_t i = 0; i < words.size(); ++i) {
    std::string word = AnsiLowerCase(words[i]);
    if (word.find('-') != std::string::npos) {
      word = CapitalFirstEx(word, '-');
    } else if (word.find('&') != std::string::npos) {
      word = CapitalFirstEx(word, '&');
    } else if (word.find('_') != std::string::npos) {
      word = CapitalFirstEx(word, '_');
    } else if (i == 0 || i + 1 == words.size()) {
      word = Utf8Length(word) < 3 ? AnsiUpperCase(word) : AnsiFirstUpper(word);
    }
    if (i > 0) r += delim;
    r += word;
  }
  return r;
}

// UTF-8 umlauts read as Windows-1252 and stored as UTF-8 again, with their repair.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kWrongUmlauts = {{
    {"\xC3\x83\xC2\xA4", "\xC3\xA4"},      // U+00C3 U+00A4 -> a umlaut
    {"\xC3\x83\xC2\xB6", "\xC3\xB6"},      // U+00C3 U+00B6 -> o umlaut
    {"\xC3\x83\xC2\xBC", "\xC3\xBC"},      // U+00C3 U+00BC -> u umlaut
    {"\xC3\x83\xE2\x80\x9E", "\xC3\x84"},  // U+00C3 U+201E -> A umlaut
    {"\xC3\x83\xE2\x80\x93", "\xC3\x96"},  // U+00C3 U+2013 -> O umlaut
    {"\xC3\x83\xC5\x93", "\xC3\x9C"},      // U+00C3 U+0153 -> U umlaut
}};

constexpr std::array<std::pair<std::string_view, TValueManipulation>, 16> kManipulationNames = {{
    {"remove_cr", TValueManipulation::RemoveCR},
    {"remove_lf", TValueManipulation::RemoveLF},
    {"remove_crlf", TValueManipulation::RemoveCRLF},
    {"remove_spaces", TValueManipulation::RemoveSpaces},
    {"trim", TValueManipulation::Trim},
    {"tryasint", TValueManipulation::TryAsInt},
    {"captialfirst", TValueManipulation::CapitalFirst},
    {"uppercase", TValueManipulation::UpperCase},
    {"lowercase", TValueManipulation::LowerCase},
    {"fix_wrong_utf8_umlauts", TValueManipulation::FixWrongUtf8Umlauts},
    {"captialfirst_ex", TValueManipulation::CapitalFirstEx},
    {"rtf_to_text", TValueManipulation::RtfToText},
    {"text_to_rtf", TValueManipulation::TextToRtf},
    {"html_to_rtf", TValueManipulation::HtmlToRtf},
    {"hascontenttrue", TValueManipulation::HasContentTrue},
    {"hascontentfalse", TValueManipulation::HasContentFalse},
}};

}  // namespace

// ---------------------------------------------------------------------------------------------
// field name map

size_t TFieldNameHash::operator()(std::string_view s) const noexcept {
  size_t h = 14695981039346656037ull;  // FNV-1a
  for (char c : s)
    h = (h ^ AsciiUpper(static_cast<unsigned char>(c))) * 1099511628211ull;
  return h;
}

bool TFieldNameEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  return SameText(a, b);
}

// ---------------------------------------------------------------------------------------------
// replacements

TReplacementEntry::TReplacementEntry(std::string_view ALineName, std::string AToValue)
    : FToValue(std::move(AToValue)) {
  FUseWholeValue = ALineName.size() > 2 && ALineName.front() == '{' && ALineName.back() == '}';
  FFromValue = FUseWholeValue ? ALineName.substr(1, ALineName.size() - 2) : ALineName;
}

void TFieldValueReplacements::LoadFormINI(const TMemIniFile& AConfig, const std::string& APrefix) {
  FFieldReplacements.clear();
  const std::string prefix = APrefix + "Replacements_";
  TStringList sections;
  AConfig.ReadSections(sections);
  for (const std::string& section : sections) {
    if (!StartsText(prefix, section)) continue;
    auto [it, added] = FFieldReplacements.try_emplace(section.substr(prefix.size()));
    if (!added) continue;  // a second section of the same name is not reachable
    TStringList lines;
    AConfig.ReadSectionValues(section, lines);
    it->second.reserve(static_cast<size_t>(lines.Count()));
    for (int i = 0; i < lines.Count(); ++i)
      it->second.emplace_back(lines.Names(i), lines.ValueFromIndex(i));
  }
}

const std::vector<TReplacementEntry>* TFieldValueReplacements::Entries(
    std::string_view AFieldName) const {
  const auto it = FFieldReplacements.find(AFieldName);
  return it == FFieldReplacements.end() ? nullptr : &it->second;
}

void TFieldValueReplacements::Replace(std::string& AValue, std::string_view AFieldName) const {
  if (FFieldReplacements.empty()) return;
  const std::vector<TReplacementEntry>* entries = Entries(AFieldName);
  if (entries == nullptr) return;
  for (const TReplacementEntry& entry : *entries) {
    if (!entry.UseWholeValue()) {
      ReplaceAllText(AValue, entry.FromValue(), entry.ToValue());
    } else if (CompareText(AValue, entry.FromValue()) == 0) {
      AValue = entry.ToValue();
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// splitting

TSplittedFieldData::TSplittedFieldData(std::string AFieldName, char32_t ASplitChar, int ACount)
    : FFieldName(std::move(AFieldName)), FSplitChar(ASplitChar), FCount(ACount) {
  // NUL ends the text and a lone surrogate never occurs in UTF-8: no split text for them.
  if (ASplitChar != 0 && (ASplitChar < 0xD800 || ASplitChar > 0xDFFF))
    AppendUtf8(FSplitText, ASplitChar);
}

std::string TSplittedFieldData::GetFieldName(int AIndex) const {
  return FFieldName + "_PART" + std::to_string(AIndex + 1);
}

std::string TSplittedFieldData::GetValue(int AIndex, std::string_view AValue) const {
  std::string result;
  if (AIndex < 0) return result;
  const bool takesRest = AIndex >= FCount - 1;
  int index = 0;
  ForEachPart(AValue, FSplitText, [&](std::string_view part) {
    if (index == AIndex) {
      result.assign(part);
    } else if (index > AIndex) {
      result.append(FSplitText).append(part);
    }
    return index++ < AIndex || takesRest;
  });
  return result;
}

bool TSplittedFieldData::IsPartName(std::string_view AName) const noexcept {
  constexpr std::string_view kPart = "_PART";
  const size_t digitsAt = FFieldName.size() + kPart.size();
  if (AName.size() <= digitsAt || AName.size() > digitsAt + 10 || !AName.starts_with(FFieldName) ||
      AName.substr(FFieldName.size(), kPart.size()) != kPart || AName[digitsAt] == '0')
    return false;
  int64_t number = 0;
  const auto [end, ec] =
      std::from_chars(AName.data() + digitsAt, AName.data() + AName.size(), number);
  return ec == std::errc() && end == AName.data() + AName.size() && number >= 1 && number <= FCount;
}

void TFieldSplitting::LoadFromINI(const TMemIniFile& AConfig, const std::string& APrefix) {
  FItems.clear();
  TStringList lines;
  AConfig.ReadSectionValues(APrefix + "FieldSplitting", lines);
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string value = lines.ValueFromIndex(i);
    const size_t comma = value.find(',');
    int count = 0, code = 0;
    if (comma == std::string::npos ||
        !TryStrToInt(std::string_view(value).substr(0, comma), count) ||
        !TryStrToInt(std::string_view(value).substr(comma + 1), code) || code < 0 || code > 0xFFFF)
      continue;  // not "count,character code"
    FItems.push_back(
        std::make_unique<TSplittedFieldData>(lines.Names(i), static_cast<char32_t>(code), count));
  }
}

int TFieldSplitting::IndexOfSplittedField(std::string_view AFieldName) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->FieldName() == AFieldName) return static_cast<int>(i);
  return -1;
}

bool TFieldSplitting::IsSplittedField(std::string_view AFieldName) const {
  return IndexOfSplittedField(AFieldName) > -1;
}

TSplittedFieldData& TFieldSplitting::GetSplitData(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    throw EListError("List index out of bounds (" + std::to_string(AIndex) + ")");
  return *FItems[static_cast<size_t>(AIndex)];
}

TSplittedFieldData* TFieldSplitting::GetSplitData(std::string_view AFieldName) const {
  const int index = IndexOfSplittedField(AFieldName);
  return index < 0 ? nullptr : FItems[static_cast<size_t>(index)].get();
}

bool TFieldSplitting::IsVirtualSplitField(std::string_view AName) const {
  for (const auto& item : FItems)
    if (item->IsPartName(AName)) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// manipulation

bool TFieldValueManipulator::ManipulationByName(std::string_view AName,
                                                TValueManipulation& AResult) {
  for (const auto& [name, manipulation] : kManipulationNames) {
    if (name == AName) {
      AResult = manipulation;
      return true;
    }
  }
  return false;
}

void TFieldValueManipulator::LoadFormINI(const TMemIniFile& AConfig, const std::string& APrefix) {
  FFieldManipulators.clear();
  const std::string section = APrefix + "Manipulation";
  TStringList fields;
  AConfig.ReadSection(section, fields);
  for (const std::string& field : fields) {
    auto [it, added] = FFieldManipulators.try_emplace(field);
    if (!added) continue;  // the first line of a field is the one that is read
    TStringList names;
    names.SetDelimiter(';');
    names.SetDelimitedText(AConfig.ReadString(section, field, ""));
    for (const std::string& name : names) {
      TValueManipulation manipulation;
      if (ManipulationByName(name, manipulation)) it->second.push_back(manipulation);
    }
  }
  const std::string rtf = APrefix + "RTF";
  FDefaultFontName = AConfig.ReadString(rtf, "DefaultFontName",
                                        AConfig.ReadString("RTF", "DefaultFontName", "Arial"));
  FDefaultFontSize = AConfig.ReadInteger(rtf, "DefaultFontSize",
                                         AConfig.ReadInteger("RTF", "DefaultFontSize", 10));
}

const std::vector<TValueManipulation>* TFieldValueManipulator::Manipulations(
    std::string_view AFieldName) const {
  const auto it = FFieldManipulators.find(AFieldName);
  return it == FFieldManipulators.end() ? nullptr : &it->second;
}

void TFieldValueManipulator::ManipulateValue(std::string& AValue,
                                             std::string_view AFieldName) const {
  if (FFieldManipulators.empty()) return;
  if (const std::vector<TValueManipulation>* list = Manipulations(AFieldName))
    for (TValueManipulation manipulation : *list)
      Apply(manipulation, AValue);
}

void TFieldValueManipulator::Apply(TValueManipulation AManipulation, std::string& AValue) const {
  using M = TValueManipulation;
  switch (AManipulation) {
    case M::RemoveCR:
      std::erase(AValue, '\r');
      break;
    case M::RemoveLF:
      std::erase(AValue, '\n');
      break;
    case M::RemoveCRLF:
      ReplaceAllExact(AValue, "\r\n", "");
      break;
    case M::RemoveSpaces:
      std::erase(AValue, ' ');
      break;
    case M::Trim:
      TrimValue(AValue);
      break;
    case M::TryAsInt:
      TryAsInt(AValue);
      break;
    case M::CapitalFirst:
      CapitalFirst(AValue);
      break;
    case M::UpperCase:
      if (!AValue.empty()) AValue = AnsiUpperCase(AValue);
      break;
    case M::LowerCase:
      if (!AValue.empty()) AValue = AnsiLowerCase(AValue);
      break;
    case M::FixWrongUtf8Umlauts:
      if (AValue.find("\xC3\x83") == std::string::npos) break;
      for (const auto& [wrong, right] : kWrongUmlauts)
        ReplaceAllExact(AValue, wrong, right);
      break;
    case M::CapitalFirstEx:
      if (!AValue.empty()) AValue = CapitalFirstEx(AValue, ' ');
      break;
    case M::RtfToText:
      if (!AValue.empty()) AValue = ConvertRTFToText(AValue);
      break;
    case M::TextToRtf:
      AValue = ConvertTextToRTF(AValue, FDefaultFontName, FDefaultFontSize);
      break;
    case M::HtmlToRtf:
      AValue = ConvertHTMLToRTF(AValue, FDefaultFontName, FDefaultFontSize, "\r\n");
      break;
    case M::HasContentTrue:
      AValue = AValue.empty() ? "0" : "1";
      break;
    case M::HasContentFalse:
      AValue = AValue.empty() ? "1" : "0";
      break;
  }
}

}  // namespace vela
