#include "rtl/MemDataSet.h"

namespace vela {

TMemDataSet::~TMemDataSet() {
  // Nested datasets go first: they point into this dataset's rows.
  FNested.clear();
}

TMemDataSet& TMemDataSet::AddNestedDataSet(std::string name) {
  AddFieldDef(std::move(name), ftDataSet);
  auto nested = std::make_unique<TMemDataSet>();
  nested->FOwner = this;
  FNestedFieldIndex.push_back(static_cast<int>(FieldDefs().size()) - 1);
  FNested.push_back(std::move(nested));
  return *FNested.back();
}

void TMemDataSet::EmptyDataSet() {
  CheckActive();
  Cancel();
  FRows->clear();
  First();
}

void TMemDataSet::InternalOpen() {
  FCur = 0;
}

void TMemDataSet::InternalClose() {
  for (auto& n : FNested)
    n->Close();
  if (!FKeepRecords && !FOwner) FOwnRows.clear();
}

bool TMemDataSet::InternalFirst() {
  FCur = 0;
  return !FRows->empty();
}

bool TMemDataSet::InternalNext() {
  if (FCur + 1 >= FRows->size()) return false;
  ++FCur;
  return true;
}

bool TMemDataSet::InternalGoto(int n) {
  if (n < 1 || static_cast<size_t>(n) > FRows->size()) return false;
  FCur = static_cast<size_t>(n - 1);
  return true;
}

const Variant& TMemDataSet::GetRecordValue(int i) const {
  return (*FRows)[FCur].Values[static_cast<size_t>(i)];
}

int TMemDataSet::InternalPost(const std::vector<Variant>& values, bool inserting, int beforeRecNo) {
  if (!inserting) {
    (*FRows)[FCur].Values = values;
    return static_cast<int>(FCur) + 1;
  }
  TRow row{values, std::vector<TRows>(FNested.size())};
  if (beforeRecNo > 0 && static_cast<size_t>(beforeRecNo) <= FRows->size()) {
    FRows->insert(FRows->begin() + (beforeRecNo - 1), std::move(row));
    FCur = static_cast<size_t>(beforeRecNo - 1);
  } else {
    FRows->push_back(std::move(row));
    FCur = FRows->size() - 1;
  }
  return static_cast<int>(FCur) + 1;
}

void TMemDataSet::InternalDelete() {
  FRows->erase(FRows->begin() + static_cast<std::ptrdiff_t>(FCur));
}

void TMemDataSet::BindRows(TRows* rows) {
  // Pending edits of the nested dataset belonged to the record the owner left; they are dropped.
  Cancel();
  if (!rows) FOwnRows.clear();
  FRows = rows ? rows : &FOwnRows;
  FCur = 0;
  if (Active())
    First();
  else
    Open();
}

void TMemDataSet::RecordChanged() {
  if (!Active() || FNested.empty()) return;
  // A nested dataset shows the rows of a stored record; while inserting, or without a current
  // record, it shows none.
  const bool stored = State() != dsInsert && RecNo() > 0;
  for (size_t k = 0; k < FNested.size(); ++k) {
    Fields(FNestedFieldIndex[k]).SetNestedDataSet(FNested[k].get());
    FNested[k]->BindRows(stored ? &(*FRows)[FCur].Nested[k] : nullptr);
  }
}

}  // namespace vela
