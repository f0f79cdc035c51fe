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

}  // namespace
