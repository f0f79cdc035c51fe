// Dates and times with the runtime's semantics.
//
// A TDateTime counts days since 1899-12-30 00:00; the fraction is the time of day. Dates before
// 1899-12-30 are negative, and their time part is the absolute value of the fraction
// (-1.25 is 1899-12-29 06:00). Texts are UTF-8. Formatting and parsing by the format settings use
// the runtime's mask letters (see FormatDateTime); the process-wide FormatSettings never come
// from the machine's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

namespace vela {

using TDateTime = double;

inline constexpr double HoursPerDay = 24;
inline constexpr double MinsPerDay = 24 * 60;
inline constexpr double SecsPerDay = 24 * 60 * 60;
inline constexpr double MSecsPerDay = 24.0 * 60 * 60 * 1000;
inline constexpr int64_t MSecsPerDayInt = 24LL * 60 * 60 * 1000;
// Days between 1899-12-30 and 1970-01-01.
inline constexpr double UnixDateDelta = 25569;

// 0100-01-01 00:00:00, the smallest date the runtime represents.
inline constexpr TDateTime MinDateTime = -657434.0;
// 9999-12-31 23:59:59.999
inline constexpr TDateTime MaxDateTime = 2958465.99999;

// --- encoding and decoding (year 1..9999) ---
// Raise EConvertError "Invalid argument to date encode" / "Invalid argument to time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& dt);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& dt);
bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& dt);

void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec);

// 1 = Sunday .. 7 = Saturday (runtime DayOfWeek).
int DayOfWeek(TDateTime dt);
// 1 = Monday .. 7 = Sunday (ISO 8601, runtime DayOfTheWeek).
int DayOfTheWeek(TDateTime dt);
bool IsLeapYear(int year);
int DaysInAMonth(int year, int month);
int DaysInAYear(int year);

int YearOf(TDateTime dt);
int MonthOf(TDateTime dt);
int DayOf(TDateTime dt);
int HourOf(TDateTime dt);
int MinuteOf(TDateTime dt);
int SecondOf(TDateTime dt);
int MilliSecondOf(TDateTime dt);
// The date part (midnight) and the time part (always 0 <= t < 1).
TDateTime DateOf(TDateTime dt);
TDateTime TimeOf(TDateTime dt);

// The current local date, time of day, and both.
TDateTime Date();
TDateTime Time();
TDateTime Now();
// The current time in UTC.
TDateTime NowUTC();

// --- arithmetic (work on the linear time line, also across 1899-12-30) ---
TDateTime IncYear(TDateTime dt, int years = 1);
// Keeps the day, clipped to the month's last day (Jan 31 + 1 month = Feb 28/29).
TDateTime IncMonth(TDateTime dt, int months = 1);
TDateTime IncWeek(TDateTime dt, int weeks = 1);
TDateTime IncDay(TDateTime dt, int days = 1);
TDateTime IncHour(TDateTime dt, int64_t hours = 1);
TDateTime IncMinute(TDateTime dt, int64_t minutes = 1);
TDateTime IncSecond(TDateTime dt, int64_t seconds = 1);
TDateTime IncMilliSecond(TDateTime dt, int64_t msecs = 1);
// Whole units between two moments (absolute values, truncated).
int64_t DaysBetween(TDateTime a, TDateTime b);
int64_t SecondsBetween(TDateTime a, TDateTime b);
int64_t MilliSecondsBetween(TDateTime a, TDateTime b);
// Equal to the millisecond.
bool SameDateTime(TDateTime a, TDateTime b);
// -1, 0, 1 at millisecond resolution.
int CompareDateTime(TDateTime a, TDateTime b);

// Milliseconds since 1899-12-30 on the linear time line and back (exact round trip).
int64_t DateTimeToMSecs(TDateTime dt);
TDateTime MSecsToDateTime(int64_t msecs);

// --- formatting by mask ---
// Mask letters (case-insensitive): d dd ddd dddd (day, short/long day name), ddddd (short date
// format), dddddd (long date format), m mm mmm mmmm (month; after h/hh it means minutes), yy
// yyyy, h hh, n nn, s ss, z zzz, t (short time), tt (long time), c (short date + long time,
// time omitted at midnight), am/pm a/p ampm (12-hour clock), '/' the date separator, ':' the time
// separator, "..." and '...' literal text. Other characters are copied.
std::string FormatDateTime(std::string_view format, TDateTime dt,
                           const TFormatSettings& fs = FormatSettings);
// ShortDateFormat / LongTimeFormat / both; DateTimeToStr leaves the time out at exact midnight.
std::string DateToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings);
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings);
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs = FormatSettings);

