#include <gtest/gtest.h>

#include <string>

#include "converters/falder.Tools.JSONConverter.h"
#include "converters/falder.Tools.VariantListConverter.h"
#include "host/HTMLUtils.h"
#include "rtl/DateUtils.h"

namespace vela {
namespace {

std::string JsonText(std::string_view json) {
  std::string text = "(unchanged)";
  TFalderJSONConverter::ConvertToText(TJsonValue::Parse(json), text);
  return text;
}

std::string JsonHTML(std::string_view json) {
  std::string text = "(unchanged)";
  TFalderJSONConverter::ConvertToHTML(TJsonValue::Parse(json), text);
  return text;
}

TEST(JSONConverter, TextAndHTMLOutput) {
  struct {
    const char* Json;
    const char* Text;
    const char* Html;
  } const cases[] = {
      {R"({"a":1,"b":"x"})", "a: 1\r\nb: x", "a:&nbsp;<b>1</b><br>b:&nbsp;<b>x</b>"},
      // Top-level array items are list items (indent 1).
      {R"([1,"two",null])", "  -1\r\n  -two\r\n  -\r\n",
       "<ul><li><b>1</b></li><li><b>two</b></li><li><b></b></li></ul>"},
      // A named array gets its title twice: from the array and from its list start.
      {R"({"l":[true]})", "l\n\n*\n\nl\n\n*\r\n  -True\r\n",
       "<h1>l</h1><br><h2>l</h2><ul><li><b>True</b></li></ul>"},
      // Objects in arrays: <li> wrappers in HTML, only their lines in text.
      {R"([{"k":2.5},{}])", "  -k: 2.5\r\n",
       "<ul><li><li>k:&nbsp;<b>2.5</b></li></li><li></li></ul>"},
      // A nested object is titled with its member name; null members are empty values.
      {R"({"Grüße":{"n":null,"f":false}})", "Grüße\n\n*****\r\nn: \r\nf: False",
       "<h1>Grüße</h1><br>n:&nbsp;<b></b><br>f:&nbsp;<b>False</b>"},
      // Names and values are HTML-encoded, line breaks included.
      {R"({"<a>":"x & \"y\"\r\nz"})", "<a>: x & \"y\"\r\nz",
       "&lt;a&gt;:&nbsp;<b>x &amp; &quot;y&quot;<br>z</b>"},
      // Integers in full, big integers as floats, empty containers.
      {R"({"i":-9000000000,"big":123456789012345678901,"e":[],"o":{}})",
       "i: -9000000000\r\nbig: 1.23456789012346E20\n\ne\n\n*\n\ne\n\n*\r\n\n\no\n\n*",
       "i:&nbsp;<b>-9000000000</b><br>big:&nbsp;<b>1.23456789012346E20</b><br><h1>e</h1><br>"
       "<h2>e</h2><ul></ul><br><h1>o</h1>"},
      // Neither array nor object: nothing.
      {R"("just a string")", "", ""},
      {"42", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Json);
    EXPECT_EQ(JsonText(c.Json), c.Text);
    EXPECT_EQ(JsonHTML(c.Json), c.Html);
  }
}

TEST(JSONConverter, ConverterIsReusableAndStartsEmpty) {
  TFalderJSONConverter converter;
  std::string first, second;
  converter.Convert(TJsonValue::Parse(R"({"a":1})"), &TFalderJSONConverterTextWriter::Create,
                    first);
  converter.Convert(TJsonValue::Parse(R"({"b":2})"), &TFalderJSONConverterHTMLWriter::Create,
                    second);
  EXPECT_EQ(first, "a: 1");
  EXPECT_EQ(second, "b:&nbsp;<b>2</b>");
}

TEST(VariantListConverter, RendersEachKindOfValue) {
  auto list = NewNamedVariantListData();
  list->SetValueByName("ok", Variant(true));
  list->SetValueByName("n", Variant(-12));
  list->SetValueByName("big", Variant(uint64_t{18446744073709551615u}));
  list->SetValueByName("f", Variant(0.5));
  list->SetValueByName("d", Variant::FromDateTime(EncodeDateTime(2024, 2, 29, 13, 5, 0, 0)));
  list->SetValueByName("nothing", Null());
  list->SetValueByName("s", Variant("a<b"));
  const std::string date = DateTimeToStr(EncodeDateTime(2024, 2, 29, 13, 5, 0, 0));
  std::string text, html;
  TArdoVariantListConverter::ConvertToText(*list, text);
  TArdoVariantListConverter::ConvertToHTML(*list, html);
  EXPECT_EQ(text, "ok: True\r\nn: -12\r\nbig: 18446744073709551615\r\nf: 0.5\r\nd: " + date +
                      "\r\nnothing: \r\ns: a<b");
  EXPECT_EQ(html.substr(0, 24), "ok:&nbsp;<b>True</b><br>");
  EXPECT_NE(html.find("<br>d:&nbsp;<b>" + date + "</b>"), std::string::npos);
  EXPECT_NE(html.find("<br>s:&nbsp;<b>a&lt;b</b>"), std::string::npos);
  auto empty = NewNamedVariantListData();
  TArdoVariantListConverter::ConvertToText(*empty, text);
  EXPECT_EQ(text, "");
}

TEST(HTMLUtils, HtmlEncode) {
  EXPECT_EQ(THTMLUtils::HtmlEncode("<a href=\"x\">Tom & Jerry's</a>"),
            "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&#39;s&lt;/a&gt;");
  EXPECT_EQ(THTMLUtils::HtmlEncode("a\r\nb\nc\rd", true), "a<br>b<br>c<br>d");
  EXPECT_EQ(THTMLUtils::HtmlEncode("a\r\nb", false), "a\r\nb");
  EXPECT_EQ(THTMLUtils::HtmlEncode(std::string("\x01\tü\x7f", 5)), "&#1;\tü&#127;");
}

}  // namespace
}  // namespace vela
