#include <gtest/gtest.h>

#include "host/InterfacedData.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

TEST(InterfacedData, StringDataAndNil) {
  EXPECT_EQ(StringDataToStr(StrToStringData("Grüße")), "Grüße");
  EXPECT_EQ(StringDataToStr(static_cast<IStringData*>(nullptr)), "");
}

TEST(InterfacedData, StringListTextSplitsEveryLineEnd) {
  auto l = NewStringListData();
  l->Set_Text("a\r\nb\nc\rd");
  ASSERT_EQ(l->Get_Count(), 4);
  EXPECT_EQ(l->Get_Item(3), "d");
  EXPECT_EQ(l->Get_Text(), "a\r\nb\r\nc\r\nd\r\n");
  l->Set_Text("a\r\n\r\nb\r\n");
  EXPECT_EQ(l->Get_Count(), 3);  // the empty middle line stays, the trailing break ends b
  EXPECT_EQ(l->Get_Item(1), "");
  EXPECT_THROW(l->Get_Item(3), EListError);
  EXPECT_THROW(l->Get_Item(-1), EListError);
  EXPECT_TRUE(StringListDataToVector(nullptr).empty());
}

TEST(InterfacedData, BinaryDataKeepsEveryByte) {
  std::string bytes("a\0b\xff", 4);
  auto b = NewBinaryData(bytes);
  EXPECT_EQ(b->Get_Size(), 4u);
  EXPECT_EQ(BinaryDataToRawByteStr(b.get()), bytes);
  EXPECT_EQ(BinaryDataToBin(b.get()), (std::vector<uint8_t>{'a', 0, 'b', 0xff}));
  EXPECT_TRUE(BinaryDataToBin(nullptr).empty());
}

TEST(InterfacedData, NamedVariantListIgnoresCaseAndKeepsOrder) {
  auto l = NewNamedVariantListData();
  l->SetValueByName("DisplayFileName", Variant("a.txt"));
  l->SetValueByName("count", Variant(3));
  l->SetValueByName("DISPLAYFILENAME", Variant("b.txt"));
  ASSERT_EQ(l->Get_Count(), 2);
  EXPECT_EQ(l->Get_Name(0), "DisplayFileName");
  EXPECT_EQ(l->ValueByName("displayfilename").AsString(), "b.txt");
  EXPECT_EQ(l->IndexOf("COUNT"), 1);
  EXPECT_TRUE(l->ValueByName("missing").IsEmpty());
  l->Delete(0);
  EXPECT_EQ(l->Get_Name(0), "count");
}

TEST(InterfacedData, VarToVariantData) {
  auto l = NewNamedVariantListData();
  l->SetValueByName("a", Variant(1));
  Variant v{IPtr<INamedVariantListData>(l)};
  auto back = VarToVariantData(v);
  ASSERT_TRUE(back);
  EXPECT_EQ(back.get(), l.get());
  auto fromText = VarToVariantData(Variant("x=1\r\ny=two=2\nnovalue"));
  ASSERT_TRUE(fromText);
  EXPECT_EQ(fromText->Get_Count(), 2);
  EXPECT_EQ(fromText->ValueByName("y").AsString(), "two=2");
  EXPECT_FALSE(VarToVariantData(Variant()));
  EXPECT_FALSE(VarToVariantData(Null()));
  EXPECT_FALSE(VarToVariantData(Variant(IPtr<IInterface>(NewStringListData().get()))));
}

TEST(InterfacedData, IntegerListKeepsInt64) {
  auto l = NewIntegerListData({5, 7});
  l->Add(int64_t(1) << 40);
  EXPECT_EQ(l->Get_Item(2), int64_t(1) << 40);
  EXPECT_THROW(l->Get_Item(3), EListError);
}

TEST(InterfacedData, CommaTextBecomesList) {
  EXPECT_EQ(StringListDataToVector(CommaTextToStringListData("a,\"b c\",d e").get()),
            (std::vector<std::string>{"a", "b c", "d", "e"}));
}

TEST(InterfacedData, DataStreamReadsWritesAndSeeks) {
  auto* mem = new TMemoryStream;
  auto s = NewDataStream(mem, true);
  EXPECT_EQ(s->Write("hello", 5), 5);
  EXPECT_EQ(s->Get_Size(), 5);
  EXPECT_EQ(s->Seek(1, 0), 1);
  char buf[8] = {};
  EXPECT_EQ(s->Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(s->Seek(-2, 2), 3);
  EXPECT_EQ(s->Seek(1, 1), 4);
}

}  // namespace
}  // namespace vela