// --- parsing by the format settings ---
// The order of day, month and year comes from ShortDateFormat; the separator is DateSeparator
// (any of '/', '-', '.' and blanks after it are tolerated as well); a missing year means the
// current year; two-digit years are taken within 50 years of the current year. Times are h[:n[:s
// [.z]]] with an optional AM/PM. Raise EConvertError "'<s>' is not a valid date" / "'<s>' is not a
// valid time" / "'<s>' is not a valid date and time".
TDateTime StrToDate(std::string_view s, const TFormatSettings& fs = FormatSettings);
TDateTime StrToTime(std::string_view s, const TFormatSettings& fs = FormatSettings);
TDateTime StrToDateTime(std::string_view s, const TFormatSettings& fs = FormatSettings);
bool TryStrToDate(std::string_view s, TDateTime& dt, const TFormatSettings& fs = FormatSettings);
bool TryStrToTime(std::string_view s, TDateTime& dt, const TFormatSettings& fs = FormatSettings);
bool TryStrToDateTime(std::string_view s, TDateTime& dt,
                      const TFormatSettings& fs = FormatSettings);
TDateTime StrToDateDef(std::string_view s, TDateTime def,
                       const TFormatSettings& fs = FormatSettings);
TDateTime StrToDateTimeDef(std::string_view s, TDateTime def,
                           const TFormatSettings& fs = FormatSettings);

// --- parsing by a fixed mask, as data import schemas describe their columns ---
// Mask letters (case-insensitive): D/DD day, M/MM month, YY/YYYY year, H/HH hour, N/NN or MI
// minute (MM after an hour means minutes), S/SS second, Z/ZZZ milliseconds. Fields side by side
// (YYYYMMDD) read exactly their width; a field between separators (DD.MM.YYYY) reads 1 up to its
// width of digits (a single letter up to 2, YYYY 2 to 4). Any other mask character must
// match the text (a blank in the mask also accepts a missing character at the end). Leading and
// trailing blanks of the text are ignored. YY years below 50 are 20xx, others 19xx.
// Raises EConvertError "'<text>' is not a valid date".
TDateTime StrToDateByMask(std::string_view text, std::string_view mask);
bool TryStrToDateByMask(std::string_view text, std::string_view mask, TDateTime& dt);

// --- ISO 8601 ---
// "yyyy-mm-ddThh:nn:ss.zzzZ" when the input is UTC; otherwise the local time with the local
// offset, e.g. "2024-03-31T03:30:00.000+02:00".
std::string DateToISO8601(TDateTime dt, bool inputIsUTC = true);
// Accepts "yyyy-mm-dd", "yyyy-mm", "yyyy", date-times with 'T' (or a blank), "hh:nn", "hh:nn:ss",
// fractions of a second, "Z", "+hh:mm", "+hhmm", "+hh" offsets, and the basic forms without
// separators ("20240331T033000Z"). A text with an offset is converted to UTC; a text without one is
// taken as UTC. With returnUTC false the result is converted to local time.
// Raises EConvertError "'<s>' is not a valid date and time".
TDateTime ISO8601ToDate(std::string_view s, bool returnUTC = true);
bool TryISO8601ToDate(std::string_view s, TDateTime& dt, bool returnUTC = true);
// The default on any failure (e.g. MinDateTime).
TDateTime ISO8601ToDateDef(std::string_view s, TDateTime def, bool returnUTC = true);

// --- YYYYMMDD ---
// "20240131"; with withTime "20240131T134500".
std::string DateToYYYYMMDD(TDateTime dt, bool withTime = false);
// Accepts "YYYYMMDD" and "YYYYMMDDThhnn[ss]" (also with a blank instead of the T).
// Raises EConvertError "'<s>' is not a valid date".
TDateTime YYYYMMDDToDate(std::string_view s);
bool TryYYYYMMDDToDate(std::string_view s, TDateTime& dt);

// --- time zones (the system's zone database; TZ is honoured) ---
// A local time in the hour that occurs twice when DST ends is taken as standard time; one in the
// skipped hour when DST starts is taken with the offset in force after the change.
TDateTime LocalToUTC(TDateTime local);
TDateTime UTCToLocal(TDateTime utc);
// Minutes to add to the local time to get UTC at the given local moment (-60 in Berlin winter).
int LocalTimeZoneBias(TDateTime local);
// Minutes to add to the local time to get UTC now.
int CurrentTimeZoneBias();

// --- Unix time (seconds since 1970-01-01 00:00 UTC) ---
int64_t DateTimeToUnix(TDateTime dt, bool inputIsUTC = true);
TDateTime UnixToDateTime(int64_t unixTime, bool returnUTC = true);

// --- SQL text as stored in SQLite ---
std::string DateToSQL(TDateTime dt);  // "YYYY-MM-DD"
std::string TimeToSQL(TDateTime dt);  // "HH:MM:SS"
// "YYYY-MM-DD HH:MM:SS", with ".SSS" appended when withMSecs is set.
std::string DateTimeToSQL(TDateTime dt, bool withMSecs = false);
// Accepts "YYYY-MM-DD", "HH:MM[:SS[.SSS]]" (time only: day 0) and "YYYY-MM-DD HH:MM[:SS[.SSS]]"
// (also with 'T'). Raises EConvertError "'<s>' is not a valid date and time".
TDateTime SQLToDateTime(std::string_view s);
bool TrySQLToDateTime(std::string_view s, TDateTime& dt);

}  // namespace vela
