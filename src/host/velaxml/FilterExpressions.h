// Record filter expressions: configuration lines NAME=VALUE that a field value must pass before a
// record is written. The name is the field; the value is a comparison and its operand, e.g.
// "COUNTRY==DE", "AMOUNT=>=100", "NAME=contains:mayer", "STATE=in:NEW;OPEN", "EMAIL=notempty",
// "CODE=case:=AbC". docs/filters-and-macros.md describes the syntax for people editing INI files.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/velaxml/XMLDataStore.h"
#include "rtl/DateUtils.h"
#include "rtl/Exceptions.h"

namespace vela {

// A filter line that cannot be read; the message names the line as "name=value".
VELA_DECLARE_EXCEPTION(EFilterExpressionError, Exception);

// The comparisons of a filter line.
enum class TFilterComparison : uint8_t {
  fcEqual,
  fcNotEqual,
  fcLess,
  fcLessOrEqual,
  fcGreater,
  fcGreaterOrEqual,
  fcContains,
  fcNotContains,
  fcStartsWith,
  fcEndsWith,
  fcIn,
  fcNotIn,
  fcEmpty,
  fcNotEmpty
};

// Reads an ISO date "yyyy-mm-dd", optionally followed by 'T' or a blank and "hh:nn[:ss[.zzz]]",
// surrounding blanks allowed. ADateOnly tells whether the text had no time. Filters compare such
// texts as dates, and function macros read them as dates.
bool TryISODateTextToDateTime(std::string_view AText, TDateTime& AValue, bool& ADateOnly);

// One filter line.
class TFilterExpressionItem {
 public:
  // Parses one configuration line: AName is the line's name, AValue its value. Raises
  // EFilterExpressionError naming the line ("name=value") and what is wrong.
  void Load(std::string_view AName, std::string_view AValue);
  const std::string& FieldName() const noexcept { return FFieldName; }
  // A place for the user of the list to keep the bound field's position; -1 when unbound.
  int Index() const noexcept { return FIndex; }
  void SetIndex(int AIndex) noexcept { FIndex = AIndex; }
  // Whether a field value passes this expression.
  bool IsTextFullValid(std::string_view AText) const;

  TFilterComparison Comparison() const noexcept { return FComparison; }
  // True when letter case counts ("case:" marker); text comparisons ignore it otherwise.
  bool CaseSensitive() const noexcept { return FCaseSensitive; }

 private:
  // An operand with the typed readings that comparisons use when the field value has them too.
  struct TOperand {
    std::string Text;    // as written (quotes removed)
    std::string Folded;  // lower case when the comparison ignores case, else Text
    bool IsNumber = false;
    double Number = 0;
    bool IsDate = false;
    bool DateOnly = false;
    TDateTime Date = 0;
  };
  TOperand MakeOperand(std::string_view AText) const;
  // <0, 0, >0: the field value against the operand, as numbers, dates or text.
  int Compare(std::string_view AText, const std::string& AFolded, const TOperand& AOperand) const;
  bool Matches(std::string_view AText) const;

  std::string FFieldName;
  TFilterComparison FComparison = TFilterComparison::fcEqual;
  bool FCaseSensitive = false;
  std::vector<TOperand> FOperands;  // one, a list for in/notin, none for empty/notempty
  int FIndex = -1;
  bool FLoaded = false;
};

// Owns its items, in the order added.
class TFilterExpressions {
 public:
  TFilterExpressions() = default;
  virtual ~TFilterExpressions() = default;
  TFilterExpressions(const TFilterExpressions&) = delete;
  TFilterExpressions& operator=(const TFilterExpressions&) = delete;

  TFilterExpressionItem& Add();
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TFilterExpressionItem& GetItem(int AIndex) const;  // EListError outside 0..Count-1
  void Clear() noexcept { FItems.clear(); }
  // True when every item whose field is in AValues accepts that value (items whose field is
  // absent accept); stops at the first refusal.
  bool IsRecordValid(const TXMLDataStore& AValues) const;

 private:
  std::vector<std::unique_ptr<TFilterExpressionItem>> FItems;
};

}  // namespace vela
