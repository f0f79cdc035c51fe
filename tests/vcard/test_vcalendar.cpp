// vCalendar: envelope, events, times, busy state, and the RRULE reader and writer.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "CardTestSupport.h"
#include "rtl/DateUtils.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

// --- RRULE reading and writing ---

std::unique_ptr<TVCalendarRecurrenceInfo> ReadRule(const std::string& rule) {
  auto r = std::make_unique<TVCalendarRecurrenceInfo>();
  r->FromRRule(rule);
  return r;
}

// A rule text, the structure it reads as and the text it is written back as.
TEST(RRule, ReadsAndWritesBack) {
  const struct {
    const char* Rule;
    TCalRecurrence Kind;
    int Periodicity;
    TVCalendarDayType DayType;
    int DayNumber, Count;
    const char* Written;
  } cases[] = {
      {"D2 #10", calrDaily, 2, calEveryDay, 0, 10, "D2 #10"},
      // Weekly on Monday to Friday becomes daily on weekdays.
      {"W1 MO TU WE TH FR #0", calrDaily, 1, calWeekDay, 0, 0, "W1 MO TU WE TH FR #0"},
      {"MP1 1- FR #0", calrMonthly, 1, calFriday, 5, 0, "MP1 1- FR #0"},
      {"MP2 4+ TU #5", calrMonthly, 2, calTuesday, 4, 5, "MP2 4+ TU #5"},
      {"MP1 2+ SU SA #0", calrMonthly, 1, calWeekEndDay, 2, 0, "MP1 2+ SU SA #0"},
      {"MP1 2+ MO TU WE TH FR #0", calrMonthly, 1, calWeekDay, 2, 0, "MP1 2+ MO TU WE TH FR #0"},
      {"MP1 3+ SU MO TU WE TH FR SA #0", calrMonthly, 1, calEveryDay, 3, 0, "MD1 3+ #0"},
      {"MD1 15 #0", calrMonthly, 1, calDay, 15, 0, "MD1 15 #0"},
      {"MD1 LD #3", calrMonthly, 1, calEveryDay, 5, 3, "MD1 1- #3"},
      {"YM1 6 #0", calrYearly, 6, calDay, 0, 0, "YM1 6 #0"},
      {"D1 #x", calrDaily, 1, calEveryDay, 0, 1, "D1 #1"},  // an unreadable count is one
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Rule);
    auto r = ReadRule(c.Rule);
    EXPECT_EQ(std::tuple(r->Enabled, r->Recurrence, r->Periodicity, r->DayType, r->DayNumber,
                         r->Count, r->IsInfinity(), r->ToRRule()),
              std::tuple(true, c.Kind, c.Periodicity, c.DayType, c.DayNumber, c.Count, c.Count == 0,
                         std::string(c.Written)));
  }
}

TEST(RRule, WeeklyWithEndDate) {
  auto r = ReadRule("W2 MO WE 20241231");
  EXPECT_EQ(std::tuple(r->Recurrence, r->Periodicity, r->Count, r->Finish, r->IsInfinity()),
            std::tuple(calrWeekly, 2, 0, EncodeDate(2024, 12, 31), false));
  EXPECT_EQ(r->OccurDays, DaySet(dMonday) | DaySet(dWednesday));
  // The end date is written in the compact form and reads back.
  EXPECT_EQ(r->ToRRule().substr(0, 9), "W2 MO WE ");
  EXPECT_EQ(ReadRule(r->ToRRule())->Finish, r->Finish);
}

TEST(RRule, ShortUnknownOrDisabledRules) {
  EXPECT_FALSE(ReadRule("")->Enabled);
  EXPECT_FALSE(ReadRule("D2")->Enabled);
  EXPECT_FALSE(ReadRule("X1 #3")->Enabled);
  EXPECT_EQ(ReadRule("D1 garbage")->Finish, -1.0);
  TVCalendarRecurrenceInfo r;
  EXPECT_EQ(r.ToRRule(), "");
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_TRUE(r.IsInfinity());
}

