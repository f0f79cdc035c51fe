#include "rtl/DateUtils.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr int64_t kMSecsPerDay = MSecsPerDayInt;
constexpr int64_t kUnixDeltaDays = 25569;

constexpr const char* kShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonthNames[12] = {"January",   "February", "March",    "April",
                                             "May",       "June",     "July",     "August",
                                             "September", "October",  "November", "December"};
constexpr const char* kShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Days since 1899-12-30 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t SerialFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kUnixDeltaDays;
}

void CivilFromSerial(int64_t serial, int& y, int& m, int& d) {
  const int64_t z = serial - kUnixDeltaDays + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// A TDateTime from a day serial and milliseconds of the day: before 1899-12-30 the time is
// subtracted, as a TDateTime stores it.
TDateTime Compose(int64_t days, int64_t msOfDay) {
  const double t = static_cast<double>(msOfDay) / MSecsPerDay;
  return days >= 0 ? static_cast<double>(days) + t : static_cast<double>(days) - t;
}

struct Parts {
  int Year, Month, Day, Hour, Min, Sec, MSec;
};

Parts Split(TDateTime dt) {
  const int64_t ms = DateTimeToMSecs(dt);
  const int64_t days = FloorDiv(ms, kMSecsPerDay);
  int64_t rest = ms - days * kMSecsPerDay;
  Parts p{};
  CivilFromSerial(days, p.Year, p.Month, p.Day);
  p.MSec = static_cast<int>(rest % 1000);
  rest /= 1000;
  p.Sec = static_cast<int>(rest % 60);
  rest /= 60;
  p.Min = static_cast<int>(rest % 60);
  p.Hour = static_cast<int>(rest / 60);
  return p;
}

[[noreturn]] void RaiseConvert(const char* what, std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid " + what);
}

int CurrentYear() {
  int y = 0, m = 0, d = 0;
  DecodeDate(Date(), y, m, d);
  return y;
}

// Two-digit years within 50 years around the current year (the century window).
int ExpandTwoDigitYear(int y) {
  int window = CurrentYear() - 50;
  y += window / 100 * 100;
  if (y < window) y += 100;
  return y;
}

void Pad(std::string& out, int64_t v, int width) {
  char buf[24];
  int n = std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
  out.append(buf, static_cast<size_t>(n));
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
bool StartsNoCase(std::string_view s, size_t pos, std::string_view prefix) {
  if (prefix.empty() || pos > s.size() || s.size() - pos < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Upper(s[pos + i]) != Upper(prefix[i])) return false;
  return true;
}

// --- FormatDateTime ---

class DateFormatter {
 public:
  DateFormatter(TDateTime dt, const TFormatSettings& fs) : FFs(fs), FParts(Split(dt)), FDt(dt) {}

  void Format(std::string_view fmt, std::string& out, int depth = 0) {
    if (fmt.empty()) fmt = "C";
    if (depth > 2) return;  // nested d/c/t formats cannot recurse forever
    const bool use12 = Uses12Hour(fmt);
    char lastToken = 0;
    size_t i = 0;
    while (i < fmt.size()) {
      const char c = fmt[i];
      const char u = Upper(c);
      if (c == '"' || c == '\'') {
        size_t end = fmt.find(c, i + 1);
        if (end == std::string_view::npos) end = fmt.size();
        out.append(fmt.substr(i + 1, end - i - 1));
        i = end + 1;
        continue;
      }
      size_t n = 1;
      if ((u >= 'A' && u <= 'Z') && u != 'A') {
        while (i + n < fmt.size() && Upper(fmt[i + n]) == u)
          ++n;
      }
      switch (u) {
        case 'Y':
          if (n <= 2)
            Pad(out, FParts.Year % 100, 2);
          else
            Pad(out, FParts.Year, 4);
          break;
        case 'M':
          if (lastToken == 'H') {
            Pad(out, FParts.Min, n == 1 ? 1 : 2);
          } else if (n <= 2) {
            Pad(out, FParts.Month, static_cast<int>(n));
          } else {
            out += (n == 3 ? kShortMonthNames : kLongMonthNames)[FParts.Month - 1];
          }
          break;
        case 'D':
          if (n <= 2)
            Pad(out, FParts.Day, static_cast<int>(n));
          else if (n <= 4)
            out += (n == 3 ? kShortDayNames : kLongDayNames)[DayOfWeek(FDt) - 1];
          else
            Format(n == 5 ? FFs.ShortDateFormat : FFs.LongDateFormat, out, depth + 1);
          break;
        case 'H': {
          int h = FParts.Hour;
          if (use12) {
            h %= 12;
            if (h == 0) h = 12;
          }
          Pad(out, h, n == 1 ? 1 : 2);
          break;
        }
        case 'N':
          Pad(out, FParts.Min, n == 1 ? 1 : 2);
          break;
        case 'S':
          Pad(out, FParts.Sec, n == 1 ? 1 : 2);
          break;
        case 'Z':
          Pad(out, FParts.MSec, n < 3 ? 1 : 3);
          break;
        case 'T':
          Format(n == 1 ? FFs.ShortTimeFormat : FFs.LongTimeFormat, out, depth + 1);
          break;
        case 'C':
          Format(FFs.ShortDateFormat, out, depth + 1);
          if (FParts.Hour || FParts.Min || FParts.Sec || FParts.MSec) {
            out += ' ';
            Format(FFs.LongTimeFormat, out, depth + 1);
          }
          break;
        case 'A': {
          const bool pm = FParts.Hour >= 12;
          if (StartsNoCase(fmt, i, "am/pm")) {
            out.append(fmt.substr(i + (pm ? 3 : 0), 2));
            n = 5;
          } else if (StartsNoCase(fmt, i, "a/p")) {
            out += fmt[i + (pm ? 2 : 0)];
            n = 3;
          } else if (StartsNoCase(fmt, i, "ampm")) {
            out += pm ? FFs.TimePMString : FFs.TimeAMString;
            n = 4;
          } else {
            out += c;
          }
          break;
        }
        case '/':
          out += FFs.DateSeparator;
          break;
        case ':':
          out += FFs.TimeSeparator;
          break;
        default:
          out.append(fmt.substr(i, n));
          break;
      }
      if (u >= 'A' && u <= 'Z' && u != 'M' && u != 'A') lastToken = u;
      if (u == 'M') lastToken = 'M';
      i += n;
    }
  }

 private:
  static bool Uses12Hour(std::string_view fmt) {
    char quote = 0;
    for (size_t i = 0; i < fmt.size(); ++i) {
      if (quote) {
        if (fmt[i] == quote) quote = 0;
      } else if (fmt[i] == '"' || fmt[i] == '\'') {
        quote = fmt[i];
      } else if (StartsNoCase(fmt, i, "am/pm") || StartsNoCase(fmt, i, "a/p") ||
                 StartsNoCase(fmt, i, "ampm")) {
        return true;
      }
    }
    return false;
  }

  const TFormatSettings& FFs;
  Parts FParts;
  TDateTime FDt;
};

// --- scanning by the format settings ---

class Scanner {
 public:
  Scanner(std::string_view s, const TFormatSettings& fs) : S(s), Fs(fs) {}

  void SkipBlanks() {
    while (Pos < S.size() && (S[Pos] == ' ' || S[Pos] == '\t'))
      ++Pos;
  }
  bool AtEnd() {
    SkipBlanks();
    return Pos >= S.size();
  }
  bool Number(int& v, int& digits) {
    SkipBlanks();
    size_t start = Pos;
    int64_t acc = 0;
    while (Pos < S.size() && IsDigit(S[Pos]) && Pos - start < 9)
      acc = acc * 10 + (S[Pos++] - '0');
    digits = static_cast<int>(Pos - start);
    v = static_cast<int>(acc);
    return digits > 0;
  }
  bool Char(char c) {
    SkipBlanks();
    if (Pos < S.size() && S[Pos] == c) {
      ++Pos;
      return true;
    }
    return false;
  }
  bool DateSep() {
    if (Char(Fs.DateSeparator)) return true;
    return Char('/') || Char('-') || Char('.');
  }
  bool Text(std::string_view t) {
    SkipBlanks();
    if (!t.empty() && StartsNoCase(S, Pos, t)) {
      Pos += t.size();
      return true;
    }
    return false;
  }

  bool ScanDate(TDateTime& dt) {
    const size_t start = Pos;
    // Order of day, month and year from the first letters of ShortDateFormat.
    std::string order;
    for (char c : Fs.ShortDateFormat) {
      char u = Upper(c);
      if ((u == 'D' || u == 'M' || u == 'Y') && order.find(u) == std::string::npos) order += u;
    }
    if (order.size() != 3) order = "MDY";
    int n1, n2, n3 = 0, l1, l2, l3 = 0;
    if (!Number(n1, l1) || !DateSep() || !Number(n2, l2)) {
      Pos = start;
      return false;
    }
    const size_t afterTwo = Pos;
    bool three = false;
    if (DateSep()) {
      if (Number(n3, l3))
        three = true;
      else
        Pos = afterTwo;
    }
    int y = 0, m = 0, d = 0, yl = 4;
    if (three) {
      int v[3] = {n1, n2, n3}, l[3] = {l1, l2, l3};
      for (int i = 0; i < 3; ++i) {
        if (order[i] == 'D') d = v[i];
        if (order[i] == 'M') m = v[i];
        if (order[i] == 'Y') y = v[i], yl = l[i];
      }
    } else {
      y = CurrentYear();
      if (order.find('D') < order.find('M'))
        d = n1, m = n2;
      else
        m = n1, d = n2;
    }
    if (y <= 99 && yl <= 2) y = ExpandTwoDigitYear(y);
    if (!TryEncodeDate(y, m, d, dt)) {
      Pos = start;
      return false;
    }
    return true;
  }

  bool ScanTime(TDateTime& dt) {
    const size_t start = Pos;
    int ampm = AmPm();
    int h, n = 0, s = 0, ms = 0, len;
    if (!Number(h, len)) {
      Pos = start;
      return false;
    }
    if (Char(Fs.TimeSeparator)) {
      if (!Number(n, len)) return Pos = start, false;
      if (Char(Fs.TimeSeparator)) {
        if (!Number(s, len)) return Pos = start, false;
        if (Pos < S.size() && (S[Pos] == Fs.DecimalSeparator || S[Pos] == '.')) {
          ++Pos;
          int frac, fl;
          if (!Number(frac, fl)) return Pos = start, false;
          ms = static_cast<int>(std::lround(frac * std::pow(10.0, 3 - fl)));
          if (ms > 999) ms = 999;
        }
      }
    }
    if (ampm < 0) ampm = AmPm();
    if (ampm >= 0) {
      if (h == 0 || h > 12) return Pos = start, false;
      if (ampm == 0 && h == 12) h = 0;
      if (ampm == 1 && h < 12) h += 12;
    }
    if (!TryEncodeTime(h, n, s, ms, dt)) return Pos = start, false;
    return true;
  }

  std::string_view S;
  const TFormatSettings& Fs;
  size_t Pos = 0;

 private:
  // 0 = AM, 1 = PM, -1 = none.
  int AmPm() {
    if (Text(Fs.TimeAMString) || Text("AM")) return 0;
    if (Text(Fs.TimePMString) || Text("PM")) return 1;
    return -1;
  }
};

// Reads exactly `count` digits (or 1..count when `flexible`).
bool ReadDigits(std::string_view s, size_t& pos, size_t minCount, size_t maxCount, int& v,
                size_t& got) {
  size_t start = pos;
  int64_t acc = 0;
  while (pos < s.size() && pos - start < maxCount && IsDigit(s[pos]))
    acc = acc * 10 + (s[pos++] - '0');
  got = pos - start;
  v = static_cast<int>(acc);
  return got >= minCount;
}

bool TimePartsToMs(int h, int n, int s, int ms, int64_t& out) {
  if (h < 0 || h > 24 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
  if (h == 24 && (n || s || ms)) return false;
  out = ((h * 60LL + n) * 60 + s) * 1000 + ms;
  return true;
}

// Time of an ISO/SQL text: hh[:nn[:ss[.fff]]] (extended) or hh[nn[ss[.fff]]] (basic).
bool ScanIsoTime(std::string_view s, size_t& pos, int64_t& msOfDay, bool allowBasic) {
  int h = 0, n = 0, sec = 0, ms = 0;
  size_t got;
  if (!ReadDigits(s, pos, 2, 2, h, got)) return false;
  bool extended = pos < s.size() && s[pos] == ':';
  if (!extended && !allowBasic && pos < s.size() && IsDigit(s[pos])) return false;
  auto sep = [&]() {
    if (extended) {
      if (pos < s.size() && s[pos] == ':') return ++pos, true;
      return false;
    }
    return pos < s.size() && IsDigit(s[pos]);
  };
  if (sep()) {
    if (!ReadDigits(s, pos, 2, 2, n, got)) return false;
    if (sep()) {
      if (!ReadDigits(s, pos, 2, 2, sec, got)) return false;
      if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
        ++pos;
        size_t start = pos;
        double frac = 0, scale = 0.1;
        while (pos < s.size() && IsDigit(s[pos])) {
          frac += (s[pos++] - '0') * scale;
          scale /= 10;
        }
        if (pos == start) return false;
        ms = static_cast<int>(frac * 1000 + 1e-6);  // truncate to the millisecond
      }
    }
  }
  return TimePartsToMs(h, n, sec, ms, msOfDay);
}

time_t ToTimeT(int64_t linearMs) {
  return static_cast<time_t>(FloorDiv(linearMs, 1000));
}

// Offset of local time from UTC in seconds at the UTC moment t.
long UtcOffsetAt(time_t t) {
  tzset();
  struct tm tmv;
  if (!localtime_r(&t, &tmv)) return 0;
  return tmv.tm_gmtoff;
}

}  // namespace

// --- encoding ---

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInAMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int DaysInAYear(int year) {
  return IsLeapYear(year) ? 366 : 365;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& dt) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInAMonth(year, month))
    return false;
  dt = static_cast<double>(SerialFromCivil(year, month, day));
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& dt) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  dt = static_cast<double>(((hour * 60LL + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
  return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& dt) {
  TDateTime d, t;
  if (!TryEncodeDate(year, month, day, d) || !TryEncodeTime(hour, min, sec, msec, t)) return false;
  dt = d >= 0 ? d + t : d - t;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime dt;
  if (!TryEncodeDate(year, month, day, dt)) throw EConvertError("Invalid argument to date encode");
  return dt;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime dt;
  if (!TryEncodeTime(hour, min, sec, msec, dt))
    throw EConvertError("Invalid argument to time encode");
  return dt;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  TDateTime d = EncodeDate(year, month, day);
  TDateTime t = EncodeTime(hour, min, sec, msec);
  return d >= 0 ? d + t : d - t;
}

int64_t DateTimeToMSecs(TDateTime dt) {
  const double days = std::trunc(dt);
  const int64_t ms = std::llround(std::fabs(dt - days) * MSecsPerDay);
  return static_cast<int64_t>(days) * kMSecsPerDay + ms;
}

TDateTime MSecsToDateTime(int64_t msecs) {
  const int64_t days = FloorDiv(msecs, kMSecsPerDay);
  return Compose(days, msecs - days * kMSecsPerDay);
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  Parts p = Split(dt);
  year = p.Year, month = p.Month, day = p.Day;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  Parts p = Split(dt);
  hour = p.Hour, min = p.Min, sec = p.Sec, msec = p.MSec;
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec) {
  Parts p = Split(dt);
  year = p.Year, month = p.Month, day = p.Day;
  hour = p.Hour, min = p.Min, sec = p.Sec, msec = p.MSec;
}

int DayOfWeek(TDateTime dt) {
  const int64_t days = FloorDiv(DateTimeToMSecs(dt), kMSecsPerDay);
  // 1899-12-30 was a Saturday (7).
  return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
}

int DayOfTheWeek(TDateTime dt) {
  int d = DayOfWeek(dt) - 1;
  return d == 0 ? 7 : d;
}

int YearOf(TDateTime dt) {
  return Split(dt).Year;
}
int MonthOf(TDateTime dt) {
  return Split(dt).Month;
}
int DayOf(TDateTime dt) {
  return Split(dt).Day;
}
int HourOf(TDateTime dt) {
  return Split(dt).Hour;
}
int MinuteOf(TDateTime dt) {
  return Split(dt).Min;
}
int SecondOf(TDateTime dt) {
  return Split(dt).Sec;
}
int MilliSecondOf(TDateTime dt) {
  return Split(dt).MSec;
}

TDateTime DateOf(TDateTime dt) {
  return static_cast<double>(FloorDiv(DateTimeToMSecs(dt), kMSecsPerDay));
}

TDateTime TimeOf(TDateTime dt) {
  const int64_t ms = DateTimeToMSecs(dt);
  return static_cast<double>(ms - FloorDiv(ms, kMSecsPerDay) * kMSecsPerDay) / MSecsPerDay;
}

TDateTime NowUTC() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  const int64_t ms = static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  return MSecsToDateTime(ms + kUnixDeltaDays * kMSecsPerDay);
}

TDateTime Now() {
  return UTCToLocal(NowUTC());
}
TDateTime Date() {
  return DateOf(Now());
}
TDateTime Time() {
  return TimeOf(Now());
}

// --- arithmetic ---

TDateTime IncMilliSecond(TDateTime dt, int64_t msecs) {
  return MSecsToDateTime(DateTimeToMSecs(dt) + msecs);
}
TDateTime IncSecond(TDateTime dt, int64_t seconds) {
  return IncMilliSecond(dt, seconds * 1000);
}
TDateTime IncMinute(TDateTime dt, int64_t minutes) {
  return IncMilliSecond(dt, minutes * 60000);
}
TDateTime IncHour(TDateTime dt, int64_t hours) {
  return IncMilliSecond(dt, hours * 3600000);
}
TDateTime IncDay(TDateTime dt, int days) {
  return IncMilliSecond(dt, days * kMSecsPerDay);
}
TDateTime IncWeek(TDateTime dt, int weeks) {
  return IncDay(dt, weeks * 7);
}

TDateTime IncMonth(TDateTime dt, int months) {
  Parts p = Split(dt);
  int64_t total = static_cast<int64_t>(p.Year) * 12 + (p.Month - 1) + months;
  int y = static_cast<int>(FloorDiv(total, 12));
  int m = static_cast<int>(total - static_cast<int64_t>(y) * 12) + 1;
  int d = std::min(p.Day, DaysInAMonth(y, m));
  return EncodeDateTime(y, m, d, p.Hour, p.Min, p.Sec, p.MSec);
}

TDateTime IncYear(TDateTime dt, int years) {
  return IncMonth(dt, years * 12);
}

int64_t MilliSecondsBetween(TDateTime a, TDateTime b) {
  int64_t d = DateTimeToMSecs(a) - DateTimeToMSecs(b);
  return d < 0 ? -d : d;
}
int64_t SecondsBetween(TDateTime a, TDateTime b) {
  return MilliSecondsBetween(a, b) / 1000;
}
int64_t DaysBetween(TDateTime a, TDateTime b) {
  return MilliSecondsBetween(a, b) / kMSecsPerDay;
}

bool SameDateTime(TDateTime a, TDateTime b) {
  return DateTimeToMSecs(a) == DateTimeToMSecs(b);
}

int CompareDateTime(TDateTime a, TDateTime b) {
  int64_t x = DateTimeToMSecs(a), y = DateTimeToMSecs(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// --- formatting ---

std::string FormatDateTime(std::string_view format, TDateTime dt, const TFormatSettings& fs) {
  std::string out;
  out.reserve(format.size() + 16);
  DateFormatter(dt, fs).Format(format, out);
  return out;
}

std::string DateToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime(fs.ShortDateFormat, dt, fs);
}

std::string TimeToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime(fs.LongTimeFormat, dt, fs);
}

std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime("c", dt, fs);
}

