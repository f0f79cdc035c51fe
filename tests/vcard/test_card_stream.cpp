// Reading and writing a card item by item: the items stay out of the card's list, text outside
// the items reaches the card before the item after it, and the writer puts the card's opening and
// closing lines around the items it is handed.
#include <gtest/gtest.h>

#include "CardTestSupport.h"
#include "rtl/Streams.h"

using namespace vela;

namespace {

const char* kCalendar =
    "BEGIN:VCALENDAR\r\nPRODID:-//Test//EN\r\nVERSION:1.0\r\nTZ:+05:30\r\n"
    "BEGIN:VEVENT\r\nSUMMARY:first\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nSUMMARY:second\r\nDESCRIPTION:two\\nlines\r\nEND:VEVENT\r\nEND:VCALENDAR";

TEST(CardItemStream, CalendarEventsOneAtATimeWriteAsTheWholeCard) {
  TVCalendar whole;
  whole.SetAsString(kCalendar);
  ASSERT_EQ(whole.Count(), 2);

  TVCalendar cal;
  cal.SetReadBlockSize(5);  // items and lines cross many blocks
  TStringStream in{std::string(kCalendar)};
  TCardItemReader reader(cal, in);
  TStringStream out;
  TCardItemWriter writer(cal, out);
  std::vector<std::string> captions;
  while (auto item = reader.Next()) {
    EXPECT_EQ(cal.BaseData().ProductID, "-//Test//EN") << "envelope read before the event";
    captions.push_back(dynamic_cast<TVCalendarItem&>(*item).Caption);
    writer.Write(*item);
  }
  EXPECT_EQ(reader.Next(), nullptr);
  writer.Finish();
  EXPECT_EQ(captions, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(cal.Count(), 0);
  EXPECT_EQ(out.DataString(), whole.GetAsString());
}

std::string FieldText(const TCustomCard& card, const TCustomCardItem& item, int field) {
  const TCardProperty& p = card.GetFieldTypeInfo(field);
  if (p.Type == TCardFieldType::cftItemValue)
    return p.Object(const_cast<TCustomCardItem&>(item))->AsText();
  return VarToStr(card.GetValues(item, field));
}

// Reading into a kept item: every field of a contact is what a new item would hold, nothing of
// the contact before it stays, and an entry of another kind gets an item of its own.
TEST(CardItemStream, KeptItemHoldsNothingOfTheContactBefore) {
  const std::string text =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;John;P;Dr.;\r\nFN:John Doe\r\nORG:A\\, B\r\n"
      "EMAIL;TYPE=INTERNET,HOME:h@x\r\nEMAIL;TYPE=INTERNET,WORK:w@x\r\nEMAIL;INTERNET:o@x\r\n"
      "TEL;TYPE=HOME,VOICE:1\r\nADR;TYPE=WORK:;;St 1;City;;9;C\r\nBDAY:1970-01-02\r\n"
      "NOTE:a\\nb\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:AAEC\r\nCLASS:PRIVATE\r\nUID:u1\r\n"
      "END:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nEMAIL;INTERNET:only@x\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nFN:Third\r\nEND:VCARD\r\n"
      "dn: cn=L\r\ncn: L\r\nmail: l@x\r\nsn: S";  // an LDIF entry runs to the end
  TVCard whole;
  whole.SetAsString(text);
  ASSERT_EQ(whole.Count(), 4);

  TVCard card;
  TStringStream in{text};
  TCardItemReader reader(card, in);
  std::unique_ptr<TCustomCardItem> slot;
  std::vector<const TCustomCardItem*> items;
  for (int n = 0; n < whole.Count(); ++n) {
    TCustomCardItem* item = reader.Next(slot);
    ASSERT_NE(item, nullptr) << n;
    EXPECT_EQ(item->ClassType(), whole.Items()[n].ClassType()) << n;
    for (int f = 0; f < card.FieldCount(); ++f)
      EXPECT_EQ(FieldText(card, *item, f), FieldText(whole, whole.Items()[n], f))
          << "contact " << n << ", " << card.GetFieldNames(f);
    items.push_back(item);
  }
  EXPECT_EQ(reader.Next(slot), nullptr);
  EXPECT_EQ(items[1], items[0]) << "the second contact is read into the first one's item";
  EXPECT_EQ(card.Count(), 0);
}

}  // namespace
