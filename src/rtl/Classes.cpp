#include "rtl/Classes.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

[[noreturn]] void ListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

constexpr const char* kSortedListError = "Operation not allowed on sorted list";
constexpr const char* kDuplicateString = "String list does not allow duplicates";
constexpr std::string_view kUtf8BOM = "\xEF\xBB\xBF";

inline bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= ' ';
}

}  // namespace

TStringList::TStringList(std::initializer_list<std::string_view> lines) {
  AddStrings(lines);
}

TStringList::~TStringList() {
  Clear();
}

TStringList::TStringList(TStringList&& other) noexcept
    : FStrings(std::move(other.FStrings)),
      FObjects(std::move(other.FObjects)),
      FDelimiter(other.FDelimiter),
      FQuoteChar(other.FQuoteChar),
      FNameValueSeparator(other.FNameValueSeparator),
      FStrictDelimiter(other.FStrictDelimiter),
      FSorted(other.FSorted),
      FCaseSensitive(other.FCaseSensitive),
      FOwnsObjects(other.FOwnsObjects),
      FWriteBOM(other.FWriteBOM),
      FDuplicates(other.FDuplicates) {
  other.FStrings.clear();
  other.FObjects.clear();
}

TStringList& TStringList::operator=(TStringList&& other) noexcept {
  if (this != &other) {
    Clear();
    FStrings = std::move(other.FStrings);
    FObjects = std::move(other.FObjects);
    other.FStrings.clear();
    other.FObjects.clear();
    FDelimiter = other.FDelimiter;
    FQuoteChar = other.FQuoteChar;
    FNameValueSeparator = other.FNameValueSeparator;
    FStrictDelimiter = other.FStrictDelimiter;
    FSorted = other.FSorted;
    FCaseSensitive = other.FCaseSensitive;
    FOwnsObjects = other.FOwnsObjects;
    FWriteBOM = other.FWriteBOM;
    FDuplicates = other.FDuplicates;
  }
  return *this;
}

void TStringList::Reserve(size_t capacity) {
  FStrings.reserve(capacity);
  FObjects.reserve(capacity);
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
}

void TStringList::CheckNotSorted() const {
  if (FSorted) throw EListError(kSortedListError);
}

void TStringList::FreeObject(TObject* obj) const noexcept {
  if (FOwnsObjects) delete obj;
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index);
  return FStrings[static_cast<size_t>(index)];
}

void TStringList::SetStrings(int index, std::string s) {
  CheckNotSorted();
  CheckIndex(index);
  FStrings[static_cast<size_t>(index)] = std::move(s);
}

TObject* TStringList::Objects(int index) const {
  CheckIndex(index);
  return FObjects[static_cast<size_t>(index)];
}

void TStringList::SetObjects(int index, TObject* obj) {
  CheckIndex(index);
  TObject*& slot = FObjects[static_cast<size_t>(index)];
  if (slot != obj) FreeObject(std::exchange(slot, obj));
}

std::unique_ptr<TObject> TStringList::ExtractObject(int index) {
  CheckIndex(index);
  return std::unique_ptr<TObject>(std::exchange(FObjects[static_cast<size_t>(index)], nullptr));
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return FCaseSensitive ? CompareStr(a, b) : CompareText(a, b);
}

bool TStringList::SameName(std::string_view a, std::string_view b) const {
  // Equal strings have equal lengths under ASCII folding: check that first (hot path of Values).
  if (a.size() != b.size()) return false;
  return FCaseSensitive ? a == b : SameText(a, b);
}

void TStringList::InsertItem(int index, std::string s, TObject* obj) {
  const auto pos = static_cast<size_t>(index);
  FObjects.insert(FObjects.begin() + static_cast<std::ptrdiff_t>(pos), obj);
  try {
    FStrings.insert(FStrings.begin() + static_cast<std::ptrdiff_t>(pos), std::move(s));
  } catch (...) {
    FObjects.erase(FObjects.begin() + static_cast<std::ptrdiff_t>(pos));
    throw;
  }
}

int TStringList::Add(std::string s) {
  return AddObject(std::move(s), nullptr);
}

int TStringList::AddObject(std::string s, TObject* obj) {
  int index = Count();
  if (FSorted && Find(s, index)) {
    if (FDuplicates == dupIgnore) {
      FreeObject(obj);
      return index;
    }
    if (FDuplicates == dupError) {
      FreeObject(obj);
      throw EListError(kDuplicateString);
    }
  }
  try {
    InsertItem(index, std::move(s), obj);
  } catch (...) {
    FreeObject(obj);
    throw;
  }
  return index;
}

void TStringList::Insert(int index, std::string s) {
  InsertObject(index, std::move(s), nullptr);
}

void TStringList::InsertObject(int index, std::string s, TObject* obj) {
  try {
    CheckNotSorted();
    if (index < 0 || index > Count()) ListIndexError(index);
    InsertItem(index, std::move(s), obj);
  } catch (...) {
    FreeObject(obj);
    throw;
  }
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  const auto pos = static_cast<std::ptrdiff_t>(index);
  TObject* obj = FObjects[static_cast<size_t>(index)];
  FStrings.erase(FStrings.begin() + pos);
  FObjects.erase(FObjects.begin() + pos);
  FreeObject(obj);
}

