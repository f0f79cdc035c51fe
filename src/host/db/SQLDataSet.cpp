#include "host/db/SQLDataSet.h"

#include "host/db/DbValues.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

TDateTime ToDateTime(const Variant& v) {
  return v.IsString() ? TextToDateTime(v.GetString()) : v.AsDateTime();
}

std::string DateText(TFieldType ft, TDateTime dt) {
  if (ft == ftDate) return DateToSQL(dt);
  if (ft == ftTime) return TimeToSQL(dt);
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
  return DateTimeToSQL(dt, ms != 0);
}

// Types whose values ReadFieldValue reads as the column's text.
bool IsPlainTextFieldType(TFieldType ft) {
  return !IsIntegerFieldType(ft) && !IsFloatFieldType(ft) && ft != ftBoolean &&
         !IsDateTimeFieldType(ft) && !IsBinaryFieldType(ft);
}

}  // namespace

void BindDataSetValue(TDbStatement& st, int index, const Variant& v, TFieldType ft) {
  if (v.IsClear()) return st.BindNull(index);
  if (ft == ftUnknown) {  // by the value's own kind
    switch (v.kind()) {
      case Variant::Kind::Boolean:
        return st.BindBool(index, v.GetBoolean());
      case Variant::Kind::Int32:
      case Variant::Kind::Int64:
      case Variant::Kind::UInt64:
        return st.BindInt64(index, v.AsInt64());
      case Variant::Kind::Double:
        return st.BindDouble(index, v.GetDouble());
      case Variant::Kind::DateTime:
        return st.BindText(index, DateText(ftDateTime, v.GetDateTime()));
      case Variant::Kind::Bytes:
        return st.BindBlob(index, v.GetBytes().data(), v.GetBytes().size());
      default:
        return st.BindText(index, VarToStr(v));
    }
  }
  if (IsIntegerFieldType(ft))
    return st.BindInt64(index, v.IsString() ? StrToInt64(Trim(v.GetString())) : v.AsInt64());
  if (IsFloatFieldType(ft))
    return st.BindDouble(index, v.IsString() ? StrToFloat(Trim(v.GetString())) : v.AsDouble());
  if (ft == ftBoolean)
    return st.BindBool(index, v.IsString() ? StrToBool(Trim(v.GetString())) : v.AsBoolean());
  if (IsDateTimeFieldType(ft)) return st.BindText(index, DateText(ft, ToDateTime(v)));
  if (IsBinaryFieldType(ft) || ft == ftOraBlob) {
    Variant::Bytes b = v.AsBytes();
    return st.BindBlob(index, b.data(), b.size());
  }
  if (v.kind() == Variant::Kind::Boolean)
    return st.BindText(index, BoolToStr(v.GetBoolean(), true));
  st.BindText(index, VarToStr(v));
}

TSQLDataSet::TSQLDataSet(TDbConnection& connection) : FConnection(&connection) {}

TSQLDataSet::TSQLDataSet(TVelaDatabase& database) : FDatabase(&database) {}

TSQLDataSet::~TSQLDataSet() {
  Close();
}

void TSQLDataSet::SetTableName(std::string name) {
  CheckInactive();
  FTableName = std::move(name);
  FSQL.clear();
  Params().Clear();
}

void TSQLDataSet::SetSQL(std::string sql) {
  CheckInactive();
  std::vector<std::string> names;
  ParseSQLParams(sql, names, [](int) { return std::string("?"); });
  TParams params;
  for (const std::string& name : names) {
    TParam& p = params.CreateParam(name);
    if (TParam* old = Params().FindParam(name)) p = *old;
  }
  Params() = std::move(params);
  FSQL = std::move(sql);
  FTableName.clear();
}

void TSQLDataSet::CheckInactive() const {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
}

TDbConnection& TSQLDataSet::Conn() {
  if (FConnection) return *FConnection;
  if (!FDatabase) throw EDatabaseError("The dataset has no connection");
  if (!FLease) FLease = std::make_unique<TVelaDatabase::TConnectionLease>(FDatabase->Connection());
  return **FLease;
}

