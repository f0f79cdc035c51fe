#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/json/JsonValue.h"

namespace vela {
namespace {

TEST(JsonValue, KeepsMemberOrderDuplicatesAndKinds) {
  const TJsonValue v = TJsonValue::Parse(
      R"( {"z":null,"b":true,"a":-7,"f":2.5,"s":"x","arr":[],"obj":{},"a":"second"} )");
  ASSERT_TRUE(v.IsObject());
  std::string names;
  for (const TJsonMember& m : v.Members())
    names += m.first + ",";
  EXPECT_EQ(names, "z,b,a,f,s,arr,obj,a,");
  EXPECT_EQ(v.Member("a")->AsInteger(), -7);  // the first of two
  EXPECT_TRUE(v.Member("z")->IsNull());
  EXPECT_TRUE(v.Member("b")->AsBoolean());
  EXPECT_EQ(v.Member("f")->Kind(), TJsonKind::Float);
  EXPECT_EQ(v.Member("arr")->Count(), 0u);
  EXPECT_TRUE(v.Member("obj")->IsObject());
  EXPECT_EQ(v.Member("obj")->Count(), 0u);
  EXPECT_THROW(v.Member("s")->AsInteger(), EJsonException);
  EXPECT_EQ(v.ToJSON(),
            R"({"z":null,"b":true,"a":-7,"f":2.5,"s":"x","arr":[],"obj":{},"a":"second"})");
}

TEST(JsonValue, NumbersKeepKindAndDigits) {
  struct {
    const char* Text;
    TJsonKind Kind;
    double Value;
  } const cases[] = {
      {"0", TJsonKind::Integer, 0},
      {"-9223372036854775808", TJsonKind::Integer, -9223372036854775808.0},
      {"9223372036854775807", TJsonKind::Integer, 9223372036854775807.0},
      {"9223372036854775808", TJsonKind::Float, 9223372036854775808.0},
      {"-123456789012345678901234567890", TJsonKind::Float, -1.2345678901234568e29},
      {"1.5e3", TJsonKind::Float, 1500},
      {"2E-2", TJsonKind::Float, 0.02},
      {"-0.0", TJsonKind::Float, 0},
      {"1e-400", TJsonKind::Float, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const TJsonValue v = TJsonValue::Parse(std::string("[") + c.Text + "]").Items()[0];
    EXPECT_EQ(v.Kind(), c.Kind);
    EXPECT_DOUBLE_EQ(v.AsFloat(), c.Value);
    EXPECT_EQ(v.ToJSON(), c.Text);  // written back exactly as read
  }
  EXPECT_EQ(TJsonValue::Parse("9223372036854775807").AsInteger(), INT64_MAX);
}

TEST(JsonValue, StringsAreUnescapedToUtf8) {
  const TJsonValue v = TJsonValue::Parse(
      R"(["\u00e9\u20ac", "\uD83D\uDE00", "a\"b\\c\/d\n\t", "\u0000x", "Grüße"])");
  EXPECT_EQ(v.Items()[0].AsString(), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(v.Items()[1].AsString(), "\xF0\x9F\x98\x80");  // a surrogate pair is one character
  EXPECT_EQ(v.Items()[2].AsString(), "a\"b\\c/d\n\t");
  EXPECT_EQ(v.Items()[3].AsString(), std::string("\0x", 2));
  EXPECT_EQ(v.Items()[4].AsString(), "Grüße");
  // Written back, control characters are escaped and the text reads back the same.
  EXPECT_EQ(v.Items()[3].ToJSON(), R"("\u0000x")");
  EXPECT_EQ(TJsonValue::Parse(v.ToJSON()).ToJSON(), v.ToJSON());
}

TEST(JsonValue, MalformedTextNamesPositionAndReason) {
  struct {
    std::string Text;
    int Line, Column;
    const char* Reason;
  } const cases[] = {
      {"", 1, 1, "no JSON value in the text"},
      {"[1,2] x", 1, 7, "text after the JSON value"},
      {" 42 43", 1, 5, "text after the JSON value"},
      {"{\"a\":\n  [1,2", 2, 3, "array is not closed"},
      {"{\"a\":1", 1, 1, "object is not closed"},
      {"[1,]", 1, 4, "unexpected character"},
      {"{\"a\" 1}", 1, 6, "unexpected character"},
      {"[\n\"abc", 2, 1, "string is not closed"},
      {"[\"a\x01\"]", 1, 4, "control character inside a string (it must be escaped)"},
      {"[\"\xff\"]", 1, 3, "invalid UTF-8"},
      {"[\"\\uD83D\"]", 1, 10, "invalid escape sequence in a string"},
      {"[01]", 1, 2, "invalid number"},
      {"[-]", 1, 2, "invalid number"},
      {"[1e400]", 1, 2, "number out of range"},
      {"nulls", 1, 1, "misspelt true, false or null"},
      {std::string(1025, '[') + std::string(1025, ']'), 1, 1025, "nesting deeper than 1024 levels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 20));
    try {
      TJsonValue::Parse(c.Text);
      ADD_FAILURE() << "parsed";
    } catch (const EJsonParserException& e) {
      EXPECT_EQ(e.Reason(), c.Reason);
      EXPECT_EQ(e.Line(), c.Line);
      EXPECT_EQ(e.Column(), c.Column);
      EXPECT_EQ(std::string(e.ClassName()), "EJsonParserException");
    }
  }
  try {
    TJsonValue::Parse("{\"a\":\n  [1,2");
  } catch (const EJsonParserException& e) {
    EXPECT_EQ(e.Message(), "JSON 2:3 (byte 8): array is not closed");
  }
}

TEST(JsonValue, DeepNestingUpToTheLimit) {
  std::string text;
  for (int i = 0; i < 1023; ++i)
    text += "{\"k\":";
  text += "[7]";
  text += std::string(1023, '}');
  const TJsonValue v = TJsonValue::Parse(text);
  std::string path;
  for (int i = 0; i < 1023; ++i)
    path += i ? ".k" : "k";
  const TJsonValue* leaf = v.Find(path + "[0]");
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->AsInteger(), 7);
  EXPECT_EQ(v.ToJSON(), text);
}

TEST(JsonValue, PathLookup) {
  const TJsonValue v = TJsonValue::Parse(
      R"({"order":{"positions":[{"sku":"A"},{"sku":"B"},{"sku":"C","m":[[1,2]]}]},
          "a.b":1,"x[1]":2,"back\\slash":3,"":4})");
  struct {
    const char* Path;
    const char* Json;  // nullptr: not found
  } const cases[] = {
      {"order.positions[2].sku", R"("C")"},
      {"order.positions[0]", R"({"sku":"A"})"},
      {"order.positions[2].m[0][1]", "2"},
      {"order.positions[3]", nullptr},
      {"order.positions.sku", nullptr},
      {"order[0]", nullptr},
      {"Order", nullptr},
      {"a\\.b", "1"},
      {"a.b", nullptr},
      {"x\\[1\\]", "2"},
      {"back\\\\slash", "3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    const TJsonValue* found = v.Find(c.Path);
    EXPECT_EQ(found ? found->ToJSON() : "(none)", c.Json ? c.Json : "(none)");
  }
  EXPECT_EQ(v.Find(""), &v);
  EXPECT_EQ(TJsonValue::Parse("[[5]]").Find("[0][0]")->AsInteger(), 5);
  for (const char* bad : {"a[", "a[x]", "a[-1]", "a[1]b", "a.", ".a", "a..b", "a\\"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(v.Find(bad), EJsonException);
  }
}

TEST(JsonValue, BuiltValuesWriteBack) {
  TJsonValue root = TJsonValue::MakeObject();
  root.Add("n", TJsonValue(100.0));
  root.Add("nan", TJsonValue(std::nan("")));
  root.Add("i", TJsonValue(int64_t{-3}));
  TJsonValue& list = root.Add("l", TJsonValue::MakeArray());
  list.Add(TJsonValue("q\"\r"));
  list.Add(TJsonValue::MakeObject());
  EXPECT_EQ(root.ToJSON(), R"({"n":100.0,"nan":null,"i":-3,"l":["q\"\r",{}]})");
  EXPECT_EQ(root.ToJSON(true),
            "{\r\n  \"n\": 100.0,\r\n  \"nan\": null,\r\n  \"i\": -3,\r\n  \"l\": [\r\n"
            "    \"q\\\"\\r\",\r\n    {}\r\n  ]\r\n}");
  EXPECT_EQ(TJsonValue::Parse(root.ToJSON(true)).ToJSON(), root.ToJSON());
  EXPECT_THROW(list.Add("name", TJsonValue()), EJsonException);
}

}  // namespace
}  // namespace vela
