// Helpers shared by the velaimport commands.
#include "Commands.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

std::string JsonQuote(std::string_view s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        r += "\\\"";
        break;
      case '\\':
        r += "\\\\";
        break;
      case '\n':
        r += "\\n";
        break;
      case '\r':
        r += "\\r";
        break;
      case '\t':
        r += "\\t";
        break;
      default:
        if (c < 0x20) {
          r += "\\u00";
          r += IntToHex(c, 2);
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  return r + "\"";
}

}  // namespace vela::cli
