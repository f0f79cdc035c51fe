// What the host may do with a data container outside the background import: convert a saved
// body into the VelaXML document that its import would read, and show a body as text or HTML.
// Offered by the business integration data module through the external function lookup.
#pragma once

#include <string>

#include "host/InterfacedData.h"
#include "rtl/Interfaces.h"

namespace vela {

struct IBIContainerConverter : virtual IInterface {
  VELA_IID("{153EAFE9-557C-437F-AFA9-35CE3979B764}");
  // Runs the container pre-processor on AData (a body of AContentType, whose "charset"
  // parameter is the body's encoding) with the container configuration text AConfig and writes
  // the VelaXML document into AOutData. False with "ClassName: message" in ErrorMessage when the
  // body does not read, the content type has no content object, or the conversion fails.
  virtual bool Do_ConvertContainer(const std::string& AContentType, const std::string& AData,
                                   const std::string& AConfig, IDataStream* AOutData,
                                   std::string& ErrorMessage) noexcept = 0;
  // The body as the converters show it to users: plain text, or an HTML fragment with AHTML.
  virtual bool Do_ShowContainer(const std::string& AContentType, const std::string& AData,
                                bool AHTML, std::string& AText,
                                std::string& ErrorMessage) noexcept = 0;
};

}  // namespace vela