// --- parsing by the format settings ---

bool TryStrToDate(std::string_view s, TDateTime& dt, const TFormatSettings& fs) {
  Scanner sc(s, fs);
  TDateTime d;
  if (!sc.ScanDate(d) || !sc.AtEnd()) return false;
  dt = d;
  return true;
}

bool TryStrToTime(std::string_view s, TDateTime& dt, const TFormatSettings& fs) {
  Scanner sc(s, fs);
  TDateTime t;
  if (!sc.ScanTime(t) || !sc.AtEnd()) return false;
  dt = t;
  return true;
}

bool TryStrToDateTime(std::string_view s, TDateTime& dt, const TFormatSettings& fs) {
  Scanner sc(s, fs);
  TDateTime d, t;
  if (sc.ScanDate(d)) {
    if (sc.AtEnd()) {
      dt = d;
      return true;
    }
    if (sc.Pos < s.size() && (s[sc.Pos] == 'T' || s[sc.Pos] == 't')) ++sc.Pos;
    if (!sc.ScanTime(t) || !sc.AtEnd()) return false;
    dt = d >= 0 ? d + t : d - t;
    return true;
  }
  return TryStrToTime(s, dt, fs);
}

TDateTime StrToDate(std::string_view s, const TFormatSettings& fs) {
  TDateTime dt;
  if (!TryStrToDate(s, dt, fs)) RaiseConvert("date", s);
  return dt;
}

