#include "host/velaxml/TableRecordWriter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"
#include "host/db/VelaLookupInfo.h"
#include "host/velaxml/XMLValues.h"
#include "rtl/CodePages.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

[[noreturn]] void RaiseField(const TDBFieldSchemaField& AField, const std::string& AWhy) {
  throw EDatabaseError("Invalid value for field '" + AField.Name + "': " + AWhy);
}

bool IsBlank(std::string_view AText) {
  for (char c : AText)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

// The file a file value names: relative to the document's folder and inside it, so that a
// document cannot read files from elsewhere.
std::filesystem::path FileValuePath(const std::string& ABaseDir, std::string_view APath) {
  namespace fs = std::filesystem;
  const std::string text(APath);
  if (ABaseDir.empty())
    throw EDatabaseError("file value '" + text + "' needs a document read from a file");
  const fs::path rel(text);
  bool escapes = rel.is_absolute() || rel.has_root_name() || rel.empty();
  for (const auto& part : rel)
    if (part == "..") escapes = true;
  if (escapes)
    throw EDatabaseError("file value '" + text + "' is not a path inside the document's folder");
  return fs::path(ABaseDir) / rel;
}

}  // namespace

int DetailReferenceColumn(const IDBFieldSchemaItem& ADetail, std::string_view AParentTable) {
  if (SameText(ADetail.GetName(), AParentTable)) return -1;
  std::string parent(AParentTable);
  std::vector<std::string> candidates = {parent + "_id", parent + "id"};
  if (parent.size() > 1 && (parent.back() == 's' || parent.back() == 'S')) {
    parent.pop_back();
    candidates.push_back(parent + "_id");
    candidates.push_back(parent + "id");
  }
  for (const std::string& name : candidates) {
    const int index = ADetail.IndexOfField(name);
    if (index >= 0 && IsIntegerFieldType(ADetail.GetField(index).DataType)) return index;
  }
  return -1;
}

TTableRecordWriter::TTableRecordWriter(TVelaDatabase& ADatabase, IPtr<IDBFieldSchemaItem> ASchema)
    : FDatabase(ADatabase), FSchema(std::move(ASchema)) {
  FValues.resize(static_cast<size_t>(FSchema->GetFieldCount()));
  for (int i = 0; i < FSchema->GetFieldCount(); ++i) {
    const TDBFieldSchemaField& f = FSchema->GetField(i);
    if (f.IsRecordID() || (FIdColumn < 0 && SameText(f.Name, kRecordIdField))) FIdColumn = i;
    if (SameText(f.Name, kGlobalRecUidField)) FGlobalRecUidColumn = i;
  }
}

std::string TTableRecordWriter::Quoted(int AColumn) const {
  return TDbConnection::QuoteIdent(FSchema->GetField(AColumn).Name);
}

void TTableRecordWriter::ClearValues() {
  for (int c : FLoaded)
    FValues[static_cast<size_t>(c)].Loaded = false;
  FLoaded.clear();
}

void TTableRecordWriter::Load(const TXMLDataStore& AStore, const std::string& ABaseDir) {
  ClearValues();
  if (FItemColumns.size() < static_cast<size_t>(AStore.Count()))
    FItemColumns.resize(static_cast<size_t>(AStore.Count()), {std::string(), -2});
  for (int i = 0; i < AStore.Count(); ++i) {
    const TXMLDataStoreItem& item = AStore.GetItem(i);
    auto& [name, column] = FItemColumns[static_cast<size_t>(i)];
    if (column == -2 || name != item.Name()) {
      name = item.Name();
      column = FSchema->IndexOfField(name);
      if (column == FIdColumn) column = -1;
    }
    if (column < 0) continue;
    TValue& value = FValues[static_cast<size_t>(column)];
    if (!value.Loaded) {
      value.Loaded = true;
      FLoaded.push_back(column);
    }
    LoadItem(item, FSchema->GetField(column), ABaseDir, value);
  }
  std::sort(FLoaded.begin(), FLoaded.end());
}

void TTableRecordWriter::SetInt(int AColumn, int64_t AValue) {
  TValue& value = FValues[static_cast<size_t>(AColumn)];
  if (!value.Loaded) {
    value.Loaded = true;
    FLoaded.insert(std::lower_bound(FLoaded.begin(), FLoaded.end(), AColumn), AColumn);
  }
  value.Bind.ValueKind = TDbBindValue::Kind::Int64;
  value.Bind.InBuffer = false;
  value.Bind.Int = AValue;
}

