// TMemDataSet: a dataset whose records live in memory, one vector of values per record. Field
// definitions are added before Open; Close keeps them and drops the records unless KeepRecords
// is set. Nested dataset fields (ftDataSet) hold, per record, rows of their own: AddNestedDataSet
// declares one and returns the nested dataset to declare its fields on; while the owner stands
// on a stored record, the nested dataset shows and edits that record's rows (post nested edits
// before the owner moves: a move drops them).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rtl/DataSet.h"

namespace vela {

class TMemDataSet : public TDataSet {
 public:
  TMemDataSet() = default;
  ~TMemDataSet() override;

  // Declares a nested dataset field; add the nested dataset's field definitions on the result.
  TMemDataSet& AddNestedDataSet(std::string name);
  // Records stay when the dataset closes (they are dropped by default).
  void SetKeepRecords(bool v) { FKeepRecords = v; }
  // Drops every record (the dataset stays open, positioned on nothing).
  void EmptyDataSet();
  // Reserves room for n records (for bulk loading).
  void Reserve(size_t n) { FRows->reserve(n); }

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  bool InternalFirst() override;
  bool InternalNext() override;
  bool InternalGoto(int n) override;
  int InternalRecordCount() override { return static_cast<int>(FRows->size()); }
  const Variant& GetRecordValue(int i) const override;
  int InternalPost(const std::vector<Variant>& values, bool inserting, int beforeRecNo) override;
  void InternalDelete() override;
  void RecordChanged() override;

 private:
  struct TRow;
  using TRows = std::vector<TRow>;
  struct TRow {
    std::vector<Variant> Values;
    std::vector<TRows> Nested;  // one list of rows per nested field; empty without such fields
  };

  // Shows rows (nil: the own rows) as this dataset's records.
  void BindRows(TRows* rows);

  TRows FOwnRows;
  TRows* FRows = &FOwnRows;  // the own rows, or the current record's rows of the owner
  size_t FCur = 0;           // index of the current record
  bool FKeepRecords = false;
  TMemDataSet* FOwner = nullptr;                      // set for a nested dataset
  std::vector<std::unique_ptr<TMemDataSet>> FNested;  // by nested field, in declaration order
  std::vector<int> FNestedFieldIndex;                 // the field index of each nested dataset
};

}  // namespace vela