void TStringList::Clear() {
  if (FOwnsObjects) {
    for (TObject* obj : FObjects)
      delete obj;
  }
  FStrings.clear();
  FObjects.clear();
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(FStrings[static_cast<size_t>(index1)], FStrings[static_cast<size_t>(index2)]);
  std::swap(FObjects[static_cast<size_t>(index1)], FObjects[static_cast<size_t>(index2)]);
}

void TStringList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckNotSorted();
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  auto rotate = [&](auto& v) {
    auto cur = v.begin() + curIndex;
    auto dst = v.begin() + newIndex;
    if (curIndex < newIndex)
      std::rotate(cur, cur + 1, dst + 1);
    else
      std::rotate(dst, cur, cur + 1);
  };
  rotate(FStrings);
  rotate(FObjects);
}

void TStringList::AddStrings(const TStringList& other) {
  if (&other == this) {
    const std::vector<std::string> copy = other.FStrings;
    AddStrings(copy);
    return;
  }
  Reserve(FStrings.size() + other.FStrings.size());
  for (size_t i = 0; i < other.FStrings.size(); ++i)
    AddObject(other.FStrings[i], FOwnsObjects ? nullptr : other.FObjects[i]);
}

void TStringList::AddStrings(const std::vector<std::string>& lines) {
  Reserve(FStrings.size() + lines.size());
  for (const auto& s : lines)
    Add(s);
}

void TStringList::AddStrings(std::initializer_list<std::string_view> lines) {
  Reserve(FStrings.size() + lines.size());
  for (auto s : lines)
    Add(std::string(s));
}

void TStringList::Assign(const TStringList& source) {
  if (&source == this) return;
  Clear();
  FDelimiter = source.FDelimiter;
  FQuoteChar = source.FQuoteChar;
  FNameValueSeparator = source.FNameValueSeparator;
  FStrictDelimiter = source.FStrictDelimiter;
  FCaseSensitive = source.FCaseSensitive;
  FDuplicates = source.FDuplicates;
  // The source is in its own order already; copying it keeps a sorted source sorted.
  FSorted = false;
  AddStrings(source);
  FSorted = source.FSorted;
}

int TStringList::IndexOf(std::string_view s) const {
  if (FSorted) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (size_t i = 0; i < FStrings.size(); ++i) {
    if (SameName(FStrings[i], s)) return static_cast<int>(i);
  }
  return -1;
}

int TStringList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < FStrings.size(); ++i) {
    const std::string& s = FStrings[i];
    // The name must be followed by the separator: test the byte there before comparing.
    if (s.size() <= name.size() || s[name.size()] != FNameValueSeparator) continue;
    // The separator must be the first one in the line.
    if (std::memchr(s.data(), FNameValueSeparator, name.size()) != nullptr) continue;
    if (SameName(std::string_view(s.data(), name.size()), name)) return static_cast<int>(i);
  }
  return -1;
}

int TStringList::IndexOfObject(const TObject* obj) const {
  auto it = std::find(FObjects.begin(), FObjects.end(), obj);
  return it == FObjects.end() ? -1 : static_cast<int>(it - FObjects.begin());
}

