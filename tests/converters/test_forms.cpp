#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestData.h"
#include "converters/falder.Tools.XWWWFormConverter.h"
#include "host/HTTPUtils.h"
#include "platform/indy/MultipartFormData.h"
#include "rtl/CodePages.h"
#include "rtl/Encoders.h"

namespace vela {
namespace {

using TPairs = std::vector<std::pair<std::string, std::string>>;

TPairs PairsOf(const INamedVariantListData& list) {
  TPairs pairs;
  for (int i = 0; i < list.Get_Count(); ++i) {
    EXPECT_TRUE(list.Get_Value(i).IsString()) << list.Get_Name(i);
    pairs.emplace_back(list.Get_Name(i), VarToStr(list.Get_Value(i)));
  }
  return pairs;
}

// Reads a body from a string stream (or a memory stream with the same bytes).
TPairs FormPairs(std::string_view body, std::string_view contentType, bool stringStream = true) {
  auto list = NewNamedVariantListData();
  if (stringStream) {
    TStringStream stream{std::string(body)};
    TXWWWFormConverter::ConvertFrom(stream, contentType, *list);
  } else {
    TMemoryStream stream;
    stream.WriteString(body);  // leaves the position at the end: the whole stream is read
    TXWWWFormConverter::ConvertFrom(stream, contentType, *list);
  }
  return PairsOf(*list);
}

std::string ReadDataFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const char* const kUrlEncoded = "application/x-www-form-urlencoded";

TEST(XWWWFormConverter, UrlEncodedBodies) {
  struct {
    std::string Body;
    TPairs Pairs;
  } const cases[] = {
      {"a=1&b=x%20y", {{"a", "1"}, {"b", "x y"}}},
      {"", {}},
      {"q=a+b%2Bc&&flag&e=", {{"q", "a b+c"}, {"flag", ""}, {"e", ""}}},
      {"eq=x%3Dy=z&%C3%BC=%E2%82%AC", {{"eq", "x=y=z"}, {"ü", "€"}}},
      {"bad=100%&hex=%zz%4", {{"bad", "100%"}, {"hex", "%zz%4"}}},
      {"latin=%FCber", {{"latin", "über"}}},  // not UTF-8: the ANSI code page
      {"a=1&A=2", {{"a", "2"}}},              // names ignore case: the later value wins
      {" a = 1 ", {{" a ", " 1 "}}},          // no white space is stripped
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Body);
    EXPECT_EQ(FormPairs(c.Body, kUrlEncoded), c.Pairs);
  }
  // A non-string stream is read whole from its start; 8-bit text is ANSI, UTF-8 stays UTF-8.
  EXPECT_EQ(FormPairs("k=\xE4", kUrlEncoded, false), (TPairs{{"k", "ä"}}));
  EXPECT_EQ(FormPairs("k=\xC3\xA4", kUrlEncoded, false), (TPairs{{"k", "ä"}}));
}

TEST(XWWWFormConverter, ConvertToWritesAnUrlEncodedBody) {
  auto list = NewNamedVariantListData();
  list->SetValueByName("a", Variant(1));
  list->SetValueByName("b", Variant(2));
  TStringStream out;
  TXWWWFormConverter::ConvertTo(*list, out);
  EXPECT_EQ(out.DataString(), "a=1&b=2");

  list->SetValueByName("text", Variant("x & y=ü+"));
  list->SetValueByName("flag", Variant(true));
  list->SetValueByName("none", Null());
  TStringStream again;
  TXWWWFormConverter::ConvertTo(*list, again);
  EXPECT_EQ(again.DataString(), "a=1&b=2&text=x+%26+y%3D%C3%BC%2B&flag=True&none=");
  // What is written reads back to the same pairs.
  EXPECT_EQ(FormPairs(again.DataString(), kUrlEncoded),
            (TPairs{{"a", "1"}, {"b", "2"}, {"text", "x & y=ü+"}, {"flag", "True"}, {"none", ""}}));
  // Other streams get 8-bit text in the ANSI code page.
  auto named = NewNamedVariantListData();
  named->SetValueByName("grün", Variant("1"));
  TMemoryStream bytes;
  TXWWWFormConverter::ConvertTo(*named, bytes);
  bytes.SetPosition(0);
  EXPECT_EQ(bytes.ReadToEnd(), "gr\xFCn=1");
}

TEST(HTTPUtils, ParamsEncodeKeepsOnlyUnreservedCharacters) {
  EXPECT_EQ(THTTPUtils::ParamsEncode("AZaz09-_.* ~/?#%\n"), "AZaz09-_.*+%7E%2F%3F%23%25%0A");
  EXPECT_EQ(THTTPUtils::ParamsDecode(THTTPUtils::ParamsEncode("~/?#%\n € ")), "~/?#%\n € ");
}

struct TMultipartSample {
  const char* File;
  const char* ContentType;
  TPairs Pairs;
};

TEST(XWWWFormConverter, MultipartSamples) {
  const std::string tricky = Base64Decode(
      "LS1ib3VuZGFyaQ0KLS1ib3VuZGFyeXEtLWJvdW5kYXJ5DXEtLWJvdW5kYXJxDQotLWJvdW5hcnlkLS0NCi0tbm90Ym"
      "91bmQtLQ0KLS1taXNtYXRjaA0KLS1taXNtYXRjaC0tDQotLWJvdW5kYXJ5LVENCi0tYm91bmRhcnkNUS0tYm91bmRh"
      "cnlR");
  const TMultipartSample samples[] = {
      {"pymultipart_multiple_files.http",
       "multipart/form-data; boundary=----WebKitFormBoundarygbACTUR58IyeurVf",
       {{"file1", "Test file #1"}, {"file2", "Test file #2"}}},
      {"pymultipart_single_field_single_file.http",
       "Multipart/Form-Data; boundary=boundary",
       {{"field", "test1"}, {"file", "test2"}}},
      {"pymultipart_almost_match_boundary.http",
       "multipart/form-data; boundary=\"--boundary\"",
       {{"file", tricky}}},
  };
  for (const auto& s : samples) {
    SCOPED_TRACE(s.File);
    const std::string path = test::DataFile(std::string("multipart/") + s.File);
    ASSERT_DATA_FILE(path);
    const std::string body = ReadDataFile(path);
    EXPECT_EQ(FormPairs(body, s.ContentType), s.Pairs);
    EXPECT_EQ(FormPairs(body, s.ContentType, false), s.Pairs);
  }
}

TEST(MultipartFormData, BrowserFileNamesAndWholeRequest) {
  const std::string path = test::DataFile("multipart/formidable_osx-firefox-3.6.http");
  ASSERT_DATA_FILE(path);
  const std::string request = ReadDataFile(path);
  const size_t bodyStart = request.find("\r\n\r\n");
  ASSERT_NE(bodyStart, std::string::npos);
  const std::string contentType =
      "multipart/form-data; boundary=---------------------------9849436581144108930470211272";
  const auto parts = TMultipartFormData::Parse(contentType, request.substr(bodyStart + 4));
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].Name, "title");
  EXPECT_EQ(parts[0].Data, "Weird filename");
  EXPECT_EQ(parts[1].Name, "upload");
  // The browser left quotes and backslashes unescaped; they belong to the name.
  EXPECT_EQ(parts[1].FileName,
            ": \\ ? % * | \" < > . &#9731; ; ' @ # $ ^ & ( ) - _ = + { } [ ] ` ~.txt");
  EXPECT_EQ(parts[1].ContentType, "text/plain");
  EXPECT_EQ(parts[1].Data, "I am a text file with a funky name!\n");
}

