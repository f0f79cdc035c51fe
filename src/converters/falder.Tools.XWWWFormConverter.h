// Form bodies and named variant lists: a posted form (application/x-www-form-urlencoded or
// multipart/form-data) read into name and value pairs, and a list written back as an url-encoded
// body.
//
// Reading:
// - The body is the string of a TStringStream, or else the whole stream from its start, read as
//   text: UTF-8 (or UTF-16 with a byte-order mark) when it is valid as such, otherwise 8-bit
//   text in the system ANSI code page.
// - multipart/form-data (by the media type of AContentType) is read part by part: the name is
//   the part's "name" parameter, the value its bytes as text (by the same rule). A content type
//   without a boundary gives no pairs; a body without its boundary lines raises
//   EMultipartFormDataError.
// - Anything else is url-encoded: fields split at "&" (empty fields skipped), name and value at
//   the first "=" (a field without one is a name with an empty value), "+" and "%XX" decoded
//   (THTTPUtils::ParamsDecode).
// - Every pair goes into AList as a string value, in body order. The list is not cleared first,
//   and a name already present (names compare ignoring case) gets the later value.
//
// Writing: "name=value" per item in list order, joined with "&" (no "&" at the end); the value is
// its text (VarToStr) form-encoded (THTTPUtils::ParamsEncode), the name is written as it is. A
// TStringStream receives the UTF-8 text; any other stream receives it as 8-bit text in the
// system ANSI code page. No terminator follows.
#pragma once

#include <string_view>

#include "host/InterfacedData.h"
#include "rtl/Streams.h"

namespace vela {

class TXWWWFormConverter {
 public:
  static void ConvertFrom(TStream& AStream, std::string_view AContentType,
                          INamedVariantListData& AList);
  static void ConvertTo(const INamedVariantListData& AList, TStream& AStream);
};

}  // namespace vela
