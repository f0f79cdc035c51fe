// Parses arbitrary bytes as INI text and exercises reads and the write-back of the result.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rtl/CodePages.h"
#include "rtl/IniFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  vela::TMemIniFile ini;
  ini.SetText(vela::DecodeText(raw));
  vela::TStringList sections;
  ini.ReadSections(sections);
  vela::TStringList lines;
  for (const std::string& section : sections) {
    ini.ReadSection(section, lines);
    for (const std::string& name : lines) {
      (void)ini.ReadString(section, name, "");
      (void)ini.ReadInteger(section, name, 0);
      (void)ini.ReadFloat(section, name, 0);
    }
  }
  // Writing back and reading again must keep every value that was reachable.
  vela::TStringList text;
  ini.GetStrings(text);
  vela::TMemIniFile again;
  again.SetStrings(text);
  if (!sections.IsEmpty()) {
    ini.ReadSection(sections[0], lines);
    if (!lines.IsEmpty() && ini.ReadString(sections[0], lines[0], "\x01") !=
                                again.ReadString(sections[0], lines[0], "\x01"))
      __builtin_trap();
  }
  return 0;
}
