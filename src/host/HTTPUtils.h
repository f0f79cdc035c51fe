// HTTP helpers of the host: form encoding of parameter values.
#pragma once

#include <string>
#include <string_view>

namespace vela {

class THTTPUtils {
 public:
  // A value for an application/x-www-form-urlencoded body: ASCII letters, digits and "-", "_",
  // ".", "*" stay, a blank becomes "+", every other byte of the UTF-8 text becomes "%XX" (upper
  // case hex digits).
  static std::string ParamsEncode(std::string_view AValue);
  // The reverse for one name or value: "+" is a blank, "%XX" a byte. A "%" not followed by two
  // hex digits stays as it is. A run of escaped bytes that is valid UTF-8 is taken as UTF-8;
  // any other run is 8-bit text in the system ANSI code page and is converted to UTF-8.
  static std::string ParamsDecode(std::string_view AValue);
};

}  // namespace vela
