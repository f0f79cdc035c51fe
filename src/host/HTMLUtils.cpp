#include "host/HTMLUtils.h"

namespace vela {

std::string THTMLUtils::HtmlEncode(std::string_view AText, bool AConvertLineBreaks) {
  std::string out;
  out.reserve(AText.size() + AText.size() / 8);
  for (size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\r':
      case '\n':
        if (!AConvertLineBreaks) {
          out += c;
          break;
        }
        if (c == '\r' && i + 1 < AText.size() && AText[i + 1] == '\n') ++i;
        out += "<br>";
        break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
          out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
        else
          out += c;
    }
  }
  return out;
}

}  // namespace vela
