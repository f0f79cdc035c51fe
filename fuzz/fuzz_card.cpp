// libFuzzer target: card file reading (vCard, LDIF and vCalendar items) and writing back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vcard/VCalendarItem.h"
#include "vcard/VCard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  {
    // Calendar events in a contact file are read too, so their rules may be refused here.
    vela::TVCard card;
    try {
      card.SetAsString(text);
    } catch (const vela::ERecurrenceException&) {
    }
    card.SetVCardVersion(vela::vcv30);
    (void)card.GetAsString();
    card.SetVCardVersion(vela::vcv21);
    (void)card.GetAsString();
  }
  {
    vela::TVCalendar cal;
    try {
      cal.SetAsString(text);
    } catch (const vela::ERecurrenceException&) {
      // unsupported recurrence rules are reported, not crashes
    }
    (void)cal.GetAsString();
  }
  return 0;
}
