#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "rtl/DateUtils.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

// Year, month, day, hour, minute, second, millisecond; missing trailing parts are 0.
using DT = std::array<int, 7>;
using Times = std::vector<TDateTime>;

TDateTime Encoded(const DT& e) {
  return EncodeDateTime(e[0], e[1], e[2], e[3], e[4], e[5], e[6]);
}

void ExpectDecoded(TDateTime dt, DT e) {
  DT r{};
  DecodeDateTime(dt, r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
  EXPECT_EQ(r, e) << dt;
}

// The text of the EConvertError that f raises.
template <class F>
std::string ConvertErrorOf(F f) {
  const std::string text = RaisedText(f);
  return text.rfind("EConvertError: ", 0) == 0 ? text.substr(15) : "<no EConvertError> " + text;
}

// Sets TZ for one test and restores the previous value.
class ScopedTZ {
 public:
  explicit ScopedTZ(const char* tz) {
    if (const char* old = std::getenv("TZ")) FOld = old, FHad = true;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTZ() {
    if (FHad)
      setenv("TZ", FOld.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string FOld;
  bool FHad = false;
};

TFormatSettings German() {
  return FormatSettingsFor("de");
}

TFormatSettings EnglishUS() {
  TFormatSettings fs;
  fs.ShortDateFormat = "m/d/yyyy";
  fs.LongTimeFormat = "h:nn:ss AMPM";
  return fs;
}

TEST(DateUtils, KnownSerials) {
  EXPECT_EQ((Times{EncodeDate(1899, 12, 30), EncodeDate(1900, 1, 1), EncodeDate(1970, 1, 1),
                   EncodeDate(2000, 1, 1), EncodeDate(100, 1, 1), EncodeDate(9999, 12, 31),
                   EncodeDateTime(2000, 1, 1, 12, 0, 0, 0)}),
            (Times{0.0, 2.0, UnixDateDelta, 36526.0, MinDateTime, 2958465.0, 36526.5}));
}

TEST(DateUtils, NegativeDatesKeepTheTimeAsAbsoluteFraction) {
  ExpectDecoded(MinDateTime, {100, 1, 1});
  ExpectDecoded(-1.25, {1899, 12, 29, 6});
  ExpectDecoded(-1.75, {1899, 12, 29, 18});
  ExpectDecoded(-2.0, {1899, 12, 28});
  // Arithmetic runs on the time line, not on the raw number.
  EXPECT_EQ(
      (Times{EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), EncodeDateTime(1800, 5, 17, 18, 0, 0, 0),
             IncHour(-1.25, 18), IncHour(0.25, -12), DateOf(-1.25)}),
      (Times{-1.25, EncodeDate(1800, 5, 17) - 0.75, 0.0, -1.75, -1.0}));
  EXPECT_DOUBLE_EQ(TimeOf(-1.25), 0.25);
  EXPECT_EQ(DayOfWeek(-1.25), 6);  // 1899-12-29 was a Friday
}

TEST(DateUtils, EncodeDecodeRoundTripOverManyDates) {
  const int times[][4] = {{0, 0, 0, 0}, {23, 59, 59, 999}, {12, 30, 15, 500}, {1, 2, 3, 4}};
  for (int y : {1, 100, 1582, 1600, 1899, 1900, 1970, 2000, 2024, 2100, 9999}) {
    for (int m = 1; m <= 12; ++m) {
      for (int d : {1, 15, DaysInAMonth(y, m)}) {
        for (const auto& t : times)
          ExpectDecoded(EncodeDateTime(y, m, d, t[0], t[1], t[2], t[3]),
                        {y, m, d, t[0], t[1], t[2], t[3]});
      }
    }
  }
  // Consecutive serials decode to consecutive days.
  for (int64_t serial = -700000; serial < 3000000; serial += 997) {
    int y, m, d;
    DecodeDate(static_cast<double>(serial), y, m, d);
    if (y < 1 || y > 9999) continue;
    EXPECT_EQ(EncodeDate(y, m, d), static_cast<double>(serial));
  }
}

TEST(DateUtils, EncodeRejectsInvalidArguments) {
  const int bad[][3] = {{2023, 2, 29}, {2024, 13, 1}, {2024, 0, 1}, {0, 1, 1},
                        {10000, 1, 1}, {1900, 2, 29}, {2024, 4, 31}};
  for (const auto& b : bad) {
    TDateTime dt;
    EXPECT_FALSE(TryEncodeDate(b[0], b[1], b[2], dt)) << b[0] << "-" << b[1] << "-" << b[2];
    EXPECT_EQ(ConvertErrorOf([&] { EncodeDate(b[0], b[1], b[2]); }),
              "Invalid argument to date encode");
  }
  for (const auto& t : {std::array{24, 0, 0, 0}, {1, 60, 0, 0}, {1, 0, 0, 1000}})
    EXPECT_EQ(ConvertErrorOf([&] { EncodeTime(t[0], t[1], t[2], t[3]); }),
              "Invalid argument to time encode");
}

TEST(DateUtils, CalendarArithmetic) {
  const TDateTime jan31 = EncodeDate(2024, 1, 31);
  EXPECT_EQ((Times{IncMonth(jan31), IncMonth(jan31, -2), IncYear(EncodeDate(2024, 2, 29)),
                   IncDay(jan31, 1), IncSecond(EncodeDateTime(2024, 12, 31, 23, 59, 59, 0))}),
            (Times{EncodeDate(2024, 2, 29), EncodeDate(2023, 11, 30), EncodeDate(2025, 2, 28),
                   EncodeDate(2024, 2, 1), EncodeDate(2025, 1, 1)}));
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 31)), 1);     // Sunday
  EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 3, 31)), 7);  // ISO: Sunday last
  EXPECT_EQ(SecondsBetween(EncodeDate(2024, 1, 1), EncodeDateTime(2024, 1, 1, 1, 0, 1, 0)), 3601);
  EXPECT_EQ(DaysBetween(EncodeDate(2024, 3, 1), EncodeDate(2024, 2, 1)), 29);
}

