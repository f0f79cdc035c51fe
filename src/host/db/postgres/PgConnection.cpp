#include "host/db/postgres/PgConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstring>
#include <unordered_map>

namespace vela {

namespace {

// Owns one PGresult.
struct TPgResult {
  PGresult* R = nullptr;
  TPgResult() = default;
  explicit TPgResult(PGresult* r) : R(r) {}
  TPgResult(const TPgResult&) = delete;
  TPgResult& operator=(const TPgResult&) = delete;
  ~TPgResult() { PQclear(R); }
  void Reset(PGresult* r = nullptr) {
    PQclear(R);
    R = r;
  }
};

[[noreturn]] void RaisePg(PGconn* conn, const PGresult* res) {
  std::string msg = res ? PQresultErrorMessage(res) : "";
  if (msg.empty()) msg = PQerrorMessage(conn);
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' '))
    msg.pop_back();
  throw EDatabaseError(msg);
}

void CheckResult(PGconn* conn, const PGresult* res) {
  auto st = PQresultStatus(res);
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) RaisePg(conn, res);
}

// A statement. A streaming statement (a dataset's forward read) runs as a cursor and fetches
// its rows in chunks of kChunkRows, so that a read of any size holds one chunk. A cursor rather
// than libpq's single-row mode: single-row mode keeps the connection busy until the whole result
// has been read, while a dataset reader runs other statements on the same connection between
// its rows (the record count, the detail queries of every master row, writes). The cursor is
// declared WITH HOLD, so it also works outside a transaction and survives the end of one (the
// server then keeps the rest of the result, not the client).
class TPgStatement final : public TDbStatement {
 public:
  static constexpr int kChunkRows = 500;

  TPgStatement(PGconn* conn, std::string name, const std::string& sql)
      : FConn(conn), FName(std::move(name)), FSQL(sql) {
    TPgResult prep(PQprepare(conn, FName.c_str(), sql.c_str(), 0, nullptr));
    if (PQresultStatus(prep.R) != PGRES_COMMAND_OK) RaisePg(conn, prep.R);
    TPgResult desc(PQdescribePrepared(conn, FName.c_str()));
    if (PQresultStatus(desc.R) != PGRES_COMMAND_OK) RaisePg(conn, desc.R);
    size_t n = static_cast<size_t>(PQnparams(desc.R));
    FValues.resize(n);
    FIsNull.assign(n, true);
    FFormats.assign(n, 0);
    FPtrs.resize(n);
    FLengths.resize(n);
  }
  ~TPgStatement() override {
    FResult.Reset();
    CloseCursor();
    // A closed connection drops its prepared statements itself.
    if (PQstatus(FConn) == CONNECTION_OK && PQtransactionStatus(FConn) != PQTRANS_INERROR) {
      std::string sql = "DEALLOCATE " + FName;
      PQclear(PQexec(FConn, sql.c_str()));
    }
  }

  void BindNull(int i) override { Slot(i, true, 0); }
  void BindInt64(int i, int64_t v) override {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    Slot(i, false, 0).assign(buf, r.ptr);
  }
  void BindDouble(int i, double v) override {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    Slot(i, false, 0).assign(buf, r.ptr);
  }
  void BindBool(int i, bool v) override { Slot(i, false, 0) = v ? "true" : "false"; }
  void BindText(int i, std::string_view v) override { Slot(i, false, 0).assign(v); }
  void BindBlob(int i, const void* data, size_t size) override {
    Slot(i, false, 1).assign(static_cast<const char*>(data), size);
  }
  void ClearBindings() override {
    FIsNull.assign(FIsNull.size(), true);
    FFormats.assign(FFormats.size(), 0);
  }

