// The host's progress display, queried from the main interface with Supports. A host without
// a display (the default) takes the calls and shows nothing.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/Interfaces.h"

namespace vela {

// What a running progress stands for.
enum TVelaProgressKind : uint8_t {
  vpkDownload = 0,  // data received
  vpkUpload = 1,    // data sent
  vpkOther = 2,
};

// Calls may come from any thread; an implementation must not raise.
struct IVelaProgressService : virtual IInterface {
  VELA_IID("{8D2F4B61-3C7A-4E95-A1D0-6B5E9F2C7A34}");
  virtual void StartProgress(const std::string& ACaption, TVelaProgressKind AKind) noexcept = 0;
  // ATotal 0: the total is unknown. AText may be empty.
  virtual void StepProgress(int64_t APosition, int64_t ATotal,
                            const std::string& AText) noexcept = 0;
  virtual void EndProgress() noexcept = 0;
};

}  // namespace vela