void TSQLDataSet::InternalOpen() {
  TDbConnection& conn = Conn();
  FieldDefs().clear();
  FKeyFields.clear();
  FHasKey = false;
  FAutoKeyField = -1;
  if (!FTableName.empty()) {
    std::optional<TDbTableInfo> info = conn.ReadTableInfo(FTableName);
    if (!info) throw EDatabaseError("Table '" + FTableName + "' not found");
    FTableName = info->Name;
    FSelectSQL = "SELECT ";
    int pkCount = 0;
    for (const TDbColumnInfo& c : info->Columns)
      pkCount += c.PrimaryKey ? 1 : 0;
    for (const TDbColumnInfo& c : info->Columns) {
      const bool autoKey = c.PrimaryKey && pkCount == 1 && IsIntegerFieldType(c.DataType);
      if (autoKey) FAutoKeyField = static_cast<int>(FieldDefs().size());
      FieldDefs().push_back({c.Name, c.DataType, c.Size, c.Required && !autoKey});
      FKeyFields.push_back(c.PrimaryKey);
      FHasKey = FHasKey || c.PrimaryKey;
      if (FieldDefs().size() > 1) FSelectSQL += ", ";
      FSelectSQL += TDbConnection::QuoteIdent(c.Name);
    }
    FSelectSQL += " FROM " + TDbConnection::QuoteIdent(FTableName);
    // A stable order keeps record numbers valid when the statement runs again after a write.
    std::string order;
    for (const TDbColumnInfo& c : info->Columns)
      if (c.PrimaryKey)
        order += (order.empty() ? " ORDER BY " : ", ") + TDbConnection::QuoteIdent(c.Name);
    FSelectSQL += order;
    FParamNames.clear();
  } else if (!FSQL.empty()) {
    FSelectSQL = ParseSQLParams(FSQL, FParamNames, [&](int n) { return conn.Placeholder(n); });
  } else {
    throw EDatabaseError("No table name or SQL given");
  }
  FStatement = conn.PrepareNew(FSelectSQL);
  FStatement->SetStreaming(true);
  Execute();
  if (FSQL.empty()) {
    FRow.assign(FieldDefs().size(), Null());
    return;
  }
  const int columns = FStatement->ColumnCount();
  for (int c = 0; c < columns; ++c) {
    TDataFieldDef def;
    def.Name = FStatement->ColumnName(c);
    def.DataType = FStatement->ColumnFieldType(c, def.Size);
    FieldDefs().push_back(std::move(def));
  }
  FRow.assign(FieldDefs().size(), Null());
}

void TSQLDataSet::InternalClose() {
  FStatement.reset();
  FRow.clear();
  FPos = 0;
  FStale = true;
  FLease.reset();
}

void TSQLDataSet::BindParams(TDbStatement& st) {
  for (size_t k = 0; k < FParamNames.size(); ++k) {
    TParam* p = Params().FindParam(FParamNames[k]);
    BindDataSetValue(st, static_cast<int>(k) + 1, p ? p->Value() : Null(),
                     p ? p->DataType() : ftUnknown);
  }
}

bool TSQLDataSet::Execute() {
  FStatement->Reset();
  BindParams(*FStatement);
  FStatement->Execute();
  FPos = 0;
  FAtEnd = false;
  FStale = false;
  return true;
}

bool TSQLDataSet::Fetch() {
  if (FAtEnd) return false;
  if (!FStatement->Next()) {
    FAtEnd = true;
    return false;
  }
  const auto& defs = FieldDefs();
  for (size_t i = 0; i < FRow.size(); ++i) {
    const int column = static_cast<int>(i);
    const TFieldType ft = defs[i].DataType;
    // Text columns are read into the string the row already holds: no allocation per value.
    if (IsPlainTextFieldType(ft) && !FStatement->ColumnIsNull(column))
      FRow[i].SetString(FStatement->ColumnText(column));
    else
      FRow[i] = ReadFieldValue(*FStatement, column, ft);
  }
  ++FPos;
  return true;
}

bool TSQLDataSet::InternalFirst() {
  if (FStale || FPos > 0) Execute();
  return Fetch();
}

bool TSQLDataSet::InternalNext() {
  if (FStale) return InternalGoto(FPos + 1);
  return Fetch();
}

bool TSQLDataSet::InternalGoto(int n) {
  if (n < 1) return false;
  if (FStale || n < FPos)
    Execute();
  else if (n == FPos)
    return true;
  while (FPos < n)
    if (!Fetch()) return false;
  return true;
}

int TSQLDataSet::InternalRecordCount() {
  std::string sql = FSQL.empty() ? "SELECT COUNT(*) FROM " + TDbConnection::QuoteIdent(FTableName)
                                 : "SELECT COUNT(*) FROM (" + FSelectSQL + ") vela_count";
  TDbStatement& st = Conn().Prepare(sql);
  TStatementRun run(st);
  BindParams(st);
  st.Execute();
  return st.Next() ? static_cast<int>(st.ColumnInt64(0)) : 0;
}

