// The record buffer of an import object: the current record's field values by import field
// name, their mapping to database fields and conversion to the database types, the field change
// conditions, the key search, the write through the SQL command object, and the messages and
// counters of a run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "host/db/ClientSQL.h"
#include "host/db/DbInterfaceTable.h"
#include "host/db/DbSchema.h"
#include "plugins/_DataImportIntf.h"
#include "rtl/Classes.h"
#include "rtl/Variants.h"

namespace vela {

class TImportObject;
class TRecordBuffer;

// Called after each record (Sender: the import object).
using TNotifyImportEvent = std::function<void(TImportObject* Sender)>;
// Called for each message.
using TAddProgressMessageEvent = std::function<void(
    TImportObject* Sender, TImportMessageType AMsgType, const std::string& AMessage)>;

// One import field of the current record.
class TFieldData : public TObject {
 public:
  TFieldData(TRecordBuffer* AOwner, std::string AFieldName);

  // The import field's name (its line in the buffer).
  const std::string& FieldName() const { return FFieldName; }
  TImportDataType DataType() const { return FDataType; }
  bool HasValue() const { return FHasValue; }
  // The value after advanced field processing and lookup translation.
  const std::string& Value() const { return FValue; }
  const std::string& DataBaseField() const { return FDataBaseField; }
  TFieldType DataBaseFieldType() const { return FDataBaseFieldType; }
  // The value converted to the database field's type, using the declared data type. A failed
  // conversion sets LastWasCastError, gives Null and issues "IDS_CastError" as an error.
  Variant DataBaseValue();
  // DataBaseValue into AOut; a text destination reuses AOut's text buffer.
  void StoreDataBaseValue(Variant& AOut);
  bool LastWasCastError() const { return FLastWasCastError; }
  bool FieldIsAssigned() const { return FFieldIsAssigned; }

 private:
  friend class TRecordBuffer;
  // The conversion without the message; raises on failure (Null and no exception for a
  // declared type that does not fit).
  Variant ConvertValue(bool& ACastError);
  // The same conversion from the engine's parsed value where that gives the same result as
  // reading the text; the text way otherwise.
  Variant ConvertParsed(bool& ACastError);
  // What the database field takes: a whole number, a float, a date or time, or (all others) the
  // text unconverted.
  enum TDestinationKind { dkText, dkInteger, dkFloat, dkDate };
  TDestinationKind DestinationKind() const;

  bool FHasValue = false;
  std::string FValue;
  // The number or date the engine parsed FValue from, when no rule has changed the text since.
  bool FHasParsed = false;
  TImportParsedValue FParsed;
  TImportDataType FDataType{};
  std::string FDataBaseField;
  TFieldType FDataBaseFieldType = ftUnknown;
  TRecordBuffer* FRecordBuffer;
  bool FLastWasCastError = false;
  bool FFieldIsAssigned = false;
  std::string FFieldName;
  // The destination field's schema entry, held for the run that created this field data.
  const TDBFieldSchemaField* FSchemaField = nullptr;
  // The SQL field of the database field, found at the first write of the run.
  TClientSQLField* FSQLField = nullptr;
  // Whether the database field is a key field, as of the key list's stamp FKeyStamp.
  bool FIsKeyField = false;
  uint32_t FKeyStamp = 0;
  // During an update: the key field would write the value the record was found by.
  bool FKeyUnchanged = false;
};

// The current record: each line is an import field name, its object the field's TFieldData
// (owned).
class TRecordBuffer : public TStringList, private TConditionRecordAccess {
 public:
  TRecordBuffer(TImportObject* AImpObj, TDataImportProcessor* ADataProcessor);
  ~TRecordBuffer() override;

  // --- the record ---
  // Stores a value for an import field (creating its field data): advanced field processing,
  // then lookup translation for a non-empty value of an assigned field.
  // Parsed: the number or date the engine read the text as; used for the conversion to the
  // database type unless a field rule or a lookup changes the text.
  void AddField(std::string_view FieldName, std::string_view Value, bool AHasValue,
                TImportDataType DataType, const TImportParsedValue* Parsed = nullptr);
  // The field data of an import field (ASCII case ignored), created when missing.
  TFieldData* GetFieldData(std::string_view FieldName);
  // The field data of an import field; nullptr when the record has none.
  TFieldData* FindFieldData(std::string_view FieldName);
  TFieldData* GetFields(int Index) const { return FFieldList[static_cast<size_t>(Index)]; }
  // Clears the values of all field data (the field data stay).
  void ClearValues();
  // Frees all field data and empties the list.
  void Clear();

  // --- messages ---
  void ClearMessageCounts();
  void ClearRecordMessages();
  void AddMessageCount(TImportMessageType AMsgType);
  // Counts the message, passes it to the progress event and the callback, and starts the
  // abort when the abort policy asks for it.
  void DoMessage(const std::string& AMessage, TImportMessageType AMsgType);
  // The text of a message table key in the import object's language.
  std::string GetText(std::string_view AKey) const;

  // --- rules and the write ---
  // Applies the field change conditions of one check mode (0 before, 1 after the key search);
  // true when one of them held. HasDeleteAction: an ignore action held.
  bool RunConditions(int ACheckMode, bool& HasDeleteAction);
  // The identifier of the existing record matching the key fields, -1 when none.
  int64_t LocateRecord();
  // Writes the current record.
  void HandlePostRecord();