TEST(DateUtils, FormatDateTimeMasks) {
  TFormatSettings fs;
  fs.DateSeparator = '-';
  fs.TimeSeparator = '.';
  const TDateTime dt = EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);
  const struct {
    const char* Mask;
    const char* Expected;
  } cases[] = {{"d/m/yy", "5-3-24"},
               {"dd/mm/yyyy", "05-03-2024"},
               {"ddd dddd", "Tue Tuesday"},
               {"mmm mmmm", "Mar March"},
               {"hh:nn:ss.zzz", "14.07.09.045"},
               {"h:n:s z", "14.7.9 45"},
               {"hh:mm", "14.07"},  // m after h means minutes
               {"h:nn am/pm", "2.07 pm"},
               {"h:nn AM/PM", "2.07 PM"},
               {"hh a/p", "02 p"},
               {"h ampm", "2 PM"},
               {"yyyy\"/\"mm'/'dd", "2024/03/05"},  // quoted separators are literal
               {"YYYYMMDD\"T\"HHNNSS", "20240305T140709"},
               {"c", "2024-03-05 14.07.09"},
               {"ddddd", "2024-03-05"}};
  for (const auto& c : cases)
    EXPECT_EQ(FormatDateTime(c.Mask, dt, fs), c.Expected) << c.Mask;
  EXPECT_EQ(FormatDateTime("h:nn am/pm", EncodeTime(0, 5, 0, 0), fs), "12.05 am");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25, fs), "1899-12-29 06.00");
}

TEST(DateUtils, DateTimeToStrOmitsMidnight) {
  const TFormatSettings fs = German(), defaults;
  EXPECT_EQ(
      (std::vector<std::string>{DateTimeToStr(EncodeDate(2024, 12, 24), fs),
                                DateTimeToStr(EncodeDateTime(2024, 12, 24, 0, 0, 1, 0), fs),
                                DateToStr(EncodeDateTime(2024, 12, 24, 18, 0, 0, 0), fs),
                                TimeToStr(EncodeDateTime(2024, 12, 24, 18, 5, 0, 0), fs),
                                DateTimeToStr(EncodeDateTime(2024, 1, 2, 3, 4, 5, 0), defaults),
                                TimeToStr(EncodeTime(15, 4, 5, 0), EnglishUS())}),
      (std::vector<std::string>{"24.12.2024", "24.12.2024 00:00:01", "24.12.2024", "18:05:00",
                                "2024/01/02 03:04:05", "3:04:05 PM"}));
}

