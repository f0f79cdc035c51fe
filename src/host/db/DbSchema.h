// The field schema of the host database: tables and fields read from the catalog, annotated by
// the file custom/schema.ini below the application folder (captions, lookup fields, check-data
// fields; format in docs/database.md), plus value-text lists installed at run time.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/db/DbTypes.h"
#include "rtl/Interfaces.h"

namespace vela {

class TDbConnection;

// What a field holds beyond its type.
enum TVelaFieldKind : int {
  vfkData = 0,       // an ordinary value
  vfkRecordID = 1,   // the record identifier "id"
  vfkLookup = 2,     // the id of a record of LookupTable, identified by its LookupField text
  vfkCheckData = 3,  // text that must be one of the field's value list
};

// One line of a value-text list: the stored value and the text shown for it.
struct TFieldListEntry {
  std::string Value;
  std::string Text;
};
using TFieldListData = std::vector<TFieldListEntry>;

// One field of a table.
struct TDBFieldSchemaField {
  std::string Name;
  std::string Caption;  // the name when the annotation gives none
  TFieldType DataType = ftUnknown;
  int Size = 0;  // characters, for strings with a length
  bool Required = false;
  int FieldKind = vfkData;
  std::string LookupTable;  // vfkLookup: the referenced table
  std::string LookupField;  // vfkLookup: its field whose text identifies a record
  // The value-text list (check data, display texts).
  std::shared_ptr<const TFieldListData> ListData;

  bool IsRecordID() const { return FieldKind == vfkRecordID; }
};

// The schema of one table.
struct IDBFieldSchemaItem : virtual IInterface {
  VELA_IID("{A44D1CDA-3BF9-4A75-85FD-13D49F27F1D1}");
  virtual const std::string& GetName() const = 0;
  virtual const std::string& GetCaption() const = 0;
  virtual int GetFieldCount() const = 0;
  virtual const TDBFieldSchemaField& GetField(int index) const = 0;
  // The field of that name (ASCII case ignored), nullptr when absent.
  virtual const TDBFieldSchemaField* FindField(std::string_view name) const = 0;
  // Index of the field, -1 when absent.
  virtual int IndexOfField(std::string_view name) const = 0;
  // The record identifier field's name ("id"), '' when the table has none.
  virtual std::string GetRecordIDField() const = 0;
  // The current value-text list of a field (empty when none).
  virtual std::shared_ptr<const TFieldListData> GetFieldListData(std::string_view field) const = 0;
};

class TDBFieldSchemaItem;

// All tables of the database. Thread-safe: items never change once published; a reload or a
// new value list publishes new items, and holders of old items keep a consistent copy.
class TDBFieldSchema {
 public:
  explicit TDBFieldSchema(std::string annotationFile);
  ~TDBFieldSchema();

  // Reads the catalog and the annotation file again.
  void Load(TDbConnection& conn);
  // The table of that name (ASCII case ignored); nil when unknown.
  IPtr<IDBFieldSchemaItem> GetSchemaByName(std::string_view name) const;
  // All tables in name order.
  std::vector<IPtr<IDBFieldSchemaItem>> GetItems() const;
  // Installs a value-text list for a field: each line "value=text" (a line without '=' is its
  // own text). The list survives reloads. Raises EDatabaseError for an unknown table or field.
  void SetFieldListData(std::string_view table, std::string_view field,
                        const std::vector<std::string>& lines);
  const std::string& AnnotationFile() const { return FAnnotationFile; }
  // Grows with every change of the published items: holders of items compare it to know when to
  // fetch them again.
  uint64_t Generation() const { return FGeneration.load(std::memory_order_acquire); }

 private:
  mutable std::mutex FLock;
  std::string FAnnotationFile;
  std::vector<IPtr<TDBFieldSchemaItem>> FItems;
  std::atomic<uint64_t> FGeneration{0};
  // Lists installed by SetFieldListData, by "table\nfield" in lower case.
  std::unordered_map<std::string, std::shared_ptr<const TFieldListData>> FListData;
};

// Parses "value=text" lines into a value list.
TFieldListData ParseFieldListData(const std::vector<std::string>& lines);

}  // namespace vela