  // Sends "SAVEPOINT", the statement and "RELEASE SAVEPOINT" in one pipeline: one round trip.
  // savepointSQL and releaseSQL are the names of the prepared savepoint statements.
  // Returns false when the statement failed (its error is in error); the savepoint is then
  // still set and the transaction aborted up to it.
  bool ExecutePipelined(const std::string& savepointSQL, const std::string& releaseSQL,
                        std::string& error) {
    FResult.Reset();
    FRow = -1;
    FRows = 0;
    PrepareParams();
    if (!PQenterPipelineMode(FConn)) RaisePg(FConn, nullptr);
    bool sent = PQsendQueryPrepared(FConn, savepointSQL.c_str(), 0, nullptr, nullptr, nullptr, 0) &&
                PQsendQueryPrepared(FConn, FName.c_str(), static_cast<int>(FValues.size()),
                                    FPtrs.data(), FLengths.data(), FFormats.data(), 0) &&
                PQsendQueryPrepared(FConn, releaseSQL.c_str(), 0, nullptr, nullptr, nullptr, 0) &&
                PQpipelineSync(FConn) && PQflush(FConn) == 0;
    // Collect the results of the three queries up to the sync point.
    PGresult* results[3] = {nullptr, nullptr, nullptr};
    int query = 0;
    while (sent) {
      PGresult* r = PQgetResult(FConn);
      if (!r) {
        if (++query > 3) break;
        continue;
      }
      if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
        PQclear(r);
        break;
      }
      if (query < 3 && !results[query])
        results[query] = r;
      else
        PQclear(r);
    }
    PQexitPipelineMode(FConn);
    TPgResult savepoint(results[0]), statement(results[1]), release(results[2]);
    if (!sent) RaisePg(FConn, nullptr);
    if (PQresultStatus(savepoint.R) != PGRES_COMMAND_OK) RaisePg(FConn, savepoint.R);
    auto st = PQresultStatus(statement.R);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      error = statement.R ? PQresultErrorMessage(statement.R) : PQerrorMessage(FConn);
      while (!error.empty() && (error.back() == '\n' || error.back() == ' '))
        error.pop_back();
      return false;
    }
    if (PQresultStatus(release.R) != PGRES_COMMAND_OK) RaisePg(FConn, release.R);
    FResult.Reset(statement.R);
    statement.R = nullptr;
    FRows = PQntuples(FResult.R);
    return true;
  }

  void SetStreaming(bool streaming) override { FStreaming = streaming; }

  void Execute() override {
    FResult.Reset();
    CloseCursor();
    FRow = -1;
    PrepareParams();
    if (FStreaming) {
      // A name per run: a cursor that could not be closed (in a failed transaction) never
      // stands in the way of the next run.
      FCursor = "vela_c" + FName + "_" + std::to_string(++FRuns);
      FFetchSQL = "FETCH FORWARD " + std::to_string(kChunkRows) + " FROM " + FCursor;
      const std::string declare = "DECLARE " + FCursor + " NO SCROLL CURSOR WITH HOLD FOR " + FSQL;
      TPgResult declared(PQexecParams(FConn, declare.c_str(), static_cast<int>(FValues.size()),
                                      nullptr, FPtrs.data(), FLengths.data(), FFormats.data(), 0));
      if (PQresultStatus(declared.R) != PGRES_COMMAND_OK) RaisePg(FConn, declared.R);
      FCursorOpen = true;
      FetchChunk();
      return;
    }
    FResult.Reset(PQexecPrepared(FConn, FName.c_str(), static_cast<int>(FValues.size()),
                                 FPtrs.data(), FLengths.data(), FFormats.data(), 0));
    auto st = PQresultStatus(FResult.R);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      TPgResult failed(FResult.R);
      FResult.R = nullptr;
      RaisePg(FConn, failed.R);
    }
    FRows = PQntuples(FResult.R);
  }
  bool Next() override {
    if (FResult.R && FRow + 1 >= FRows && FCursorOpen) {
      if (FRows == kChunkRows) FetchChunk();  // a full chunk: there may be more
      if (FRows == 0 || FRow + 1 >= FRows) CloseCursor();
    }
    if (!FResult.R || FRow + 1 >= FRows) {
      FRow = FRows;
      return false;
    }
    ++FRow;
    return true;
  }
  int64_t RowsAffected() override {
    const char* t = FResult.R ? PQcmdTuples(FResult.R) : "";
    int64_t n = 0;
    std::from_chars(t, t + std::strlen(t), n);
    return n;
  }
  void Reset() override {
    FResult.Reset();
    CloseCursor();
    FRow = -1;
    FRows = 0;
  }

  int ColumnCount() override { return FResult.R ? PQnfields(FResult.R) : 0; }
  std::string ColumnName(int c) override { return PQfname(FResult.R, c); }
  bool ColumnIsNull(int c) override { return PQgetisnull(FResult.R, FRow, c) != 0; }
  std::string_view ColumnText(int c) override {
    return std::string_view(PQgetvalue(FResult.R, FRow, c), PQgetlength(FResult.R, FRow, c));
  }
  int64_t ColumnInt64(int c) override {
    auto t = ColumnText(c);
    int64_t v = 0;
    if (std::from_chars(t.data(), t.data() + t.size(), v).ec != std::errc()) {
      double d = ColumnDouble(c);
      v = static_cast<int64_t>(d);
    }
    return v;
  }
  double ColumnDouble(int c) override {
    auto t = ColumnText(c);
    double v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
  }
  bool ColumnBool(int c) override {
    auto t = ColumnText(c);
    return !t.empty() && (t[0] == 't' || t[0] == 'T' || (t[0] >= '1' && t[0] <= '9'));
  }
  std::string ColumnBlob(int c) override {
    auto t = ColumnText(c);
    if (t.size() < 2 || t[0] != '\\' || t[1] != 'x') return std::string(t);
    size_t len = 0;
    unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(t.data()), &len);
    if (!raw) throw EDatabaseError("Cannot decode binary column");
    std::string out(reinterpret_cast<char*>(raw), len);
    PQfreemem(raw);
    return out;
  }
  TFieldType ColumnFieldType(int c, int& size) override {
    size = 0;
    if (!FResult.R) return ftString;
    switch (PQftype(FResult.R, c)) {  // the built-in type OIDs
      case 16:
        return ftBoolean;
      case 20:
        return ftLargeint;
      case 21:
        return ftSmallint;
      case 23:
        return ftInteger;
      case 700:
      case 701:
      case 1700:
        return ftFloat;
      case 1082:
        return ftDate;
      case 1083:
      case 1266:
        return ftTime;
      case 1114:
      case 1184:
        return ftDateTime;
      case 25:
        return ftMemo;
      case 17:
        return ftBlob;
      case 2950:
        return ftGuid;
      case 1042:
      case 1043: {
        int mod = PQfmod(FResult.R, c);
        size = mod > 4 ? mod - 4 : 0;
        return ftString;
      }
      default:
        return ftString;
    }
  }

 private:
  // The next chunk of the cursor's rows replaces the current one.
  void FetchChunk() {
    FResult.Reset(PQexec(FConn, FFetchSQL.c_str()));
    if (PQresultStatus(FResult.R) != PGRES_TUPLES_OK) {
      TPgResult failed(FResult.R);
      FResult.R = nullptr;
      FCursorOpen = false;
      RaisePg(FConn, failed.R);
    }
    FRows = PQntuples(FResult.R);
    FRow = -1;
  }
  // Closes the cursor of a streaming run that was not read to its end. A connection that is
  // gone or in a failed transaction has dropped it, or will with the transaction.
  void CloseCursor() {
    if (!FCursorOpen) return;
    FCursorOpen = false;
    if (PQstatus(FConn) == CONNECTION_OK && PQtransactionStatus(FConn) != PQTRANS_INERROR)
      PQclear(PQexec(FConn, ("CLOSE " + FCursor).c_str()));
  }

  void PrepareParams() {
    for (size_t k = 0; k < FValues.size(); ++k) {
      FPtrs[k] = FIsNull[k] ? nullptr : FValues[k].c_str();
      FLengths[k] = static_cast<int>(FValues[k].size());
    }
  }
  std::string& Slot(int i, bool isNull, int format) {
    if (i < 1 || static_cast<size_t>(i) > FValues.size())
      throw EDatabaseError("Parameter index " + std::to_string(i) + " out of range");
    size_t k = static_cast<size_t>(i - 1);
    FIsNull[k] = isNull;
    FFormats[k] = format;
    return FValues[k];
  }

  PGconn* FConn;
  std::string FName;
  std::string FSQL;
  bool FStreaming = false;
  std::string FCursor;    // the cursor's name (streaming)
  std::string FFetchSQL;  // fetches the next chunk
  bool FCursorOpen = false;
  uint64_t FRuns = 0;                // streaming runs so far
  std::vector<std::string> FValues;  // reused between runs: no allocation per row
  std::vector<char> FIsNull;
  std::vector<int> FFormats;
  std::vector<const char*> FPtrs;
  std::vector<int> FLengths;
  TPgResult FResult;
  int FRow = -1;
  int FRows = 0;
};