void TTableRecordWriter::LoadItem(const TXMLDataStoreItem& AItem, const TDBFieldSchemaField& AField,
                                  const std::string& ABaseDir, TValue& AValue) {
  const TVelaXMLDataEncoding encoding = AItem.DataEncoding();
  std::string_view text = AItem.Value();
  bool bytes = false;  // text holds decoded bytes in the item's code page
  try {
    if (AItem.BinaryHandlingMode() == xbhFile) {
      const std::string path =
          IsTextEncoding(encoding) ? std::string(text) : DecodeXMLFieldValue(text, encoding);
      const auto file = FileValuePath(ABaseDir, path);
      std::ifstream in(file, std::ios::binary);
      if (!in) throw EDatabaseError("cannot read file value '" + file.string() + "'");
      AValue.Buffer.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      text = AValue.Buffer;
      bytes = true;
    } else if (!IsTextEncoding(encoding)) {
      AValue.Buffer = DecodeXMLFieldValue(text, encoding);
      text = AValue.Buffer;
      bytes = true;
    }
    const uint16_t cp = AItem.CodePage();
    if (bytes && !IsBinaryFieldType(AField.DataType) && cp != 0 && cp != CP_UTF8) {
      AValue.Buffer = CodePageToUtf8(text, cp);
      text = AValue.Buffer;
    }
  } catch (const EDatabaseError& e) {
    RaiseField(AField, e.Message());
  } catch (const Exception& e) {
    RaiseField(AField, e.Message());
  }
  Convert(AField, text, AValue);
}

void TTableRecordWriter::Convert(const TDBFieldSchemaField& AField, std::string_view AText,
                                 TValue& AValue) {
  using K = TDbBindValue::Kind;
  TDbBindValue& out = AValue.Bind;
  out.InBuffer = false;
  const TFieldType ft = AField.DataType;
  if (IsBinaryFieldType(ft)) {
    out.ValueKind = K::Blob;
    out.Data = AText;
    return;
  }
  const bool isText = !IsIntegerFieldType(ft) && !IsFloatFieldType(ft) && ft != ftBoolean &&
                      !IsDateTimeFieldType(ft);
  if (isText) {
    if (AField.FieldKind == vfkCheckData) {
      // A value list takes its values or their display texts.
      AValue.Scratch =
          Variant(TVelaLookupInfo::SingleQueryCheckData(*FSchema, AField.Name, std::string(AText)));
      ConvertFieldValue(AField, AValue.Scratch, out);
      return;
    }
    if (AField.Size > 0 && AText.size() > static_cast<size_t>(AField.Size) &&
        Utf8Length(AText) > static_cast<size_t>(AField.Size))
      RaiseField(AField, "text of " + std::to_string(Utf8Length(AText)) +
                             " characters exceeds the size " + std::to_string(AField.Size));
    out.ValueKind = K::Text;
    out.Data = AText;
    return;
  }
  if (IsBlank(AText)) {
    out.ValueKind = K::Null;
    return;
  }
  try {
    if (IsIntegerFieldType(ft)) {
      int64_t v = 0;
      if (!TryStrToInt64(Trim(AText), v)) {
        if (AField.FieldKind == vfkLookup) {
          // A lookup field may name its record by the looked-up field's text.
          v = TVelaLookupInfo::SingleQueryDBID(FDatabase, AField, std::string(AText));
          if (v < 0)
            RaiseField(AField, "no record of '" + AField.LookupTable + "' whose '" +
                                   AField.LookupField + "' is '" + std::string(AText) + "'");
        } else {
          v = XMLStrToInteger(AText);
        }
      }
      ConvertFieldValue(AField, Variant(v), out);
    } else if (IsFloatFieldType(ft)) {
      ConvertFieldValue(AField, Variant(XMLStrToFloat(AText)), out);
    } else if (ft == ftBoolean) {
      ConvertFieldValue(AField, Variant(XMLStrToBool(AText)), out);
    } else {
      ConvertFieldValue(AField, Variant::FromDateTime(XMLStrToDateTime(AText)), out);
    }
  } catch (const EDatabaseError&) {
    throw;
  } catch (const Exception& e) {
    RaiseField(AField, e.Message());
  }
}