TDateTime StrToTime(std::string_view s, const TFormatSettings& fs) {
  TDateTime dt;
  if (!TryStrToTime(s, dt, fs)) RaiseConvert("time", s);
  return dt;
}

TDateTime StrToDateTime(std::string_view s, const TFormatSettings& fs) {
  TDateTime dt;
  if (!TryStrToDateTime(s, dt, fs)) RaiseConvert("date and time", s);
  return dt;
}

TDateTime StrToDateDef(std::string_view s, TDateTime def, const TFormatSettings& fs) {
  TDateTime dt;
  return TryStrToDate(s, dt, fs) ? dt : def;
}

TDateTime StrToDateTimeDef(std::string_view s, TDateTime def, const TFormatSettings& fs) {
  TDateTime dt;
  return TryStrToDateTime(s, dt, fs) ? dt : def;
}

// --- parsing by a fixed mask ---

bool TryStrToDateByMask(std::string_view text, std::string_view mask, TDateTime& dt) {
  text = TrimView(text);
  if (text.empty() || mask.empty()) return false;

  int y = -1, m = 1, d = 1, h = 0, n = 0, s = 0, ms = 0;
  size_t yearDigits = 4;
  bool afterHour = false;
  size_t pos = 0, i = 0;
  while (i < mask.size()) {
    const char u = Upper(mask[i]);
    size_t run = 1;
    if (u == 'D' || u == 'M' || u == 'Y' || u == 'H' || u == 'N' || u == 'S' || u == 'Z') {
      while (i + run < mask.size() && Upper(mask[i + run]) == u)
        ++run;
      char field = u;
      if (u == 'M' && run == 1 && i + 1 < mask.size() && Upper(mask[i + 1]) == 'I') {
        field = 'N';
        run = 2;
      } else if (u == 'M' && afterHour) {
        field = 'N';
      }
      const size_t next = i + run;
      // Without separators on both sides (YYYYMMDD) a field has exactly its width.
      auto isField = [&](size_t k) { return std::strchr("DMYHNSZIdmyhnszi", mask[k]) != nullptr; };
      const bool delimited = (next >= mask.size() || !isField(next)) && (i == 0 || !isField(i - 1));
      size_t minDigits = run, maxDigits = run;
      if (run == 1) minDigits = 1, maxDigits = field == 'Z' ? 3 : 2;
      if (delimited && run > 1) minDigits = (field == 'Y' && run == 4) ? 2 : 1;
      if (delimited && run == 1) maxDigits = field == 'Y' ? 4 : maxDigits;
      int v;
      size_t got;
      if (!ReadDigits(text, pos, minDigits, maxDigits, v, got)) return false;
      switch (field) {
        case 'D':
          d = v;
          break;
        case 'M':
          m = v;
          break;
        case 'Y':
          y = v, yearDigits = got;
          break;
        case 'H':
          h = v, afterHour = true;
          break;
        case 'N':
          n = v;
          break;
        case 'S':
          s = v;
          break;
        case 'Z':
          ms = got < 3 ? static_cast<int>(v * (got == 1 ? 100 : 10)) : v;
          break;
      }
      i = next;
      continue;
    }
    if (pos < text.size() && text[pos] == mask[i]) {
      ++pos;
    } else if (!(mask[i] == ' ' && pos >= text.size())) {
      return false;
    }
    ++i;
  }
  if (pos != text.size()) return false;
  if (y < 0)
    y = CurrentYear();
  else if (yearDigits <= 2)
    y += y < 50 ? 2000 : 1900;
  return TryEncodeDateTime(y, m, d, h, n, s, ms, dt);
}