// The value in the message is empty where the days do not combine.
TEST(RRule, UnsupportedRulesRaiseWithExactMessage) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"MP1 5+ MO #0", "Monthly recurrence by-position rule: only day 1-4 is supported!", false},
      {"MP3 2- FR #17",
       "Monthly recurrence by-position rule: from last only last day in month is supported!",
       false},
      {"MP1 1+ MO 2+ TU #0", "Monthly recurrence by-position rule: only one occurrence supported!",
       false},
      {"MP1 1+ MO WE #0", "unsupported combination of days", true},
      {"MD1 1 15 #0", "Monthly recurrence by-day rule: only one day supported!", false},
      {"MD1 2- #0",
       "Monthly recurrence by-day rule: from last only last day in month is supported!", false},
      {"MX1 1 #0", "Monthly recurrence subtype \"X\" is not supported!", false},
      {"YM2 6 #0", "Yearly recurrence: only every year supported!", false},
      {"YM1 6 7 #0", "Yearly recurrence by-month rule: only one month occurrence supported!",
       false},
      {"YD1 141 #17", "Yearly recurrence by-day rule: no supported!", false},
  };
  for (const auto& [rule, detail, emptyValue] : cases) {
    try {
      ReadRule(rule);
      ADD_FAILURE() << "no exception for " << rule;
    } catch (const EUnsupportedRecurrenceException& ex) {
      EXPECT_EQ(ex.Message(), "Recurrence-Pattern \"" + std::string(emptyValue ? "" : rule) +
                                  "\" contains a unsupported recurrence: " + detail);
      EXPECT_STREQ(ex.ClassName(), "EUnsupportedRecurrenceException");
      EXPECT_NE(dynamic_cast<const ERecurrenceException*>(&ex), nullptr);
    }
  }
}

TEST(RRule, YearlyByWeekdayPositionWritesFormThatReadsBack) {
  TVCalendarRecurrenceInfo r;
  r.Enabled = true;
  r.Recurrence = calrYearly;
  r.DayType = calSunday;
  r.DayNumber = 2;
  r.Periodicity = 5;
  std::string text = r.ToRRule();
  EXPECT_EQ(text, "MP12 2+ SU #0");
  auto back = ReadRule(text);
  EXPECT_EQ(std::tuple(back->Recurrence, back->Periodicity, back->DayNumber, back->DayType),
            std::tuple(calrMonthly, 12, 2, calSunday));
}

// --- time zone ---

TEST(CalendarTimeZone, TextForms) {
  const std::pair<const char*, int> read[] = {{"-05:00", -300}, {"-0500", -300}, {"+05:30", 330},
                                              {"-07", -420},    {"", 0},         {"+xx:yy", 0}};
  for (auto [text, bias] : read)
    EXPECT_EQ(TextToTimeZoneBias(text), bias) << text;
  for (auto [text, bias] : {std::pair{"+05:30", 330}, {"-05:00", -300}, {"", 0}})
    EXPECT_EQ(TimeZoneBiasToText(bias), text);
}

TEST(CalendarEnvelope, WritesProductAndTimeZone) {
  TVCalendar cal;
  cal.SetAsString(
      "BEGIN:VCALENDAR\r\nPRODID:-//Test//EN\r\nVERSION:1.0\r\nTZ:+05:30\r\n"
      "BEGIN:VEVENT\r\nSUMMARY:x\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  // What is read: the envelope line of the golden cases.
  std::string text = cal.GetAsString();
  EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\nVERSION:1.0\r\nPRODID:-//Test//EN\r\nTZ:+05:30\r\n"
                       "BEGIN:VEVENT\r\n",
                       0),
            0u)
      << text;
  const std::string tail = "END:VEVENT\r\nEND:VCALENDAR\r\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  cal.Clear();
  EXPECT_EQ(cal.BaseData().ProductID, "");
  EXPECT_EQ(cal.BaseData().TimeZoneBias, 0);
  cal.CreateEvent().Caption = "e";
  EXPECT_NE(cal.GetAsString().find("PRODID:falder vcalendar\r\n"), std::string::npos);
}

// --- events ---

