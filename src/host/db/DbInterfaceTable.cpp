#include "host/db/DbInterfaceTable.h"

#include "host/db/DbValues.h"
#include "host/db/VelaDatabase.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

class TDbInterfaceTable : public TInterfacedObject, public IDbInterfaceTable {
  VELA_INTERFACES(TInterfacedObject, IDbInterfaceTable)

 public:
  explicit TDbInterfaceTable(TVelaDatabase& db) : FDb(db) {}

  void Query(const std::string& table, const std::vector<std::string>& fields,
             const std::vector<std::pair<std::string, Variant>>& filters) override {
    Close();
    auto schema = FDb.GetSchemaByName(table);
    if (!schema) throw EDatabaseError("Table '" + table + "' does not exist");
    std::vector<int> columns;
    if (fields.empty()) {
      for (int i = 0; i < schema->GetFieldCount(); ++i)
        columns.push_back(i);
    } else {
      for (auto& name : fields)
        columns.push_back(Index(*schema, name));
    }
    std::vector<std::pair<int, const Variant*>> where;
    for (auto& [name, value] : filters)
      where.emplace_back(Index(*schema, name), &value);

    auto conn = FDb.Connection();
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i) sql += ", ";
      sql += TDbConnection::QuoteIdent(schema->GetField(columns[i]).Name);
    }
    sql += " FROM " + TDbConnection::QuoteIdent(schema->GetName());
    int param = 0;
    for (size_t i = 0; i < where.size(); ++i) {
      sql += i ? " AND " : " WHERE ";
      sql += TDbConnection::QuoteIdent(schema->GetField(where[i].first).Name);
      sql += where[i].second->IsClear() ? " IS NULL" : " = " + conn->Placeholder(++param);
    }
    auto& st = conn->Prepare(sql);
    TStatementRun run(st);
    param = 0;
    for (auto& [index, value] : where)
      if (!value->IsClear()) BindFieldValue(st, ++param, schema->GetField(index), *value);
    st.Execute();
    while (st.Next()) {
      std::vector<Variant> row;
      row.reserve(columns.size());
      for (size_t c = 0; c < columns.size(); ++c)
        row.push_back(
            ReadFieldValue(st, static_cast<int>(c), schema->GetField(columns[c]).DataType));
      FRows.push_back(std::move(row));
    }
    for (int c : columns)
      FNames.push_back(schema->GetField(c).Name);
    FOpen = true;
    FPos = 0;
  }
  bool IsOpen() override { return FOpen; }
  int RecordCount() override { return static_cast<int>(FRows.size()); }
  bool Eof() override { return FPos >= FRows.size(); }
  void First() override { FPos = 0; }
  void Next() override {
    if (FPos < FRows.size()) ++FPos;
  }
  int FieldCount() override { return static_cast<int>(FNames.size()); }
  std::string FieldName(int index) override { return FNames.at(static_cast<size_t>(index)); }
  Variant ValueByName(std::string_view field) override {
    for (size_t i = 0; i < FNames.size(); ++i)
      if (SameText(FNames[i], field)) return Value(static_cast<int>(i));
    throw EDatabaseError("Field '" + std::string(field) + "' is not part of the query");
  }
  Variant Value(int index) override {
    if (Eof()) throw EDatabaseError("No current record");
    return FRows[FPos].at(static_cast<size_t>(index));
  }
  void Close() override {
    FRows.clear();
    FNames.clear();
    FOpen = false;
    FPos = 0;
  }

 private:
  static int Index(IDBFieldSchemaItem& schema, const std::string& name) {
    int i = schema.IndexOfField(name);
    if (i < 0)
      throw EDatabaseError("Field '" + name + "' does not exist in table '" + schema.GetName() +
                           "'");
    return i;
  }

  TVelaDatabase& FDb;
  std::vector<std::vector<Variant>> FRows;
  std::vector<std::string> FNames;
  size_t FPos = 0;
  bool FOpen = false;
};

}  // namespace

IPtr<IDbInterfaceTable> MakeDbInterfaceTable(TVelaDatabase& db) {
  return MakeIntf<TDbInterfaceTable, IDbInterfaceTable>(db);
}

}  // namespace vela