TDateTime StrToDateByMask(std::string_view text, std::string_view mask) {
  TDateTime dt;
  if (!TryStrToDateByMask(text, mask, dt)) RaiseConvert("date", text);
  return dt;
}

// --- ISO 8601 ---

std::string DateToISO8601(TDateTime dt, bool inputIsUTC) {
  std::string out = FormatDateTime("yyyy\"-\"mm\"-\"dd\"T\"hh\":\"nn\":\"ss\".\"zzz", dt);
  if (inputIsUTC) {
    out += 'Z';
    return out;
  }
  const int bias = LocalTimeZoneBias(dt);  // minutes from local to UTC
  const int offset = -bias;
  out += offset < 0 ? '-' : '+';
  Pad(out, std::abs(offset) / 60, 2);
  out += ':';
  Pad(out, std::abs(offset) % 60, 2);
  return out;
}

bool TryISO8601ToDate(std::string_view s, TDateTime& dt, bool returnUTC) {
  s = TrimView(s);
  size_t pos = 0;
  int y, m = 1, d = 1;
  size_t got;
  if (!ReadDigits(s, pos, 4, 4, y, got)) return false;
  if (pos < s.size() && s[pos] == '-') {
    ++pos;
    if (!ReadDigits(s, pos, 2, 2, m, got)) return false;
    if (pos < s.size() && s[pos] == '-') {
      ++pos;
      if (!ReadDigits(s, pos, 2, 2, d, got)) return false;
    }
  } else if (pos < s.size() && IsDigit(s[pos])) {
    if (!ReadDigits(s, pos, 2, 2, m, got) || !ReadDigits(s, pos, 2, 2, d, got)) return false;
  }
  TDateTime date;
  if (!TryEncodeDate(y, m, d, date)) return false;
  int64_t msOfDay = 0;
  if (pos < s.size() && (s[pos] == 'T' || s[pos] == 't' || s[pos] == ' ')) {
    ++pos;
    if (!ScanIsoTime(s, pos, msOfDay, true)) return false;
  }
  int64_t offsetMs = 0;
  bool hasOffset = false;
  if (pos < s.size()) {
    if (s[pos] == 'Z' || s[pos] == 'z') {
      ++pos;
      hasOffset = true;
    } else if (s[pos] == '+' || s[pos] == '-') {
      const int sign = s[pos] == '-' ? -1 : 1;
      ++pos;
      int oh, om = 0;
      if (!ReadDigits(s, pos, 2, 2, oh, got)) return false;
      if (pos < s.size() && s[pos] == ':') ++pos;
      if (pos < s.size() && !ReadDigits(s, pos, 2, 2, om, got)) return false;
      if (oh > 23 || om > 59) return false;
      offsetMs = sign * (oh * 60LL + om) * 60000;
      hasOffset = true;
    }
  }
  (void)hasOffset;
  if (pos != s.size()) return false;
  const int64_t utcMs = static_cast<int64_t>(date) * kMSecsPerDay + msOfDay - offsetMs;
  TDateTime result = MSecsToDateTime(utcMs);
  dt = returnUTC ? result : UTCToLocal(result);
  return true;
}

