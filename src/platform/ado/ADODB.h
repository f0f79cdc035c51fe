// Database access by ADO connection string, over unixODBC: a connection, and a table reader that
// reads the rows of one table with typed fields. The ADO connection string is turned into an
// ODBC one (see docs/odbc.md).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/Exceptions.h"

namespace vela {

VELA_DECLARE_EXCEPTION(EADOError, Exception);

// The ODBC connection string for an ADO connection string. Raises EADOError for a provider
// that has no ODBC counterpart.
std::string AdoToOdbcConnectionString(std::string_view ConnectionString);

enum TADOFieldType : int32_t {
  aftString,
  aftSmallint,
  aftInteger,
  aftLargeint,
  aftFloat,
  aftBCD,
  aftBoolean,
  aftDate,
  aftTime,
  aftDateTime,
  aftMemo,
  aftBlob,
  aftUnknown,
};

// "AWhat: " followed by the first three diagnostic records of an ODBC handle.
std::string OdbcDiagnostics(int16_t AHandleType, void* AHandle, std::string_view AWhat);

class TADOConnection : public TObject {
 public:
  TADOConnection();
  ~TADOConnection() override;
  TADOConnection(const TADOConnection&) = delete;
  TADOConnection& operator=(const TADOConnection&) = delete;

  std::string ConnectionString;
  bool LoginPrompt = false;  // never prompts on this platform

  bool Connected() const noexcept;
  void Open();
  void Close();
  // User tables and views (system tables excluded), in the driver's order.
  void GetTableNames(TStringList& List, bool SystemTables = false);
  void GetFieldNames(std::string_view TableName, TStringList& List);

  // Runs a statement that returns no rows; connects when needed.
  void ExecSQL(std::string_view SQL);
  // The ODBC connection handle while connected.
  void* Handle() const noexcept;
  // The table name quoted for the connection's SQL.
  std::string QuoteName(std::string_view Name);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

class TADOField {
 public:
  std::string FieldName;
  TADOFieldType DataType = aftUnknown;
  bool IsNull = true;
  // The value as text: numbers with the format settings' decimal separator and no thousands
  // separator, dates and times in their short forms, Booleans as "True"/"False", NULL empty.
  std::string AsString;
};

// Reads one table (TableDirect: the command text is the table name).
class TADOTable : public TObject {
 public:
  TADOTable();
  ~TADOTable() override;
  TADOTable(const TADOTable&) = delete;
  TADOTable& operator=(const TADOTable&) = delete;

  TADOConnection* Connection = nullptr;
  bool TableDirect = true;
  std::string CommandText;

  bool Active() const noexcept;
  // Connects when needed, runs the query and reads the first row.
  void Open();
  void Close();
  bool Eof() const noexcept { return FEof; }
  void First() {}  // the reader is forward only and stands on the first row after Open
  void Next();
  int FieldCount() const noexcept { return static_cast<int>(FFields.size()); }
  const TADOField& Fields(int Index) const { return FFields.at(static_cast<size_t>(Index)); }

 private:
  void Fetch();
  void* FStmt = nullptr;
  bool FEof = true;
  std::vector<TADOField> FFields;
  std::vector<int16_t> FSqlTypes;
  std::string FBuffer;
};

}  // namespace vela