TEST(DateUtils, StrToDateBySettings) {
  const TFormatSettings de = German(), us = EnglishUS(), defaults;
  const struct {
    const char* Text;
    const TFormatSettings* Fs;
    int Y, M, D;
  } good[] = {{"24.12.2024", &de, 2024, 12, 24},     {"1.2.2024", &de, 2024, 2, 1},
              {" 01.02.2024 ", &de, 2024, 2, 1},     {"12/24/2024", &us, 2024, 12, 24},
              {"2024/02/01", &defaults, 2024, 2, 1}, {"1.2.1900", &de, 1900, 2, 1}};
  for (const auto& g : good) {
    int y, m, d;
    DecodeDate(StrToDate(g.Text, *g.Fs), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, g.Y * 10000 + g.M * 100 + g.D) << g.Text;
  }
  // Two-digit years fall within 50 years of today; a missing year is the current one.
  EXPECT_EQ(YearOf(StrToDate("1.2.05", de)), 2005);
  EXPECT_EQ(StrToDate("1.2", de), EncodeDate(YearOf(Date()), 2, 1));

  for (const char* bad : {"", "31.02.2024", "24.12.2024x", "abc", "12/24/2024 garbage", "1."})
    EXPECT_EQ(ConvertErrorOf([&] { StrToDate(bad, de); }),
              "'" + std::string(bad) + "' is not a valid date")
        << bad;
  EXPECT_EQ(ConvertErrorOf([&] { StrToDate("24.12.2024", us); }),
            "'24.12.2024' is not a valid date");
}

TEST(DateUtils, StrToTimeAndDateTime) {
  const TFormatSettings de = German(), us = EnglishUS();
  EXPECT_EQ((Times{StrToTime("14:30", de), StrToTime("14:30:15", de), StrToTime("14:30:15.250", de),
                   StrToTime("2:30 PM", us), StrToTime("12:00 AM", us),
                   StrToDateTime("24.12.2024 18:30:00", de), StrToDateTime("24.12.2024", de),
                   StrToDateTime("18:30", de), StrToDateTime("29.12.1899 06:00", de)}),
            (Times{EncodeTime(14, 30, 0, 0), EncodeTime(14, 30, 15, 0), EncodeTime(14, 30, 15, 250),
                   EncodeTime(14, 30, 0, 0), 0.0, EncodeDateTime(2024, 12, 24, 18, 30, 0, 0),
                   EncodeDate(2024, 12, 24), EncodeTime(18, 30, 0, 0), -1.25}));
  EXPECT_EQ(ConvertErrorOf([&] { StrToTime("25:00", de); }), "'25:00' is not a valid time");
  EXPECT_EQ(ConvertErrorOf([&] { StrToTime("13:00 PM", us); }), "'13:00 PM' is not a valid time");
  EXPECT_EQ(ConvertErrorOf([&] { StrToDateTime("24.12.2024 99:00", de); }),
            "'24.12.2024 99:00' is not a valid date and time");
  // Formatting and parsing by the same settings round-trip.
  const TDateTime dt = EncodeDateTime(1987, 6, 5, 4, 3, 2, 0);
  EXPECT_EQ(StrToDateTime(DateTimeToStr(dt, de), de), dt);
  EXPECT_EQ(StrToDateTime(DateTimeToStr(dt, us), us), dt);
}

TEST(DateUtils, StrToDateByMask) {
  const struct {
    const char* Text;
    const char* Mask;
    DT Expected;
  } good[] = {{"24.12.2024", "DD.MM.YYYY", {2024, 12, 24}},
              {"1.2.2024", "DD.MM.YYYY", {2024, 2, 1}},
              {"20240131", "YYYYMMDD", {2024, 1, 31}},
              {"240131", "YYMMDD", {2024, 1, 31}},
              {"991231", "YYMMDD", {1999, 12, 31}},
              {"12/31/1999", "mm/dd/yyyy", {1999, 12, 31}},
              {" 2024-01-31 ", "YYYY-MM-DD", {2024, 1, 31}},
              {"31.01.2024 13:45:10", "DD.MM.YYYY HH:MM:SS", {2024, 1, 31, 13, 45, 10}},
              {"202401311345", "YYYYMMDDHHNN", {2024, 1, 31, 13, 45}},
              {"31.01.2024 13:45", "DD.MM.YYYY HH:MI", {2024, 1, 31, 13, 45}}};
  for (const auto& g : good)
    ExpectDecoded(StrToDateByMask(g.Text, g.Mask), g.Expected);

  const struct {
    const char* Text;
    const char* Mask;
  } bad[] = {{"2024013", "YYYYMMDD"},  {"202401311", "YYYYMMDD"},    {"20241301", "YYYYMMDD"},
             {"20230229", "YYYYMMDD"}, {"24-12-2024", "DD.MM.YYYY"}, {"", "DD.MM.YYYY"},
             {"2024O131", "YYYYMMDD"}, {"32.01.2024", "DD.MM.YYYY"}, {"abc", "YYMMDD"}};
  for (const auto& b : bad) {
    TDateTime dt;
    EXPECT_FALSE(TryStrToDateByMask(b.Text, b.Mask, dt)) << b.Text << " / " << b.Mask;
    EXPECT_EQ(ConvertErrorOf([&] { StrToDateByMask(b.Text, b.Mask); }),
              "'" + std::string(b.Text) + "' is not a valid date");
  }
}