TDateTime ISO8601ToDate(std::string_view s, bool returnUTC) {
  TDateTime dt;
  if (!TryISO8601ToDate(s, dt, returnUTC)) RaiseConvert("date and time", s);
  return dt;
}

TDateTime ISO8601ToDateDef(std::string_view s, TDateTime def, bool returnUTC) {
  TDateTime dt;
  return TryISO8601ToDate(s, dt, returnUTC) ? dt : def;
}

// --- YYYYMMDD ---

std::string DateToYYYYMMDD(TDateTime dt, bool withTime) {
  return FormatDateTime(withTime ? "yyyymmdd\"T\"hhnnss" : "yyyymmdd", dt);
}

bool TryYYYYMMDDToDate(std::string_view s, TDateTime& dt) {
  s = TrimView(s);
  size_t pos = 0, got;
  int y, m, d;
  if (!ReadDigits(s, pos, 4, 4, y, got) || !ReadDigits(s, pos, 2, 2, m, got) ||
      !ReadDigits(s, pos, 2, 2, d, got))
    return false;
  TDateTime date;
  if (!TryEncodeDate(y, m, d, date)) return false;
  int64_t msOfDay = 0;
  if (pos < s.size()) {
    if (s[pos] != 'T' && s[pos] != 't' && s[pos] != ' ') return false;
    ++pos;
    int h, n, sec = 0;
    if (!ReadDigits(s, pos, 2, 2, h, got) || !ReadDigits(s, pos, 2, 2, n, got)) return false;
    if (pos < s.size() && !ReadDigits(s, pos, 2, 2, sec, got)) return false;
    if (pos != s.size() || !TimePartsToMs(h, n, sec, 0, msOfDay) || h == 24) return false;
  }
  dt = Compose(static_cast<int64_t>(date), msOfDay);
  return true;
}

