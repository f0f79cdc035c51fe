// The host's event log: sessions of messages (one run of one source, such as a background job),
// each message kept as one row of the host table "vela_eventlog" and passed to the host's log
// (the sink the host executable installs, for example the command line's messages).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "host/HostServices.h"

namespace vela {

class TDbConnection;
class TVelaDatabase;

// Where the host's log lines go: the error flag and the text.
using TVelaLogSink = std::function<void(bool AIsError, const std::string& AText)>;

// What a session writes with each of its messages.
struct TEventLogSessionInfo {
  std::string SessionId;  // a GUID in text form
  std::string SourceId;
  std::string Caption;
  int32_t Flags = 0;
};

class TVelaEventLog : public std::enable_shared_from_this<TVelaEventLog> {
 public:
  TVelaEventLog();
  ~TVelaEventLog();

  // The database that keeps the messages (nil: none; sessions are then refused).
  void SetDatabase(TVelaDatabase* db);
  // The host's log (nil: messages go to the database only).
  void SetLogSink(TVelaLogSink sink);
  // A new session; nil while no database is set.
  IPtr<IArdoEventLogger> OpenSession(const std::string& ASourceId, const std::string& ACaption,
                                     int32_t AFlags);
  // Writes one message: a row committed at once on the log's own connection (so that a caller's
  // transaction neither holds nor undoes it), then a line to the host's log. Safe from any
  // thread; a row that cannot be written is reported to the host's log, never to the caller.
  void Write(const TEventLogSessionInfo& ASession, const std::string& AMessage, bool AIsError,
             TEventLogMessageDisplayType ADisplayType);

 private:
  void StoreMessage(const TEventLogSessionInfo& ASession, const std::string& AMessage,
                    bool AIsError, TEventLogMessageDisplayType ADisplayType);
  void InsertRow(TDbConnection& conn, const TEventLogSessionInfo& ASession,
                 const std::string& AMessage, bool AIsError,
                 TEventLogMessageDisplayType ADisplayType);

  std::mutex FLock;  // guards everything below; writes are serialised
  TVelaDatabase* FDb = nullptr;
  std::unique_ptr<TDbConnection> FConn;  // opened on the first write
  TVelaLogSink FSink;
};

}  // namespace vela
