// The number or date behind the text of an imported field value, as an engine read it.
#pragma once

#include <cstdint>

namespace vela {

// Int for an integer value, Number for a floating-point value and (as a TDateTime) for a date.
struct TImportParsedValue {
  int64_t Int = 0;
  double Number = 0;
};

}  // namespace vela
