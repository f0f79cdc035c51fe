// TClientSQL: the host's SQL command object. It inserts, updates or deletes records of one
// table: fields by name with a value and an active flag, equality filters, Execute, and a data
// check that tries the statement without leaving any change.
//
// Statements are prepared once per connection and cached by table, mode, the set of active
// fields and the set of active filters. Identifiers are always quoted and values always bound.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/db/DbSchema.h"
#include "host/db/DbValues.h"
#include "rtl/Variants.h"

namespace vela {

class TVelaDatabase;
class TDbConnection;
class TDbStatement;

enum TClientSQLMode : int { csmInsert = 0, csmUpdate = 1, csmDelete = 2 };

// A field of the statement: written when active.
struct TClientSQLField {
  std::string FieldName;
  Variant Value;
  bool Active = false;
  // The field's index in the table's schema and its description, found at the first run
  // (-1: not yet).
  int SchemaIndex = -1;
  const TDBFieldSchemaField* SchemaField = nullptr;

  // Sets the value and activates the field.
  void SetValue(Variant v) {
    Value = std::move(v);
    Active = true;
  }
};

// An equality filter for update and delete. An auto-active filter is active exactly when its
// value differs from its inactive value (e.g. an id filter with inactive value -1); any other
// filter follows its Active flag. A Null value selects records whose field is NULL.
struct TClientSQLFilter {
  std::string FieldName;
  Variant Value;
  bool AutoActive = false;
  Variant InactiveValue;
  bool Active = true;
  // The field's index in the table's schema and the name it was found for (-1: not yet).
  int SchemaIndex = -1;
  std::string SchemaIndexName;

  bool IsActive() const;
};

class TClientSQL {
 public:
  explicit TClientSQL(TVelaDatabase& db);
  ~TClientSQL();
  TClientSQL(const TClientSQL&) = delete;
  TClientSQL& operator=(const TClientSQL&) = delete;

  // The table ("schema name").
  void SetSchemaName(std::string name);
  const std::string& GetSchemaName() const { return FSchemaName; }
  // csmInsert, csmUpdate or csmDelete.
  void SetMode(int mode);
  int GetMode() const { return FMode; }

  // --- fields ---
  // The field of that name (ASCII case ignored), added (inactive) when missing.
  TClientSQLField& FieldByName(std::string_view name);
  TClientSQLField* FindField(std::string_view name);
  // FieldByName(name).SetValue(value).
  void SetFieldValue(std::string_view name, Variant value);
  int FieldCount() const { return static_cast<int>(FFields.size()); }
  TClientSQLField& Fields(int index) { return *FFields.at(static_cast<size_t>(index)); }
  void ClearFields();
  // Makes every field inactive (values stay).
  void DeactivateFields();

  // --- filters ---
  TClientSQLFilter& AddFilter(std::string_view fieldName, Variant value, bool autoActive = false,
                              Variant inactiveValue = Variant());
  TClientSQLFilter* FindFilter(std::string_view fieldName);
  int FilterCount() const { return static_cast<int>(FFilters.size()); }
  TClientSQLFilter& Filters(int index) { return *FFilters.at(static_cast<size_t>(index)); }
  void ClearFilters();

  // Runs the statement. Insert: returns the new record's id. Update and delete: the number of
  // records changed. An update without active fields changes nothing and returns 0; a delete
  // or update without active filters covers the whole table. Raises EDatabaseError.
  int64_t Execute();
  // Checks the statement against the database (types, lengths, value lists, not-null, unique
  // and foreign keys) by running it in a transaction or savepoint that is rolled back. Raises
  // EDatabaseError with the reason; leaves no change behind.
  void RunSQLDataCheck();
  // Rows changed by the last Execute.
  int64_t RowsAffected() const { return FRowsAffected; }

 private:
  // The bound statement for the current fields and filters on conn.
  TDbStatement& PrepareAndBind(TDbConnection& conn, IDBFieldSchemaItem& schema);
  IDBFieldSchemaItem& Schema();
  std::string BuildSQL(TDbConnection& conn, IDBFieldSchemaItem& schema) const;
  // Executes st and returns Execute's result.
  int64_t Run(TDbConnection& conn, TDbStatement& st);
  // Execute's result from an executed statement.
  int64_t Result(TDbConnection& conn, TDbStatement& st);

  TVelaDatabase& FDb;
  std::string FSchemaName;
  int FMode = csmInsert;
  std::vector<std::unique_ptr<TClientSQLField>> FFields;
  std::vector<std::unique_ptr<TClientSQLFilter>> FFilters;
  int64_t FRowsAffected = 0;

  IPtr<IDBFieldSchemaItem> FSchema;  // cached for FSchemaName
  uint64_t FSchemaGeneration = 0;
  std::atomic<uint64_t>* FTableVersion = nullptr;
  // Per run: schema index of every active field / filter in statement order (reused buffers).
  std::vector<std::pair<const TClientSQLField*, int>> FActiveFields;
  // The converted value of each active field (grows only, so that buffers are reused).
  std::vector<TDbBindValue> FFieldValues;
  bool FHasIdField = false;
  std::vector<std::pair<const TClientSQLFilter*, int>> FActiveFilters;
  std::string FKey;
  // SQL text per statement key.
  std::unordered_map<std::string, std::string> FSQLByKey;
  // The statement of the last run, reused while key and connection stay the same.
  std::string FLastKey;
  uint64_t FLastConn = 0;  // serial of the connection
  TDbStatement* FLastStatement = nullptr;
};

}  // namespace vela
