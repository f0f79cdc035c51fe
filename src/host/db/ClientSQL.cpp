#include "host/db/ClientSQL.h"

#include "host/db/TransactionGuard.h"
#include "host/db/DbConnection.h"
#include "host/db/DbValues.h"
#include "host/db/VelaDatabase.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

const char* const kStatementSavepoint = "vela_stmt";
const char* const kCheckSavepoint = "vela_check";

void AppendIndex(std::string& key, int index) {
  key += static_cast<char>(index & 0xFF);
  key += static_cast<char>((index >> 8) & 0xFF);
}

}  // namespace

bool TClientSQLFilter::IsActive() const {
  if (!AutoActive) return Active;
  if (Value.IsClear() && InactiveValue.IsClear()) return Value.IsNull() != InactiveValue.IsNull();
  return !VarSameValue(Value, InactiveValue);
}

TClientSQL::TClientSQL(TVelaDatabase& db) : FDb(db) {}

TClientSQL::~TClientSQL() = default;

void TClientSQL::SetSchemaName(std::string name) {
  if (name == FSchemaName) return;
  FSchemaName = std::move(name);
  FSchema = nullptr;
  FTableVersion = nullptr;
  for (auto& f : FFields)
    f->SchemaIndex = -1;
  for (auto& f : FFilters)
    f->SchemaIndex = -1;
  FSQLByKey.clear();
  FLastKey.clear();
  FLastStatement = nullptr;
}

void TClientSQL::SetMode(int mode) {
  if (mode < csmInsert || mode > csmDelete)
    throw EDatabaseError("Invalid statement mode " + std::to_string(mode));
  FMode = mode;
}

TClientSQLField* TClientSQL::FindField(std::string_view name) {
  for (auto& f : FFields)
    if (f->FieldName.size() == name.size() &&
        (f->FieldName == name || SameText(f->FieldName, name)))
      return f.get();
  return nullptr;
}

TClientSQLField& TClientSQL::FieldByName(std::string_view name) {
  if (auto* f = FindField(name)) return *f;
  auto f = std::make_unique<TClientSQLField>();
  f->FieldName = name;
  FFields.push_back(std::move(f));
  return *FFields.back();
}

void TClientSQL::SetFieldValue(std::string_view name, Variant value) {
  FieldByName(name).SetValue(std::move(value));
}

void TClientSQL::ClearFields() {
  FFields.clear();
}

void TClientSQL::DeactivateFields() {
  for (auto& f : FFields)
    f->Active = false;
}

TClientSQLFilter& TClientSQL::AddFilter(std::string_view fieldName, Variant value, bool autoActive,
                                        Variant inactiveValue) {
  auto f = std::make_unique<TClientSQLFilter>();
  f->FieldName = fieldName;
  f->Value = std::move(value);
  f->AutoActive = autoActive;
  f->InactiveValue = std::move(inactiveValue);
  FFilters.push_back(std::move(f));
  return *FFilters.back();
}

TClientSQLFilter* TClientSQL::FindFilter(std::string_view fieldName) {
  for (auto& f : FFilters)
    if (SameText(f->FieldName, fieldName)) return f.get();
  return nullptr;
}

void TClientSQL::ClearFilters() {
  FFilters.clear();
}

IDBFieldSchemaItem& TClientSQL::Schema() {
  uint64_t generation = FDb.GetDBFieldSchema().Generation();
  if (FSchema && generation != FSchemaGeneration) {
    // A reload or a new value list: fetch the table's current item.
    FSchema = nullptr;
    FSQLByKey.clear();
    FLastKey.clear();
    FLastStatement = nullptr;
    for (auto& f : FFields) {
      f->SchemaIndex = -1;
      f->SchemaField = nullptr;
    }
    for (auto& f : FFilters)
      f->SchemaIndex = -1;
  }
  if (!FSchema) {
    FSchemaGeneration = generation;
    if (FSchemaName.empty()) throw EDatabaseError("No table set for the SQL statement");
    FSchema = FDb.GetSchemaByName(FSchemaName);
    if (!FSchema) throw EDatabaseError("Table '" + FSchemaName + "' does not exist");
    FTableVersion = &FDb.TableVersionCounter(FSchema->GetName());
    FHasIdField = !FSchema->GetRecordIDField().empty();
  }
  return *FSchema;
}

std::string TClientSQL::BuildSQL(TDbConnection& conn, IDBFieldSchemaItem& schema) const {
  std::string sql;
  int param = 0;
  auto fieldName = [&](int index) {
    return TDbConnection::QuoteIdent(schema.GetField(index).Name);
  };
  std::string table = TDbConnection::QuoteIdent(schema.GetName());
  if (FMode == csmInsert) {
    if (FActiveFields.empty()) {
      sql = "INSERT INTO " + table + " DEFAULT VALUES";
    } else {
      std::string names, values;
      for (auto& [f, index] : FActiveFields) {
        if (!names.empty()) {
          names += ", ";
          values += ", ";
        }
        names += fieldName(index);
        values += conn.Placeholder(++param);
      }
      sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + values + ")";
    }
    std::string id = schema.GetRecordIDField();
    if (conn.UsesReturning() && !id.empty()) sql += " RETURNING " + TDbConnection::QuoteIdent(id);
    return sql;
  }
  if (FMode == csmUpdate) {
    sql = "UPDATE " + table + " SET ";
    bool first = true;
    for (auto& [f, index] : FActiveFields) {
      if (!first) sql += ", ";
      first = false;
      sql += fieldName(index) + " = " + conn.Placeholder(++param);
    }
  } else {
    sql = "DELETE FROM " + table;
  }
  bool first = true;
  for (auto& [f, index] : FActiveFilters) {
    sql += first ? " WHERE " : " AND ";
    first = false;
    if (f->Value.IsClear())
      sql += fieldName(index) + " IS NULL";
    else
      sql += fieldName(index) + " = " + conn.Placeholder(++param);
  }
  return sql;
}

