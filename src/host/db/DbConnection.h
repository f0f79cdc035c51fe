// The one abstract connection and statement interface behind which the SQLite and PostgreSQL
// backends live. Nothing outside src/host/db/sqlite and src/host/db/postgres sees a sqlite3 or
// libpq type.
//
// A connection is used by one thread at a time. Statements are prepared once and kept in the
// connection's cache under their SQL text; parameters are numbered from 1 and always bound,
// identifiers are always quoted with QuoteIdent.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/db/DbTypes.h"

namespace vela {

class TDbStatement {
 public:
  virtual ~TDbStatement() = default;

  // --- parameters (1-based); values stay bound until the next Bind or ClearBindings ---
  virtual void BindNull(int index) = 0;
  virtual void BindInt64(int index, int64_t value) = 0;
  virtual void BindDouble(int index, double value) = 0;
  virtual void BindBool(int index, bool value) = 0;
  // Text in UTF-8; dates and times travel as ISO 8601 text ("YYYY-MM-DD HH:MM:SS").
  virtual void BindText(int index, std::string_view value) = 0;
  // Like BindText, but the text may be used without a copy: it must stay alive and unchanged
  // until the run ends (Reset), and the binding holds for that one run only.
  virtual void BindTextRef(int index, std::string_view value) { BindText(index, value); }
  virtual void BindBlob(int index, const void* data, size_t size) = 0;
  virtual void ClearBindings() = 0;

  // Runs the statement with the bound parameters. Raises EDatabaseError.
  virtual void Execute() = 0;
  // Moves to the next result row (the first after Execute); false when there is none.
  virtual bool Next() = 0;
  // Rows changed by the last Execute of an INSERT, UPDATE or DELETE.
  virtual int64_t RowsAffected() = 0;
  // Ends the current run: frees its results so that the statement can run again.
  virtual void Reset() = 0;
  // Asks that the following runs be read forward, row by row, holding a few rows at a time
  // rather than the whole result; other statements of the connection stay usable meanwhile.
  // Backends that always read row by row ignore it. Set before Execute.
  virtual void SetStreaming(bool streaming) { (void)streaming; }

  // --- the current row's columns (0-based) ---
  virtual int ColumnCount() = 0;
  virtual std::string ColumnName(int column) = 0;
  virtual bool ColumnIsNull(int column) = 0;
  // Valid until the next Next, Reset or Execute.
  virtual std::string_view ColumnText(int column) = 0;
  virtual int64_t ColumnInt64(int column) = 0;
  virtual double ColumnDouble(int column) = 0;
  virtual bool ColumnBool(int column) = 0;
  virtual std::string ColumnBlob(int column) = 0;
  // The field type of a result column as the backend describes it (valid after Execute); size
  // gets the length of a character column that has one, else 0.
  virtual TFieldType ColumnFieldType(int column, int& size) {
    (void)column;
    size = 0;
    return ftString;
  }
};

// Resets a statement when the scope ends, also on exceptions.
class TStatementRun {
 public:
  explicit TStatementRun(TDbStatement& st) : FStatement(st) {}
  ~TStatementRun() { FStatement.Reset(); }
  TStatementRun(const TStatementRun&) = delete;
  TStatementRun& operator=(const TStatementRun&) = delete;
  TDbStatement* operator->() const { return &FStatement; }
  TDbStatement& operator*() const { return FStatement; }

 private:
  TDbStatement& FStatement;
};

class TDbConnection {
 public:
  TDbConnection();
  virtual ~TDbConnection() = default;
  // A number that no other connection of the process has, also after this one closed.
  uint64_t Serial() const { return FSerial; }

  virtual TDbBackendKind Kind() const = 0;
  // False when the connection is lost (a pool then drops it instead of lending it again).
  virtual bool IsHealthy() const { return true; }

  // The cached prepared statement for this SQL text (prepared on first use). The reference stays
  // valid while the connection lives.
  TDbStatement& Prepare(const std::string& sql);
  // A statement outside the cache (for one-off queries).
  virtual std::unique_ptr<TDbStatement> PrepareNew(const std::string& sql) = 0;
  // Runs SQL text without parameters; may hold several statements (DDL scripts).
  virtual void ExecSQL(const std::string& sql) = 0;
  // Number of statements in the cache.
  size_t CachedStatementCount() const { return FCache.size(); }
  // A number that changes whenever another connection (of this or another process) committed
  // to the database since the last call; commits of this connection leave it unchanged. Empty
  // when the backend cannot tell cheaply (PostgreSQL).
  virtual std::optional<int64_t> DataVersion() { return std::nullopt; }

  // --- transactions; one level, Start inside a running transaction raises ---
  virtual void StartTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;
  // Savepoints: run a piece of work that can be undone without ending the transaction.
  virtual void Savepoint(const std::string& name) = 0;
  virtual void RollbackToSavepoint(const std::string& name) = 0;
  virtual void ReleaseSavepoint(const std::string& name) = 0;
  // Runs st inside the savepoint name: when st fails, its changes are undone and the
  // transaction stays usable (PostgreSQL otherwise aborts the whole transaction). The result
  // rows of st stay readable.
  virtual void ExecuteInSavepoint(TDbStatement& st, const std::string& name);

  // --- dialect ---
  // "name" with inner double quotes doubled.
  static std::string QuoteIdent(std::string_view name);
  // The text of parameter n (1-based): "?1" for SQLite, "$1" for PostgreSQL.
  virtual std::string Placeholder(int n) const = 0;
  // The column type of a field type in DDL ("VARCHAR(40)", "BIGINT", ...).
  virtual std::string ColumnTypeSQL(TFieldType ft, int size) const = 0;
  // The column type both backends share; only the binary type's name differs.
  static std::string StandardColumnTypeSQL(TFieldType ft, int size, std::string_view binaryType);
  // The DDL of the record identifier column: a 64-bit integer primary key that the database
  // numbers itself.
  virtual std::string IdColumnSQL() const = 0;
  // True when an insert reports the new id through "RETURNING id"; otherwise LastInsertId.
  virtual bool UsesReturning() const = 0;
  virtual int64_t LastInsertId() = 0;

  // --- catalog ---
  virtual std::vector<TDbTableInfo> ReadCatalog() = 0;
  virtual bool TableExists(const std::string& name) = 0;
  // One table of the catalog (the exact name first, then ignoring case); empty when missing.
  virtual std::optional<TDbTableInfo> ReadTableInfo(const std::string& name);

 protected:
  // Drops every cached statement (before the connection closes).
  void ClearStatementCache() { FCache.clear(); }

 private:
  std::unordered_map<std::string, std::unique_ptr<TDbStatement>> FCache;
  uint64_t FSerial;
};

// Opens a connection by URL: "sqlite:PATH" or "postgresql://..." / "postgres://...".
// Raises EDatabaseError for an unknown scheme or a failed connection.
std::unique_ptr<TDbConnection> OpenDbConnection(const std::string& url);
// The backend a URL names; raises EDatabaseError for an unknown scheme.
TDbBackendKind BackendOfUrl(std::string_view url);

}  // namespace vela
