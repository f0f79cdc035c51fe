// Feeds arbitrary bytes to the RTF reader. What it reads from an RTF document must be valid UTF-8,
// and that text written as RTF and read again must come back (with line breaks as CR LF and
// control characters other than tabs dropped, as the RTF writer does).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/RichText.h"
#include "rtl/CodePages.h"
#include "rtl/SysUtils.h"

namespace {

std::string WhatTheWriterKeeps(std::string_view text) {
  std::string r;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = vela::NextUtf8CodePoint(text, i);
    if (cp == '\r' || cp == '\n') {
      if (cp == '\r' && i < text.size() && text[i] == '\n') ++i;
      r += "\r\n";
    } else if (cp == '\t' || (cp >= 0x20 && cp != 0x7F)) {
      vela::AppendUtf8(r, cp);
    }
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string text = vela::ConvertRTFToText(input);
  if (text == input) return 0;  // not RTF, or RTF that reads as itself
  if (!vela::IsValidUtf8(text)) std::abort();
  const std::string again = vela::ConvertRTFToText(vela::ConvertTextToRTF(text, "Arial", 10));
  if (again != WhatTheWriterKeeps(text)) std::abort();
  return 0;
}
