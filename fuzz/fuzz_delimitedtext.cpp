// Parses arbitrary bytes as delimited text in every mode and checks that writing the items and
// reading them again gives the same items.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rtl/Classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose delimiter and quote char (printable, distinct).
  const char delimiter = static_cast<char>(33 + data[0] % 94);
  char quote = static_cast<char>(33 + data[1] % 94);
  if (quote == delimiter) quote = delimiter == '"' ? '\'' : '"';
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  for (bool strict : {false, true}) {
    vela::TStringList list;
    list.SetDelimiter(delimiter);
    list.SetQuoteChar(quote);
    list.SetStrictDelimiter(strict);
    list.SetDelimitedText(text);
    const std::string written = list.DelimitedText();
    vela::TStringList back;
    back.SetDelimiter(delimiter);
    back.SetQuoteChar(quote);
    back.SetStrictDelimiter(strict);
    back.SetDelimitedText(written);
    // Items holding a NUL are cut when read again; everything else must survive.
    bool hasNul = false;
    for (const std::string& s : list)
      hasNul = hasNul || s.find('\0') != std::string::npos;
    if (!hasNul && back.Lines() != list.Lines()) __builtin_trap();
  }
  vela::TStringList comma;
  comma.SetCommaText(text);
  (void)comma.CommaText();
  return 0;
}
