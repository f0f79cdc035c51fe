#include "host/db/DbConnection.h"

#include <atomic>

#include "host/db/TransactionGuard.h"
#include "host/db/postgres/PgConnection.h"
#include "host/db/sqlite/SQLiteConnection.h"
#include "rtl/SysUtils.h"

namespace vela {

TDbConnection::TDbConnection() {
  static std::atomic<uint64_t> serial{0};
  FSerial = ++serial;
}

TDbStatement& TDbConnection::Prepare(const std::string& sql) {
  auto it = FCache.find(sql);
  if (it != FCache.end()) return *it->second;
  auto st = PrepareNew(sql);
  auto& ref = *st;
  FCache.emplace(sql, std::move(st));
  return ref;
}

void TDbConnection::ExecuteInSavepoint(TDbStatement& st, const std::string& name) {
  TTransactionGuard savepoint(*this, name);
  st.Execute();
  savepoint.Commit();
}

std::string TDbConnection::QuoteIdent(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out += '"';
  for (char c : name) {
    if (c == '\0') throw EDatabaseError("Invalid identifier");
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

TDbBackendKind BackendOfUrl(std::string_view url) {
  if (url.rfind("sqlite:", 0) == 0) return TDbBackendKind::SQLite;
  if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0)
    return TDbBackendKind::PostgreSQL;
  throw EDatabaseError("Unknown database URL '" + std::string(url) +
                       "': expected sqlite:PATH or postgresql://...");
}

std::unique_ptr<TDbConnection> OpenDbConnection(const std::string& url) {
  if (BackendOfUrl(url) == TDbBackendKind::SQLite) {
    std::string path = url.substr(7);
    // sqlite://PATH is accepted as well as sqlite:PATH.
    if (path.rfind("//", 0) == 0) path.erase(0, 2);
    if (path.empty()) throw EDatabaseError("The database URL names no file: '" + url + "'");
    return OpenSQLiteConnection(path);
  }
  return OpenPgConnection(url);
}

std::optional<TDbTableInfo> TDbConnection::ReadTableInfo(const std::string& name) {
  std::vector<TDbTableInfo> tables = ReadCatalog();
  for (auto& t : tables)
    if (t.Name == name) return std::move(t);
  for (auto& t : tables)
    if (SameText(t.Name, name)) return std::move(t);
  return std::nullopt;
}

std::string TDbConnection::StandardColumnTypeSQL(TFieldType ft, int size,
                                                 std::string_view binaryType) {
  switch (ft) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftShortint:
    case ftByte:
      return "INTEGER";
    case ftLargeint:
    case ftAutoInc:
    case ftLongWord:
      return "BIGINT";
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd:
    case ftExtended:
    case ftSingle:
      return "DOUBLE PRECISION";
    case ftBoolean:
      return "BOOLEAN";
    case ftDate:
      return "DATE";
    case ftTime:
      return "TIME";
    case ftDateTime:
    case ftTimeStamp:
      return "TIMESTAMP";
    case ftMemo:
    case ftWideMemo:
    case ftFmtMemo:
      return "TEXT";
    case ftBlob:
    case ftBytes:
    case ftVarBytes:
    case ftGraphic:
    case ftTypedBinary:
      return std::string(binaryType);
    default:
      return size > 0 ? "VARCHAR(" + std::to_string(size) + ")" : "VARCHAR";
  }
}

}  // namespace vela
