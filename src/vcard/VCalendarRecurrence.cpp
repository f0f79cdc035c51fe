#include "vcard/VCalendarRecurrence.h"

#include <cctype>
#include <vector>

#include "rtl/SysUtils.h"
#include "vcard/VCardProps.h"

namespace vela {

namespace {

constexpr const char* kDayNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
constexpr const char* kRecurrenceLetters[] = {"D", "W", "M", "Y"};
constexpr TDays kWorkDays =
    DaySet(dMonday) | DaySet(dTuesday) | DaySet(dWednesday) | DaySet(dThursday) | DaySet(dFriday);
constexpr TDays kAllDays = 0x7F;

[[noreturn]] void Unsupported(std::string_view value, std::string_view detail) {
  throw EUnsupportedRecurrenceException(
      "Recurrence-Pattern \"" + std::string(value) +
      "\" contains a unsupported recurrence: " + std::string(detail));
}

bool DayFromName(std::string_view token, TDay& day) {
  for (int d = 0; d < 7; ++d)
    if (token == kDayNames[d]) {
      day = static_cast<TDay>(d);
      return true;
    }
  return false;
}

// The days named by the tokens from index on; stops at the first token that is not a day name.
TDays ReadDays(const std::vector<std::string>& tokens, size_t& index) {
  TDays days = 0;
  TDay d;
  while (index < tokens.size() && DayFromName(tokens[index], d)) {
    days |= DaySet(d);
    ++index;
  }
  return days;
}

// "3" -> 3; "3+" -> 3; "2-" -> 2 from the end; "LD" -> 1 from the end.
int ReadDayNumber(std::string_view token, bool& fromEnd) {
  fromEnd = false;
  if (token == "LD") {
    fromEnd = true;
    return 1;
  }
  if (token.empty()) return 0;
  char lastChar = token.back();
  if (lastChar == '-') {
    fromEnd = true;
    token.remove_suffix(1);
  } else if (!std::isdigit(static_cast<unsigned char>(lastChar))) {
    token.remove_suffix(1);
  }
  return StrToIntDef(token, 0);
}

TVCalendarDayType DayTypeFromDays(TDays days) {
  if (days == kAllDays) return calEveryDay;
  if (days == kWorkDays) return calWeekDay;
  if (days == (DaySet(dSunday) | DaySet(dSaturday))) return calWeekEndDay;
  for (int d = 0; d < 7; ++d)
    if (days == DaySet(static_cast<TDay>(d))) return static_cast<TVCalendarDayType>(calSunday + d);
  Unsupported("", "unsupported combination of days");
}

// " 3+" for the first to fourth, " 1-" for the last.
std::string PositionText(int dayNumber) {
  if (dayNumber >= 5) return " 1-";
  return " " + IntToStr(dayNumber) + "+";
}

}  // namespace

const char* DayName(TDay day) {
  return kDayNames[day];
}
const char* RecurrenceLetter(TCalRecurrence r) {
  return kRecurrenceLetters[r];
}

std::string DayTypeText(TVCalendarDayType t) {
  switch (t) {
    case calDay:
      return {};
    case calEveryDay:
      return "SU MO TU WE TH FR SA";
    case calWeekDay:
      return "MO TU WE TH FR";
    case calWeekEndDay:
      return "SU SA";
    default:
      return kDayNames[t - calSunday];
  }
}

void TVCalendarRecurrenceInfo::Clear() {
  Enabled = false;
  Count = 0;
  Finish = -1.0;
}

Variant TVCalendarRecurrenceInfo::AsVariant() const {
  if (!Enabled) return Null();
  return Variant(ToRRule());
}

void TVCalendarRecurrenceInfo::SetAsVariant(const Variant& value) {
  if (value.IsClear()) {
    Clear();
    return;
  }
  FromRRule(VarToStr(value));
}

std::string TVCalendarRecurrenceInfo::ToRRule() const {
  if (!Enabled) return {};
  std::string s = kRecurrenceLetters[Recurrence];
  switch (Recurrence) {
    case calrDaily:
      if (DayType == calWeekDay) {
        s = "W1 " + DayTypeText(calWeekDay);
      } else {
        s += IntToStr(Periodicity);
      }
      break;
    case calrWeekly:
      s += IntToStr(Periodicity);
      for (int d = 0; d < 7; ++d)
        if (InDays(OccurDays, static_cast<TDay>(d))) {
          s += ' ';
          s += kDayNames[d];
        }
      break;
    case calrMonthly:
      if (DayType == calDay) {
        s = "MD" + IntToStr(Periodicity) + " " + IntToStr(DayNumber);
      } else if (DayType == calEveryDay) {
        s = "MD" + IntToStr(Periodicity) + PositionText(DayNumber);
      } else {
        s = "MP" + IntToStr(Periodicity) + PositionText(DayNumber) + " " + DayTypeText(DayType);
      }
      break;
    case calrYearly:
      if (DayType == calDay) {
        s = "YM1 " + IntToStr(Periodicity);
      } else {
        // vCalendar 1.0 has no yearly rule by weekday position; every twelfth month on that
        // position recurs on the same days when the event starts in the rule's month.
        s = "MP12" + PositionText(DayNumber) + " " + DayTypeText(DayType);
      }
      break;
    default:
      Assert(false, "Recurrence not implemented yet!");
  }
  if (Count >= 1)
    s += " #" + IntToStr(Count);
  else if (Finish > -1.0)
    s += " " + CardDateTimeToYYYYMMDDFmt(Finish, true, false);
  else
    s += " #0";
  return s;
}

void TVCalendarRecurrenceInfo::FromRRule(std::string_view value) {
  Clear();
  if (value.size() <= 2) return;
  int kind = -1;
  for (int k = 0; k < 4; ++k)
    if (value[0] == kRecurrenceLetters[k][0]) kind = k;
  Enabled = kind >= 0;
  if (!Enabled) return;
  Recurrence = static_cast<TCalRecurrence>(kind);

  std::vector<std::string> tokens;
  {
    size_t start = 0;
    while (true) {
      size_t blank = value.find(' ', start);
      tokens.emplace_back(value.substr(start, blank == value.npos ? value.npos : blank - start));
      if (blank == value.npos) break;
      start = blank + 1;
    }
  }
  // The end: "#n" occurrences, or an end date; a one-character token changes nothing.
  Count = 0;
  Finish = -1.0;
  const std::string& endToken = tokens.back();
  if (endToken.size() > 1) {
    if (endToken[0] == '#') {
      Count = StrToIntDef(std::string_view(endToken).substr(1), 1);
    } else {
      TDateTime dt;
      // Compact dates, also with a UTC "Z" as some writers add.
      if (TryYYYYMMDDToDate(endToken, dt) || TryISO8601ToDate(endToken, dt))
        Finish = dt;
      else
        Finish = -1.0;
    }
  }
  tokens.pop_back();

  // Subtype and interval come from the start of the value.
  size_t firstBlank = value.find(' ');
  if (firstBlank == value.npos) firstBlank = value.size();
  char subtype = 0;
  std::string_view interval;
  if (std::isdigit(static_cast<unsigned char>(value[1]))) {
    interval = value.substr(1, firstBlank - 1);
  } else {
    subtype = value[1];
    interval = firstBlank > 2 ? value.substr(2, firstBlank - 2) : std::string_view();
  }
  int intervalValue = StrToIntDef(interval, 1);
  Periodicity = intervalValue;
  if (!tokens.empty()) tokens.erase(tokens.begin());

  switch (Recurrence) {
    case calrDaily:
      DayType = calEveryDay;
      break;
    case calrWeekly: {
      size_t index = 0;
      TDays days = ReadDays(tokens, index);
      if (Periodicity == 1 && days == kWorkDays) {
        Recurrence = calrDaily;
        DayType = calWeekDay;
      } else {
        DayType = calDay;
        OccurDays = days;
      }
      break;
    }
    case calrMonthly:
      if (subtype == 'D') {
        if (tokens.size() > 1)
          Unsupported(value, "Monthly recurrence by-day rule: only one day supported!");
        DayType = calDay;
        bool fromEnd = false;
        DayNumber = tokens.empty() ? 0 : ReadDayNumber(tokens[0], fromEnd);
        if (fromEnd) {
          if (DayNumber != 1)
            Unsupported(value,
                        "Monthly recurrence by-day rule: from last only last day in month is "
                        "supported!");
          DayNumber = 5;
          DayType = calEveryDay;
        }
      } else if (subtype == 'P') {
        bool fromEnd = false;
        DayNumber = tokens.empty() ? 0 : ReadDayNumber(tokens[0], fromEnd);
        if (!fromEnd && DayNumber > 4)
          Unsupported(value, "Monthly recurrence by-position rule: only day 1-4 is supported!");
        if (fromEnd) {
          if (DayNumber != 1)
            Unsupported(value,
                        "Monthly recurrence by-position rule: from last only last day in month "
                        "is supported!");
          DayNumber = 5;
        }
        size_t index = 1;
        TDays days = ReadDays(tokens, index);
        DayType = DayTypeFromDays(days);
        if (index < tokens.size())
          Unsupported(value, "Monthly recurrence by-position rule: only one occurrence supported!");
      } else {
        Unsupported(value, "Monthly recurrence subtype \"" +
                               (subtype ? std::string(1, subtype) : std::string()) +
                               "\" is not supported!");
      }
      break;
    case calrYearly:
      YearPeriodicity = intervalValue;
      DayNumber = 0;
      if (intervalValue != 1) Unsupported(value, "Yearly recurrence: only every year supported!");
      if (subtype == 'M') {
        if (tokens.size() > 1)
          Unsupported(value,
                      "Yearly recurrence by-month rule: only one month occurrence supported!");
        DayType = calDay;
        if (!tokens.empty()) Periodicity = StrToIntDef(tokens[0], 0);
      } else if (subtype == 'D') {
        Unsupported(value, "Yearly recurrence by-day rule: no supported!");
      } else {
        Unsupported(value, "Yearly recurrence subtype \"" +
                               (subtype ? std::string(1, subtype) : std::string()) +
                               "\" is not supported!");
      }
      break;
  }
}

}  // namespace vela
