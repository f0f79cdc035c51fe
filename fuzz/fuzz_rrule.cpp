// libFuzzer target: the vCalendar 1.0 RRULE reader, and the writer on whatever it read.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vcard/VCalendarRecurrence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  vela::TVCalendarRecurrenceInfo rule;
  try {
    rule.FromRRule(text);
  } catch (const vela::ERecurrenceException&) {
    return 0;
  }
  std::string written = rule.ToRRule();
  // What the writer produced must read again.
  vela::TVCalendarRecurrenceInfo again;
  try {
    again.FromRRule(written);
  } catch (const vela::ERecurrenceException&) {
    __builtin_trap();
  }
  return 0;
}
