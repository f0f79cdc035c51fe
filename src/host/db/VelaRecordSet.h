// TVelaRecordSet: the records of one host table, filtered, held in memory. Values are read and
// written by record number (0-based) and field name; SaveRecordNumber writes a record back
// (insert for a new record, update of the changed fields otherwise).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/db/DbSchema.h"
#include "rtl/Variants.h"

namespace vela {

class TVelaDatabase;

// Options (bits of SetOptions).
enum : uint32_t {
  rsoLoadAll = 0x01,  // load every matching record at Open (the record set always does so)
};

// Filter types (numbers are stable; they are stored in configurations).
enum TVelaFilterType : int {
  vftEqual = 0,        // field = value (Null value: field IS NULL)
  vftNotEqual = 1,     // field <> value, or field IS NULL
  vftLess = 2,         // field < value
  vftGreater = 3,      // field > value
  vftLike = 4,         // field LIKE value, ASCII case ignored ('%' and '_' wildcards)
  vftEmpty = 5,        // field IS NULL, or equal to the value (e.g. MinDateTime), or '' for text
  vftNotEmpty = 6,     // the opposite of vftEmpty
  vftInList = 7,       // field IN (the comma text of the value)
  vftLessEqual = 8,    // field <= value
  vftGreaterEqual = 9  // field >= value
};

struct TVelaRecordSetFilter {
  std::string FieldName;
  Variant Value;
  int FilterType = vftEqual;
};

class TVelaRecordSetFilters {
 public:
  void AddFilter(std::string_view fieldName, Variant value, int filterType = vftEqual) {
    FItems.push_back({std::string(fieldName), std::move(value), filterType});
  }
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  const TVelaRecordSetFilter& Items(int i) const { return FItems.at(static_cast<size_t>(i)); }
  const std::vector<TVelaRecordSetFilter>& All() const { return FItems; }

 private:
  std::vector<TVelaRecordSetFilter> FItems;
};

class TVelaRecordSet {
 public:
  explicit TVelaRecordSet(TVelaDatabase& db);
  ~TVelaRecordSet();
  TVelaRecordSet(const TVelaRecordSet&) = delete;
  TVelaRecordSet& operator=(const TVelaRecordSet&) = delete;

  void SetSchemaName(std::string name);
  const std::string& GetSchemaName() const { return FSchemaName; }
  void SetOptions(uint32_t options) { FOptions = options; }
  uint32_t GetOptions() const { return FOptions; }
  // The fields to load; empty (the default) loads every field. The record identifier is
  // always loaded.
  void SetFields(std::vector<std::string> fields) { FFieldNames = std::move(fields); }
  TVelaRecordSetFilters& GetFilters() { return FFilters; }

  // Loads the matching records ordered by id. Raises EDatabaseError.
  void Open();
  void Close();
  bool Active() const { return FActive; }
  int GetRecordCount() const { return static_cast<int>(FRows.size()); }

  // The value of a field of record recNo. An unknown or unloaded field raises EDatabaseError,
  // or gives Unassigned when raiseIfMissing is false.
  Variant ValueByName(int recNo, std::string_view field, bool raiseIfMissing = true) const;
  // Sets a value (converted and checked by the field's type at once); written by
  // SaveRecordNumber.
  void SetValueByName(int recNo, std::string_view field, Variant value);

  int64_t GetDBIDByRecNo(int recNo) const;
  // -1 when no loaded record has this id.
  int GetRecNoByDBID(int64_t id) const;
  // The first record whose field equals the value (-1 when none).
  int FindLocalRecord(std::string_view field, const Variant& value) const;
  // Adds an empty record (id -1) and returns its number.
  int AppendRecord();
  // Writes the record: inserts a new record (and takes its id), updates the changed fields of
  // a loaded one. Returns the record's id.
  int64_t SaveRecordNumber(int recNo);
  // Reloads (and returns true) when the record set is closed or the table may have changed
  // since Open: a change through this database object (any thread), or, on SQLite, a commit by
  // another connection to the database file (another thread or process; any table). On
  // PostgreSQL changes made by other processes are not detected.
  bool CheckForRefresh();

  // A copy (definition and loaded records) for use on another thread.
  TVelaRecordSet* CreateThreadedClone() const;
  static void DestroyThreadedClone(TVelaRecordSet*& clone);

 private:
  struct TRow {
    int64_t Id = -1;
    std::vector<Variant> Values;
    std::vector<bool> Modified;
  };
  const TRow& Row(int recNo) const;
  TRow& Row(int recNo);
  int Column(std::string_view field) const;
  IPtr<IDBFieldSchemaItem> Schema();
  // SQLite: true when another connection committed since Open (see CheckForRefresh).
  bool ChangedByOtherConnection();

  TVelaDatabase& FDb;
  std::string FSchemaName;
  uint32_t FOptions = 0;
  std::vector<std::string> FFieldNames;
  TVelaRecordSetFilters FFilters;
  bool FActive = false;
  IPtr<IDBFieldSchemaItem> FSchema;
  std::vector<int> FColumns;  // schema index of each loaded column
  int FIdColumn = -1;         // position of the id in FColumns
  std::vector<TRow> FRows;
  uint64_t FLoadedVersion = 0;
  // SQLite: the connection that loaded the records and its data version then.
  uint64_t FLoadedConnection = 0;
  int64_t FLoadedDataVersion = 0;
};

}  // namespace vela