std::string TTableRecordWriter::BuildSQL(TDbConnection& AConn, TStatementKind AKind,
                                         const std::vector<int>& AKeys) const {
  const std::string table = TDbConnection::QuoteIdent(FSchema->GetName());
  int n = 0;
  auto where = [&]() {
    std::string sql;
    for (int k : AKeys)
      sql += (sql.empty() ? " WHERE " : " AND ") + Quoted(k) + " = " + AConn.Placeholder(++n);
    return sql;
  };
  switch (AKind) {
    case skFind: {
      const std::string id = FIdColumn >= 0 ? Quoted(FIdColumn) : std::string("1");
      return "SELECT " + id + " FROM " + table + where() +
             (FIdColumn >= 0 ? " ORDER BY " + id : std::string()) + " LIMIT 1";
    }
    case skInsert: {
      if (FLoaded.empty()) {
        std::string sql = "INSERT INTO " + table + " DEFAULT VALUES";
        if (FIdColumn >= 0 && AConn.UsesReturning()) sql += " RETURNING " + Quoted(FIdColumn);
        return sql;
      }
      std::string columns, values;
      for (int c : FLoaded) {
        columns += (columns.empty() ? "" : ", ") + Quoted(c);
        values += (values.empty() ? "" : ", ") + AConn.Placeholder(++n);
      }
      std::string sql = "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")";
      if (FIdColumn >= 0 && AConn.UsesReturning()) sql += " RETURNING " + Quoted(FIdColumn);
      return sql;
    }
    case skUpdate:
    case skUpdateByKeys: {
      std::string sql = "UPDATE " + table + " SET ";
      for (size_t i = 0; i < FLoaded.size(); ++i)
        sql += (i ? ", " : "") + Quoted(FLoaded[i]) + " = " + AConn.Placeholder(++n);
      return sql + where();
    }
    case skDeleteByKeys:
      return "DELETE FROM " + table + where();
  }
  return {};
}

TDbStatement& TTableRecordWriter::Statement(TDbConnection& AConn, TStatementKind AKind,
                                            const std::vector<int>& AKeys) {
  FKeyBuffer.clear();
  FKeyBuffer.push_back(AKind);
  if (AKind == skInsert || AKind == skUpdate || AKind == skUpdateByKeys)
    FKeyBuffer.insert(FKeyBuffer.end(), FLoaded.begin(), FLoaded.end());
  FKeyBuffer.push_back(-1);
  FKeyBuffer.insert(FKeyBuffer.end(), AKeys.begin(), AKeys.end());
  auto it = FStatements.find(FKeyBuffer);
  if (it == FStatements.end()) {
    it = FStatements.emplace(FKeyBuffer, TCached{}).first;
    it->second.SQL = BuildSQL(AConn, AKind, AKeys);
  }
  TCached& cached = it->second;
  if (cached.Statement == nullptr || cached.Connection != AConn.Serial()) {
    cached.Statement = &AConn.Prepare(cached.SQL);
    cached.Connection = AConn.Serial();
  }
  return *cached.Statement;
}

bool TTableRecordWriter::BindValues(TDbStatement& AStatement, bool AWithValues,
                                    const std::vector<int>& AKeys) {
  int n = 0;
  if (AWithValues)
    for (int c : FLoaded)
      BindConvertedValue(AStatement, ++n, FValues[static_cast<size_t>(c)].Bind, true);
  for (int k : AKeys) {
    if (!HasValue(k)) return false;
    const TDbBindValue& v = FValues[static_cast<size_t>(k)].Bind;
    if (v.ValueKind == TDbBindValue::Kind::Null) return false;
    BindConvertedValue(AStatement, ++n, v, true);
  }
  return true;
}

bool TTableRecordWriter::Find(TDbConnection& AConn, const std::vector<int>& AKeys, int64_t& AId) {
  TDbStatement& st = Statement(AConn, skFind, AKeys);
  TStatementRun run(st);
  if (!BindValues(st, false, AKeys)) return false;
  st.Execute();
  if (!st.Next()) return false;
  AId = FIdColumn >= 0 ? st.ColumnInt64(0) : 0;
  return true;
}

int64_t TTableRecordWriter::Insert(TDbConnection& AConn) {
  static const std::vector<int> kNoKeys;
  TDbStatement& st = Statement(AConn, skInsert, kNoKeys);
  TStatementRun run(st);
  BindValues(st, true, kNoKeys);
  st.Execute();
  if (FIdColumn < 0) return 0;
  if (AConn.UsesReturning()) return st.Next() ? st.ColumnInt64(0) : 0;
  return AConn.LastInsertId();
}

void TTableRecordWriter::Update(TDbConnection& AConn, int64_t AId) {
  if (FLoaded.empty()) return;
  const std::vector<int> keys = {FIdColumn};
  TDbStatement& st = Statement(AConn, skUpdate, keys);
  TStatementRun run(st);
  int n = 0;
  for (int c : FLoaded)
    BindConvertedValue(st, ++n, FValues[static_cast<size_t>(c)].Bind, true);
  st.BindInt64(++n, AId);
  st.Execute();
}

