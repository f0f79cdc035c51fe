// The recurrence of a calendar event and its vCalendar 1.0 RRULE text ("D2 #10",
// "W1 MO TU WE TH FR #0", "MP1 1- FR #0", "YM1 6 #0", ...).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/Exceptions.h"
#include "vcard/VCard.h"

namespace vela {

VELA_DECLARE_EXCEPTION(ERecurrenceException, Exception);
// A rule the reader cannot represent. Message: Recurrence-Pattern "<RRULE>" contains a
// unsupported recurrence: <detail>.
VELA_DECLARE_EXCEPTION(EUnsupportedRecurrenceException, ERecurrenceException);

enum TCalRecurrence { calrDaily, calrWeekly, calrMonthly, calrYearly };
enum TDay { dSunday, dMonday, dTuesday, dWednesday, dThursday, dFriday, dSaturday };
// A set of TDay: bit d stands for day d.
using TDays = uint8_t;
inline constexpr TDays DaySet(TDay d) {
  return static_cast<TDays>(1u << d);
}
inline constexpr bool InDays(TDays set, TDay d) {
  return (set & DaySet(d)) != 0;
}

enum TVCalendarDayType {
  calDay,
  calEveryDay,
  calWeekDay,
  calWeekEndDay,
  calSunday,
  calMonday,
  calTuesday,
  calWednesday,
  calThursday,
  calFriday,
  calSaturday
};

class TVCalendarRecurrenceInfo : public TCustomCardItemValue {
 public:
  TVCalendarRecurrenceInfo() { Clear(); }

  bool Enabled = false;
  TCalRecurrence Recurrence = calrDaily;
  int Periodicity = 1;  // the interval; for yearly rules the month
  int YearPeriodicity = 1;
  TDays OccurDays = 0;
  int DayNumber = 0;  // 1 to 4; 5 means the last
  TVCalendarDayType DayType = calDay;
  int Count = 0;          // 0 for none
  TDateTime Finish = -1;  // -1.0 for none
  int DismissDate = 0;

  bool IsInfinity() const { return Count == 0 && Finish == -1.0; }

  // Disables the rule and removes its end.
  void Clear() override;
  bool IsEmpty() const override { return !Enabled; }
  // The RRULE text ("" when not enabled).
  std::string AsText() const override { return ToRRule(); }
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;

  // Writes the rule. A yearly rule by weekday position is written as the monthly by-position
  // form with an interval of 12, which the reader accepts.
  std::string ToRRule() const;
  // Reads a rule; raises EUnsupportedRecurrenceException for rules it cannot represent.
  void FromRRule(std::string_view value);
};

// "SU" ... "SA" and "D" "W" "M" "Y", the texts of the day types.
const char* DayName(TDay day);
const char* RecurrenceLetter(TCalRecurrence r);
std::string DayTypeText(TVCalendarDayType t);

}  // namespace vela
