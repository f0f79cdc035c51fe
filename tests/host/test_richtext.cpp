#include <gtest/gtest.h>

#include <string>

#include "host/RichText.h"
#include "rtl/CodePages.h"

namespace vela {
namespace {

struct Case {
  const char* Name;
  std::string Input;
  std::string Expected;
};

TEST(RichText, RtfToText) {
  const Case cases[] = {
      {"not rtf", "plain {x} \\par", "plain {x} \\par"},
      {"hex umlauts, skipped tables",
       "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red255\\green0;}"
       "{\\stylesheet{\\s0 Normal;}}{\\*\\generator Gen;}{\\info{\\title T}}\\f0\\fs20 "
       "M\\'fcller\\par Stra\\'dfe}",
       "Müller\r\nStraße"},
      {"unicode with fallback", "{\\rtf1 M\\u252?ller \\u8364?}", "Müller €"},
      {"surrogate pair", "{\\rtf1 a\\u-10179?\\u-8704?b}", "a😀b"},
      {"lone surrogate", "{\\rtf1 \\u-10179?x}", "\xEF\xBF\xBDx"},
      {"uc2 skips two fallbacks", "{\\rtf1\\uc2 \\u252\\'fc\\'fcx}", "üx"},
      {"uc0 skips nothing", "{\\rtf1\\uc0 \\u252 x}", "üx"},
      {"uc is scoped to its group", "{\\rtf1{\\uc3 \\u228 abc}\\u246?d}", "äöd"},
      {"escapes and breaks", "{\\rtf1 a\\\\b\\{c\\}\\tab d\\line e\\~f}", "a\\b{c}\td\r\ne\u00A0f"},
      {"symbols and tables", "{\\rtf1 a\\emdash b\\cell c\\row\\bullet\\ldblquote q\\rdblquote}",
       "a—b\tc\r\n•“q”"},
      {"list text kept", "{\\rtf1{\\pntext\\'b7\\tab}item}", "·\titem"},
      {"source line ends are no text", "{\\rtf1 a\r\nb\\par\r\nc}", "ab\r\nc"},
      {"nested groups and destinations",
       "{\\rtf1{\\b bold {\\i both}} {\\*\\unknown hidden}{\\pict 0102}"
       "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}} end}",
       "bold both link end"},
      {"ansicpg", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", "При"},
      {"font charset",
       "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial CE;}}"
       "\\f1 \\'b9\\f0 \\'fc{\\f1 \\'b9}\\'fc}",
       "ąüąü"},
      {"binary data skipped", "{\\rtf1 a\\bin3 {}\\b}", "ab"},
      {"unclosed group", "{\\rtf1 abc", "abc"},
      {"text after the document", "{\\rtf1 x}}}} y", "x"},
      {"truncated hex", "{\\rtf1 a\\'4", "a"},
      {"half hex", "{\\rtf1 \\'4x}", "x"},
      {"bytes that are no UTF-8", "{\\rtf1 a\xF6\xB9\xB9\xB9z}", "a\u00F6\u00B9\u00B9\u00B9z"},
      {"bad hex", "{\\rtf1 \\'zz}", "zz"},
      {"backslash at end", "{\\rtf1 a\\", "a"},
      {"bare unicode word", "{\\rtf1 a\\u", "a"},
      {"huge binary length", "{\\rtf1 a\\bin999999999999 abc", "a"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ConvertRTFToText(c.Input), c.Expected) << c.Name;
}

TEST(RichText, TextToRtfRoundTrip) {
  for (const std::string text : {"", "plain", "Müller & Söhne {x} \\ back\\par",
                                 "line1\r\nline2\r\n\r\nline4", "tab\there", "emoji 😀 € \u00A0"}) {
    const std::string rtf = ConvertTextToRTF(text, "Arial", 10);
    EXPECT_TRUE(IsAscii(rtf)) << rtf;
    EXPECT_EQ(ConvertRTFToText(rtf), text) << rtf;
  }
  EXPECT_EQ(ConvertRTFToText(ConvertTextToRTF("a\nb\rc\x01", "Arial", 10)), "a\r\nb\r\nc");
  const std::string rtf = ConvertTextToRTF("x", "Times {New} Roman;", 12);
  EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fnil\\fcharset0 Times \\{New\\} Roman;}}"), rtf.npos) << rtf;
  EXPECT_NE(rtf.find("\\fs24 "), rtf.npos) << rtf;
  const std::string defaults = ConvertTextToRTF("x", "", 0);
  EXPECT_NE(defaults.find(" Arial;}"), defaults.npos) << defaults;
  EXPECT_NE(defaults.find("\\fs20 "), defaults.npos) << defaults;
}

TEST(RichText, HtmlToRtfKeepsWordsAndBreaks) {
  const Case cases[] = {
      {"paragraphs and entities",
       "<p>Hello <b>bold</b>\n world</p><p>Second&nbsp;para &amp; more</p>",
       "Hello bold world\r\nSecond\u00A0para & more"},
      {"heading and br", "<h1>Title</h1>text<br>next line<p>para<br></p>end",
       "Title\r\ntext\r\nnext line\r\npara\r\nend"},
      {"lists", "<ul><li>one</li><li>two<ol start=3><li>three</li><li>four</li></ol></li></ul>",
       "\u2022\tone\r\n\u2022\ttwo\r\n3.\tthree\r\n4.\tfour"},
      {"dropped content and white space",
       "<script>bad()</script><style>p{}</style><div>  lots   of\n space </div>", "lots of space"},
      {"pre keeps lines", "<pre>a\n  b</pre>after", "a\r\n  b\r\nafter"},
      {"table", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a\tb\r\nc"},
      {"plain text", "plain {text} \\ only", "plain {text} \\ only"},
      {"head dropped, non-ASCII kept",
       "<head><title>T</title></head><body>Müller &lt;x&gt; 😀</body>", "Müller <x> 😀"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    const std::string rtf = ConvertHTMLToRTF(c.Input, "Arial", 10, "\r\n");
    EXPECT_TRUE(IsAscii(rtf)) << c.Name;
    EXPECT_EQ(ConvertRTFToText(rtf), c.Expected) << c.Name << "\n" << rtf;
  }
  const std::string rtf =
      ConvertHTMLToRTF("<h2>T</h2><p>a <b>b <i>c</i></b></p><p>d</p>", "Verdana", 8, "\n");
  for (const char* part : {"Verdana;", "\\fs16 ", "{\\b\\fs24 T}", "a {\\b b {\\i c}}", "\\par\n"})
    EXPECT_NE(rtf.find(part), rtf.npos) << part << " in " << rtf;
  EXPECT_EQ(rtf.find("\r\n", rtf.find("\\par")), rtf.npos) << rtf;
}

}  // namespace
}  // namespace vela