TEST(DateUtils, ISO8601Reading) {
  const struct {
    const char* Text;
    DT Utc;
  } cases[] = {{"2024-03-31", {2024, 3, 31}},
               {"20240331", {2024, 3, 31}},
               {"2024-03-31T10:15", {2024, 3, 31, 10, 15}},
               {"2024-03-31T10:15:30.5", {2024, 3, 31, 10, 15, 30, 500}},
               {"2024-03-31T10:15:30.123456Z", {2024, 3, 31, 10, 15, 30, 123}},
               {"2024-03-31T10:15:30Z", {2024, 3, 31, 10, 15, 30}},
               {"2024-03-31T10:15:30+02:00", {2024, 3, 31, 8, 15, 30}},
               {"2024-03-31T01:15:30+0230", {2024, 3, 30, 22, 45, 30}},
               {"2024-03-31T22:00:00-05", {2024, 4, 1, 3}},
               {"20240331T101530,25+0100", {2024, 3, 31, 9, 15, 30, 250}},
               {"1850-06-01T06:00:00Z", {1850, 6, 1, 6}}};
  for (const auto& c : cases)
    ExpectDecoded(ISO8601ToDate(c.Text), c.Utc);

  for (const char* bad : {"", "2024-13-01", "2024-02-30", "2024-03-31T25:00", "2024-03-31X",
                          "31.03.2024", "2024-03-31T10:15:30+25:00", "2024-3-1"}) {
    TDateTime dt;
    EXPECT_FALSE(TryISO8601ToDate(bad, dt)) << bad;
    EXPECT_EQ(ISO8601ToDateDef(bad, MinDateTime), MinDateTime);
    EXPECT_EQ(ConvertErrorOf([&] { ISO8601ToDate(bad); }),
              "'" + std::string(bad) + "' is not a valid date and time");
  }
}

TEST(DateUtils, ISO8601WritingRoundTrips) {
  ScopedTZ tz("Europe/Berlin");
  const TDateTime winter = EncodeDateTime(2024, 1, 15, 9, 30, 0, 120);
  const TDateTime summer = EncodeDateTime(2024, 7, 1, 12, 0, 0, 0);
  EXPECT_EQ(DateToISO8601(winter) + " " + DateToISO8601(winter, false) + " " +
                DateToISO8601(summer, false),
            "2024-01-15T09:30:00.120Z 2024-01-15T09:30:00.120+01:00 2024-07-01T12:00:00.000+02:00");
  // Local text read back as UTC, and as local time again.
  EXPECT_EQ(ISO8601ToDate(DateToISO8601(summer, false)), EncodeDateTime(2024, 7, 1, 10, 0, 0, 0));
  EXPECT_EQ(ISO8601ToDate(DateToISO8601(summer, false), false), summer);
  EXPECT_EQ(ISO8601ToDate(DateToISO8601(winter)), winter);
}

