// The text forms of typed values in VelaXML documents: dates, times and date-times in ISO 8601,
// numbers with "." as decimal separator in their shortest exact form, Booleans as "true" and
// "false". Documents written with one locale read the same with any other.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/DateUtils.h"

namespace vela {

// "2026-12-06"
std::string XMLDateToStr(TDateTime AValue);
// "08:30:00", with ".250" when there are milliseconds
std::string XMLTimeToStr(TDateTime AValue);
// "2026-12-06T08:30:00", with ".250" when there are milliseconds
std::string XMLDateTimeToStr(TDateTime AValue);
// "12.5", "-0.001", "1e+300": the shortest text that reads back as the same number
std::string XMLFloatToStr(double AValue);
std::string XMLBoolToStr(bool AValue);

// Reads a date, a time, a date-time ("T" or a blank between date and time; an offset or "Z" is
// accepted and ignored: values are local times). False for anything else.
bool TryXMLStrToDateTime(std::string_view AText, TDateTime& AValue);
// A number with "." (a "," is taken too when there is no "."); blanks around are ignored.
bool TryXMLStrToFloat(std::string_view AText, double& AValue);
// "true"/"false", "1"/"0", "yes"/"no", ignoring case and blanks around.
bool TryXMLStrToBool(std::string_view AText, bool& AValue);

// The same, raising EConvertError naming the text when it cannot be read.
TDateTime XMLStrToDateTime(std::string_view AText);
double XMLStrToFloat(std::string_view AText);
// A number rounded to the nearest integer ("2.6" gives 3).
int64_t XMLStrToInteger(std::string_view AText);
bool XMLStrToBool(std::string_view AText);

}  // namespace vela
