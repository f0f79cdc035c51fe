// Writes the records of one table from VelaXML data stores. A store's items are matched to the
// table's columns by name (ASCII case ignored), decoded by their encoding, binary mode and code
// page, and converted to the columns' types; the record is then located, inserted, updated or
// deleted through prepared statements that are cached per set of columns, so that a part whose
// records all carry the same fields prepares each statement once.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/db/DbSchema.h"
#include "host/db/DbValues.h"
#include "host/velaxml/XMLDataStore.h"
#include "rtl/Interfaces.h"
#include "rtl/Variants.h"

namespace vela {

class TDbConnection;
class TDbStatement;
class TVelaDatabase;

// The column of ADetail that holds the id of a record of AParentTable: the first of
// "<parent>_id", "<parent>id" and, when the parent's name ends in "s", the same without it
// ("customer_id", "customerid"), ASCII case ignored, of an integer type. -1 when there is none
// or ADetail is the parent table itself.
int DetailReferenceColumn(const IDBFieldSchemaItem& ADetail, std::string_view AParentTable);

// The name of the column holding a record's identity across databases.
inline constexpr const char* kGlobalRecUidField = "globalrecuid";

class TTableRecordWriter {
 public:
  TTableRecordWriter(TVelaDatabase& ADatabase, IPtr<IDBFieldSchemaItem> ASchema);
  TTableRecordWriter(const TTableRecordWriter&) = delete;
  TTableRecordWriter& operator=(const TTableRecordWriter&) = delete;

  const std::string& TableName() const { return FSchema->GetName(); }
  const IDBFieldSchemaItem& Schema() const { return *FSchema; }
  const IPtr<IDBFieldSchemaItem>& SchemaPtr() const { return FSchema; }
  // The "id" column and the "globalrecuid" column; -1 when the table has none.
  int IdColumn() const { return FIdColumn; }
  int GlobalRecUidColumn() const { return FGlobalRecUidColumn; }

  // --- the current record ---
  // Forgets the loaded values.
  void ClearValues();
  // Takes the values of the store's items whose names are columns of the table; "id" and
  // other names are passed over. A later item of the same name replaces an earlier one. File
  // values are read below ABaseDir (empty: file values are refused). Raises EDatabaseError
  // naming the field for a value its column cannot take.
  void Load(const TXMLDataStore& AStore, const std::string& ABaseDir);
  // Sets a column to an integer (a detail record's reference to its parent).
  void SetInt(int AColumn, int64_t AValue);
  bool HasValue(int AColumn) const {
    return AColumn >= 0 && FValues[static_cast<size_t>(AColumn)].Loaded;
  }
  // The columns with a value, ascending.
  const std::vector<int>& LoadedColumns() const { return FLoaded; }

  // --- statements on the loaded values ---
  // Finds the first record (lowest id) whose AKeys columns equal the loaded values; AId gets
  // its id (0 for a table without "id"). A key without a value, or with a null value, matches
  // nothing.
  bool Find(TDbConnection& AConn, const std::vector<int>& AKeys, int64_t& AId);
  // Inserts the loaded values; returns the new id (0 for a table without "id").
  int64_t Insert(TDbConnection& AConn);
  // Writes the loaded values into the record with that id.
  void Update(TDbConnection& AConn, int64_t AId);
  // Writes the loaded values into the records whose AKeys equal them; returns their number.
  int64_t UpdateByKeys(TDbConnection& AConn, const std::vector<int>& AKeys);
  // Deletes the records whose AKeys columns equal the loaded values; returns their number.
  int64_t DeleteByKeys(TDbConnection& AConn, const std::vector<int>& AKeys);
  void DeleteById(TDbConnection& AConn, int64_t AId);

  // Deletes the records whose field AField compares true with AValue (a document text, read as
  // the field's type) by AComparison: "=", "==", "<>", "!=", "<", "<=", ">", ">=" or "like"
  // (ASCII case ignored, % and _ as wildcards). An empty value of a non-text field is null and
  // allows only "=" and "<>". With AScopeColumn >= 0 only records whose AScopeColumn equals
  // AScopeId. Returns the number deleted; raises EDatabaseError for an unknown field or
  // comparison.
  int64_t DeleteRecords(TDbConnection& AConn, std::string_view AField, std::string_view AComparison,
                        std::string_view AValue, int AScopeColumn, int64_t AScopeId);
  // The ids of all records, or of those whose AScopeColumn equals AScopeId, ascending.
  void ReadIds(TDbConnection& AConn, int AScopeColumn, int64_t AScopeId,
               std::vector<int64_t>& AIds);

 private:
  struct TValue {
    bool Loaded = false;
    std::string Buffer;  // decoded bytes or read file content (reused)
    Variant Scratch;     // a converted text a value list chose
    TDbBindValue Bind;
  };
  // A prepared statement of this table and the connection it belongs to.
  struct TCached {
    std::string SQL;
    TDbStatement* Statement = nullptr;
    uint64_t Connection = 0;
  };
  enum TStatementKind : int { skFind, skInsert, skUpdate, skUpdateByKeys, skDeleteByKeys };

  // The value of one item for its column, decoded and converted into AValue.
  void LoadItem(const TXMLDataStoreItem& AItem, const TDBFieldSchemaField& AField,
                const std::string& ABaseDir, TValue& AValue);
  void Convert(const TDBFieldSchemaField& AField, std::string_view AText, TValue& AValue);
  // The cached statement of a kind for the loaded columns (set) and key columns.
  TDbStatement& Statement(TDbConnection& AConn, TStatementKind AKind,
                          const std::vector<int>& AKeys);
  std::string BuildSQL(TDbConnection& AConn, TStatementKind AKind,
                       const std::vector<int>& AKeys) const;
  // Binds the loaded values (1..n), then the keys; false when a key has no value or is null.
  bool BindValues(TDbStatement& AStatement, bool AWithValues, const std::vector<int>& AKeys);
  std::string Quoted(int AColumn) const;

  TVelaDatabase& FDatabase;
  IPtr<IDBFieldSchemaItem> FSchema;
  int FIdColumn = -1;
  int FGlobalRecUidColumn = -1;
  std::vector<TValue> FValues;  // by column index
  std::vector<int> FLoaded;
  // The column of each item of the last store, by position (names compared per record).
  std::vector<std::pair<std::string, int>> FItemColumns;
  std::map<std::vector<int>, TCached> FStatements;
  std::vector<int> FKeyBuffer;  // statement cache key (reused)
};

}  // namespace vela
