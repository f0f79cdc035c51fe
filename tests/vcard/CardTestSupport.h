// Helpers for the card library tests.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "TestData.h"
#include "vcard/VCalendarItem.h"
#include "vcard/VCard.h"
#include "vcard/VCardItem.h"

namespace vela::cardtest {

// A file of tests/data/vcard; a missing file fails the test naming it.
inline std::string OwnData(const std::string& relative) {
  return test::DataFile("vcard/" + relative);
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline TVCardItem& VCardAt(TVCard& card, int index) {
  return dynamic_cast<TVCardItem&>(card.Items()[index]);
}

inline TCustomAddressCardItem& ContactAt(TCustomCard& card, int index) {
  return dynamic_cast<TCustomAddressCardItem&>(card.Items()[index]);
}

inline TVCalendarItem& EventAt(TVCalendar& cal, int index) {
  return dynamic_cast<TVCalendarItem&>(cal.Items()[index]);
}

}  // namespace vela::cardtest
