// The user's choice of records from a data preview, handed back to the pre-processor.
#pragma once

#include <cstdint>
#include <vector>

#include "vela/XMLPreProcessorIntf.h"

namespace vela {

class TXMLPreProcessorImportInfo : public TInterfacedObject, public IXMLPreProcessorImportInfo {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessorImportInfo)

  bool Get_IsExportRecord(int32_t RecNo) noexcept override { return IsExportRecord(RecNo); }

  // True unless RecNo was marked not exportable.
  bool IsExportRecord(int32_t RecNo) const noexcept;
  void SetRecordExportable(int32_t RecNo, bool Exportable);
  // SetRecordExportable for FromRecNo..ToRecNo (both included); nothing when To < From.
  void SetAllExportabel(int32_t FromRecNo, int32_t ToRecNo, bool Exportable);
  // The record numbers not to import, ascending.
  const std::vector<int32_t>& IgnoreList() const noexcept { return FIgnoreList; }

 private:
  std::vector<int32_t> FIgnoreList;  // sorted, without duplicates
};

}  // namespace vela