TEST(DateUtils, UTCAndLocalAcrossBerlinDSTChanges) {
  ScopedTZ tz("Europe/Berlin");
  // 2024-03-31: 02:00 CET becomes 03:00 CEST (01:00 UTC).
  // 2024-10-27: 03:00 CEST becomes 02:00 CET (01:00 UTC).
  const struct {
    DT Utc, Local;
  } cases[] = {{{2024, 3, 31, 0, 59, 59}, {2024, 3, 31, 1, 59, 59}},
               {{2024, 3, 31, 1}, {2024, 3, 31, 3}},
               {{2024, 3, 31, 12}, {2024, 3, 31, 14}},
               {{2024, 10, 27, 0, 30}, {2024, 10, 27, 2, 30}},
               {{2024, 10, 27, 1, 30}, {2024, 10, 27, 2, 30}},
               {{2024, 10, 27, 2}, {2024, 10, 27, 3}},
               {{2024, 1, 1, 23, 30}, {2024, 1, 2, 0, 30}}};
  for (const auto& c : cases)
    ExpectDecoded(UTCToLocal(Encoded(c.Utc)), c.Local);
  // Unambiguous local times map back exactly; the hour that occurs twice in October is taken
  // as standard time (the fifth case).
  for (const auto& c : {cases[0], cases[1], cases[2], cases[4], cases[5], cases[6]})
    ExpectDecoded(LocalToUTC(Encoded(c.Local)), c.Utc);
  EXPECT_EQ(LocalTimeZoneBias(EncodeDate(2024, 1, 1)), -60);
  EXPECT_EQ(LocalTimeZoneBias(EncodeDate(2024, 7, 1)), -120);
}

TEST(DateUtils, UnixTime) {
  const TDateTime utc = EncodeDateTime(2024, 3, 31, 1, 0, 0, 0);
  EXPECT_EQ(std::pair(DateTimeToUnix(EncodeDate(1970, 1, 1)), DateTimeToUnix(utc)),
            std::pair(int64_t{0}, int64_t{1711846800}));
  EXPECT_EQ((Times{UnixToDateTime(1711846800), UnixToDateTime(-86400)}),
            (Times{utc, EncodeDate(1969, 12, 31)}));
  ScopedTZ tz("Europe/Berlin");
  const TDateTime local = EncodeDateTime(2024, 3, 31, 3, 0, 0, 0);
  EXPECT_EQ(UnixToDateTime(1711846800, false), local);
  EXPECT_EQ(DateTimeToUnix(local, false), 1711846800);
}

TEST(DateUtils, YYYYMMDDAndSQLText) {
  const TDateTime dt = EncodeDateTime(2024, 2, 29, 7, 8, 9, 10);
  EXPECT_EQ(DateToYYYYMMDD(dt) + " " + DateToYYYYMMDD(dt, true), "20240229 20240229T070809");
  EXPECT_EQ((Times{YYYYMMDDToDate("20240229"), YYYYMMDDToDate("20240229T0708"),
                   YYYYMMDDToDate(DateToYYYYMMDD(dt, true))}),
            (Times{EncodeDate(2024, 2, 29), EncodeDateTime(2024, 2, 29, 7, 8, 0, 0),
                   EncodeDateTime(2024, 2, 29, 7, 8, 9, 0)}));
  for (const char* bad : {"2024022", "20230229", "2024-02-29", "20240229T07", "20240229X0708"})
    EXPECT_EQ(ConvertErrorOf([&] { YYYYMMDDToDate(bad); }),
              "'" + std::string(bad) + "' is not a valid date")
        << bad;

  EXPECT_EQ(
      DateToSQL(dt) + "|" + TimeToSQL(dt) + "|" + DateTimeToSQL(dt) + "|" + DateTimeToSQL(dt, true),
      "2024-02-29|07:08:09|2024-02-29 07:08:09|2024-02-29 07:08:09.010");
  EXPECT_EQ((Times{SQLToDateTime("2024-02-29"), SQLToDateTime("07:08:09"),
                   SQLToDateTime("2024-02-29 07:08:09"), SQLToDateTime(DateTimeToSQL(dt, true)),
                   SQLToDateTime(DateTimeToSQL(-1.25))}),
            (Times{EncodeDate(2024, 2, 29), EncodeTime(7, 8, 9, 0),
                   EncodeDateTime(2024, 2, 29, 7, 8, 9, 0), dt, -1.25}));
  for (const char* bad : {"2024-02-30", "2024/02/29", "24:00:00", "2024-02-29 7:08:09", "x"})
    EXPECT_EQ(ConvertErrorOf([&] { SQLToDateTime(bad); }),
              "'" + std::string(bad) + "' is not a valid date and time")
        << bad;
}

}  // namespace
}  // namespace vela