class TPgConnection final : public TDbConnection {
 public:
  explicit TPgConnection(const std::string& conninfo) {
    FConn = PQconnectdb(conninfo.c_str());
    if (PQstatus(FConn) != CONNECTION_OK) {
      std::string msg = PQerrorMessage(FConn);
      while (!msg.empty() && msg.back() == '\n')
        msg.pop_back();
      PQfinish(FConn);
      FConn = nullptr;
      throw EDatabaseError("Cannot connect to PostgreSQL: " + msg);
    }
    ExecSQL(
        "SET client_encoding = 'UTF8'; SET DateStyle = 'ISO, YMD'; "
        "SET client_min_messages = 'warning'; SET IntervalStyle = 'iso_8601'");
  }
  ~TPgConnection() override {
    ClearStatementCache();
    PQfinish(FConn);
  }

  TDbBackendKind Kind() const override { return TDbBackendKind::PostgreSQL; }
  bool IsHealthy() const override { return PQstatus(FConn) == CONNECTION_OK; }

  std::unique_ptr<TDbStatement> PrepareNew(const std::string& sql) override {
    return std::make_unique<TPgStatement>(FConn, "vela_s" + std::to_string(++FStatementNo), sql);
  }
  void ExecSQL(const std::string& sql) override {
    TPgResult res(PQexec(FConn, sql.c_str()));
    CheckResult(FConn, res.R);
  }

