#include "host/db/VelaRecordSet.h"

#include <algorithm>

#include "host/db/ClientSQL.h"
#include "host/db/DbValues.h"
#include "host/db/VelaDatabase.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

namespace vela {

TVelaRecordSet::TVelaRecordSet(TVelaDatabase& db) : FDb(db) {}

TVelaRecordSet::~TVelaRecordSet() = default;

void TVelaRecordSet::SetSchemaName(std::string name) {
  Close();
  FSchemaName = std::move(name);
  FSchema = nullptr;
}

IPtr<IDBFieldSchemaItem> TVelaRecordSet::Schema() {
  if (!FSchema) {
    FSchema = FDb.GetSchemaByName(FSchemaName);
    if (!FSchema) throw EDatabaseError("Table '" + FSchemaName + "' does not exist");
  }
  return FSchema;
}

namespace {

int FieldIndex(IDBFieldSchemaItem& schema, std::string_view name) {
  int i = schema.IndexOfField(name);
  if (i < 0)
    throw EDatabaseError("Field '" + std::string(name) + "' does not exist in table '" +
                         schema.GetName() + "'");
  return i;
}

}  // namespace

void TVelaRecordSet::Open() {
  Close();
  auto schema = Schema();
  int idIndex = schema->IndexOfField(schema->GetRecordIDField());
  if (idIndex < 0) throw EDatabaseError("Table '" + FSchemaName + "' has no record identifier");
  FColumns.clear();
  if (FFieldNames.empty()) {
    for (int i = 0; i < schema->GetFieldCount(); ++i)
      FColumns.push_back(i);
  } else {
    for (auto& name : FFieldNames) {
      int i = FieldIndex(*schema, name);
      if (std::find(FColumns.begin(), FColumns.end(), i) == FColumns.end()) FColumns.push_back(i);
    }
    if (std::find(FColumns.begin(), FColumns.end(), idIndex) == FColumns.end())
      FColumns.push_back(idIndex);
  }
  FIdColumn =
      static_cast<int>(std::find(FColumns.begin(), FColumns.end(), idIndex) - FColumns.begin());

  // The version before reading: a change during the read makes the next check reload.
  uint64_t version = FDb.TableVersion(FSchemaName);
  auto conn = FDb.Connection();
  int64_t dataVersion = conn->DataVersion().value_or(0);
  auto q = [](const std::string& n) { return TDbConnection::QuoteIdent(n); };
  std::string sql = "SELECT ";
  for (size_t i = 0; i < FColumns.size(); ++i) {
    if (i) sql += ", ";
    sql += q(schema->GetField(FColumns[i]).Name);
  }
  sql += " FROM " + q(schema->GetName());
  // Values to bind, in placeholder order.
  std::vector<std::pair<const TDBFieldSchemaField*, Variant>> binds;
  int param = 0;
  bool first = true;
  for (auto& filter : FFilters.All()) {
    const auto& field = schema->GetField(FieldIndex(*schema, filter.FieldName));
    std::string name = q(field.Name);
    auto placeholder = [&](Variant v) {
      binds.emplace_back(&field, std::move(v));
      return conn->Placeholder(++param);
    };
    std::string cond;
    switch (filter.FilterType) {
      case vftEqual:
        cond =
            filter.Value.IsClear() ? name + " IS NULL" : name + " = " + placeholder(filter.Value);
        break;
      case vftNotEqual:
        cond = filter.Value.IsClear()
                   ? name + " IS NOT NULL"
                   : "(" + name + " <> " + placeholder(filter.Value) + " OR " + name + " IS NULL)";
        break;
      case vftLess:
        cond = name + " < " + placeholder(filter.Value);
        break;
      case vftGreater:
        cond = name + " > " + placeholder(filter.Value);
        break;
      case vftLessEqual:
        cond = name + " <= " + placeholder(filter.Value);
        break;
      case vftGreaterEqual:
        cond = name + " >= " + placeholder(filter.Value);
        break;
      case vftLike: {
        // Bound as text whatever the field's type.
        static const TDBFieldSchemaField likeField = [] {
          TDBFieldSchemaField f;
          f.Name = "like";
          f.DataType = ftMemo;
          return f;
        }();
        binds.emplace_back(&likeField, Variant(VarToStr(filter.Value)));
        cond = "LOWER(" + name + ") LIKE LOWER(" + conn->Placeholder(++param) + ")";
        break;
      }
      case vftEmpty:
      case vftNotEmpty: {
        cond = "(" + name + " IS NULL";
        if (IsStringFieldType(field.DataType)) cond += " OR " + name + " = ''";
        if (!filter.Value.IsClear() &&
            !(filter.Value.IsString() && filter.Value.GetString().empty()))
          cond += " OR " + name + " = " + placeholder(filter.Value);
        cond += ")";
        if (filter.FilterType == vftNotEmpty) cond = "NOT " + cond;
        break;
      }
      case vftInList: {
        TStringList items;
        items.SetCommaText(VarToStr(filter.Value));
        if (items.Count() == 0) {
          cond = "1 = 0";
          break;
        }
        cond = name + " IN (";
        for (int i = 0; i < items.Count(); ++i) {
          if (i) cond += ", ";
          cond += placeholder(Variant(items[i]));
        }
        cond += ")";
        break;
      }
      default:
        throw EDatabaseError("Unknown filter type " + std::to_string(filter.FilterType));
    }
    sql += first ? " WHERE " : " AND ";
    first = false;
    sql += cond;
  }
  sql += " ORDER BY " + q(schema->GetField(idIndex).Name);

  auto& st = conn->Prepare(sql);
  TStatementRun run(st);
  param = 0;
  for (auto& [field, value] : binds)
    BindFieldValue(st, ++param, *field, value);
  st.Execute();
  while (st.Next()) {
    TRow row;
    row.Values.reserve(FColumns.size());
    for (size_t c = 0; c < FColumns.size(); ++c)
      row.Values.push_back(
          ReadFieldValue(st, static_cast<int>(c), schema->GetField(FColumns[c]).DataType));
    row.Modified.assign(FColumns.size(), false);
    row.Id = row.Values[static_cast<size_t>(FIdColumn)].AsInt64();
    FRows.push_back(std::move(row));
  }
  FLoadedVersion = version;
  FLoadedConnection = conn->Serial();
  FLoadedDataVersion = dataVersion;
  FActive = true;
}

void TVelaRecordSet::Close() {
  FRows.clear();
  FActive = false;
}

const TVelaRecordSet::TRow& TVelaRecordSet::Row(int recNo) const {
  if (recNo < 0 || recNo >= GetRecordCount())
    throw EDatabaseError("Record number " + std::to_string(recNo) + " out of range");
  return FRows[static_cast<size_t>(recNo)];
}

TVelaRecordSet::TRow& TVelaRecordSet::Row(int recNo) {
  return const_cast<TRow&>(static_cast<const TVelaRecordSet*>(this)->Row(recNo));
}

int TVelaRecordSet::Column(std::string_view field) const {
  if (FSchema)
    for (size_t c = 0; c < FColumns.size(); ++c)
      if (SameText(FSchema->GetField(FColumns[c]).Name, field)) return static_cast<int>(c);
  return -1;
}

Variant TVelaRecordSet::ValueByName(int recNo, std::string_view field, bool raiseIfMissing) const {
  const TRow& row = Row(recNo);
  int c = Column(field);
  if (c < 0) {
    if (!raiseIfMissing) return Variant();
    throw EDatabaseError("Field '" + std::string(field) + "' is not loaded in record set '" +
                         FSchemaName + "'");
  }
  return row.Values[static_cast<size_t>(c)];
}

void TVelaRecordSet::SetValueByName(int recNo, std::string_view field, Variant value) {
  TRow& row = Row(recNo);
  int c = Column(field);
  if (c < 0)
    throw EDatabaseError("Field '" + std::string(field) + "' is not loaded in record set '" +
                         FSchemaName + "'");
  CheckFieldValue(FSchema->GetField(FColumns[static_cast<size_t>(c)]), value);
  row.Values[static_cast<size_t>(c)] = std::move(value);
  row.Modified[static_cast<size_t>(c)] = true;
}

int64_t TVelaRecordSet::GetDBIDByRecNo(int recNo) const {
  return Row(recNo).Id;
}

int TVelaRecordSet::GetRecNoByDBID(int64_t id) const {
  for (size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].Id == id && id > 0) return static_cast<int>(i);
  return -1;
}

