// Types shared by the database layer: the catalog description of tables and columns. The field
// types and the database exception live in the runtime (rtl/FieldTypes.h), which datasets share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/FieldTypes.h"

namespace vela {

// The name of the record identifier field of every host table.
inline constexpr const char* kRecordIdField = "id";

// One column as the catalog describes it.
struct TDbColumnInfo {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;           // maximum length in characters for strings with a length; else 0
  bool Required = false;  // NOT NULL
  bool PrimaryKey = false;
};

// One table as the catalog describes it, columns in their declared order.
struct TDbTableInfo {
  std::string Name;
  std::vector<TDbColumnInfo> Columns;
};

// The backends a URL can name.
enum class TDbBackendKind { SQLite, PostgreSQL };

}  // namespace vela