TEST(MultipartFormData, EncodedPartsAndEdgeCases) {
  const std::string ct = "multipart/form-data; boundary=XyZ";
  const std::string body =
      "preamble\r\n--XyZ\r\n"
      "Content-Disposition: form-data; name=\"b64\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n"
      "w7xiZXI=\r\n"
      "--XyZ  \r\n"
      "Content-Disposition: form-data; name=\"C:\\dir\\f\"; filename*=UTF-8''%E2%82%AC.txt\r\n"
      "Content-Type: application/octet-stream\r\n\r\n"
      "raw\r\n=41\r\n"
      "--XyZ--\r\nepilogue";
  const auto parts = TMultipartFormData::Parse(ct, body);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].Data, "über");
  EXPECT_EQ(parts[1].Name, "C:\\dir\\f");
  EXPECT_EQ(parts[1].FileName, "€.txt");
  EXPECT_EQ(parts[1].ContentType, "application/octet-stream");
  EXPECT_EQ(parts[1].Data, "raw\r\n=41");  // no transfer encoding named: bytes as they are

  // No boundary parameter, or the closing line first: no pairs.
  EXPECT_TRUE(FormPairs(body, "multipart/form-data").empty());
  EXPECT_TRUE(FormPairs("--XyZ--\r\n", ct).empty());
  EXPECT_THROW(FormPairs("no boundary line here", ct), EMultipartFormDataError);
}

TEST(MultipartFormData, EveryTruncationIsOneClearError) {
  const std::string ct = "multipart/form-data; boundary=b";
  const std::string body =
      "--b\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
      "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\nabc\r\n--b--";
  EXPECT_EQ(FormPairs(body, ct), (TPairs{{"a", "1"}, {"f", "abc"}}));
  for (size_t cut = 0; cut < body.size(); ++cut) {
    SCOPED_TRACE(cut);
    try {
      FormPairs(body.substr(0, cut), ct);
      ADD_FAILURE() << "truncated body accepted";
    } catch (const EMultipartFormDataError& e) {
      EXPECT_EQ(e.Message(), cut < 3 ? "multipart body has no boundary line \"--b\""
                                     : "multipart body is truncated: the closing boundary "
                                       "line \"--b--\" is missing");
    }
  }
}

}  // namespace
}  // namespace vela
