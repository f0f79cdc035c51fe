// The standard data-access field types and the database exception, shared by the runtime's
// dataset layer and the host database.
#pragma once

#include <cstdint>

#include "rtl/Exceptions.h"

namespace vela {

// The standard data-access field types, in the runtime's declaration order.
enum TFieldType : uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
  ftFixedWideChar,
  ftWideMemo,
  ftOraTimeStamp,
  ftOraInterval,
  ftLongWord,
  ftShortint,
  ftByte,
  ftExtended,
  ftConnection,
  ftParams,
  ftStream,
  ftTimeStampOffset,
  ftObject,
  ftSingle
};

// The runtime's name of a field type ("ftString", "ftLargeint", ...).
const char* FieldTypeName(TFieldType ft);

// Groups of field types as the database layer stores them.
bool IsIntegerFieldType(TFieldType ft);   // small integer .. large integer, auto-increment, byte
bool IsFloatFieldType(TFieldType ft);     // float, currency, BCD, extended, single
bool IsDateTimeFieldType(TFieldType ft);  // date, time, date-time, time stamp
bool IsStringFieldType(TFieldType ft);    // string, fixed char, wide string, memo, GUID
bool IsBinaryFieldType(TFieldType ft);    // blob, bytes, graphic, typed binary

// Raised for every failure of the database layer (connection, SQL, constraint, conversion).
VELA_DECLARE_EXCEPTION(EDatabaseError, Exception);

}  // namespace vela
