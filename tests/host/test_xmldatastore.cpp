// VelaXML data stores: order, lookup by name, the Add forms, reuse after Clear, containers.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "host/velaxml/XMLDataStore.h"
#include "rtl/Exceptions.h"

namespace vela {
namespace {

std::vector<std::string> NamesOf(const TXMLDataStore& s) {
  std::vector<std::string> names;
  for (int i = 0; i < s.Count(); ++i)
    names.push_back(s.GetItem(i).Name());
  return names;
}

template <class... N>
std::vector<int> Indexes(const TXMLDataStore& s, N... names) {
  return {s.IndexByName(names)...};
}

TEST(XMLDataStore, KeepsInsertionOrderAndFindsTheFirstOfANameIgnoringCase) {
  TXMLDataStore s;
  for (auto [name, value] : {std::pair{"zeta", "1"}, {"Alpha", "2"}, {"mid", "3"}, {"ALPHA", "4"}})
    s.Add(name, value);
  EXPECT_EQ(NamesOf(s), (std::vector<std::string>{"zeta", "Alpha", "mid", "ALPHA"}));
  EXPECT_EQ(Indexes(s, "alpha", "MID", "zeta", "alph", "alphaa", ""),
            (std::vector<int>{1, 2, 0, -1, -1, -1}));
  EXPECT_EQ(s.ValueByName("Alpha"), "2");
  EXPECT_EQ(s.ValueByName("missing"), "");
  EXPECT_EQ(s.FindByName("missing"), nullptr);
  EXPECT_EQ(s.FindByName("MID"), &s.GetItem(2));
  EXPECT_THROW(s.GetItem(4), EListError);
  EXPECT_THROW(s.GetItem(-1), EListError);
}

// Above the linear search limit the store looks names up through its index; the index must give
// the same answers, also for names added after it was built and after Clear.
TEST(XMLDataStore, LargeStoresAnswerLikeSmallOnes) {
  TXMLDataStore s;
  constexpr int kItems = 2000;
  for (int i = 0; i < kItems; ++i)
    s.Add("Field" + std::to_string(i), std::to_string(i));
  s.Add("field7", "dup");
  for (int i : {0, 1, 12, 13, 999, kItems - 1})
    EXPECT_EQ(s.IndexByName("FIELD" + std::to_string(i)), i) << i;
  // field7: the first, not the duplicate added last; LATE: added after the index exists.
  s.Add("late", "x");
  EXPECT_EQ(Indexes(s, "field7", "Field" + std::to_string(kItems), "LATE"),
            (std::vector<int>{7, -1, kItems + 1}));
  s.Clear();
  EXPECT_EQ(Indexes(s, "Field0", "late"), (std::vector<int>{-1, -1}));
  for (int i = 0; i < 20; ++i)
    s.Add("again" + std::to_string(i), "");
  EXPECT_EQ(Indexes(s, "Field0", "AGAIN19", "again0"), (std::vector<int>{-1, 19, 0}));
}

TEST(XMLDataStore, ClearEmptiesAndReusedItemsCarryNothingOver) {
  TXMLDataStore s;
  EXPECT_EQ(s.Last(), nullptr);
  EXPECT_TRUE(s.IsEmpty());
  s.Add("bin", "QUJD", xdeBase64, xbhFile, 1252);
  s.Add("text", "hello");
  ASSERT_NE(s.Last(), nullptr);
  EXPECT_EQ(s.Last()->Name(), "text");

  s.Clear();
  EXPECT_TRUE(s.Count() == 0 && s.Last() == nullptr && s.IndexByName("bin") == -1);
  EXPECT_THROW(s.GetItem(0), EListError);

  // The first slot is reused: none of the old item's attributes may survive.
  TXMLDataStoreItem& item = s.Add("plain");
  EXPECT_EQ(item.Name() + "|" + item.Value(), "plain|");
  EXPECT_EQ(std::tuple(item.DataEncoding(), item.BinaryHandlingMode(), item.CodePage()),
            std::tuple(xdeNone, xbhInline, 0));
  EXPECT_EQ(s.Count(), 1);
  EXPECT_EQ(s.Last(), &item);
}

TEST(XMLDataStore, ItemsKeepTheirPlaceAndEveryByte) {
  TXMLDataStore s;
  TXMLDataStoreItem& first = s.Add("memo", "48656C6C6F", xdeHex, xbhInline, 65001);
  for (int i = 0; i < 100; ++i)
    s.Add("more" + std::to_string(i));
  // Items stay where they are while the store grows.
  EXPECT_EQ(&s.GetItem(0), &first);
  EXPECT_EQ(first.Parent(), &s);
  EXPECT_EQ(first.CodePage(), 65001);
  // 8-bit values keep every byte.
  const std::string withNul("a\0b\xFF", 4);
  EXPECT_EQ(s.Add("raw", withNul, xdeNone, xbhInline, 1252).Value(), withNul);
}

TEST(XMLDataStoreContainer, AddClearAndLookupInOrder) {
  TXMLDataStore first, second;
  first.Add("id", "1");
  second.Add("ID", "2");
  second.Add("name", "Ada");

  TXMLDataStoreContainer c;
  EXPECT_EQ(c.FindByName("id"), nullptr);
  c.Add(first);
  c.Add(second);
  ASSERT_EQ(c.Count(), 2);
  EXPECT_EQ(&c.GetItem(0), &first);
  EXPECT_EQ(&c.GetItem(1), &second);
  EXPECT_THROW(c.GetItem(2), EListError);
  ASSERT_NE(c.FindByName("Id"), nullptr);
  EXPECT_EQ(c.FindByName("Id")->Value(), "1");  // the first store wins
  ASSERT_NE(c.FindByName("NAME"), nullptr);
  EXPECT_EQ(c.FindByName("NAME")->Parent(), &second);

  c.Clear();
  EXPECT_TRUE(c.Count() == 0 && c.FindByName("name") == nullptr);
  EXPECT_EQ(second.Count(), 2);  // the container does not own its stores
}

}  // namespace
}  // namespace vela