TDateTime YYYYMMDDToDate(std::string_view s) {
  TDateTime dt;
  if (!TryYYYYMMDDToDate(s, dt)) RaiseConvert("date", s);
  return dt;
}

// --- time zones ---

TDateTime UTCToLocal(TDateTime utc) {
  const int64_t ms = DateTimeToMSecs(utc) - kUnixDeltaDays * kMSecsPerDay;
  const long off = UtcOffsetAt(ToTimeT(ms));
  return MSecsToDateTime(ms + off * 1000LL + kUnixDeltaDays * kMSecsPerDay);
}

TDateTime LocalToUTC(TDateTime local) {
  const int64_t ms = DateTimeToMSecs(local) - kUnixDeltaDays * kMSecsPerDay;
  const time_t asUtc = ToTimeT(ms);
  // The offset that applies at the local wall time: try the offset at the wall time read as UTC,
  // then correct once with the offset at the resulting instant (handles both DST changes).
  long off = UtcOffsetAt(asUtc);
  long off2 = UtcOffsetAt(asUtc - off);
  if (off2 != off) {
    // Before the change the first guess fits when it maps back to the same wall time.
    if (UtcOffsetAt(asUtc - off2) == off2) off = off2;
  }
  return MSecsToDateTime(ms - off * 1000LL + kUnixDeltaDays * kMSecsPerDay);
}

