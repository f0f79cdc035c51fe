// Source settings that a caller can give an engine without a dialog: name=value pairs such as
// "table=customers" for the database import. Offered by the engines that need more than the
// input file name to find their data.
#pragma once

#include <string_view>

#include "rtl/Interfaces.h"

namespace vela {

struct IImportSourceSettings : virtual IInterface {
  VELA_IID("{6F0B8E52-3C1D-4A7E-9B25-D4E8A1C07F36}");
  // True when the engine knows the setting. SetParameter forgets the settings: give them again
  // after every SetParameter.
  virtual bool SetSourceParameter(std::string_view Name, std::string_view Value) = 0;
};

}  // namespace vela
