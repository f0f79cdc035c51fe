// Host enumerations that describe how a pre-processor run treats a configured table: how an
// export finds existing records and where a detail table's rows go. The ordinals are fixed:
// configurations give them as numbers.
#pragma once

#include <cstdint>

namespace vela {

// How an export finds the record a VelaXML row belongs to.
enum TVelaXMLRecordLocateMode : uint8_t {
  rlmNone = 0,             // never: every row is appended
  rlmKeyFields = 1,        // by the configured key fields
  rlmFirstRecordOnly = 2,  // always the first record of the target
};

// Where the rows of a detail table are written.
enum TDetailMode : uint8_t {
  dmMaster = 0,        // the master table itself
  dmSubDetail = 1,     // inside every master row
  dmBeforeMaster = 2,  // as a part of its own before the master part
  dmAfterMaster = 3,   // as a part of its own after the master part
};

}  // namespace vela