int TVelaRecordSet::FindLocalRecord(std::string_view field, const Variant& value) const {
  int c = Column(field);
  if (c < 0) return -1;
  for (size_t i = 0; i < FRows.size(); ++i)
    if (VarSameValue(FRows[i].Values[static_cast<size_t>(c)], value)) return static_cast<int>(i);
  return -1;
}

int TVelaRecordSet::AppendRecord() {
  if (!FActive) throw EDatabaseError("Record set '" + FSchemaName + "' is not open");
  TRow row;
  row.Values.assign(FColumns.size(), Null());
  row.Modified.assign(FColumns.size(), false);
  FRows.push_back(std::move(row));
  return GetRecordCount() - 1;
}

int64_t TVelaRecordSet::SaveRecordNumber(int recNo) {
  TRow& row = Row(recNo);
  TClientSQL sql(FDb);
  sql.SetSchemaName(FSchemaName);
  bool isNew = row.Id <= 0;
  sql.SetMode(isNew ? csmInsert : csmUpdate);
  bool any = false;
  for (size_t c = 0; c < FColumns.size(); ++c) {
    if (!row.Modified[c] || static_cast<int>(c) == FIdColumn) continue;
    sql.SetFieldValue(FSchema->GetField(FColumns[c]).Name, row.Values[c]);
    any = true;
  }
  if (!isNew && !any) return row.Id;
  if (!isNew)
    sql.AddFilter(FSchema->GetField(FColumns[static_cast<size_t>(FIdColumn)]).Name, row.Id);
  uint64_t before = FDb.TableVersion(FSchemaName);
  int64_t result = sql.Execute();
  if (isNew) {
    row.Id = result;
    row.Values[static_cast<size_t>(FIdColumn)] = Variant(result);
  } else if (result == 0) {
    throw EDatabaseError("Record " + std::to_string(row.Id) + " of table '" + FSchemaName +
                         "' no longer exists");
  }
  row.Modified.assign(row.Modified.size(), false);
  // Our own write needs no reload; a change by someone else in between still does.
  if (before == FLoadedVersion) FLoadedVersion = FDb.TableVersion(FSchemaName);
  return row.Id;
}

