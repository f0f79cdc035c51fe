#include "rtl/FieldTypes.h"

namespace vela {

const char* FieldTypeName(TFieldType ft) {
  static const char* const names[] = {
      "ftUnknown",      "ftString",      "ftSmallint", "ftInteger",       "ftWord",
      "ftBoolean",      "ftFloat",       "ftCurrency", "ftBCD",           "ftDate",
      "ftTime",         "ftDateTime",    "ftBytes",    "ftVarBytes",      "ftAutoInc",
      "ftBlob",         "ftMemo",        "ftGraphic",  "ftFmtMemo",       "ftParadoxOle",
      "ftDBaseOle",     "ftTypedBinary", "ftCursor",   "ftFixedChar",     "ftWideString",
      "ftLargeint",     "ftADT",         "ftArray",    "ftReference",     "ftDataSet",
      "ftOraBlob",      "ftOraClob",     "ftVariant",  "ftInterface",     "ftIDispatch",
      "ftGuid",         "ftTimeStamp",   "ftFMTBcd",   "ftFixedWideChar", "ftWideMemo",
      "ftOraTimeStamp", "ftOraInterval", "ftLongWord", "ftShortint",      "ftByte",
      "ftExtended",     "ftConnection",  "ftParams",   "ftStream",        "ftTimeStampOffset",
      "ftObject",       "ftSingle"};
  return ft <= ftSingle ? names[ft] : "ftUnknown";
}

bool IsIntegerFieldType(TFieldType ft) {
  switch (ft) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
    case ftLongWord:
    case ftShortint:
    case ftByte:
      return true;
    default:
      return false;
  }
}

bool IsFloatFieldType(TFieldType ft) {
  return ft == ftFloat || ft == ftCurrency || ft == ftBCD || ft == ftFMTBcd || ft == ftExtended ||
         ft == ftSingle;
}

bool IsDateTimeFieldType(TFieldType ft) {
  return ft == ftDate || ft == ftTime || ft == ftDateTime || ft == ftTimeStamp;
}

bool IsStringFieldType(TFieldType ft) {
  return ft == ftString || ft == ftFixedChar || ft == ftWideString || ft == ftFixedWideChar ||
         ft == ftMemo || ft == ftWideMemo || ft == ftFmtMemo || ft == ftGuid;
}

bool IsBinaryFieldType(TFieldType ft) {
  return ft == ftBlob || ft == ftBytes || ft == ftVarBytes || ft == ftGraphic ||
         ft == ftTypedBinary;
}

}  // namespace vela
