// Reading vCard text: line ends, chunked streams, definition choice, unfolding and unescaping.
// Whole files with their quirks, LDIF, dates and name fall-backs are golden cases
// (test_card_golden.cpp).
#include <gtest/gtest.h>

#include "CardTestSupport.h"
#include "rtl/DateUtils.h"
#include "rtl/Streams.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

const char* kSimple21 =
    "BEGIN:VCARD\n"
    "VERSION:2.1\n"
    "N:Doe;John;Paul;Mr.;Jr.\n"
    "TEL;HOME;VOICE:111\n"
    "EMAIL;INTERNET:john@example.com\n"
    "END:VCARD\n";

TEST(VCardRead, MixedLineEndsAndTrailingBlanksOnLastLine) {
  TVCard card;
  card.SetAsString("BEGIN:VCARD\r\nVERSION:3.0\nFN:Anna\r\nEND:VCARD   ");
  ASSERT_EQ(card.Count(), 1);
  EXPECT_EQ(VCardAt(card, 0).FormattedName(), "Anna");
  EXPECT_EQ(card.VCardVersion(), vcv30);
}

TEST(VCardRead, LoadingAppendsOrClears) {
  TVCard card;
  card.SetAsString(kSimple21);
  TStringStream s{std::string(kSimple21)};
  card.LoadFromStream(s, false);
  EXPECT_EQ(card.Count(), 2);
  TStringStream s2{std::string(kSimple21)};
  card.LoadFromStream(s2, true);
  EXPECT_EQ(card.Count(), 1);
  // A missing file raises the stream error; the items stay unless clearing was asked for.
  EXPECT_THROW(card.LoadFromFile("/nonexistent/dir/none.vcf", false), EFOpenError);
  EXPECT_EQ(card.Count(), 1);
  EXPECT_THROW(card.LoadFromFile("/nonexistent/dir/none.vcf", true), EFOpenError);
  EXPECT_EQ(card.Count(), 0);
}

// Which field a line reaches and with what text: definition choice by types and by what is
// already filled, unfolding, unescaping.
struct TLineCase {
  const char* Lines;
  const char* Field;
  const char* Expected;
};

class VCardLines : public ::testing::TestWithParam<TLineCase> {};

TEST_P(VCardLines, LineReachesField) {
  TVCard card;
  card.SetAsString(std::string("BEGIN:VCARD\n") + GetParam().Lines + "END:VCARD\n");
  int idx = card.GetFieldIndexByName(GetParam().Field);
  ASSERT_GE(idx, 0);
  EXPECT_EQ(VarToStr(card.GetValues(card.Items()[0], idx)), GetParam().Expected)
      << GetParam().Lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VCardLines,
    ::testing::Values(
        TLineCase{"TEL;TYPE=HOME,CELL,VOICE:1\n", "TelHomeCellular", "1"},
        TLineCase{"TEL;HOME;CELL;VOICE:1\n", "TelHomeVoice", ""},
        TLineCase{"TEL;HOME:2\n", "TelHomeVoice", "2"},
        TLineCase{"TEL;HOME:2\nTEL;HOME:3\n", "TelHomeFax", "3"},
        TLineCase{"TEL;WORK;FAX:4\n", "TelWorkFax", "4"},
        TLineCase{"TEL;TYPE=work;TYPE=voice;PREF:5\n", "TelWorkVoice", "5"},
        TLineCase{"EMAIL;INTERNET:a\nEMAIL;INTERNET:b\nEMAIL;INTERNET:c\n", "Email3", "a"},
        TLineCase{"EMAIL;INTERNET:a\nEMAIL;INTERNET:b\nEMAIL;INTERNET:c\n", "Email", "b"},
        TLineCase{"EMAIL;INTERNET:a\nEMAIL;INTERNET:b\nEMAIL;INTERNET:c\n", "Email2", "c"},
        TLineCase{"EMAIL;TYPE=INTERNET,WORK:w\n", "Email2", "w"},
        TLineCase{"EMAIL;INTERNET=TRUE;HOME=TRUE:h\n", "Email", "h"},
        // All definitions filled: the best type fit is overwritten.
        TLineCase{"FN:a\nFN:b\n", "FormattedName", "b"},
        TLineCase{"item1.URL:http\\://x\n", "Url", "http\\://x"},
        TLineCase{"NOCOLON\nX-UNKNOWN:1\nURL:u\n", "Url", "u"},
        // Continuations lose their first character, a blank or a tab.
        TLineCase{"NOTE:abc\n def\n\tghi\nFN:x\n", "Notes", "abcdefghi\r\n"},
        TLineCase{"NOTE:abc\n def\n\tghi\nFN:x\n", "FormattedName", "x"},
        // Unescaping runs over the whole value in a fixed order.
        TLineCase{"NOTE:a\\nb\\\\c\\;d\\,e=0D=0Af\n", "Notes", "a\r\nb\\c;d,e\r\nf\r\n"},
        TLineCase{"NOTE:\\na\\;b\\,\\x\\\n", "Notes", "\r\na;b,\\x\\\r\n"},
        TLineCase{"FN:\\\\n\\\\\\;\n", "FormattedName", "\\\r\n\\;"},
        TLineCase{"N:Do\\;e;Jo\\,hn\n", "LastName", "Do;e"},
        TLineCase{"N:Do\\;e;Jo\\,hn\n", "FirstName", "Jo,hn"},
        TLineCase{"ADR;TYPE=HOME:1;2;3;4;5;6;7;8\n", "AdrHomeCountry", "7"}));

TEST(VCardRead, Base64PhotoGivesBytes) {
  TVCard card;
  card.SetAsString("BEGIN:VCARD\nPHOTO;ENCODING=BASE64;TYPE=JPEG:AAEC\n /wA=\n\nEND:VCARD\n");
  EXPECT_EQ(VCardAt(card, 0).Photo.Data(), std::string("\x00\x01\x02\xFF\x00", 5));
}

TEST(VCardRead, ParseCardItemFromText) {
  TVCardItem item(nullptr);
  item.ParseCardItem("N:A;B\r\nTEL;CELL:9\r\n");
  EXPECT_EQ(item.LastName, "A");
  EXPECT_EQ(item.TelHomeVoice, "9");
}

}  // namespace