int LocalTimeZoneBias(TDateTime local) {
  const int64_t localMs = DateTimeToMSecs(local);
  const int64_t utcMs = DateTimeToMSecs(LocalToUTC(local));
  return static_cast<int>((utcMs - localMs) / 60000);
}

int CurrentTimeZoneBias() {
  return LocalTimeZoneBias(Now());
}

// --- Unix time ---

int64_t DateTimeToUnix(TDateTime dt, bool inputIsUTC) {
  if (!inputIsUTC) dt = LocalToUTC(dt);
  const int64_t ms = DateTimeToMSecs(dt) - kUnixDeltaDays * kMSecsPerDay;
  return ms / 1000;  // towards zero
}

TDateTime UnixToDateTime(int64_t unixTime, bool returnUTC) {
  TDateTime utc = MSecsToDateTime((unixTime + kUnixDeltaDays * 86400) * 1000);
  return returnUTC ? utc : UTCToLocal(utc);
}

// --- SQL text ---

std::string DateToSQL(TDateTime dt) {
  return FormatDateTime("yyyy\"-\"mm\"-\"dd", dt);
}
std::string TimeToSQL(TDateTime dt) {
  return FormatDateTime("hh\":\"nn\":\"ss", dt);
}
std::string DateTimeToSQL(TDateTime dt, bool withMSecs) {
  return FormatDateTime(withMSecs ? "yyyy\"-\"mm\"-\"dd hh\":\"nn\":\"ss\".\"zzz"
                                  : "yyyy\"-\"mm\"-\"dd hh\":\"nn\":\"ss",
                        dt);
}

