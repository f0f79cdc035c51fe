// Strings and conversions with the runtime's semantics. Strings are UTF-8 inside.
// Conversions between numbers and text use a TFormatSettings; the process-wide FormatSettings
// has documented defaults (see docs/runtime.md) and is never taken from the machine's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vela {

struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "yyyy/mm/dd";  // runtime date mask letters: d m y
  std::string LongDateFormat = "yyyy/mm/dd";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  // Money (%m in Format, ffCurrency): the symbol, its place for positive (0 "$1", 1 "1$",
  // 2 "$ 1", 3 "1 $") and negative amounts (the runtime's 16 NegCurrFormat patterns).
  std::string CurrencyString = "$";
  int CurrencyFormat = 0;
  int NegCurrFormat = 0;
  int CurrencyDecimals = 2;
};

// The process's format settings (defaults above). Tests set them explicitly.
extern TFormatSettings FormatSettings;
// Settings of a language: "de" gives ',' '.' "dd.mm.yyyy" "hh:nn:ss"; anything else the defaults.
TFormatSettings FormatSettingsFor(std::string_view language);

// --- comparison (ASCII case folding only) ---
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
int CompareStr(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);
bool EndsText(std::string_view suffix, std::string_view s);
bool ContainsText(std::string_view s, std::string_view sub);
// Position of sub in s ignoring ASCII case; npos when absent.
size_t PosText(std::string_view sub, std::string_view s, size_t from = 0);

// --- trimming: removes characters with codes 0..32 ---
// Without the blanks and control characters (codes 0..32) around it; TrimView without copying.
std::string_view TrimView(std::string_view s) noexcept;
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// --- case: ASCII only (UpperCase/LowerCase) and Unicode-aware (AnsiUpperCase/AnsiLowerCase) ---
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
// First character upper (Unicode-aware), the rest lower.
std::string AnsiFirstUpper(std::string_view s);

// --- replace ---
enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
std::string StringReplace(std::string_view s, std::string_view oldPattern,
                          std::string_view newPattern, unsigned flags);

// Splits content at any of the separators (whitespace in whiteSpace is skipped at item starts,
// quotes " and ' group); appends the items to strings and returns how many were added.
// Empty items are not added (runtime ExtractStrings semantics).
int ExtractStrings(std::string_view separators, std::string_view whiteSpace,
                   std::string_view content, std::vector<std::string>& strings);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);
// Decodes the code point at s[i] (i < s.size()) and moves i past it. A byte that does not start a
// complete, shortest UTF-8 sequence of a Unicode scalar value stands for itself (as Latin-1) and
// moves i by one, so nothing is lost.
char32_t NextUtf8CodePoint(std::string_view s, size_t& i) noexcept;

// --- character counting and slicing by Unicode code point ---
size_t Utf8Length(std::string_view s);
// Code points [start, start+count) (0-based); out-of-range parts are clipped.
std::string Utf8Copy(std::string_view s, size_t start, size_t count);

// --- numbers ---
std::string IntToStr(int64_t v);
std::string UIntToStr(uint64_t v);
std::string IntToHex(uint64_t v, int digits);
// Raises EConvertError "'<s>' is not a valid integer value". Accepts leading/trailing blanks,
// a sign and "$"/"0x" hex.
int32_t StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
int32_t StrToIntDef(std::string_view s, int32_t def);
int64_t StrToInt64Def(std::string_view s, int64_t def);
bool TryStrToInt(std::string_view s, int32_t& v);
bool TryStrToInt64(std::string_view s, int64_t& v);
// Raises EConvertError "'<s>' is not a valid floating point value". Uses the decimal separator
// of the settings; thousand separators are not accepted.
double StrToFloat(std::string_view s, const TFormatSettings& fs = FormatSettings);
double StrToFloatDef(std::string_view s, double def, const TFormatSettings& fs = FormatSettings);
bool TryStrToFloat(std::string_view s, double& v, const TFormatSettings& fs = FormatSettings);
// Shortest general form with up to 15 significant digits.
std::string FloatToStr(double v, const TFormatSettings& fs = FormatSettings);
// The runtime's FloatToStrF. ffGeneral: up to precision significant digits, scientific when the
// exponent is above precision or the value below 1E-4, digits = minimum exponent digits.
// ffExponent: d.ddd (precision digits) "E", sign, at least digits exponent digits.
// ffFixed / ffNumber (with thousand separators) / ffCurrency: digits decimals.
// NaN and infinities give "NAN", "INF", "-INF".
enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
std::string FloatToStrF(double v, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs = FormatSettings);
// Booleans: "True"/"False", or "-1"/"0" when useBoolStrs is false (runtime BoolToStr).
std::string BoolToStr(bool b, bool useBoolStrs = false);
// Accepts "True"/"False" (any case), and numbers (0 is false). Raises EConvertError
// "'<s>' is not a valid boolean value".
bool StrToBool(std::string_view s);
bool StrToBoolDef(std::string_view s, bool def);
bool TryStrToBool(std::string_view s, bool& v);

// Quotes a string with the quote character, doubling inner quotes.
std::string QuotedStr(std::string_view s, char quote = '\'');
// Removes surrounding quotes and undoubles inner ones; returns s unchanged when not quoted.
std::string DequotedStr(std::string_view s, char quote = '"');

// Line breaks: "\r\n" (sLineBreak, used in Text and in the documents the system writes).
inline constexpr std::string_view sLineBreak = "\r\n";

// --- value rendering: the text forms in which imported values are read back ---

// Number text in '.' notation ("  -12.50") rendered with the decimal separator of the format
// settings, trimmed, no thousands separator.
std::string RenderNumberText(std::string_view Text, const TFormatSettings& fs = FormatSettings);
std::string RenderFloat(double Value, const TFormatSettings& fs = FormatSettings);
std::string RenderDate(double Value, const TFormatSettings& fs = FormatSettings);
std::string RenderTime(double Value, const TFormatSettings& fs = FormatSettings);
// Date and time (the time part left out at exact midnight, as DateTimeToStr does).
std::string RenderDateTime(double Value, const TFormatSettings& fs = FormatSettings);
inline const char* RenderBoolean(bool Value) {
  return Value ? "True" : "False";
}

}  // namespace vela
