// HTML helpers of the host: text made safe for HTML fragments.
#pragma once

#include <string>
#include <string_view>

namespace vela {

class THTMLUtils {
 public:
  // Text to HTML character data (UTF-8 in, UTF-8 out):
  // - "&", "<", ">", '"' and "'" become "&amp;", "&lt;", "&gt;", "&quot;" and "&#39;", so the
  //   result is safe both between tags and inside a quoted attribute value;
  // - with AConvertLineBreaks, each line break (CR LF, LF or CR) becomes "<br>"; without it
  //   line breaks stay as they are;
  // - other control characters (below U+0020 except tab, and DEL) become numeric references
  //   ("&#1;"); everything else, non-ASCII characters included, is copied unchanged.
  static std::string HtmlEncode(std::string_view AText, bool AConvertLineBreaks = false);
};

}  // namespace vela
