// The host's database object: opened from a URL, it hands out command objects (TClientSQL),
// table queries (IDbInterfaceTable), record sets (TVelaRecordSet), the field schema and the
// transactions of the calling thread.
//
// Threads: SQLite gives every thread its own connection (kept until ReleaseThreadConnection or
// the database closes); PostgreSQL lends connections from a small pool for the length of one
// operation, and binds one to a thread for the length of its transaction. Either way a thread's
// transaction covers exactly the work that thread does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/db/DbConnection.h"
#include "host/db/DbSchema.h"

namespace vela {

class TClientSQL;
class TVelaRecordSet;
struct IDbInterfaceTable;

// Transaction capabilities (all four are offered by both backends).
enum : uint32_t {
  dbtcStart = 0x01,     // start a transaction
  dbtcCommit = 0x02,    // commit it
  dbtcRollback = 0x04,  // roll it back
  dbtcIsolated = 0x08,  // other connections do not see uncommitted changes
};

struct TVelaDatabaseOptions {
  // The annotation file; empty: "$APP$/custom/schema.ini".
  std::string SchemaFile;
  // Create or migrate the host tables when opening.
  bool InitHostTables = true;
  // PostgreSQL: most connections held at once.
  int PoolSize = 8;
};

class TVelaDatabase {
 public:
  // Opens the database named by the URL ("sqlite:PATH", "postgresql://..."). The first
  // connection is made at once, so that a wrong URL fails here. Raises EDatabaseError.
  static std::unique_ptr<TVelaDatabase> Open(const std::string& url,
                                             const TVelaDatabaseOptions& options = {});
  // The URL to open for a --db value: empty gives "sqlite:$APP$/vela.db"; "$APP$" in an SQLite
  // path becomes the application folder.
  static std::string ResolveUrl(std::string_view url);
  ~TVelaDatabase();
  TVelaDatabase(const TVelaDatabase&) = delete;
  TVelaDatabase& operator=(const TVelaDatabase&) = delete;

  const std::string& Url() const { return FUrl; }
  TDbBackendKind Kind() const { return FKind; }

  // A connection for the calling thread, held while the lease lives. Leases nest on a thread.
  class TConnectionLease {
   public:
    // db is nil for a connection that needs no release (SQLite's thread connection).
    TConnectionLease(TVelaDatabase* db, TDbConnection& conn) : FDb(db), FConn(&conn) {}
    TConnectionLease(TConnectionLease&& o) noexcept
        : FDb(std::exchange(o.FDb, nullptr)), FConn(o.FConn) {}
    TConnectionLease(const TConnectionLease&) = delete;
    TConnectionLease& operator=(const TConnectionLease&) = delete;
    TConnectionLease& operator=(TConnectionLease&&) = delete;
    ~TConnectionLease() {
      if (FDb) FDb->ReleaseConnection();
    }
    TDbConnection* operator->() const { return FConn; }
    TDbConnection& operator*() const { return *FConn; }

   private:
    TVelaDatabase* FDb;
    TDbConnection* FConn;
  };
  TConnectionLease Connection();
  // SQLite: closes the calling thread's connection (call before a worker thread ends).
  void ReleaseThreadConnection();

  // --- transactions of the calling thread ---
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction();
  // dbtcStart | dbtcCommit | dbtcRollback | dbtcIsolated.
  uint32_t GetTransactionCapabilities() const { return 0x0F; }

  // --- schema ---
  TDBFieldSchema& GetDBFieldSchema() { return *FSchema; }
  // The table's schema; an unknown name reads the catalog once more (the table may be new).
  // nil when the table does not exist.
  IPtr<IDBFieldSchemaItem> GetSchemaByName(std::string_view name);
  // Reads catalog and annotations again.
  void RefreshSchema();
  void SetFieldListData(std::string_view table, std::string_view field,
                        const std::vector<std::string>& lines) {
    FSchema->SetFieldListData(table, field, lines);
  }

  // --- objects ---
  // A command object (the module's GetDBInterface).
  std::unique_ptr<TClientSQL> GetDBInterface();
  IPtr<IDbInterfaceTable> GetTableInterface();
  std::unique_ptr<TVelaRecordSet> CreateRecordSet();

  // --- host tables ---
  // Creates missing host tables and runs pending migrations; returns the schema version.
  int InitHostTables();
  // The stored version of the host tables, 0 before InitHostTables.
  int HostSchemaVersion();

  // --- change tracking for record sets (changes made through this object) ---
  uint64_t TableVersion(std::string_view table);
  void NoteTableChanged(std::string_view table);
  // The change counter of a table; the reference stays valid while the database lives.
  std::atomic<uint64_t>& TableVersionCounter(std::string_view table);

 private:
  TVelaDatabase(std::string url, const TVelaDatabaseOptions& options);
  void ReleaseConnection();
  void EndTransactionSlot();
  std::unique_ptr<TDbConnection> NewConnection();

  struct TThreadSlot {
    TDbConnection* Conn = nullptr;
    int Leases = 0;
    bool InTransaction = false;
  };

  std::string FUrl;
  TDbBackendKind FKind;
  TVelaDatabaseOptions FOptions;
  std::unique_ptr<TDBFieldSchema> FSchema;

  std::mutex FPoolLock;
  std::condition_variable FPoolFree;
  // Every open connection; SQLite: one per thread that used the database.
  std::vector<std::unique_ptr<TDbConnection>> FConnections;
  std::vector<TDbConnection*> FIdle;  // PostgreSQL: connections not lent out
  std::unordered_map<std::thread::id, TThreadSlot> FSlots;

  std::mutex FVersionLock;
  std::map<std::string, std::atomic<uint64_t>, std::less<>> FVersions;
  const uint64_t FSerial;  // tells databases apart in the calling thread's connection cache
};

}  // namespace vela
