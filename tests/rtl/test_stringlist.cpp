#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/RtlTestSupport.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

using Lines = std::vector<std::string>;

Lines Parse(std::string_view text, bool strict, char delimiter = ',', char quote = '"') {
  TStringList list;
  list.SetDelimiter(delimiter);
  list.SetQuoteChar(quote);
  list.SetStrictDelimiter(strict);
  list.SetDelimitedText(text);
  return list.Lines();
}

struct ParseCase {
  std::string_view text;
  Lines nonStrict;
  Lines strict;
};

// Empty items at either end and empty quoted items: parsed back in WritesAndReadsBack.
TEST(StringListDelimited, ParsesLikeTheRuntime) {
  const ParseCase cases[] = {{"", {}, {}},
                             {"a,b,c", {"a", "b", "c"}, {"a", "b", "c"}},
                             {"a b,c", {"a", "b", "c"}, {"a b", "c"}},
                             {"  a , b ", {"a", "b"}, {"  a ", " b "}},
                             {"a,,b", {"a", "", "b"}, {"a", "", "b"}},
                             {"a, ", {"a"}, {"a", " "}},
                             {"\"a,b\",c", {"a,b", "c"}, {"a,b", "c"}},
                             {"\"a \"\"q\"\" b\"", {"a \"q\" b"}, {"a \"q\" b"}},
                             {"\"\"\"\"", {"\""}, {"\""}},
                             {"\"abc", {"abc"}, {"abc"}},
                             {"\"a\"\"", {"a\""}, {"a\""}},
                             {"\"a\"b,c", {"a", "b", "c"}, {"a", "b", "c"}},
                             {"\"a\" ,b", {"a", "b"}, {"a", " ", "b"}},
                             {"x\ty\r\nz", {"x", "y", "z"}, {"x\ty\r\nz"}},
                             {std::string_view("a\0b,c", 5), {"a"}, {"a"}},
                             {"ä ö", {"ä", "ö"}, {"ä ö"}}};
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.text, false), c.nonStrict) << "non-strict: " << c.text;
    EXPECT_EQ(Parse(c.text, true), c.strict) << "strict: " << c.text;
  }
}

TEST(StringListDelimited, OtherDelimiterAndQuote) {
  EXPECT_EQ(Parse("a;'b;c';'it''s'", true, ';', '\''), (Lines{"a", "b;c", "it's"}));
  EXPECT_EQ(Parse("a|b c", false, '|'), (Lines{"a", "b", "c"}));
}

struct WriteCase {
  Lines items;
  const char* nonStrict;
  const char* strict;
};

TEST(StringListDelimited, WritesAndReadsBack) {
  const WriteCase cases[] = {{{}, "", ""},
                             {{""}, "\"\"", "\"\""},
                             {{"", ""}, ",", ","},
                             {{"a", "b"}, "a,b", "a,b"},
                             {{"a b", "c"}, "\"a b\",c", "a b,c"},
                             {{"a,b"}, "\"a,b\"", "\"a,b\""},
                             {{"say \"hi\""}, "\"say \"\"hi\"\"\"", "\"say \"\"hi\"\"\""},
                             {{"tab\there"}, "\"tab\there\"", "tab\there"},
                             {{"a", ""}, "a,", "a,"},
                             {{"", "a"}, ",a", ",a"}};
  for (const auto& c : cases) {
    for (bool strict : {false, true}) {
      TStringList list;
      list.SetStrictDelimiter(strict);
      list.AddStrings(c.items);
      const std::string text = list.DelimitedText();
      EXPECT_EQ(text, strict ? c.strict : c.nonStrict);
      EXPECT_EQ(Parse(text, strict), c.items) << text;
    }
  }
}

TEST(StringListDelimited, CommaTextIgnoresDelimiterSettings) {
  TStringList list;
  list.SetDelimiter(';');
  list.SetQuoteChar('\'');
  list.SetStrictDelimiter(true);
  list.SetCommaText("a b,'c',\"d,e\"");
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "'c'", "d,e"}));
  EXPECT_EQ(list.CommaText(), "a,b,'c',\"d,e\"");
  EXPECT_EQ(list.DelimitedText(), "a;b;'''c''';d,e");  // the settings still apply here
}

TEST(StringListText, JoinsWithCrLfAndSplitsAtAnyBreak) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd\n\re");
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
  for (const auto& [text, lines] :
       {std::pair<const char*, Lines>{"x\r\n", {"x"}}, {"x\r\n\r\n", {"x", ""}}, {"", {}}}) {
    list.SetText(text);
    EXPECT_EQ(list.Lines(), lines) << text;
  }
  EXPECT_EQ(list.Text(), "");
}