  void StartTransaction() override {
    if (InTransaction()) throw EDatabaseError("A transaction is already active");
    ExecSQL("BEGIN");
  }
  void Commit() override {
    if (!InTransaction()) throw EDatabaseError("No active transaction to commit");
    if (PQtransactionStatus(FConn) == PQTRANS_INERROR) {
      // COMMIT would silently roll back: say so.
      ExecSQL("ROLLBACK");
      throw EDatabaseError("The transaction failed earlier and was rolled back");
    }
    ExecSQL("COMMIT");
  }
  void Rollback() override {
    if (!InTransaction()) throw EDatabaseError("No active transaction to roll back");
    ExecSQL("ROLLBACK");
  }
  bool InTransaction() const override {
    auto st = PQtransactionStatus(FConn);
    return st == PQTRANS_INTRANS || st == PQTRANS_INERROR || st == PQTRANS_ACTIVE;
  }
  void Savepoint(const std::string& name) override { ExecSQL("SAVEPOINT " + QuoteIdent(name)); }
  void RollbackToSavepoint(const std::string& name) override {
    ExecSQL("ROLLBACK TO SAVEPOINT " + QuoteIdent(name));
  }
  void ReleaseSavepoint(const std::string& name) override {
    ExecSQL("RELEASE SAVEPOINT " + QuoteIdent(name));
  }
  void ExecuteInSavepoint(TDbStatement& st, const std::string& name) override {
    auto& pst = static_cast<TPgStatement&>(st);
    auto& names = FSavepointStatements[name];
    if (names.first.empty()) {
      // Prepared once: the protocol's Parse accepts SAVEPOINT and RELEASE as well.
      std::string sp = "vela_sp" + std::to_string(++FStatementNo);
      std::string rel = "vela_rel" + std::to_string(FStatementNo);
      TPgResult a(
          PQprepare(FConn, sp.c_str(), ("SAVEPOINT " + QuoteIdent(name)).c_str(), 0, nullptr));
      CheckResult(FConn, a.R);
      TPgResult b(PQprepare(FConn, rel.c_str(), ("RELEASE SAVEPOINT " + QuoteIdent(name)).c_str(),
                            0, nullptr));
      CheckResult(FConn, b.R);
      names = {sp, rel};
    }
    std::string error;
    if (pst.ExecutePipelined(names.first, names.second, error)) return;
    RollbackToSavepoint(name);
    ReleaseSavepoint(name);
    throw EDatabaseError(error);
  }

