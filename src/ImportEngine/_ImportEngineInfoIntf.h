// What an engine can tell beyond its format list, for callers that talk to users: the name by
// which a user picks a format, and where in the source the record being read began.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/Interfaces.h"

namespace vela {

// Offered by the engines whose formats have names of their own (the data schemas of the text
// engine).
struct IImportFormatNames : virtual IInterface {
  VELA_IID("{71BF2F10-35FC-4493-A6C9-DEC4AF8A2A6D}");
  // The name of the format at Index ('' when it has none).
  virtual std::string GetFormatName(int32_t Index) = 0;
};

// Offered by the engines that read text line by line.
struct IImportSourcePosition : virtual IInterface {
  VELA_IID("{6E7D505E-6416-4F67-966A-6F3E7C50187A}");
  // The physical line (1-based) at which the record being read (or read last) began; 0 before
  // the first record or when the current format reads no lines.
  virtual int64_t GetSourceLine() = 0;
};

}  // namespace vela