TEST(StringListValues, NamesValuesAndCase) {
  TStringList list{"Key=1", "noseparator", "=empty name", "key=2", "Other=a=b", "Empty="};
  EXPECT_EQ((Lines{list.Names(0), list.Names(1), list.Names(2), list.ValueFromIndex(1),
                   list.ValueFromIndex(2), list.ValueFromIndex(4)}),
            (Lines{"Key", "", "", "", "empty name", "a=b"}));
  // Values: the first of the duplicates, any case.
  EXPECT_EQ((Lines{list.Values("KEY"), list.Values("empty"), list.Values("missing")}),
            (Lines{"1", "", ""}));
  EXPECT_EQ((std::vector<int>{list.IndexOfName("kEy"), list.IndexOfName("noseparator"),
                              list.IndexOfName("Other=a"), list.IndexOfName(""),
                              list.IndexOfName("empty")}),
            (std::vector<int>{0, -1, -1, 2, 5}));

  list.SetCaseSensitive(true);
  EXPECT_EQ(list.Values("key"), "2");
  EXPECT_EQ(list.IndexOfName("KEY"), -1);
  EXPECT_EQ(list.IndexOf("NOSEPARATOR"), -1);
  list.SetCaseSensitive(false);
  EXPECT_EQ(list.IndexOf("NOSEPARATOR"), 1);
}

TEST(StringListValues, SettingValues) {
  TStringList list{"a=1", "b=2"};
  list.SetValues("B", "3");
  list.SetValues("c", "4");
  EXPECT_EQ(list.Lines(), (Lines{"a=1", "B=3", "c=4"}));
  list.SetValues("A", "");  // empty value removes the line
  EXPECT_EQ(list.Lines(), (Lines{"B=3", "c=4"}));
  list.SetValues("zz", "");  // nothing to remove, nothing added
  list.SetValueFromIndex(1, "x");
  list.SetValueFromIndex(0, "");
  EXPECT_EQ(list.Lines(), (Lines{"c=x"}));
  list.SetNameValueSeparator(':');
  list.SetValues("k", "v");
  EXPECT_EQ(list[1], "k:v");
  EXPECT_EQ(list.Values("K"), "v");
}

TEST(StringListSorted, DuplicatesModes) {
  TStringList list;
  list.SetSorted(true);
  // dupIgnore: the index of the existing line for "B".
  EXPECT_EQ((std::vector<int>{list.Add("b"), list.Add("a"), list.Add("c"), list.Add("B")}),
            (std::vector<int>{0, 0, 2, 1}));
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "c"}));

  list.SetDuplicates(dupError);
  EXPECT_EQ(RaisedText([&] { list.Add("C"); }),
            "EListError: String list does not allow duplicates");
  EXPECT_EQ(list.Count(), 3);

  list.SetDuplicates(dupAccept);
  list.Add("b");
  list.Add("B");
  EXPECT_EQ(list.Count(), 5);
  int index = -1;
  EXPECT_TRUE(list.Find("b", index));
  EXPECT_EQ(index, 1);  // the first of equal lines
  EXPECT_FALSE(list.Find("bb", index));
  EXPECT_EQ(index, 4);
  EXPECT_EQ(list.IndexOf("C"), 4);

  EXPECT_THROW(list.Insert(0, "z"), EListError);
  EXPECT_THROW(list.SetStrings(0, "z"), EListError);
  EXPECT_THROW(list.Move(0, 1), EListError);
}

TEST(StringListSorted, DuplicatesOnlyMatterWhenSorted) {
  TStringList list;
  list.SetDuplicates(dupError);
  list.Add("a");
  EXPECT_NO_THROW(list.Add("a"));
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringListSorted, SortingAndCase) {
  TStringList list{"b", "B", "a", "C", "c"};
  list.Sort();
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "B", "C", "c"}));  // stable within equal keys
  list.SetCaseSensitive(true);
  list.Sort();
  EXPECT_EQ(list.Lines(), (Lines{"B", "C", "a", "b", "c"}));
  list.CustomSort([](const TStringList& l, int a, int b) { return l.CompareStrings(l[b], l[a]); });
  EXPECT_EQ(list.Lines(), (Lines{"c", "b", "a", "C", "B"}));
  list.SetCaseSensitive(false);
  list.SetSorted(true);
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "B", "c", "C"}));
  list.SetCaseSensitive(true);  // re-sorts a sorted list
  EXPECT_EQ(list.Lines(), (Lines{"B", "C", "a", "b", "c"}));
}