  std::string Placeholder(int n) const override { return "$" + std::to_string(n); }
  std::string ColumnTypeSQL(TFieldType ft, int size) const override {
    return StandardColumnTypeSQL(ft, size, "BYTEA");
  }
  std::string IdColumnSQL() const override {
    return "\"id\" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
  }
  bool UsesReturning() const override { return true; }
  int64_t LastInsertId() override {
    throw EDatabaseError("PostgreSQL reports new ids through RETURNING");
  }

  std::vector<TDbTableInfo> ReadCatalog() override {
    auto st = PrepareNew(
        "SELECT cl.relname, a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull, "
        "COALESCE(a.attnum = ANY(i.indkey), false) "
        "FROM pg_class cl JOIN pg_namespace n ON n.oid = cl.relnamespace "
        "JOIN pg_attribute a ON a.attrelid = cl.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "LEFT JOIN pg_index i ON i.indrelid = cl.oid AND i.indisprimary "
        "WHERE n.nspname = current_schema() AND cl.relkind IN ('r', 'p') "
        "ORDER BY cl.relname, a.attnum");
    st->Execute();
    std::vector<TDbTableInfo> tables;
    while (st->Next()) {
      std::string_view table = st->ColumnText(0);
      if (tables.empty() || tables.back().Name != table) tables.push_back({std::string(table), {}});
      TDbColumnInfo c;
      c.Name = st->ColumnText(1);
      c.DataType = PgTypeToFieldType(st->ColumnText(2), c.Size);
      c.Required = st->ColumnBool(3);
      c.PrimaryKey = st->ColumnBool(4);
      tables.back().Columns.push_back(std::move(c));
    }
    return tables;
  }
  bool TableExists(const std::string& name) override {
    auto st = PrepareNew(
        "SELECT 1 FROM pg_class cl JOIN pg_namespace n ON n.oid = cl.relnamespace "
        "WHERE n.nspname = current_schema() AND cl.relname = $1 AND cl.relkind IN ('r', 'p')");
    st->BindText(1, name);
    st->Execute();
    return st->Next();
  }

 private:
  PGconn* FConn = nullptr;
  uint64_t FStatementNo = 0;
  // Prepared SAVEPOINT and RELEASE statements by savepoint name.
  std::unordered_map<std::string, std::pair<std::string, std::string>> FSavepointStatements;
};

}  // namespace

TFieldType PgTypeToFieldType(std::string_view typeName, int& size) {
  size = 0;
  std::string t(typeName);
  auto open = t.find('(');
  if (open != std::string::npos) {
    int n = 0;
    std::from_chars(t.data() + open + 1, t.data() + t.size(), n);
    auto close = t.find(')', open);
    std::string rest = close == std::string::npos ? "" : t.substr(close + 1);
    t = t.substr(0, open) + rest;
    if (t.rfind("character", 0) == 0) size = n;
  }
  if (t == "bigint") return ftLargeint;
  if (t == "integer") return ftInteger;
  if (t == "smallint") return ftSmallint;
  if (t == "boolean") return ftBoolean;
  if (t == "double precision" || t == "real" || t == "numeric") return ftFloat;
  if (t == "date") return ftDate;
  if (t.rfind("time without", 0) == 0 || t.rfind("time with", 0) == 0) return ftTime;
  if (t.rfind("timestamp", 0) == 0) return ftDateTime;
  if (t == "text") return ftMemo;
  if (t == "bytea") return ftBlob;
  if (t == "uuid") return ftGuid;
  return ftString;
}

std::unique_ptr<TDbConnection> OpenPgConnection(const std::string& conninfo) {
  return std::make_unique<TPgConnection>(conninfo);
}

}  // namespace vela
