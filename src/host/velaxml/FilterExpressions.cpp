#include "host/velaxml/FilterExpressions.h"

#include <charconv>
#include <cmath>

#include "rtl/SysUtils.h"

namespace vela {

namespace {

bool IsDigit(char c) noexcept {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) noexcept {
  return c == ' ' || c == '\t';
}

// A decimal number with '.' as separator and an optional exponent: "12", "-3.5", "1e3". Other
// texts ("12 kg", "0x1F", "inf", "1,5") are not numbers, whatever the locale.
bool TryNumberText(std::string_view s, double& v) {
  s = TrimView(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  size_t i = (!s.empty() && s.front() == '-') ? 1 : 0;
  bool digits = false;
  while (i < s.size() && IsDigit(s[i])) {
    ++i;
    digits = true;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) {
      ++i;
      digits = true;
    }
  }
  if (!digits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i == s.size() || !IsDigit(s[i])) return false;
    while (i < s.size() && IsDigit(s[i]))
      ++i;
  }
  if (i != s.size()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
}

template <class T>
int Sign(T a, T b) noexcept {
  return a < b ? -1 : (b < a ? 1 : 0);
}

struct TComparisonWord {
  std::string_view Word;
  TFilterComparison Comparison;
};
// Words are followed by ':' and the operand, except "empty" and "notempty".
constexpr TComparisonWord kWords[] = {{"contains", TFilterComparison::fcContains},
                                      {"notcontains", TFilterComparison::fcNotContains},
                                      {"startswith", TFilterComparison::fcStartsWith},
                                      {"endswith", TFilterComparison::fcEndsWith},
                                      {"in", TFilterComparison::fcIn},
                                      {"notin", TFilterComparison::fcNotIn},
                                      {"empty", TFilterComparison::fcEmpty},
                                      {"notempty", TFilterComparison::fcNotEmpty}};
// Longer symbols first, so that "<=" is not read as "<" and an operand "=...".
constexpr TComparisonWord kSymbols[] = {
    {"<=", TFilterComparison::fcLessOrEqual}, {">=", TFilterComparison::fcGreaterOrEqual},
    {"<>", TFilterComparison::fcNotEqual},    {"!=", TFilterComparison::fcNotEqual},
    {"<", TFilterComparison::fcLess},         {">", TFilterComparison::fcGreater},
    {"=", TFilterComparison::fcEqual}};

// Reads one operand: a text up to the end (or up to ';' in a list), blanks around it removed, or
// a text in double quotes taken as written, with "" for a quote inside. APos is left after the
// operand (on the ';' or at the end). AError receives what is wrong.
// ABase is the position of s in the line's value, for the messages.
bool ReadOperand(std::string_view s, size_t ABase, size_t& APos, bool AInList, std::string& AText,
                 bool& AQuoted, std::string& AError) {
  while (APos < s.size() && IsBlank(s[APos]))
    ++APos;
  AText.clear();
  AQuoted = APos < s.size() && s[APos] == '"';
  if (AQuoted) {
    const size_t open = APos++;
    for (;;) {
      if (APos >= s.size()) {
        AError = "the quote at position " + std::to_string(ABase + open + 1) + " is not closed";
        return false;
      }
      if (s[APos] == '"') {
        if (APos + 1 < s.size() && s[APos + 1] == '"') {
          AText += '"';
          APos += 2;
          continue;
        }
        ++APos;
        break;
      }
      AText += s[APos++];
    }
    while (APos < s.size() && IsBlank(s[APos]))
      ++APos;
    if (APos < s.size() && !(AInList && s[APos] == ';')) {
      AError =
          "unexpected text after the closing quote at position " + std::to_string(ABase + APos + 1);
      return false;
    }
    return true;
  }
  const size_t start = APos;
  while (APos < s.size() && !(AInList && s[APos] == ';'))
    ++APos;
  AText.assign(TrimView(s.substr(start, APos - start)));
  return true;
}

}  // namespace

bool TryISODateTextToDateTime(std::string_view AText, TDateTime& AValue, bool& ADateOnly) {
  const std::string_view s = TrimView(AText);
  if (s.size() < 10) return false;
  for (size_t i = 0; i < 10; ++i)
    if ((i == 4 || i == 7) ? s[i] != '-' : !IsDigit(s[i])) return false;
  if (s.size() > 10 && s[10] != 'T' && s[10] != 't' && s[10] != ' ') return false;
  ADateOnly = s.size() == 10;
  // The time part needs hours and minutes; the SQL reader checks the rest of the form.
  if (!ADateOnly && (s.size() < 16 || !IsDigit(s[11]) || s[13] != ':')) return false;
  std::string text(s);
  if (!ADateOnly) text[10] = ' ';
  return TrySQLToDateTime(text, AValue);
}

// --- TFilterExpressionItem ---

void TFilterExpressionItem::Load(std::string_view AName, std::string_view AValue) {
  const std::string line = std::string(AName) + "=" + std::string(AValue);
  auto fail = [&](const std::string& what) {
    throw EFilterExpressionError("Filter expression '" + line + "': " + what);
  };
  FFieldName.assign(TrimView(AName));
  FOperands.clear();
  FCaseSensitive = false;
  FLoaded = false;
  if (FFieldName.empty()) fail("the field name is missing");

  std::string_view v = TrimView(AValue);
  if (StartsText("case:", v)) {
    FCaseSensitive = true;
    v = TrimView(v.substr(5));
  }
  if (v.empty()) fail("the comparison is missing");

  // A symbol, or a word that ends at ':' or at the end of the value.
  size_t pos = std::string_view::npos;
  for (const auto& sym : kSymbols)
    if (v.starts_with(sym.Word)) {
      FComparison = sym.Comparison;
      pos = sym.Word.size();
      break;
    }
  bool needsOperand = true;
  if (pos == std::string_view::npos) {
    size_t end = 0;
    while (end < v.size() && v[end] != ':')
      ++end;
    const std::string_view word = TrimView(v.substr(0, end));
    const TComparisonWord* found = nullptr;
    for (const auto& w : kWords)
      if (SameText(w.Word, word)) found = &w;
    if (!found)
      fail("unknown comparison '" + std::string(word) +
           "'; a filter value starts with =, <>, !=, <, <=, >, >=, contains:, notcontains:, "
           "startswith:, endswith:, in:, notin:, empty or notempty (write '=" +
           std::string(v) + "' to compare for equality)");
    FComparison = found->Comparison;
    needsOperand =
        FComparison != TFilterComparison::fcEmpty && FComparison != TFilterComparison::fcNotEmpty;
    if (!needsOperand) {
      if (!TrimView(v.substr(end)).empty())
        fail("'" + std::string(found->Word) + "' takes no operand");
      FLoaded = true;
      return;
    }
    if (end == v.size()) fail("':' and an operand must follow '" + std::string(word) + "'");
    pos = end + 1;
  }

  const std::string_view rest = v.substr(pos);
  const bool isList =
      FComparison == TFilterComparison::fcIn || FComparison == TFilterComparison::fcNotIn;
  const size_t base = static_cast<size_t>(rest.data() - AValue.data());
  std::string text, error;
  bool quoted = false;
  // Each round ends on the ';' after an operand or at the end; the next starts after the ';'.
  for (size_t at = 0; at <= rest.size(); ++at) {
    if (!ReadOperand(rest, base, at, isList, text, quoted, error)) fail(error);
    // Empty list items (";;", a trailing ';') are left out; "" stands for the empty value.
    if (quoted || !text.empty()) FOperands.push_back(MakeOperand(text));
  }
  if (FOperands.empty()) fail("the operand is missing (write \"\" for the empty text)");
  FLoaded = true;
}

TFilterExpressionItem::TOperand TFilterExpressionItem::MakeOperand(std::string_view AText) const {
  TOperand op;
  op.Text.assign(AText);
  op.Folded = FCaseSensitive ? op.Text : AnsiLowerCase(op.Text);
  op.IsNumber = TryNumberText(AText, op.Number);
  if (!op.IsNumber) op.IsDate = TryISODateTextToDateTime(AText, op.Date, op.DateOnly);
  return op;
}

int TFilterExpressionItem::Compare(std::string_view AText, const std::string& AFolded,
                                   const TOperand& AOperand) const {
  if (AOperand.IsNumber) {
    double n = 0;
    if (TryNumberText(AText, n)) return Sign(n, AOperand.Number);
  } else if (AOperand.IsDate) {
    TDateTime d = 0;
    bool dateOnly = false;
    if (TryISODateTextToDateTime(AText, d, dateOnly)) {
      // A date without time stands for the whole day: the value's time does not count.
      if (AOperand.DateOnly) d = DateOf(d);
      return CompareDateTime(d, AOperand.Date);
    }
  }
  const int c = AFolded.compare(AOperand.Folded);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool TFilterExpressionItem::Matches(std::string_view AText) const {
  using enum TFilterComparison;
  if (FComparison == fcEmpty) return TrimView(AText).empty();
  if (FComparison == fcNotEmpty) return !TrimView(AText).empty();
  const std::string folded = FCaseSensitive ? std::string(AText) : AnsiLowerCase(AText);
  const TOperand& op = FOperands.front();
  switch (FComparison) {
    case fcEqual:
      return Compare(AText, folded, op) == 0;
    case fcNotEqual:
      return Compare(AText, folded, op) != 0;
    case fcLess:
      return Compare(AText, folded, op) < 0;
    case fcLessOrEqual:
      return Compare(AText, folded, op) <= 0;
    case fcGreater:
      return Compare(AText, folded, op) > 0;
    case fcGreaterOrEqual:
      return Compare(AText, folded, op) >= 0;
    case fcContains:
      return folded.find(op.Folded) != std::string::npos;
    case fcNotContains:
      return folded.find(op.Folded) == std::string::npos;
    case fcStartsWith:
      return std::string_view(folded).starts_with(op.Folded);
    case fcEndsWith:
      return std::string_view(folded).ends_with(op.Folded);
    case fcIn:
    case fcNotIn: {
      bool found = false;
      for (const TOperand& item : FOperands)
        if (Compare(AText, folded, item) == 0) {
          found = true;
          break;
        }
      return found == (FComparison == fcIn);
    }
    case fcEmpty:
    case fcNotEmpty:
      break;
  }
  return false;
}

bool TFilterExpressionItem::IsTextFullValid(std::string_view AText) const {
  // An item that was never loaded (or failed to load) has nothing to test and accepts.
  return !FLoaded || Matches(AText);
}

// --- TFilterExpressions ---

TFilterExpressionItem& TFilterExpressions::Add() {
  FItems.push_back(std::make_unique<TFilterExpressionItem>());
  return *FItems.back();
}

TFilterExpressionItem& TFilterExpressions::GetItem(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    throw EListError("List index out of bounds (" + std::to_string(AIndex) + ")");
  return *FItems[static_cast<size_t>(AIndex)];
}

bool TFilterExpressions::IsRecordValid(const TXMLDataStore& AValues) const {
  for (const auto& item : FItems) {
    const TXMLDataStoreItem* field = AValues.FindByName(item->FieldName());
    if (field && !item->IsTextFullValid(field->Value())) return false;
  }
  return true;
}

}  // namespace vela
