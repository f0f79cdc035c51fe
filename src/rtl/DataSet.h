// The dataset layer: a dataset is a cursor over records with named, typed fields, browsed with
// First/Next/Prior/Last and edited with Edit/Append/Insert/Post/Cancel/Delete. TDataSet holds the
// state machine, the fields, the edit buffer, Locate and the master-detail link; descendants
// supply the records through a few virtual hooks (see "Hooks for descendants").
//
// Values live in the descendant's record storage; a field reads the current record through its
// dataset, so a field is a name, a type and an index, never a copy of the value. While the
// dataset is in dsEdit or dsInsert, fields read and write the edit buffer, which Post hands to
// the descendant and Cancel drops.
//
// Master-detail: a dataset with a master (SetMaster) refreshes its parameters whenever the
// master opens or moves to another record: every parameter takes the master's current value of
// the field with the same name (case-insensitive), or Null when the master has no such field;
// an active detail is then closed and reopened, so it shows the rows of the master's record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/FieldTypes.h"
#include "rtl/Variants.h"

namespace vela {

class TDataSet;

enum TDataSetState : uint8_t { dsInactive, dsBrowse, dsEdit, dsInsert };

enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;  // TLocateOption flags

// A field definition: what a descendant or a caller declares before the dataset opens.
struct TDataFieldDef {
  std::string Name;
  TFieldType DataType = ftString;
  int Size = 0;  // characters for strings; 0 for other types
  bool Required = false;
};

// One field of a dataset: its name, type and position; the value is the dataset's current one.
class TField {
 public:
  TField(TDataSet& dataSet, int index, const TDataFieldDef& def);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TDataSet& DataSet() const { return *FDataSet; }
  int Index() const { return FIndex; }
  const std::string& FieldName() const { return FFieldName; }
  // The display label when one is set, else the field name.
  const std::string& DisplayName() const {
    return FDisplayLabel.empty() ? FFieldName : FDisplayLabel;
  }
  void SetDisplayLabel(std::string label) { FDisplayLabel = std::move(label); }
  TFieldType DataType() const { return FDataType; }
  int Size() const { return FSize; }
  bool Required() const { return FRequired; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v) { FReadOnly = v; }

  // The current value: Null for a NULL field and when the dataset has no current record.
  const Variant& Value() const;
  bool IsNull() const { return Value().IsClear(); }
  std::string AsString() const;  // "" for Null
  int32_t AsInteger() const;     // 0 for Null
  int64_t AsLargeInt() const;    // 0 for Null
  double AsFloat() const;        // 0 for Null
  TDateTime AsDateTime() const;  // 0 for Null
  bool AsBoolean() const;        // false for Null
  Variant::Bytes AsBytes() const;

  // Setters convert the value to the field's type and raise EDatabaseError unless the dataset is
  // in dsEdit or dsInsert ("Dataset not in edit or insert mode"), for a read-only field, and
  // when the value does not convert.
  void SetValue(const Variant& v);
  void SetAsString(std::string_view v) { SetValue(Variant(v)); }
  void SetAsInteger(int32_t v) { SetValue(Variant(v)); }
  void SetAsLargeInt(int64_t v) { SetValue(Variant(v)); }
  void SetAsFloat(double v) { SetValue(Variant(v)); }
  void SetAsDateTime(TDateTime v) { SetValue(Variant::FromDateTime(v)); }
  void SetAsBoolean(bool v) { SetValue(Variant(v)); }
  void SetAsBytes(Variant::Bytes v) { SetValue(Variant(std::move(v))); }
  void Clear() { SetValue(Null()); }

  // The dataset of a nested dataset field (ftDataSet): the rows of the current record. It
  // belongs to the field's dataset. Nil for other field types.
  TDataSet* NestedDataSet() const { return FNested; }
  void SetNestedDataSet(TDataSet* ds) { FNested = ds; }

 private:
  TDataSet* FDataSet;
  int FIndex;
  std::string FFieldName;
  std::string FDisplayLabel;
  TFieldType FDataType;
  int FSize;
  bool FRequired;
  bool FReadOnly = false;
  TDataSet* FNested = nullptr;
};

// A parameter of a query: ":name" in its SQL text.
class TParam {
 public:
  explicit TParam(std::string name) : FName(std::move(name)) {}
  const std::string& Name() const { return FName; }
  const Variant& Value() const { return FValue; }
  // The value; ftUnknown data types follow the value (a string sets ftString and so on).
  void SetValue(const Variant& v);
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType ft) { FDataType = ft; }
  bool IsNull() const { return FValue.IsClear(); }
  void Clear() { FValue = Null(); }
  std::string AsString() const { return VarToStr(FValue); }

 private:
  std::string FName;
  Variant FValue = Null();
  TFieldType FDataType = ftUnknown;
};

// The parameters of a query in the order of their first appearance.
class TParams {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TParam& Items(int i) { return FItems.at(static_cast<size_t>(i)); }
  const TParam& Items(int i) const { return FItems.at(static_cast<size_t>(i)); }
  // Case-insensitive; nil when absent.
  TParam* FindParam(std::string_view name);
  // Raises EDatabaseError "Parameter 'X' not found".
  TParam& ParamByName(std::string_view name);
  // Adds a parameter, or returns the existing one of that name.
  TParam& CreateParam(std::string_view name, TFieldType ft = ftUnknown);
  void Clear() { FItems.clear(); }
  auto begin() { return FItems.begin(); }
  auto end() { return FItems.end(); }

 private:
  std::vector<TParam> FItems;
};