TDbStatement& TClientSQL::PrepareAndBind(TDbConnection& conn, IDBFieldSchemaItem& schema) {
  FActiveFields.clear();
  FActiveFilters.clear();
  FKey.clear();
  FKey += static_cast<char>('0' + FMode);
  if (FMode != csmDelete) {
    for (auto& f : FFields) {
      if (!f->Active) continue;
      if (f->SchemaIndex < 0) {
        int found = schema.IndexOfField(f->FieldName);
        if (found < 0)
          throw EDatabaseError("Field '" + f->FieldName + "' does not exist in table '" +
                               schema.GetName() + "'");
        f->SchemaIndex = found;
        f->SchemaField = &schema.GetField(found);
      }
      int index = f->SchemaIndex;
      FActiveFields.emplace_back(f.get(), index);
      AppendIndex(FKey, index);
    }
  }
  FKey += '|';
  if (FMode != csmInsert) {
    for (auto& f : FFilters) {
      if (!f->IsActive()) continue;
      if (f->SchemaIndex < 0 || f->SchemaIndexName != f->FieldName) {
        int found = schema.IndexOfField(f->FieldName);
        if (found < 0)
          throw EDatabaseError("Filter field '" + f->FieldName + "' does not exist in table '" +
                               schema.GetName() + "'");
        f->SchemaIndex = found;
        f->SchemaIndexName = f->FieldName;
      }
      int index = f->SchemaIndex;
      FActiveFilters.emplace_back(f.get(), index);
      AppendIndex(FKey, index);
      FKey += f->Value.IsClear() ? 'n' : 'v';
    }
  }
  // Convert and check every value before touching the statement, so that a bad value leaves
  // nothing bound.
  if (FFieldValues.size() < FActiveFields.size()) FFieldValues.resize(FActiveFields.size());
  for (size_t i = 0; i < FActiveFields.size(); ++i) {
    auto* f = FActiveFields[i].first;
    ConvertFieldValue(*f->SchemaField, f->Value, FFieldValues[i]);
  }

  TDbStatement* st;
  if (FLastStatement && FLastConn == conn.Serial() && FLastKey == FKey) {
    st = FLastStatement;
  } else {
    auto it = FSQLByKey.find(FKey);
    if (it == FSQLByKey.end()) it = FSQLByKey.emplace(FKey, BuildSQL(conn, schema)).first;
    st = &conn.Prepare(it->second);
    FLastStatement = st;
    FLastConn = conn.Serial();
    FLastKey = FKey;
  }
  // The field values' texts are bound without a copy: they live in the fields and in
  // FFieldValues, which stay unchanged until the caller's run of the statement has ended.
  try {
    int param = 0;
    for (size_t i = 0; i < FActiveFields.size(); ++i)
      BindConvertedValue(*st, ++param, FFieldValues[i], true);
    for (auto& [f, index] : FActiveFilters)
      if (!f->Value.IsClear()) BindFieldValue(*st, ++param, schema.GetField(index), f->Value);
  } catch (...) {
    st->Reset();
    throw;
  }
  return *st;
}

int64_t TClientSQL::Run(TDbConnection& conn, TDbStatement& st) {
  TStatementRun run(st);
  st.Execute();
  return Result(conn, st);
}

int64_t TClientSQL::Result(TDbConnection& conn, TDbStatement& st) {
  FRowsAffected = st.RowsAffected();
  if (FMode != csmInsert) return FRowsAffected;
  if (!FHasIdField) return 0;
  if (conn.UsesReturning()) return st.Next() ? st.ColumnInt64(0) : 0;
  return conn.LastInsertId();
}

int64_t TClientSQL::Execute() {
  auto& schema = Schema();
  auto conn = FDb.Connection();
  TDbStatement& st = PrepareAndBind(*conn, schema);
  TStatementRun run(st);
  if (FMode == csmUpdate && FActiveFields.empty()) {
    FRowsAffected = 0;
    return 0;
  }
  // On PostgreSQL a failing statement aborts the whole transaction; a savepoint keeps the
  // failure to this statement, as on SQLite.
  if (conn->Kind() == TDbBackendKind::PostgreSQL && conn->InTransaction())
    conn->ExecuteInSavepoint(st, kStatementSavepoint);
  else
    st.Execute();
  int64_t result = Result(*conn, st);
  if (FRowsAffected > 0) ++*FTableVersion;
  return result;
}

void TClientSQL::RunSQLDataCheck() {
  auto& schema = Schema();
  auto conn = FDb.Connection();
  TDbStatement& st = PrepareAndBind(*conn, schema);
  TStatementRun run(st);
  if (FMode == csmUpdate && FActiveFields.empty()) return;
  // The statement runs for real and is always undone: the check leaves nothing behind.
  TTransactionGuard check(*conn, kCheckSavepoint);
  const int64_t rows = FRowsAffected;
  try {
    Run(*conn, st);
  } catch (...) {
    FRowsAffected = rows;
    throw;
  }
  FRowsAffected = rows;
  check.Rollback();
}

}  // namespace vela
