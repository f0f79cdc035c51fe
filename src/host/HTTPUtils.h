// Location and form helpers of the host's transfers.
#pragma once

#include <string>
#include <string_view>

namespace vela {

class THTTPUtils {
 public:
  // A location that an HTTP client can send: a host name with non-ASCII letters becomes its
  // IDNA (punycode) form ("bücher.example" -> "xn--bcher-kva.example"), and every byte of the
  // rest that is not printable ASCII (space, controls, UTF-8 sequences) is percent-encoded.
  // Existing "%XX" sequences and everything else stay as they are. A host name that cannot be
  // converted raises EConvertError.
  static std::string GetInternationalURL(const std::string& AURL);
  // Form encoding (application/x-www-form-urlencoded): letters, digits and "*-._" stay, a space
  // becomes '+', every other byte "%XX" with upper-case hex digits.
  static std::string ParamsEncode(std::string_view AValue);
  // The reverse for one name or value: "+" is a blank, "%XX" a byte. A "%" not followed by two
  // hex digits stays as it is. A run of escaped bytes that is valid UTF-8 is taken as UTF-8;
  // any other run is 8-bit text in the system ANSI code page and is converted to UTF-8.
  static std::string ParamsDecode(std::string_view AValue);
  // The media type of a Content-Type value: the part before the first ";", trimmed
  // ("application/json; charset=utf-8" -> "application/json").
  static std::string ExtractContentType(std::string_view AContentType);
  // The value of its "charset" parameter, quotes removed; '' when it has none.
  static std::string ExtractContentEncoding(std::string_view AContentType);
};

}  // namespace vela