// Finds the ":name" parameters of an SQL text (not inside quotes or comments; "::" is a cast).
// Returns the text with each parameter replaced by placeholder(n) (n counts from 1 in order of
// appearance) and fills names with the name of each placeholder.
std::string ParseSQLParams(std::string_view sql, std::vector<std::string>& names,
                           const std::function<std::string(int n)>& placeholder);

class TDataSet {
 public:
  TDataSet();
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // --- opening ---
  void Open();
  void Close();
  bool Active() const { return FState != dsInactive; }
  void SetActive(bool v) { v ? Open() : Close(); }
  TDataSetState State() const { return FState; }

  // Field definitions: declared before Open for datasets that do not describe themselves (the
  // in-memory dataset); SQL datasets replace them on every Open.
  std::vector<TDataFieldDef>& FieldDefs() { return FFieldDefs; }
  void AddFieldDef(std::string name, TFieldType ft, int size = 0, bool required = false);

  // --- fields (valid while open) ---
  int FieldCount() const { return static_cast<int>(FFields.size()); }
  TField& Fields(int i) const { return *FFields.at(static_cast<size_t>(i)); }
  // Case-insensitive; nil when absent.
  TField* FindField(std::string_view name) const;
  // Raises EDatabaseError "Field 'X' not found".
  TField& FieldByName(std::string_view name) const;

  // --- navigation ---
  void First();
  void Next();
  void Prior();
  void Last();
  // Moves by distance records (negative: back); returns the distance moved.
  int MoveBy(int distance);
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  // The current record's number from 1; 0 when there is none (empty dataset, inserting).
  int RecNo() const { return FState == dsInsert ? 0 : FRecNo; }
  // Moves to record n (1-based); raises EDatabaseError when there is no such record.
  void SetRecNo(int n);
  // Records of the dataset; -1 when the dataset cannot tell (see the descendants).
  int RecordCount();
  bool IsEmpty();
  // True for datasets that only move forward from First (Prior and Last are emulated).
  virtual bool IsUniDirectional() const { return false; }

  // Moves to the first record whose fields named in keyFields ("A;B") equal values (one per
  // field). loCaseInsensitive compares texts ignoring case, loPartialKey accepts a text that
  // starts with the value. Null matches only Null. Returns false and stays on the current
  // record when nothing matches.
  bool Locate(std::string_view keyFields, const std::vector<Variant>& values,
              TLocateOptions options = 0);

  // --- editing ---
  void Edit();
  // Starts a new record (Append: at the end; Insert: before the current record). Its fields
  // start Null.
  void Append();
  void Insert();
  void Post();
  void Cancel();
  // Deletes the current record; the next record (or the last, at the end) becomes current.
  void Delete();
  // True when a field was set since Edit, Append or Insert.
  bool Modified() const { return FModified; }
  virtual bool CanModify() const { return true; }

  // --- parameters and master-detail ---
  TParams& Params() { return FParams; }
  // The dataset whose current record gives this dataset's parameters (see the file comment).
  // The master must outlive the link; nil removes it.
  void SetMaster(TDataSet* master);
  TDataSet* Master() const { return FMaster; }

  // The value of field i of the current record (the edit buffer while editing).
  const Variant& FieldValue(int i) const;
  void SetFieldValue(int i, const Variant& v);

 protected:
  // --- hooks for descendants ---
  // Prepares the records; fills FieldDefs when the dataset describes itself.
  virtual void InternalOpen() = 0;
  // Called once the dataset is open (fields exist, browse state) and before it moves to its
  // first record: a dataset that builds its records on opening appends them here. An exception
  // closes the dataset again.
  virtual void InternalAfterOpen() {}
  virtual void InternalClose() = 0;
  // Moves to the first record; false when there is none.
  virtual bool InternalFirst() = 0;
  // Moves to the next record; false at the end (the position after the last record).
  virtual bool InternalNext() = 0;
  // Moves to record n (1-based); false when there is none. The default moves from First.
  virtual bool InternalGoto(int n);
  // The number of records; the default counts them by moving, for datasets without a better way.
  virtual int InternalRecordCount();
  // The value of field i of the current record.
  virtual const Variant& GetRecordValue(int i) const = 0;
  // Stores the edit buffer: appending (at the end), inserting (before record beforeRecNo, or at
  // the end when it is 0) or updating the current record. Afterwards the stored record is the
  // current one; returns its record number.
  virtual int InternalPost(const std::vector<Variant>& values, bool inserting, int beforeRecNo) = 0;
  // Deletes the current record.
  virtual void InternalDelete() = 0;
  // Called after the parameters changed through the master (the dataset is reopened after it).
  virtual void ParamsChanged() {}
  // Called when the current record changed (nested datasets follow it).
  virtual void RecordChanged() {}

  // Converts a value to a field's type (Null stays Null). Raises EDatabaseError naming the field.
  static Variant ConvertToField(const TField& field, const Variant& v);
  void CheckActive() const;
  void CheckBrowseMode();

 private:
  friend class TField;
  void CreateFields();
  void AfterMove();
  void RefreshFromMaster();
  bool MatchesCurrent(const std::vector<int>& fields, const std::vector<Variant>& values,
                      TLocateOptions options) const;
  void StartEditBuffer(bool fromCurrent);

  TDataSetState FState = dsInactive;
  std::vector<TDataFieldDef> FFieldDefs;
  std::vector<std::unique_ptr<TField>> FFields;
  std::vector<Variant> FEditBuffer;
  bool FModified = false;
  int FInsertBefore = 0;  // dsInsert: the record the new one goes before (0: append)
  int FRecNo = 0;
  bool FEof = true;
  bool FBof = true;
  TParams FParams;
  TDataSet* FMaster = nullptr;
  std::vector<TDataSet*> FDetails;
};

}  // namespace vela
