// Record filter lines: every comparison with and without letter case, numbers, dates and text,
// quoted operands, bad lines with their messages, and whole records.
#include <gtest/gtest.h>

#include <string>

#include "host/velaxml/FilterExpressions.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

struct TFilterCase {
  const char* Value;  // the line's value; the field is always F
  const char* Text;   // the field value tested
  bool Passes;
};

bool Passes(const char* AValue, const char* AText) {
  TFilterExpressionItem item;
  item.Load("F", AValue);
  return item.IsTextFullValid(AText);
}

TEST(FilterExpressions, EveryComparisonOnTextNumbersAndDates) {
  const TFilterCase cases[] = {
      // Text ignores letter case unless "case:" asks for it, also beyond ASCII.
      {"=DE", "de", true},
      {"case:=DE", "de", false},
      {"CASE: =DE", "DE", true},
      {"<>DE", "de", false},
      {"!=DE", "AT", true},
      {"case:<>DE", "de", true},
      {"==DE", "=de", true},
      {"<b", "A", true},
      {"case:<b", "B", true},
      {">=b", "B", true},
      {"contains:mayer", "Karl MAYER", true},
      {"contains:müller", "MÜLLER GmbH", true},
      {"case:contains:mayer", "Karl MAYER", false},
      {"notcontains:x", "abc", true},
      {"notcontains:B", "abc", false},
      {"startswith:ab", "ABC", true},
      {"startswith:bc", "ABC", false},
      {"endswith:bc", "ABC", true},
      {"case:endswith:bc", "ABC", false},
      // Numbers compare as numbers when both sides are numbers, else as text.
      {">=100", "100.0", true},
      {">=100", "99.5", false},
      {"<100", "20", true},
      {">9", "10", true},
      {"=1e2", " 100 ", true},
      {"<=-1.5", "-2", true},
      {">9", "10 kg", false},
      {"<100", "", true},
      // Dates: a date without time stands for the whole day.
      {"<2024-02-01", "2024-01-31", true},
      {">2024-01-31", "2024-01-31T10:00", false},
      {"=2024-01-31", "2024-01-31 23:59:59", true},
      {"<2024-01-31 12:00", "2024-01-31 11:59", true},
      {">=2024-01-31T12:00:00", "2024-01-31 11:59", false},
      {"<2024-10-01", "2024-9-30", false},  // not a date: text order
      // Lists: typed like single operands, blanks around items removed, quotes keep ';'.
      {"in:NEW;OPEN", "open", true},
      {"case:in:NEW;OPEN", "open", false},
      {"in:NEW;OPEN", "closed", false},
      {"notin:NEW;OPEN", "closed", true},
      {"notin:NEW;OPEN", "New", false},
      {"in: NEW ; OPEN ;", "OPEN", true},
      {"in:1;2;3", "2.0", true},
      {"in:\"a;b\";c", "a;b", true},
      {"in:A;\"\"", "", true},
      // Empty means nothing but blanks.
      {"empty", "  ", true},
      {"empty", "x", false},
      {"NotEmpty", "x", true},
      {"notempty", " ", false},
      // Quoted operands are taken as written.
      {"=\" padded \"", " padded ", true},
      {"=\" padded \"", "padded", false},
      {"=\"say \"\"hi\"\"\"", "say \"hi\"", true},
      {"=\"\"", "", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Passes(c.Value, c.Text), c.Passes) << "F=" << c.Value << " with '" << c.Text << "'";
}

TEST(FilterExpressions, BadLinesNameTheLineAndTheFault) {
  struct TBad {
    const char* Name;
    const char* Value;
    const char* Fault;
  };
  const TBad cases[] = {
      {" ", "=x", "the field name is missing"},
      {"F", "  ", "the comparison is missing"},
      {"F", "case:", "the comparison is missing"},
      {"F", "DE",
       "unknown comparison 'DE'; a filter value starts with =, <>, !=, <, <=, >, >=, contains:, "
       "notcontains:, startswith:, endswith:, in:, notin:, empty or notempty (write '=DE' to "
       "compare for equality)"},
      {"F", ">=", "the operand is missing (write \"\" for the empty text)"},
      {"F", "contains", "':' and an operand must follow 'contains'"},
      {"F", "startswith: ", "the operand is missing (write \"\" for the empty text)"},
      {"F", "in:;;", "the operand is missing (write \"\" for the empty text)"},
      {"F", "empty:x", "'empty' takes no operand"},
      {"F", "=\"abc", "the quote at position 2 is not closed"},
      {"F", "=\"a\"b", "unexpected text after the closing quote at position 5"},
      {"F", "in:a;\"b\" c", "unexpected text after the closing quote at position 10"},
  };
  for (const auto& c : cases) {
    TFilterExpressionItem item;
    EXPECT_EQ(RaisedText([&] { item.Load(c.Name, c.Value); }),
              std::string("EFilterExpressionError: Filter expression '") + c.Name + "=" + c.Value +
                  "': " + c.Fault);
    // An item that failed to load filters nothing.
    EXPECT_TRUE(item.IsTextFullValid("")) << c.Value;
  }
  EXPECT_NE(RaisedText([] { Passes("like:x", ""); }).find("unknown comparison 'like';"),
            std::string::npos);
}

TEST(FilterExpressions, ReloadingAnItemReplacesItsExpression) {
  TFilterExpressionItem item;
  EXPECT_EQ(item.Index(), -1);
  item.Load(" Country ", "case:in:DE;AT");
  EXPECT_EQ(item.FieldName(), "Country");
  EXPECT_FALSE(item.IsTextFullValid("de"));
  item.Load("Amount", ">5");
  EXPECT_EQ(item.FieldName(), "Amount");
  EXPECT_TRUE(item.IsTextFullValid("6"));
  EXPECT_FALSE(item.IsTextFullValid("4"));
}

TEST(FilterExpressions, RecordPassesWhenEveryPresentFieldPasses) {
  TFilterExpressions list;
  const std::pair<const char*, const char*> lines[] = {
      {"COUNTRY", "=DE"}, {"AMOUNT", ">=100"}, {"AMOUNT", "<1000"}, {"MISSING", "notempty"}};
  for (auto [name, value] : lines)
    list.Add().Load(name, value);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.GetItem(3).FieldName(), "MISSING");
  EXPECT_THROW(list.GetItem(4), EListError);
  EXPECT_THROW(list.GetItem(-1), EListError);

  struct TRecord {
    const char* Country;
    const char* Amount;
    bool Valid;
  };
  for (const TRecord& r : {TRecord{"de", "500", true}, TRecord{"de", "1000", false},
                           TRecord{"de", "99", false}, TRecord{"AT", "500", false}}) {
    TXMLDataStore store;
    store.Add("amount", r.Amount);  // field names match ignoring case
    store.Add("Country", r.Country);
    EXPECT_EQ(list.IsRecordValid(store), r.Valid) << r.Country << " " << r.Amount;
  }
  TXMLDataStore other;
  other.Add("NAME", "x");
  EXPECT_TRUE(list.IsRecordValid(other));  // no filtered field present
  other.Add("missing", "");
  EXPECT_FALSE(list.IsRecordValid(other));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.IsRecordValid(other));
}

}  // namespace
}  // namespace vela