bool TStringList::Find(std::string_view s, int& index) const {
  bool found = false;
  int lo = 0;
  int hi = Count() - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = CompareStrings(FStrings[static_cast<size_t>(mid)], s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TStringList::ApplyOrder(const std::vector<int>& order) {
  std::vector<std::string> strings;
  std::vector<TObject*> objects;
  strings.reserve(order.size());
  objects.reserve(order.size());
  for (int i : order) {
    strings.push_back(std::move(FStrings[static_cast<size_t>(i)]));
    objects.push_back(FObjects[static_cast<size_t>(i)]);
  }
  FStrings = std::move(strings);
  FObjects = std::move(objects);
}

void TStringList::Sort() {
  if (FSorted || FStrings.size() < 2) return;
  CustomSort([](const TStringList& list, int a, int b) {
    return list.CompareStrings(list.FStrings[static_cast<size_t>(a)],
                               list.FStrings[static_cast<size_t>(b)]);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
  if (FStrings.size() < 2) return;
  std::vector<int> order(FStrings.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = static_cast<int>(i);
  // The comparison sees the list unchanged while the permutation is computed.
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return compare(*this, a, b) < 0; });
  ApplyOrder(order);
}

void TStringList::SetSorted(bool v) {
  if (v == FSorted) return;
  if (v) Sort();
  FSorted = v;
}

void TStringList::SetCaseSensitive(bool v) {
  if (v == FCaseSensitive) return;
  FCaseSensitive = v;
  if (FSorted) {
    FSorted = false;
    Sort();
    FSorted = true;
  }
}

// --- name=value ---

std::string TStringList::Names(int index) const {
  const std::string& s = Strings(index);
  const size_t p = s.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStringList::ValueFromIndex(int index) const {
  if (index < 0) return {};
  const std::string& s = Strings(index);
  const size_t p = s.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

std::string TStringList::Values(std::string_view name) const {
  const int i = IndexOfName(name);
  if (i < 0) return {};
  return FStrings[static_cast<size_t>(i)].substr(name.size() + 1);
}

void TStringList::SetValues(std::string_view name, std::string_view value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).push_back(FNameValueSeparator);
  line.append(value);
  if (i >= 0)
    SetStrings(i, std::move(line));
  else {
    CheckNotSorted();
    Add(std::move(line));
  }
}

void TStringList::SetValueFromIndex(int index, std::string_view value) {
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string line;
  if (index >= 0) line = Names(index);
  line.push_back(FNameValueSeparator);
  line.append(value);
  if (index >= 0)
    SetStrings(index, std::move(line));
  else {
    CheckNotSorted();
    Add(std::move(line));
  }
}

// --- texts ---

std::string TStringList::Text() const {
  size_t len = 0;
  for (const auto& s : FStrings)
    len += s.size() + sLineBreak.size();
  std::string result;
  result.reserve(len);
  for (const auto& s : FStrings) {
    result.append(s);
    result.append(sLineBreak);
  }
  return result;
}

void TStringList::SetText(std::string_view text) {
  Clear();
  size_t p = 0;
  const size_t e = text.size();
  while (p < e) {
    size_t q = p;
    while (q < e && text[q] != '\r' && text[q] != '\n')
      ++q;
    Add(std::string(text.substr(p, q - p)));
    if (q < e && text[q] == '\r') ++q;
    if (q < e && text[q] == '\n') ++q;
    p = q;
  }
}

std::string TStringList::DelimitedText() const {
  return BuildDelimited(FDelimiter, FQuoteChar, FStrictDelimiter);
}

void TStringList::SetDelimitedText(std::string_view text) {
  ParseDelimited(text, FDelimiter, FQuoteChar, FStrictDelimiter);
}

std::string TStringList::BuildDelimited(char delimiter, char quoteChar, bool strict) const {
  if (FStrings.size() == 1 && FStrings[0].empty()) return std::string(2, quoteChar);
  std::string result;
  for (size_t i = 0; i < FStrings.size(); ++i) {
    const std::string& s = FStrings[i];
    if (i > 0) result.push_back(delimiter);
    // The runtime scans items as C strings: a NUL ends the check.
    bool quote = false;
    for (char c : s) {
      if (c == '\0') break;
      if (c == quoteChar || c == delimiter || (!strict && IsBlank(c))) {
        quote = true;
        break;
      }
    }
    if (!quote) {
      result.append(s);
      continue;
    }
    result.push_back(quoteChar);
    for (char c : s) {
      if (c == quoteChar) result.push_back(c);
      result.push_back(c);
    }
    result.push_back(quoteChar);
  }
  return result;
}

void TStringList::ParseDelimited(std::string_view text, char delimiter, char quoteChar,
                                 bool strict) {
  Clear();
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  const size_t e = text.size();
  size_t p = 0;
  auto skipBlanks = [&] {
    if (!strict) {
      while (p < e && IsBlank(text[p]))
        ++p;
    }
  };
  skipBlanks();
  std::string item;
  while (p < e) {
    item.clear();
    if (text[p] == quoteChar) {
      // Quoted item: up to the first single quote char; a doubled one stands for one. An
      // unterminated item runs to the end.
      ++p;
      while (p < e) {
        const size_t q = text.find(quoteChar, p);
        if (q == std::string_view::npos) {
          item.append(text.substr(p));
          p = e;
          break;
        }
        item.append(text.substr(p, q - p));
        if (q + 1 < e && text[q + 1] == quoteChar) {
          item.push_back(quoteChar);
          p = q + 2;
        } else {
          p = q + 1;
          break;
        }
      }
    } else {
      const size_t start = p;
      while (p < e && text[p] != delimiter && (strict || static_cast<unsigned char>(text[p]) > ' '))
        ++p;
      item.assign(text.substr(start, p - start));
    }
    Add(item);
    skipBlanks();
    if (p < e && text[p] == delimiter) {
      if (p + 1 == e) Add(std::string());
      ++p;
      skipBlanks();
    }
  }
}

std::string TStringList::CommaText() const {
  return BuildDelimited(',', '"', false);
}

void TStringList::SetCommaText(std::string_view text) {
  ParseDelimited(text, ',', '"', false);
}

// --- files ---

void TStringList::LoadFromStream(TStream& stream) {
  const int64_t left = stream.Size() - stream.Position();
  std::string raw(static_cast<size_t>(std::max<int64_t>(left, 0)), '\0');
  if (!raw.empty()) stream.ReadBuffer(raw.data(), raw.size());
  SetText(DecodeText(raw));
}

void TStringList::SaveToStream(TStream& stream) const {
  if (FWriteBOM) stream.WriteBuffer(kUtf8BOM.data(), kUtf8BOM.size());
  const std::string text = Text();
  stream.WriteBuffer(text.data(), text.size());
}

void TStringList::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TStringList::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

}  // namespace vela
