// Writing vCard and LDIF: definitions in order, encodings, escaping, folding, round trips.
#include <gtest/gtest.h>

#include <regex>

#include "CardTestSupport.h"
#include "TestData.h"
#include "rtl/CodePages.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"
#include "rtl/SysUtils.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

std::vector<std::string> SplitCrLf(const std::string& text) {
  TStringList lines;
  lines.SetText(text);
  return lines.Lines();
}

void FillContact(TCustomAddressCardItem& c) {
  c.FirstName = "John";
  c.LastName = "Doe; Jr";
  c.Organization = "ACME, Inc.";
  c.Email = "john@home.example";
  c.Email2 = "john@work.example";
  c.TelHomeVoice = "+1 555 0100";
  c.TelWorkCellular = "+1 555 0199";
  c.AdrWorkStreetAddress = "1 Main St";
  c.AdrWorkCity = "Springfield";
  c.AdrWorkPostal = "12345";
  c.AdrWorkCountry = "USA";
  c.Notes.SetText("Line one\r\nLine two with \\ backslash");
  c.Birthday = EncodeDate(1970, 5, 17);
  c.Revision = EncodeDateTime(2024, 1, 31, 13, 45, 10, 0);
  c.Url = "http://example.com/~john";
}

// Written, read back and written again gives the same text: every written field survived.
class VCardRoundTrip : public ::testing::TestWithParam<TVCardVersion> {};

TEST_P(VCardRoundTrip, WrittenCardReadsBackWithSameFields) {
  TVCard card;
  card.SetVCardVersion(GetParam());
  FillContact(card.CreateCard());
  FillContact(card.CreateCard());
  const std::string text = card.GetAsString();

  TVCard back;
  back.SetAsString(text);
  ASSERT_EQ(back.Count(), 2) << text;
  EXPECT_EQ(back.VCardVersion(), GetParam());
  EXPECT_EQ(back.GetAsString(), text);
  EXPECT_EQ(VCardAt(back, 1).Notes.Text(), "Line one\r\nLine two with \\ backslash\r\n");
  EXPECT_EQ(VCardAt(back, 1).LastName, "Doe; Jr");
  EXPECT_EQ(VCardAt(back, 1).Revision, EncodeDateTime(2024, 1, 31, 13, 45, 10, 0));
}

INSTANTIATE_TEST_SUITE_P(Versions, VCardRoundTrip, ::testing::Values(vcv21, vcv30));

TEST(VCardWrite, Version21UsesQuotedPrintableForTextAndKeepsOrder) {
  TVCard card;
  auto& c = card.CreateCard();
  c.FirstName = "A";
  c.LastName = "B";
  c.Notes.SetText("x\r\ny");
  c.TelWorkFax = "7";
  EXPECT_EQ(card.GetAsString(),
            "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;ENCODING=QUOTED-PRINTABLE:A B\r\n"
            "N;ENCODING=QUOTED-PRINTABLE:B;A;;;\r\nNOTE;ENCODING=QUOTED-PRINTABLE:x=0D=0A=\r\ny\r\n"
            "TEL;TYPE=WORK,FAX:7\r\nCLASS:PUBLIC\r\nEND:VCARD\r\n");
  EXPECT_EQ(c.UID, "");  // no generated UID for 2.1
}

