// Where an import run stands: the source, the number of the record being imported and, for
// sources read line by line, the physical line at which that record began. Offered by the
// import objects that Do_Import hands out; a callback asks it (Supports on the IDataImport)
// while a message of the run arrives, to tell the user where it happened.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/Interfaces.h"

namespace vela {

struct IDataImportPosition : virtual IInterface {
  VELA_IID("{5C2A9E47-0B8D-4F13-9A6E-3D7C1B8F2E54}");
  // The source as the object was given it (a file name, a connection string).
  virtual std::string Get_SourceName() = 0;
  // The number of the current record (1-based, the skipped header counts); 0 outside a run.
  virtual int32_t Get_RecordNumber() = 0;
  // The physical line at which the current record began; 0 when the source is not read line by
  // line.
  virtual int64_t Get_SourceLine() = 0;
};

}  // namespace vela
