// XML data packets: DATAPACKET with METADATA/FIELDS/FIELD (attrname, fieldtype, width) and
// ROWDATA/ROW, whose attributes hold the values. Read as a stream through the SAX layer.
#pragma once

#include "ImportEngine/QImport2.h"

namespace vela {

class TQImport2XML : public TQImport2 {
 protected:
  void DoExecute(bool HeaderOnly) override;
};

}  // namespace vela
