// The schema files' small XML reader: tokens, tree shape, attribute parsing, escaping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImportEngine/_xmlTree.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

std::vector<std::string> Tokens(const TXMLTree& t) {
  return t.Lines().Lines();
}

// The nodes below n as "name(children) name".
std::string Shape(const TXMLNode& n) {
  std::string out;
  for (int i = 0; i < n.NodeCountDirect(); ++i) {
    out += (i ? " " : "") + n.Nodes(i)->Name();
    if (n.Nodes(i)->NodeCountDirect() > 0) out += "(" + Shape(*n.Nodes(i)) + ")";
  }
  return out;
}

TEST(XMLTree, TokenisesTagsTextAndCData) {
  TXMLTree t;
  t.LoadFromText(
      "<?xml version=\"1.0\" ?>\r\n<a x=\"1\">\r\n  hello\tworld \r\n<b/><c k=\"v\" />"
      "<![CDATA[line1\r\nline2\tend]]></a>");
  EXPECT_EQ(Tokens(t), (std::vector<std::string>{"OT:?xml version=\"1.0\" ?", "OT:a x=\"1\"",
                                                 "TX:hello world", "ET:b/", "ET:c k=\"v\" /",
                                                 "CD:line1\\n line2\\t end", "CT:a"}));
  EXPECT_EQ(t.NodeCount(), 2);  // open tags only
}

TEST(XMLTree, DeclarationStaysOpenAndHoldsTheDocument) {
  TXMLTree t;
  t.LoadFromText("<?xml version=\"1.0\" ?><dataschemas><schema name=\"x\"></schema></dataschemas>");
  EXPECT_EQ(t.Name(), "root");
  EXPECT_EQ(Shape(t), "?xml(dataschemas(schema))");
  TXMLNode* decl = t.firstChild();
  ASSERT_NE(decl->getNamedAttribute("version"), nullptr);
  EXPECT_EQ(decl->getNamedAttribute("version")->Value(), "1.0");
}

TEST(XMLTree, CloseTagsAreNotMatchedByNameAndCommentsNest) {
  TXMLTree t;
  // </zzz> closes b, </a> closes a, surplus close tags stay at the top; without a blank the name
  // keeps the slash.
  t.LoadFromText("<a><b></zzz><c/></a></a></a><d/>");
  EXPECT_EQ(Shape(t), "a(b c/) d/");
  t.LoadFromText("<!-- note --><x/>");  // comments nest like open tags
  EXPECT_EQ(Shape(t), "!--(x/)");
}

TEST(XMLTree, LoneLessThanIsSkipped) {
  TXMLTree t;
  t.LoadFromText("<a>x < y");
  EXPECT_EQ(Tokens(t), (std::vector<std::string>{"OT:a", "TX:x", "TX:y"}));
  EXPECT_EQ(t.firstChild()->Value(), "y");  // the last text wins
}

TEST(XMLTree, AttributesFromTagText) {
  struct Case {
    const char* tag;
    std::vector<std::pair<std::string, std::string>> attrs;
  };
  const Case cases[] = {
      {"n a=\"1\" b = \"two words\"", {{"a", "1"}, {"b", "two words"}}},
      {"n a='1' b=\"2\"", {{"a", "2"}}},  // single quotes are not recognised
      {"n a=\"1\" b=", {{"a", "1"}}},
      {"n a=\"&lt;&amp;&gt;\"", {{"a", "<&>"}}},
      {"n", {}},
  };
  for (const Case& c : cases) {
    TXMLNode root("r", "", nullptr);
    TXMLNode* n = root.AddNodeEx(c.tag, "v");
    EXPECT_EQ(n->Name() + n->Value(), "nv") << c.tag;
    std::vector<std::pair<std::string, std::string>> attrs;
    for (int i = 0; i < n->AttributeCount(); ++i)
      attrs.emplace_back(n->Attributes(i)->Name(), n->Attributes(i)->Value());
    EXPECT_EQ(attrs, c.attrs) << c.tag;
  }
}

TEST(XMLTree, UnescapeInFixedOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"a&amp;b", "a&b"},
      {"&amp;lt;", "<"},  // escaped twice reads back as the plain character
      {"&lt;&gt;&apos;&quot;", "<>'\""},
      {"&#60;&#32;&#65;", "< A"},
      {"&#8364;", "&#8364;"},  // above 255: stays as text
      {"&#038;", "&#038;"},    // only the plain decimal form
      {"&#38;#60;", "<"},      // codes are replaced one after the other
      {"&#233;", "\xC3\xA9"},  // Latin-1 range becomes its character
      {"no entities", "no entities"},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(XMLUnescapeAttribute(in), out) << in;
  EXPECT_EQ(XMLUnescapeAttribute("&#0;"), std::string(1, '\0'));
}

TEST(XMLTree, EscapeEverythingButDigitsAndLetters) {
  const std::pair<const char*, const char*> cases[] = {
      {"Abc09", "Abc09"},
      {"a b", "a&#32;b"},
      {"<&>'\"", "&lt;&amp;&gt;&apos;&quot;"},
      {"\xE2\x82\xAC", "&#8364;"},               // euro sign
      {"\xC3\xA4", "&#228;"},                    // a umlaut
      {"\xF0\x9F\x98\x80", "&#55357;&#56832;"},  // outside the BMP: two UTF-16 units
      {"-1", "&#45;1"},
      {"", ""},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(XMLEscapeAttribute(in), out) << in;
  // Escaping then unescaping gives the text back for characters up to 255.
  const std::string latin = "x = \"1\" & y < 'z' \xC3\xA4";
  EXPECT_EQ(XMLUnescapeAttribute(XMLEscapeAttribute(latin)), latin);
}

TEST(XMLTree, LoadFromStreamReadsBOMAndReplacesTheOldTree) {
  TXMLTree t;
  t.LoadFromText("<old/>");
  // UTF-16 LE with BOM: <a v="ä"/>
  TStringStream s(std::string("\xFF\xFE<\0a\0 \0v\0=\0\"\0\xE4\0\"\0/\0>\0", 22));
  t.LoadFromStream(s);
  ASSERT_EQ(Shape(t), "a");
  EXPECT_EQ(t.firstChild()->getNamedAttribute("v")->Value(), "\xC3\xA4");
}

TEST(XMLTree, WhitespaceInsideTagsIsNormalised) {
  TXMLTree t;
  t.LoadFromText("<schema\r\n\tname=\"a\"\r\n  descr=\"b\"\r\n/>");
  ASSERT_EQ(Shape(t), "schema");
  EXPECT_EQ(t.firstChild()->getNamedAttribute("descr")->Value(), "b");
  EXPECT_EQ(Tokens(t)[0], "ET:schema   name=\"a\"    descr=\"b\"  /");
}

}  // namespace
}  // namespace vela