// Written, read back and written again gives the same text, in both versions; line breaks are
// quoted-printable in 1.0 and escaped as \n later.
TEST(CalendarEvent, RoundTripBothVersions) {
  for (uint8_t version : {0, 1}) {
    TVCalendar cal;
    cal.LoadFromFile(OwnData("calendar_event_fields.vcs"));
    cal.SetVersion(version);
    const std::string text = cal.GetAsString();
    TVCalendar back;
    back.SetAsString(text);
    ASSERT_EQ(back.Count(), 3) << text;
    EXPECT_EQ(back.Version(), version);
    EXPECT_EQ(back.GetAsString(), text);
    EXPECT_EQ(EventAt(back, 0).Description, "Line 1\r\nLine 2");
    EXPECT_EQ(EventAt(back, 0).Recurrence.ToRRule(), "W1 MO #4");
    EXPECT_NE(
        text.find(version == 0 ? "DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=utf-8:Line 1=0D=0A="
                               : "DESCRIPTION;CHARSET=utf-8:Line 1\\nLine 2"),
        std::string::npos)
        << text;
  }
}

TEST(CalendarEvent, BusyStatusAndTransparencyTexts) {
  TVCalendar cal;
  auto& e = cal.CreateEvent();
  e.BusyState = vbcTentative;
  const std::string text = cal.GetAsString(&e);
  EXPECT_NE(text.find("BUSYSTATUS:TENTATIVE\r\n"), std::string::npos);
  EXPECT_NE(text.find("X-MICROSOFT-CDO-BUSYSTATUS:TENTATIVE\r\n"), std::string::npos);
  EXPECT_NE(text.find("TRANSP:OPAQUE\r\n"), std::string::npos);
}

TEST(CalendarEvent, MidnightStartAndEndMakeAnAllDayEvent) {
  TVCalendar cal;
  cal.SetAsString(
      "BEGIN:VEVENT\nDTSTART:20240310T000000Z\nDTEND:20240311T000000Z\nEND:VEVENT\n"
      "BEGIN:VEVENT\nDTSTART:20240310T000000Z\nDTEND:20240310T120000Z\nEND:VEVENT\n"
      "BEGIN:VEVENT\nDTSTART:20240310T080000Z\nDTEND:20240310T120000Z\n"
      "X-FUNAMBOL-ALLDAY:1\nEND:VEVENT\n");
  auto& allDay = EventAt(cal, 0);
  EXPECT_TRUE(allDay.AllDayEvent);
  EXPECT_EQ(allDay.Start(), DateOf(UTCToLocal(allDay.StoredStart())));
  EXPECT_EQ(allDay.Finish(), EncodeDate(2024, 3, 11));
  EXPECT_FALSE(EventAt(cal, 1).AllDayEvent);
  auto& flagged = EventAt(cal, 2);
  EXPECT_TRUE(flagged.AllDayEvent);
  EXPECT_EQ(flagged.Finish(), EncodeDate(2024, 3, 10));
  EXPECT_EQ(flagged.StoredFinish(), EncodeDateTime(2024, 3, 10, 12, 0, 0, 0));
}

TEST(CalendarEvent, LocalAccessorsConvertBothWays) {
  TVCalendar cal;
  auto& e = cal.CreateEvent();
  TDateTime local = EncodeDateTime(2024, 7, 1, 15, 30, 0, 0);
  e.SetLocalStart(local);
  EXPECT_EQ(e.StoredStart(), LocalToUTC(local));
  EXPECT_EQ(e.LocalStart(), local);
  e.SetLocalAlarm(local);
  EXPECT_EQ(e.Alarm, LocalToUTC(local));
  EXPECT_EQ(e.LocalAlarm(), local);
}

TEST(CalendarEvent, YearlyRuleTakesDayOfStart) {
  TVCalendar cal;
  cal.SetAsString("BEGIN:VEVENT\nDTSTART:20240617T100000Z\nRRULE:YM1 6 #0\nEND:VEVENT\n");
  EXPECT_EQ(EventAt(cal, 0).Recurrence.DayNumber, 17);
}

}  // namespace