int64_t TTableRecordWriter::UpdateByKeys(TDbConnection& AConn, const std::vector<int>& AKeys) {
  if (FLoaded.empty()) return 0;
  TDbStatement& st = Statement(AConn, skUpdateByKeys, AKeys);
  TStatementRun run(st);
  if (!BindValues(st, true, AKeys)) return 0;
  st.Execute();
  return st.RowsAffected();
}

int64_t TTableRecordWriter::DeleteByKeys(TDbConnection& AConn, const std::vector<int>& AKeys) {
  TDbStatement& st = Statement(AConn, skDeleteByKeys, AKeys);
  TStatementRun run(st);
  if (!BindValues(st, false, AKeys)) return 0;
  st.Execute();
  return st.RowsAffected();
}

void TTableRecordWriter::DeleteById(TDbConnection& AConn, int64_t AId) {
  TDbStatement& st = AConn.Prepare("DELETE FROM " + TDbConnection::QuoteIdent(FSchema->GetName()) +
                                   " WHERE " + Quoted(FIdColumn) + " = " + AConn.Placeholder(1));
  TStatementRun run(st);
  st.BindInt64(1, AId);
  st.Execute();
}

int64_t TTableRecordWriter::DeleteRecords(TDbConnection& AConn, std::string_view AField,
                                          std::string_view AComparison, std::string_view AValue,
                                          int AScopeColumn, int64_t AScopeId) {
  const int column = FSchema->IndexOfField(AField);
  if (column < 0)
    throw EDatabaseError("deleterecords: table '" + FSchema->GetName() + "' has no field '" +
                         std::string(AField) + "'");
  const std::string op = LowerCase(Trim(AComparison));
  const bool like = op == "like";
  std::string sqlOp;
  if (op == "=" || op == "==")
    sqlOp = "=";
  else if (op == "<>" || op == "!=")
    sqlOp = "<>";
  else if (op == "<" || op == "<=" || op == ">" || op == ">=" || like)
    sqlOp = op;
  else
    throw EDatabaseError("deleterecords: unknown comparison '" + std::string(AComparison) + "'");

  TValue value;
  const TDBFieldSchemaField& field = FSchema->GetField(column);
  if (like) {
    value.Bind.ValueKind = TDbBindValue::Kind::Text;
    value.Bind.Data = AValue;
  } else {
    Convert(field, AValue, value);
  }
  const bool isNull = value.Bind.ValueKind == TDbBindValue::Kind::Null;
  std::string sql = "DELETE FROM " + TDbConnection::QuoteIdent(FSchema->GetName()) + " WHERE ";
  int n = 0;
  if (isNull) {
    if (sqlOp != "=" && sqlOp != "<>")
      throw EDatabaseError("deleterecords: an empty value allows only '=' and '<>'");
    sql += Quoted(column) + (sqlOp == "=" ? " IS NULL" : " IS NOT NULL");
  } else if (like) {
    sql += "LOWER(" + Quoted(column) + ") LIKE LOWER(" + AConn.Placeholder(++n) + ")";
  } else {
    sql += Quoted(column) + " " + sqlOp + " " + AConn.Placeholder(++n);
  }
  if (AScopeColumn >= 0) sql += " AND " + Quoted(AScopeColumn) + " = " + AConn.Placeholder(++n);
  auto st = AConn.PrepareNew(sql);
  n = 0;
  if (!isNull) BindConvertedValue(*st, ++n, value.Bind);
  if (AScopeColumn >= 0) st->BindInt64(++n, AScopeId);
  st->Execute();
  const int64_t deleted = st->RowsAffected();
  st->Reset();
  return deleted;
}

void TTableRecordWriter::ReadIds(TDbConnection& AConn, int AScopeColumn, int64_t AScopeId,
                                 std::vector<int64_t>& AIds) {
  AIds.clear();
  std::string sql =
      "SELECT " + Quoted(FIdColumn) + " FROM " + TDbConnection::QuoteIdent(FSchema->GetName());
  if (AScopeColumn >= 0) sql += " WHERE " + Quoted(AScopeColumn) + " = " + AConn.Placeholder(1);
  TDbStatement& st = AConn.Prepare(sql + " ORDER BY " + Quoted(FIdColumn));
  TStatementRun run(st);
  if (AScopeColumn >= 0) st.BindInt64(1, AScopeId);
  st.Execute();
  while (st.Next())
    AIds.push_back(st.ColumnInt64(0));
}

}  // namespace vela