bool TVelaRecordSet::CheckForRefresh() {
  if (!FActive) {
    Open();
    return true;
  }
  if (FDb.TableVersion(FSchemaName) == FLoadedVersion && !ChangedByOtherConnection()) return false;
  Open();
  return true;
}

bool TVelaRecordSet::ChangedByOtherConnection() {
  auto conn = FDb.Connection();
  auto dataVersion = conn->DataVersion();
  if (!dataVersion) return false;
  // Data versions of different connections cannot be compared (a threaded clone checking on
  // its own thread): reload to be safe.
  return conn->Serial() != FLoadedConnection || *dataVersion != FLoadedDataVersion;
}

TVelaRecordSet* TVelaRecordSet::CreateThreadedClone() const {
  auto* clone = new TVelaRecordSet(FDb);
  clone->FSchemaName = FSchemaName;
  clone->FOptions = FOptions;
  clone->FFieldNames = FFieldNames;
  clone->FFilters = FFilters;
  clone->FActive = FActive;
  clone->FSchema = FSchema;
  clone->FColumns = FColumns;
  clone->FIdColumn = FIdColumn;
  clone->FRows = FRows;
  clone->FLoadedVersion = FLoadedVersion;
  clone->FLoadedConnection = FLoadedConnection;
  clone->FLoadedDataVersion = FLoadedDataVersion;
  return clone;
}

void TVelaRecordSet::DestroyThreadedClone(TVelaRecordSet*& clone) {
  delete clone;
  clone = nullptr;
}

}  // namespace vela
