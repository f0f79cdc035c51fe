#include "module/_XMLPreProcessorImportInfo.h"

#include <algorithm>

namespace vela {

bool TXMLPreProcessorImportInfo::IsExportRecord(int32_t RecNo) const noexcept {
  return !std::binary_search(FIgnoreList.begin(), FIgnoreList.end(), RecNo);
}

void TXMLPreProcessorImportInfo::SetRecordExportable(int32_t RecNo, bool Exportable) {
  auto it = std::lower_bound(FIgnoreList.begin(), FIgnoreList.end(), RecNo);
  const bool listed = it != FIgnoreList.end() && *it == RecNo;
  if (Exportable && listed)
    FIgnoreList.erase(it);
  else if (!Exportable && !listed)
    FIgnoreList.insert(it, RecNo);
}

void TXMLPreProcessorImportInfo::SetAllExportabel(int32_t FromRecNo, int32_t ToRecNo,
                                                  bool Exportable) {
  if (ToRecNo < FromRecNo) return;
  if (Exportable) {
    // One pass instead of one erase per record.
    auto first = std::lower_bound(FIgnoreList.begin(), FIgnoreList.end(), FromRecNo);
    auto last = std::upper_bound(first, FIgnoreList.end(), ToRecNo);
    FIgnoreList.erase(first, last);
    return;
  }
  for (int64_t r = FromRecNo; r <= ToRecNo; ++r)
    SetRecordExportable(static_cast<int32_t>(r), false);
}

}  // namespace vela