std::string TSQLDataSet::KeyCondition(std::vector<std::pair<Variant, TFieldType>>& args) {
  std::string where;
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& f = Fields(i);
    if (FHasKey ? !FKeyFields[static_cast<size_t>(i)]
                : IsBinaryFieldType(f.DataType()) || f.DataType() == ftOraBlob)
      continue;
    where += where.empty() ? " WHERE " : " AND ";
    where += TDbConnection::QuoteIdent(f.FieldName());
    const Variant& v = FRow[static_cast<size_t>(i)];
    if (v.IsClear()) {
      where += " IS NULL";
    } else {
      args.emplace_back(v, f.DataType());
      where += " = " + Conn().Placeholder(static_cast<int>(args.size()));
    }
  }
  return where;
}

int64_t TSQLDataSet::RunWrite(const std::string& sql,
                              const std::vector<std::pair<Variant, TFieldType>>& args) {
  TDbStatement& st = Conn().Prepare(sql);
  TStatementRun run(st);
  for (size_t k = 0; k < args.size(); ++k)
    BindDataSetValue(st, static_cast<int>(k) + 1, args[k].first, args[k].second);
  st.Execute();
  return st.RowsAffected();
}

int TSQLDataSet::InternalPost(const std::vector<Variant>& values, bool inserting, int) {
  TDbConnection& conn = Conn();
  const std::string table = TDbConnection::QuoteIdent(FTableName);
  std::vector<std::pair<Variant, TFieldType>> args;
  if (inserting) {
    std::string columns, marks;
    for (int i = 0; i < FieldCount(); ++i) {
      const Variant& v = values[static_cast<size_t>(i)];
      if (v.IsClear()) continue;
      args.emplace_back(v, Fields(i).DataType());
      columns += (columns.empty() ? "" : ", ") + TDbConnection::QuoteIdent(Fields(i).FieldName());
      marks += (marks.empty() ? "" : ", ") + conn.Placeholder(static_cast<int>(args.size()));
    }
    std::string sql = columns.empty()
                          ? "INSERT INTO " + table + " DEFAULT VALUES"
                          : "INSERT INTO " + table + " (" + columns + ") VALUES (" + marks + ")";
    FRow = values;
    const bool numbered =
        FAutoKeyField >= 0 && values[static_cast<size_t>(FAutoKeyField)].IsClear();
    if (numbered && conn.UsesReturning()) {
      sql += " RETURNING " + TDbConnection::QuoteIdent(Fields(FAutoKeyField).FieldName());
      TDbStatement& st = conn.Prepare(sql);
      TStatementRun run(st);
      for (size_t k = 0; k < args.size(); ++k)
        BindDataSetValue(st, static_cast<int>(k) + 1, args[k].first, args[k].second);
      st.Execute();
      if (st.Next()) FRow[static_cast<size_t>(FAutoKeyField)] = Variant(st.ColumnInt64(0));
    } else {
      RunWrite(sql, args);
      // A data source that cannot tell the new number leaves the field empty.
      if (numbered) try {
          FRow[static_cast<size_t>(FAutoKeyField)] = Variant(conn.LastInsertId());
        } catch (const EDatabaseError&) {
        }
    }
    FStale = true;
    FPos = InternalRecordCount();
    return FPos;
  }
  std::string sets;
  for (int i = 0; i < FieldCount(); ++i) {
    args.emplace_back(values[static_cast<size_t>(i)], Fields(i).DataType());
    sets += (sets.empty() ? "" : ", ") + TDbConnection::QuoteIdent(Fields(i).FieldName()) + " = " +
            conn.Placeholder(static_cast<int>(args.size()));
  }
  std::string sql = "UPDATE " + table + " SET " + sets + KeyCondition(args);
  if (RunWrite(sql, args) == 0) throw EDatabaseError("Record not found or changed by another user");
  FRow = values;
  FStale = true;
  return FPos;
}

void TSQLDataSet::InternalDelete() {
  std::vector<std::pair<Variant, TFieldType>> args;
  std::string sql = "DELETE FROM " + TDbConnection::QuoteIdent(FTableName) + KeyCondition(args);
  if (RunWrite(sql, args) == 0) throw EDatabaseError("Record not found or changed by another user");
  FStale = true;
}

}  // namespace vela