bool TrySQLToDateTime(std::string_view s, TDateTime& dt) {
  s = TrimView(s);
  size_t pos = 0, got;
  int64_t msOfDay = 0;
  if (s.size() >= 3 && s[2] == ':') {  // time only
    if (!ScanIsoTime(s, pos, msOfDay, false) || pos != s.size() || msOfDay >= kMSecsPerDay)
      return false;
    dt = Compose(0, msOfDay);
    return true;
  }
  int y, m, d;
  if (!ReadDigits(s, pos, 4, 4, y, got) || pos >= s.size() || s[pos++] != '-' ||
      !ReadDigits(s, pos, 2, 2, m, got) || pos >= s.size() || s[pos++] != '-' ||
      !ReadDigits(s, pos, 2, 2, d, got))
    return false;
  TDateTime date;
  if (!TryEncodeDate(y, m, d, date)) return false;
  if (pos < s.size()) {
    if (s[pos] != ' ' && s[pos] != 'T') return false;
    ++pos;
    if (!ScanIsoTime(s, pos, msOfDay, false) || pos != s.size() || msOfDay >= kMSecsPerDay)
      return false;
  }
  dt = Compose(static_cast<int64_t>(date), msOfDay);
  return true;
}

TDateTime SQLToDateTime(std::string_view s) {
  TDateTime dt;
  if (!TrySQLToDateTime(s, dt)) RaiseConvert("date and time", s);
  return dt;
}

}  // namespace vela
