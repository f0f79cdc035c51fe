#include "host/EventLog.h"

#include <atomic>

#include "host/db/DbConnection.h"
#include "host/db/DbValues.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"
#include "rtl/DateUtils.h"
#include "rtl/Guid.h"

namespace vela {

namespace {

const char* const kEventLogTable = "vela_eventlog";
const char* const kColumns[] = {"sessionid",  "sourceid", "caption",     "flags",
                                "createdate", "iserror",  "displaytype", "message"};

class TVelaEventLogSession : public TInterfacedObject, public IArdoEventLogger {
  VELA_INTERFACES(TInterfacedObject, IArdoEventLogger)

 public:
  TVelaEventLogSession(std::shared_ptr<TVelaEventLog> ALog, TEventLogSessionInfo AInfo)
      : FLog(std::move(ALog)), FInfo(std::move(AInfo)) {}

  void LogMessage(const std::string& AMessage, bool AIsError,
                  TEventLogMessageDisplayType ADisplayType) override {
    if (!FClosed.load()) FLog->Write(FInfo, AMessage, AIsError, ADisplayType);
  }
  void CloseSession() override { FClosed.store(true); }

 private:
  std::shared_ptr<TVelaEventLog> FLog;
  const TEventLogSessionInfo FInfo;
  std::atomic<bool> FClosed{false};
};

}  // namespace

TVelaEventLog::TVelaEventLog() = default;
TVelaEventLog::~TVelaEventLog() = default;

void TVelaEventLog::SetDatabase(TVelaDatabase* db) {
  std::lock_guard lock(FLock);
  if (db == FDb) return;
  FDb = db;
  FConn.reset();
}

void TVelaEventLog::SetLogSink(TVelaLogSink sink) {
  std::lock_guard lock(FLock);
  FSink = std::move(sink);
}

IPtr<IArdoEventLogger> TVelaEventLog::OpenSession(const std::string& ASourceId,
                                                  const std::string& ACaption, int32_t AFlags) {
  {
    std::lock_guard lock(FLock);
    if (!FDb) return nullptr;
  }
  TEventLogSessionInfo info{GUIDToString(CreateGUID()), ASourceId, ACaption, AFlags};
  return IPtr<IArdoEventLogger>(new TVelaEventLogSession(shared_from_this(), std::move(info)));
}

void TVelaEventLog::StoreMessage(const TEventLogSessionInfo& ASession, const std::string& AMessage,
                                 bool AIsError, TEventLogMessageDisplayType ADisplayType) {
  // SQLite has one writer at a time: while the calling thread holds a transaction, a second
  // connection would wait for that very thread, so the row joins the caller's transaction.
  if (FDb->Kind() == TDbBackendKind::SQLite && FDb->InTransaction()) {
    auto lease = FDb->Connection();
    InsertRow(*lease, ASession, AMessage, AIsError, ADisplayType);
    return;
  }
  if (!FConn) {
    auto conn = OpenDbConnection(FDb->Url());
    if (!conn->TableExists(kEventLogTable)) MigrateHostTables(*conn);
    FConn = std::move(conn);
  }
  InsertRow(*FConn, ASession, AMessage, AIsError, ADisplayType);
}

void TVelaEventLog::InsertRow(TDbConnection& conn, const TEventLogSessionInfo& ASession,
                              const std::string& AMessage, bool AIsError,
                              TEventLogMessageDisplayType ADisplayType) {
  auto table = FDb->GetSchemaByName(kEventLogTable);
  if (!table) throw EDatabaseError("the database has no table vela_eventlog");
  std::string sql = "INSERT INTO \"vela_eventlog\" (";
  std::string values;
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    sql += (i ? ", " : "") + TDbConnection::QuoteIdent(kColumns[i]);
    values += (i ? ", " : "") + conn.Placeholder(static_cast<int>(i) + 1);
  }
  TStatementRun st(conn.Prepare(sql + ") VALUES (" + values + ")"));
  const Variant row[] = {Variant(ASession.SessionId),
                         Variant(ASession.SourceId),
                         Variant(ASession.Caption),
                         Variant(static_cast<int64_t>(ASession.Flags)),
                         Variant::FromDateTime(Now()),
                         Variant(AIsError),
                         Variant(static_cast<int64_t>(ADisplayType)),
                         Variant(AMessage)};
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    const TDBFieldSchemaField* field = table->FindField(kColumns[i]);
    if (!field) throw EDatabaseError(std::string("vela_eventlog lacks the field ") + kColumns[i]);
    BindFieldValue(*st, static_cast<int>(i) + 1, *field, row[i]);
  }
  st->Execute();
}

void TVelaEventLog::Write(const TEventLogSessionInfo& ASession, const std::string& AMessage,
                          bool AIsError, TEventLogMessageDisplayType ADisplayType) {
  TVelaLogSink sink;
  std::string failure;
  {
    std::lock_guard lock(FLock);
    sink = FSink;
    if (FDb) {
      try {
        StoreMessage(ASession, AMessage, AIsError, ADisplayType);
      } catch (const std::exception& e) {
        failure = ExceptionText(e);
        FConn.reset();  // a lost connection is opened again by the next write
      }
    }
  }
  if (!sink) return;
  sink(AIsError, ASession.Caption.empty() ? AMessage : ASession.Caption + ": " + AMessage);
  if (!failure.empty()) sink(true, "The event log could not keep a message: " + failure);
}

}  // namespace vela