  // --- settings and state ---
  TImportMode ImportMode() const { return FImportMode; }
  void SetImportMode(TImportMode v) { FImportMode = v; }
  // The key fields; a caller that may change them marks the cached key flags stale.
  TStringList& CheckFields() {
    ++FCheckFieldsStamp;
    return FCheckFields;
  }
  TStringList& FieldAssignments() { return FFieldAssignments; }
  TStringList& UnassignedFields() { return FUnassignedFields; }
  TStringList& AdvFields() { return FAdvFields; }
  TNotifyImportEvent OnProgress;
  TAddProgressMessageEvent OnProgressMessage;
  bool SimulateOnly() const { return FSimulateOnly; }
  void SetSimulateOnly(bool v) { FSimulateOnly = v; }
  bool SkipFirstRecord() const { return FSkipFirstRecord; }
  void SetSkipFirstRecord(bool v) { FSkipFirstRecord = v; }
  int32_t RecordNumber() const { return FRecordNumber; }
  void SetRecordNumber(int32_t v) { FRecordNumber = v; }
  bool RollBackOnError() const { return FRollBackOnError; }
  void SetRollBackOnError(bool v) { FRollBackOnError = v; }
  bool RollBackOnWarning() const { return FRollBackOnWarning; }
  void SetRollBackOnWarning(bool v) { FRollBackOnWarning = v; }
  const TMessageCounts& MessageCounts() const { return FMessageCounts; }
  const TMessageCounts& RecordMessageCounts() const { return FRecordMessageCounts; }
  bool AbortImport() const { return FAbortImport; }
  void SetAbortImport(bool v) { FAbortImport = v; }
  bool IgnoreRecordOnError() const { return FIrgnoreRecordOnError; }
  void SetIgnoreRecordOnError(bool v) { FIrgnoreRecordOnError = v; }
  bool IgnoreRecordOnWarning() const { return FIrgnoreRecordOnWarning; }
  void SetIgnoreRecordOnWarning(bool v) { FIrgnoreRecordOnWarning = v; }
  const IPtr<IDataImportCallBack>& ImportCallBack() const { return FImportCallBack; }
  void SetImportCallBack(IPtr<IDataImportCallBack> v) { FImportCallBack = std::move(v); }
  // Set for the duration of a run.
  void SetDBTable(IPtr<IDbInterfaceTable> v) { FDBTable = std::move(v); }
  void SetDestSchema(IPtr<IDBFieldSchemaItem> v) {
    FDestSchema = std::move(v);
    FKeySelect.clear();
  }
  const IPtr<IDBFieldSchemaItem>& DestSchema() const { return FDestSchema; }
  TImportObject* ImpObj() const { return FImpObj; }

 private:
  friend class TFieldData;
  // --- TConditionRecordAccess: a field counts as present when it has a value ---
  const std::string* FieldText(std::string_view FieldName) override;
  void ReplaceField(std::string_view DestField, std::string_view SourceField) override;
  // Looks up the database field of a new field data.
  void AssignDataBaseField(TFieldData& fd);
  // Lookup and check-data translation of a stored value.
  void TranslateLookup(TFieldData& fd);
  // The key search's filter value for a key field, by its database type; false when the field
  // takes no part in the search.
  bool KeyFilterValue(const TFieldData& fd, Variant& value) const;
  // Moves the active SQL fields of advanced fields out of the statement.
  void DetachAdvFields(TClientSQL& sql);
  // Takes the key fields out of an update of the record the key search found, where they would
  // write the very value they were found by (the database would rewrite the key's index entry
  // for nothing); kept when nothing else would be written.
  void LeaveOutFoundKeys();

  TImportMode FImportMode = DimUpdate;
  TStringList FCheckFields;
  uint32_t FCheckFieldsStamp = 1;
  IPtr<IDbInterfaceTable> FDBTable;
  IPtr<IDBFieldSchemaItem> FDestSchema;
  TStringList FFieldAssignments;
  bool FSimulateOnly = false;
  bool FSkipFirstRecord = false;
  int32_t FRecordNumber = 0;
  bool FRollBackOnError = false;
  bool FRollBackOnWarning = false;
  TMessageCounts FMessageCounts;
  bool FAbortImport = false;
  bool FIrgnoreRecordOnError = false;
  TMessageCounts FRecordMessageCounts;
  bool FIrgnoreRecordOnWarning = false;
  TDataImportProcessor* FDataProcessor;
  TStringList FUnassignedFields;
  IPtr<IDataImportCallBack> FImportCallBack;
  TImportObject* FImpObj;
  // Names of advanced fields; FAdvSQLFields holds, during a write, the SQL field taken out of
  // the statement for each line (nullptr when none).
  TStringList FAdvFields;
  std::vector<TClientSQLField*> FAdvSQLFields;

  // Where the next GetFieldData looks first: engines deliver the fields of every record in the
  // same order, so the search is one comparison per field.
  int FNextFieldIndex = 0;
  // The lines' objects in line order, read per field and record without the list's checks;
  // field data enter only through GetFieldData and leave with Clear.
  std::vector<TFieldData*> FFieldList;
  // Reused buffers of the key search.
  std::vector<std::string> FKeySelect;
  std::vector<std::pair<std::string, Variant>> FKeyFilters;
  // The field data of each filter of the last key search.
  std::vector<TFieldData*> FKeyFields;
  std::string FNumberText;
};

}  // namespace vela