TEST(VCardWrite, Version30EscapesNewlinesAndFoldsWithGeneratedUid) {
  TVCard card;
  card.SetVCardVersion(vcv30);
  auto& c = card.CreateCard();
  c.FirstName = "Fold";
  std::string note;
  for (int i = 0; i < 200; ++i)
    note += static_cast<char>('a' + i % 26);
  c.Notes.SetText(note + "\r\nsecond");
  std::string text = card.GetAsString();
  std::vector<std::string> lines = SplitCrLf(text);
  ASSERT_GT(lines.size(), 4u);
  EXPECT_EQ(lines[1], "VERSION:3.0");
  EXPECT_TRUE(std::regex_match(lines[2], std::regex("UID:[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                                    "[0-9A-F]{4}-[0-9A-F]{12}")))
      << lines[2];
  int continuation = 0;
  for (const std::string& l : lines) {
    EXPECT_LE(l.size(), 75u) << l;
    if (!l.empty() && l[0] == ' ') ++continuation;
  }
  EXPECT_GE(continuation, 2);
  EXPECT_NE(text.find("\\n"), std::string::npos);
  TVCard back;
  back.SetAsString(text);
  EXPECT_EQ(VCardAt(back, 0).Notes[0], note);
  EXPECT_EQ(VCardAt(back, 0).Notes[1], "second");
  EXPECT_EQ(VCardAt(back, 0).UID, c.UID);
}

TEST(VCardWrite, FoldingDoesNotSplitUtf8Characters) {
  TVCard card;
  card.SetFileCharset("UTF-8");
  card.SetVCardVersion(vcv30);
  auto& c = card.CreateCard();
  std::string note;
  for (int i = 0; i < 60; ++i)
    note += "\xC3\xA4";  // ä
  c.Notes.SetText(note);
  std::string text = card.GetAsString();
  EXPECT_TRUE(IsValidUtf8(text));
  TVCard back;
  back.SetFileCharset("UTF-8");
  back.SetAsString(text);
  EXPECT_EQ(VCardAt(back, 0).Notes[0], note);
}

TEST(VCardWrite, PhotoIsBase64InPiecesOf75) {
  TVCard card;
  auto& c = card.CreateCard();
  std::string bytes;
  for (int i = 0; i < 200; ++i)
    bytes += static_cast<char>(i);
  c.Photo.SetData(bytes);
  std::string text = card.GetAsString();
  size_t p = text.find("PHOTO;TYPE=JPEG;ENCODING=BASE64:");
  ASSERT_NE(p, std::string::npos);
  std::vector<std::string> lines = SplitCrLf(text.substr(p));
  EXPECT_EQ(lines[0].size(), std::string("PHOTO;TYPE=JPEG;ENCODING=BASE64:").size() + 75);
  EXPECT_EQ(lines[1].size(), 76u);
  EXPECT_EQ(lines[1][0], ' ');
  TVCard back;
  back.SetAsString(text);
  EXPECT_EQ(VCardAt(back, 0).Photo.Data(), bytes);
}

// Text escapes and every kind of line break in a written text field.
TEST(VCardWrite, EscapesAndLineBreaksOfTextFields) {
  const std::pair<TVCardVersion, const char*> cases[] = {
      {vcv30, "\r\nFN:a\\;b\\,c\\\\d\\ne\\n\\nf\\ng\r\n"},
      {vcv21,
       "\r\nFN;ENCODING=QUOTED-PRINTABLE:a\\;b\\,c\\\\d=0D=0A=\r\ne=0D=0Df=0D=0A=\r\ng\r\n"}};
  for (auto [version, line] : cases) {
    TVCard card;
    card.SetVCardVersion(version);
    card.CreateCard().SetFormattedName(" a;b,c\\d\r\ne\r\rf\ng ");
    EXPECT_NE(card.GetAsString().find(line), std::string::npos) << card.GetAsString();
  }
}

TEST(VCardWrite, DefaultCharsetIsTheAnsiCodePage) {
  TVCard card;
  card.SetVCardVersion(vcv30);
  card.CreateCard().LastName = "M\xC3\xBCller";
  std::string text = card.GetAsString();
  EXPECT_NE(text.find("N:M\xFCller;"), std::string::npos);
  TVCard back;
  back.SetAsString(text);
  EXPECT_EQ(VCardAt(back, 0).LastName, "M\xC3\xBCller");
}

// --- quoted-printable encoder ---

TEST(QuotedPrintableEncoder, Encodes) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain text", "plain text"},        {"a=b", "a=3Db"},
      {".dot first", "=2Edot first"},      {"x.y", "x.y"},
      {"trailing ", "trailing=20"},        {"tab\t", "tab=09"},
      {"one\r\ntwo", "one=0D=0A=\r\ntwo"}, {"one\r\n.two", "one=0D=0A=\r\n=2Etwo"},
      {"a\rb\nc", "a=0Db=0D=0A=\r\nc"},    {"ü", "=C3=BC"}};
  for (auto [in, out] : cases)
    EXPECT_EQ(TCardEncoderQuotedPrintable::Encode(in), out) << in;
}

TEST(QuotedPrintableEncoder, SoftBreakAtSeventyAndDecodesBack) {
  std::string input(150, 'x');
  std::string out = TCardEncoderQuotedPrintable::Encode(input);
  EXPECT_EQ(out.substr(0, 73), std::string(70, 'x') + "=\r\n");
  for (const auto& l : SplitCrLf(out))
    EXPECT_LE(l.size(), 71u);
  // Reading joins the soft breaks again.
  TVCard card;
  card.SetAsString("BEGIN:VCARD\nNOTE;ENCODING=QUOTED-PRINTABLE:" + out + "\nEND:VCARD\n");
  EXPECT_EQ(VCardAt(card, 0).Notes[0], input);
}

TEST(QuotedPrintableDecoder, KeepsMalformedEscapes) {
  EXPECT_EQ(CardDecodeQuotedPrintable("a=3Db=ZZ=4"), "a=b=ZZ=4");
  EXPECT_EQ(CardDecodeQuotedPrintable("=c3=bc"), "\xC3\xBC");
}

// --- saving ---

TEST(VCardWrite, SaveToFileWritesOneItemAndRemembersTheName) {
  test::TTempDir dir("vela_vcard_write_test");
  const std::string one = dir.File("one.vcf"), all = dir.File("all.vcf");
  TVCard card;
  card.CreateCard().FirstName = "First";
  card.CreateCard().FirstName = "Second";
  card.SaveToFile(VCardAt(card, 1), one);
  card.SaveAllToFile(all);
  EXPECT_EQ(VCardAt(card, 0).FileName(), all);
  TVCard back;
  back.LoadFromFile(one);
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(VCardAt(back, 0).FirstName, "Second");
  back.LoadFromFile(all, false);
  EXPECT_EQ(back.Count(), 3);
  std::string bytes = ReadBytes(all);
  EXPECT_EQ(bytes.substr(bytes.size() - 11), "END:VCARD\r\n");
}

// --- LDIF ---

TEST(LdifWrite, AttributeOrderAndPlainOrBase64) {
  TVCard card;
  auto item = std::make_unique<TLDifItem>(&card);
  item->FirstName = "Anna";
  item->LastName = "Müller";
  item->Email = "anna@example.com";
  item->Organization = "Org";
  item->Notes.SetText("two\r\nlines");
  auto& c = static_cast<TLDifItem&>(card.Items().Add(std::move(item)));
  std::vector<std::string> lines = SplitCrLf(card.GetAsString(&c));
  ASSERT_GE(lines.size(), 11u);
  EXPECT_TRUE(std::regex_match(lines[4], std::regex("modifyTimeStamp: \\d{8}T\\d{6}")));
  lines.resize(11);
  lines[4] = "";
  const std::string name64 = Base64Encode("Anna Müller");
  EXPECT_EQ(lines, (std::vector<std::string>{"version: 1", "dn:: " + name64, "cn:: " + name64,
                                             "mail: anna@example.com", "", "givenName: Anna",
                                             "sn:: " + Base64Encode("Müller"), "o: Org",
                                             "comment:: " + Base64Encode("two\r\nlines"),
                                             "objectclass: top", "objectclass: person"}));

  TVCard back;
  back.SetAsString(card.GetAsString(&c) + "\n");
  auto& r = ContactAt(back, 0);
  EXPECT_EQ(Trim(r.LastName), "Müller");
  EXPECT_EQ(Trim(r.Email), "anna@example.com");
}

}  // namespace
