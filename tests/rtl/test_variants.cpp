#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rtl/RtlTestSupport.h"
#include "rtl/Variants.h"

namespace vela {
namespace {

struct TDummy : TInterfacedObject {};

TEST(Variant, ConstructionPicksTheKind) {
  using K = Variant::Kind;
  const struct {
    Variant V;
    K Kind;
    TVarType Type;
  } cases[] = {{Variant(), K::Empty, varEmpty},
               {Null(), K::Null, varNull},
               {Variant(true), K::Boolean, varBoolean},
               {Variant(42), K::Int32, varInteger},
               {Variant(uint16_t{3}), K::Int32, varInteger},
               {Variant(uint32_t{3}), K::Int64, varInt64},
               {Variant(int64_t{1} << 40), K::Int64, varInt64},
               {Variant(uint64_t{1}), K::UInt64, varUInt64},
               {Variant(1.5), K::Double, varDouble},
               {Variant("text"), K::String, varUString},
               {Variant(std::string("text")), K::String, varUString},
               {Variant(std::string_view("text")), K::String, varUString},
               {Variant::FromDateTime(45000.5), K::DateTime, varDate},
               {Variant(Variant::Bytes{1, 2}), K::Bytes, varArray | varByte},
               {Variant(IPtr<IInterface>(new TDummy)), K::Interface, varUnknown}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.V.kind(), c.Kind) << VarTypeAsText(c.Type);
    EXPECT_EQ(VarType(c.V), c.Type) << VarTypeAsText(c.Type);
  }
}

TEST(Variant, ClearNullEmpty) {
  EXPECT_EQ((std::vector<bool>{VarIsEmpty(Variant()), VarIsClear(Variant()), VarIsNull(Null()),
                               VarIsEmpty(Null()), VarIsClear(Null()),
                               VarIsClear(Variant(IPtr<IInterface>())), VarIsClear(Variant(0)),
                               VarIsClear(Variant(""))}),
            (std::vector<bool>{true, true, true, false, true, true, false, false}));
  Variant v("x");
  v.Clear();
  EXPECT_TRUE(v.IsEmpty());
}

TEST(Variant, ToStringRules) {
  FormatSettingsGuard guard(FormatSettingsFor("de"));
  const struct {
    Variant V;
    const char* Text;
  } cases[] = {
      {Variant(), ""},
      {Variant(true), "True"},
      {Variant(-7), "-7"},
      {Variant(int64_t{9000000000}), "9000000000"},
      {Variant(uint64_t{18446744073709551615ULL}), "18446744073709551615"},
      {Variant(2.5), "2,5"},
      {Variant("abc"), "abc"},
      {Variant::FromDateTime(EncodeDate(2024, 12, 24)), "24.12.2024"},
      {Variant::FromDateTime(EncodeDateTime(2024, 12, 24, 18, 30, 0, 0)), "24.12.2024 18:30:00"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.V.AsString(), c.Text);
  EXPECT_EQ(VarToStr(Null()) + "|" + VarToStr(Variant()) + "|" + VarToStr(Variant(3)), "||3");
  EXPECT_EQ(VarToStrDef(Null(), "n/a") + "|" + VarToStrDef(Variant(), "n/a") + "|" +
                VarToStrDef(Variant(""), "n/a"),
            "n/a|n/a|");
}

TEST(Variant, NumericConversions) {
  FormatSettingsGuard guard;
  // Numbers in text and doubles round half to even.
  EXPECT_EQ((std::vector<int64_t>{
                Variant(true).AsInteger(), Variant(false).AsInt64(), Variant().AsInteger(),
                Variant("42").AsInteger(), Variant(" -17 ").AsInt64(),
                Variant("9000000000").AsInt64(), Variant("2.5").AsInteger(),
                Variant("3.5").AsInteger(), Variant(2.5).AsInteger(), Variant(-2.6).AsInt64(),
                Variant(uint64_t{5}).AsInteger(), Variant::FromDateTime(45000.75).AsInteger()}),
            (std::vector<int64_t>{-1, 0, 0, 42, -17, 9000000000LL, 2, 4, 2, -3, 5, 45001}));
  EXPECT_EQ((std::vector<double>{Variant(true).AsDouble(), Variant("2.5").AsDouble(),
                                 Variant(int64_t{-1}).AsDouble(), Variant(45000).AsDateTime()}),
            (std::vector<double>{-1.0, 2.5, -1.0, 45000.0}));
  EXPECT_EQ(Variant(18446744073709551615.0 / 2).AsUInt64(), 9223372036854775808ULL);
  EXPECT_EQ((std::vector<bool>{Variant("True").AsBoolean(), Variant("false").AsBoolean(),
                               Variant(2).AsBoolean(), Variant(0.0).AsBoolean()}),
            (std::vector<bool>{true, false, true, false}));
  // The decimal separator of the process's settings applies.
  FormatSettings.DecimalSeparator = ',';
  EXPECT_EQ(Variant("2,25").AsDouble(), 2.25);
  EXPECT_EQ(RaisedText([] { (void)Variant("2.25").AsDouble(); }),
            "EVariantTypeCastError: Could not convert variant of type (String) into type (Double)");
}

TEST(Variant, StringToDateByFormatSettings) {
  FormatSettingsGuard guard(FormatSettingsFor("de"));
  EXPECT_EQ(Variant("24.12.2024").AsDateTime(), EncodeDate(2024, 12, 24));
  EXPECT_EQ(Variant("24.12.2024 06:00").AsDateTime(), EncodeDateTime(2024, 12, 24, 6, 0, 0, 0));
  EXPECT_EQ(VarToDateTime(Variant::FromDateTime(-1.25)), -1.25);
}

TEST(Variant, EveryCastErrorText) {
  FormatSettingsGuard guard;
  const std::string prefix = "EVariantTypeCastError: Could not convert variant of type (";
  const struct {
    std::function<void()> F;
    const char* Expected;
  } cases[] = {
      {[] { (void)Variant("abc").AsInteger(); }, "String) into type (Integer)"},
      {[] { (void)Variant("abc").AsInt64(); }, "String) into type (Int64)"},
      {[] { (void)Variant("abc").AsDouble(); }, "String) into type (Double)"},
      {[] { (void)Variant("abc").AsBoolean(); }, "String) into type (Boolean)"},
      {[] { (void)Variant("abc").AsDateTime(); }, "String) into type (Date)"},
      {[] { (void)Variant("-1").AsUInt64(); }, "String) into type (UInt64)"},
      {[] { (void)Null().AsString(); }, "Null) into type (String)"},
      {[] { (void)Null().AsDateTime(); }, "Null) into type (Date)"},
      {[] { (void)Variant(int64_t{1} << 40).AsInteger(); }, "Int64) into type (Integer)"},
      {[] { (void)Variant(~uint64_t{0}).AsInt64(); }, "UInt64) into type (Int64)"},
      {[] { (void)Variant(-1).AsUInt64(); }, "Integer) into type (UInt64)"},
      {[] { (void)Variant(1e300).AsInteger(); }, "Double) into type (Integer)"},
      {[] { (void)Variant(Variant::Bytes{1}).AsString(); }, "Array of Byte) into type (String)"},
      {[] { (void)Variant(IPtr<IInterface>(new TDummy)).AsString(); },
       "Unknown) into type (String)"},
      {[] { (void)Variant(true).AsInterface(); }, "Boolean) into type (Unknown)"},
      {[] { (void)Variant::FromDateTime(1).AsBytes(); }, "Date) into type (Array of Byte)"},
      {[] { (void)VarAsType(Null(), varInteger); }, "Null) into type (Integer)"}};
  for (const auto& c : cases)
    EXPECT_EQ(RaisedText(c.F), prefix + c.Expected);
  // The class hierarchy lets callers catch the general variant error.
  EXPECT_THROW((void)Null().AsInteger(), EVariantError);
}

TEST(Variant, VarAsType) {
  const Variant twelve = VarAsType(Variant("12"), varInteger);
  EXPECT_TRUE(twelve.kind() == Variant::Kind::Int32 && twelve.GetInt32() == 12);
  EXPECT_EQ(VarAsType(Variant(12), varUString).GetString(), "12");
  EXPECT_EQ(VarAsType(Variant(2.0), varDate).GetDateTime(), 2.0);
  EXPECT_TRUE(VarAsType(Variant(7), varNull).IsNull());
}

TEST(Variant, BytesAndInterfaces) {
  const Variant b = Variant::FromBytes(std::string_view("\0\xff", 2));
  EXPECT_EQ(b.GetBytes(), (Variant::Bytes{0, 0xff}));
  EXPECT_EQ(Variant("ab").AsBytes(), (Variant::Bytes{'a', 'b'}));
  TDummy* obj = new TDummy;
  IPtr<IInterface> intf(obj);
  Variant v(intf);
  EXPECT_EQ(obj->RefCount(), 2);
  Variant copy = v;
  EXPECT_EQ(obj->RefCount(), 3);
  EXPECT_TRUE(copy.AsInterface().get() == intf.get() && copy == v);
  copy.Clear();
  EXPECT_EQ(obj->RefCount(), 2);
  Variant moved = std::move(v);
  EXPECT_EQ(obj->RefCount(), 2);
  EXPECT_FALSE(moved == Variant(IPtr<IInterface>(new TDummy)));
}

TEST(Variant, Equality) {
  FormatSettingsGuard guard;
  const struct {
    Variant A, B;
    bool Equal;
  } cases[] = {{Null(), Null(), true},
               {Null(), Variant(), false},
               {Null(), Variant(0), false},
               {Variant(), Variant(), true},
               {Variant(), Variant(0), true},
               {Variant(), Variant(""), true},
               {Variant(), Variant("x"), false},
               {Variant(1), Variant(int64_t{1}), true},
               {Variant(1), Variant(1.0), true},
               {Variant(1), Variant(uint64_t{1}), true},
               {Variant(-1), Variant(~uint64_t{0}), false},
               {Variant(true), Variant(-1), true},
               {Variant(true), Variant(1), false},
               {Variant("10"), Variant(10), true},
               {Variant("10.0"), Variant(10), true},
               {Variant("abc"), Variant(10), false},  // not a number: unequal, no exception
               {Variant("abc"), Variant("abc"), true},
               {Variant("abc"), Variant("ABC"), false},
               {Variant::FromDateTime(2), Variant(2), true},
               {Variant::FromDateTime(2), Variant::FromDateTime(2.5), false},
               {Variant(Variant::Bytes{1, 2}), Variant(Variant::Bytes{1, 2}), true},
               {Variant(Variant::Bytes{1, 2}), Variant(Variant::Bytes{1, 3}), false}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.A == c.B, c.Equal) << VarToStr(c.A) << " vs " << VarToStr(c.B);
    EXPECT_EQ(c.B == c.A, c.Equal) << VarToStr(c.B) << " vs " << VarToStr(c.A);
  }
}

TEST(Variant, CompareValue) {
  using R = TVariantRelationship;
  // "9" against 10 compares numerically.
  EXPECT_EQ(
      (std::vector<R>{
          VarCompareValue(Variant(1), Variant(2)), VarCompareValue(Variant(2.5), Variant(2)),
          VarCompareValue(Variant("b"), Variant("a")), VarCompareValue(Variant("9"), Variant(10)),
          VarCompareValue(Variant(~uint64_t{0}), Variant(int64_t{-1})),
          VarCompareValue(Variant(int64_t{-1}), Variant(~uint64_t{0})),
          VarCompareValue(Null(), Variant(1)), VarCompareValue(Null(), Null())}),
      (std::vector<R>{R::vrLessThan, R::vrGreaterThan, R::vrGreaterThan, R::vrLessThan,
                      R::vrGreaterThan, R::vrLessThan, R::vrNotEqual, R::vrEqual}));
  EXPECT_THROW(VarCompareValue(Variant("x"), Variant(1)), EVariantTypeCastError);
}

}  // namespace
}  // namespace vela