TEST(StringListEditing, InsertDeleteExchangeMove) {
  TStringList list{"a", "b", "c", "d"};
  list.Insert(4, "e");
  list.Insert(0, "0");
  EXPECT_EQ(list.Lines(), (Lines{"0", "a", "b", "c", "d", "e"}));
  list.Delete(0);
  list.Exchange(0, 4);
  EXPECT_EQ(list.Lines(), (Lines{"e", "b", "c", "d", "a"}));
  list.Move(0, 3);
  EXPECT_EQ(list.Lines(), (Lines{"b", "c", "d", "e", "a"}));
  list.Move(4, 0);
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "c", "d", "e"}));
}

TEST(StringListEditing, IndexErrors) {
  TStringList list{"a"};
  EXPECT_EQ(RaisedText([&] { (void)list[1]; }), "EListError: List index out of bounds (1)");
  EXPECT_EQ(RaisedText([&] { list.Delete(-1); }), "EListError: List index out of bounds (-1)");
  EXPECT_EQ(RaisedText([&] { list.Insert(2, "x"); }), "EListError: List index out of bounds (2)");
  EXPECT_EQ(RaisedText([&] { list.Exchange(0, 5); }), "EListError: List index out of bounds (5)");
  EXPECT_EQ(RaisedText([&] { (void)list.Objects(3); }), "EListError: List index out of bounds (3)");
}

class Counted : public TObject {
 public:
  explicit Counted(int& alive) : FAlive(alive) { ++FAlive; }
  ~Counted() override { --FAlive; }

 private:
  int& FAlive;
};

TEST(StringListObjects, OwnedObjectsAreFreed) {
  int alive = 0;
  {
    TStringList list(true);
    list.AddObject("a", std::make_unique<Counted>(alive));
    list.AddObject("b", new Counted(alive));
    list.AddObject("c", new Counted(alive));
    EXPECT_EQ(alive, 3);
    list.Delete(0);
    EXPECT_EQ(alive, 2);
    list.SetObjects(0, new Counted(alive));  // replaces and frees the old one
    EXPECT_EQ(alive, 2);
    auto taken = list.ExtractObject(1);
    EXPECT_EQ(list.Objects(1), nullptr);
    taken.reset();
    EXPECT_EQ(alive, 1);
    list.SetSorted(true);
    list.AddObject("B", new Counted(alive));  // ignored duplicate: the list still frees it
    EXPECT_EQ(alive, 1);
    list.Move(0, 0);
    TStringList copy;
    copy.Assign(list);
    EXPECT_EQ(copy.Objects(0), list.Objects(0));  // non-owning copy shares the references
  }
  EXPECT_EQ(alive, 0);

  Counted kept(alive);
  {
    TStringList refs;
    refs.AddObject("x", &kept);
    EXPECT_EQ(refs.IndexOfObject(&kept), 0);
  }
  EXPECT_EQ(alive, 1);
}

TEST(StringListObjects, ObjectsFollowTheirLines) {
  int alive = 0;
  TStringList list(true);
  Counted* b = new Counted(alive);
  list.AddObject("b", b);
  list.AddObject("a", new Counted(alive));
  list.Sort();
  EXPECT_EQ(list.Objects(1), b);
  list.Exchange(0, 1);
  EXPECT_EQ(list.Objects(0), b);
  list.Move(0, 1);
  EXPECT_EQ(list.Objects(1), b);
}

TEST(StringListCopy, AssignAndAddStrings) {
  TStringList src{"b", "a"};
  src.SetDelimiter(';');
  src.SetSorted(true);
  src.SetDuplicates(dupError);
  TStringList dst{"old"};
  dst.Assign(src);
  EXPECT_TRUE(dst.Sorted() && dst.Duplicates() == dupError);
  EXPECT_EQ(dst.DelimitedText(), "a;b");
  TStringList more{"z"};
  more.AddStrings(more);
  EXPECT_EQ(more.Lines(), (Lines{"z", "z"}));
}

TEST(StringListFiles, SaveAndLoad) {
  TStringList list{"eins", "zwei ä", ""};
  TMemoryStream out;
  list.SaveToStream(out);
  EXPECT_EQ(std::string(out.Memory(), static_cast<size_t>(out.Size())), "eins\r\nzwei ä\r\n\r\n");
  list.SetWriteBOM(true);
  TStringStream withBom;
  list.SaveToStream(withBom);
  EXPECT_EQ(withBom.DataString().substr(0, 3), "\xEF\xBB\xBF");

  TStringList loaded;
  withBom.SetPosition(0);
  loaded.LoadFromStream(withBom);
  EXPECT_EQ(loaded.Lines(), (Lines{"eins", "zwei ä", ""}));
}

}  // namespace
}  // namespace vela
