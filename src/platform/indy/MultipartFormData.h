// Reading multipart/form-data bodies (what a browser posts for a form with file fields) into
// their parts, with GMime as the MIME decoder.
//
// The body is the HTTP body alone; the boundary comes from the Content-Type header value. A part's
// data is decoded when the part names a Content-Transfer-Encoding (base64, quoted-printable) and
// taken byte for byte otherwise. Nested multiparts (the old way to post several files in one
// field) have no single value and are left out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rtl/Exceptions.h"

namespace vela {

// A body that cannot be read as multipart: it ends before its first boundary line or before its
// closing boundary line (a truncated upload).
VELA_DECLARE_EXCEPTION(EMultipartFormDataError, Exception);

struct TFormDataPart {
  std::string Name;         // the "name" parameter of Content-Disposition ("" when absent)
  std::string FileName;     // its "filename" parameter ("" when absent)
  std::string ContentType;  // the part's media type, "text/plain" when it names none
  std::string Data;         // the part's bytes (transfer encoding removed)
};

class TMultipartFormData {
 public:
  // True when the Content-Type header value has the media type multipart/form-data (any case,
  // parameters ignored).
  static bool IsMultipartFormData(std::string_view AContentType);
  // The boundary parameter of the header value ("" when there is none).
  static std::string Boundary(std::string_view AContentType);
  // The parts in body order. A header without a boundary gives no parts; so does a body whose
  // first boundary line is the closing one. Raises EMultipartFormDataError when the body has no
  // boundary line at all or lacks the closing one.
  static std::vector<TFormDataPart> Parse(std::string_view AContentType, std::string_view ABody);
};

}  // namespace vela
