#include "host/db/VelaDatabase.h"

#include "host/db/ClientSQL.h"
#include "host/db/DbInterfaceTable.h"
#include "host/db/HostTables.h"
#include "host/db/VelaRecordSet.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

uint64_t NextSerial() {
  static std::atomic<uint64_t> serial{0};
  return ++serial;
}

// The calling thread's SQLite connection of the database it used last: taken without the lock.
struct TThreadConnectionCache {
  uint64_t Database = 0;
  TDbConnection* Conn = nullptr;
};
thread_local TThreadConnectionCache tlsConnection;

}  // namespace

TVelaDatabase::TVelaDatabase(std::string url, const TVelaDatabaseOptions& options)
    : FUrl(std::move(url)), FKind(BackendOfUrl(FUrl)), FOptions(options), FSerial(NextSerial()) {
  if (FOptions.PoolSize < 1) FOptions.PoolSize = 1;
  std::string schemaFile = FOptions.SchemaFile;
  if (schemaFile.empty()) schemaFile = ExpandAppMacro("$APP$/custom/schema.ini");
  FSchema = std::make_unique<TDBFieldSchema>(std::move(schemaFile));
}

std::unique_ptr<TVelaDatabase> TVelaDatabase::Open(const std::string& url,
                                                   const TVelaDatabaseOptions& options) {
  std::unique_ptr<TVelaDatabase> db(new TVelaDatabase(url, options));
  {
    auto conn = db->Connection();
    if (options.InitHostTables) MigrateHostTables(*conn);
    db->FSchema->Load(*conn);
  }
  return db;
}

std::string TVelaDatabase::ResolveUrl(std::string_view url) {
  std::string u = url.empty() ? std::string("sqlite:$APP$/vela.db") : std::string(url);
  if (BackendOfUrl(u) == TDbBackendKind::SQLite && PosText("$APP$", u) != std::string::npos)
    u = "sqlite:" + ExpandAppMacro(u.substr(7));
  return u;
}

TVelaDatabase::~TVelaDatabase() {
  std::lock_guard lock(FPoolLock);
  FSlots.clear();
  FIdle.clear();
  FConnections.clear();
}

std::unique_ptr<TDbConnection> TVelaDatabase::NewConnection() {
  return OpenDbConnection(FUrl);
}

TVelaDatabase::TConnectionLease TVelaDatabase::Connection() {
  // SQLite: the thread's connection never changes hands, so a lease needs no bookkeeping.
  if (FKind == TDbBackendKind::SQLite && tlsConnection.Database == FSerial)
    return TConnectionLease(nullptr, *tlsConnection.Conn);
  auto self = std::this_thread::get_id();
  std::unique_lock lock(FPoolLock);
  auto it = FSlots.find(self);
  if (it != FSlots.end() && it->second.Conn) {
    if (FKind == TDbBackendKind::SQLite) {
      tlsConnection = {FSerial, it->second.Conn};
      return TConnectionLease(nullptr, *it->second.Conn);
    }
    ++it->second.Leases;
    return TConnectionLease(this, *it->second.Conn);
  }
  TDbConnection* conn = nullptr;
  if (FKind == TDbBackendKind::PostgreSQL) {
    for (;;) {
      if (!FIdle.empty()) {
        conn = FIdle.back();
        FIdle.pop_back();
        break;
      }
      if (static_cast<int>(FConnections.size()) < FOptions.PoolSize) break;
      FPoolFree.wait(lock);
    }
  }
  if (!conn) {
    // Connecting may take a while: not under the lock. The place in the pool is reserved by a
    // null entry so that the pool does not grow beyond its size meanwhile.
    FConnections.push_back(nullptr);
    lock.unlock();
    std::unique_ptr<TDbConnection> fresh;
    try {
      fresh = NewConnection();
    } catch (...) {
      lock.lock();
      for (auto i = FConnections.begin(); i != FConnections.end(); ++i)
        if (!*i) {
          FConnections.erase(i);
          break;
        }
      FPoolFree.notify_one();
      throw;
    }
    lock.lock();
    conn = fresh.get();
    for (auto& slot : FConnections)
      if (!slot) {
        slot = std::move(fresh);
        break;
      }
  }
  auto& slot = FSlots[self];
  slot.Conn = conn;
  if (FKind == TDbBackendKind::SQLite) {
    // The slot keeps the connection for the thread; leases go through the thread cache.
    slot.Leases = 0;
    tlsConnection = {FSerial, conn};
    return TConnectionLease(nullptr, *conn);
  }
  slot.Leases = 1;
  return TConnectionLease(this, *conn);
}

void TVelaDatabase::ReleaseConnection() {
  auto self = std::this_thread::get_id();
  std::lock_guard lock(FPoolLock);
  auto it = FSlots.find(self);
  if (it == FSlots.end()) return;
  if (--it->second.Leases > 0) return;
  // SQLite keeps the thread's connection; PostgreSQL returns it to the pool.
  if (FKind == TDbBackendKind::PostgreSQL && !it->second.InTransaction) {
    TDbConnection* conn = it->second.Conn;
    FSlots.erase(it);
    if (conn->IsHealthy()) {
      FIdle.push_back(conn);
    } else {
      // A lost connection leaves the pool; the next operation opens a new one.
      for (auto i = FConnections.begin(); i != FConnections.end(); ++i)
        if (i->get() == conn) {
          FConnections.erase(i);
          break;
        }
    }
    FPoolFree.notify_one();
  }
}

void TVelaDatabase::ReleaseThreadConnection() {
  auto self = std::this_thread::get_id();
  std::lock_guard lock(FPoolLock);
  auto it = FSlots.find(self);
  if (it == FSlots.end() || it->second.Leases > 0 || it->second.InTransaction) return;
  if (tlsConnection.Database == FSerial) tlsConnection = {};
  TDbConnection* conn = it->second.Conn;
  FSlots.erase(it);
  for (auto i = FConnections.begin(); i != FConnections.end(); ++i)
    if (i->get() == conn) {
      FConnections.erase(i);
      break;
    }
}

void TVelaDatabase::StartTransaction() {
  auto conn = Connection();
  conn->StartTransaction();
  std::lock_guard lock(FPoolLock);
  auto& slot = FSlots[std::this_thread::get_id()];
  // The transaction holds a lease of its own until it ends.
  slot.InTransaction = true;
  ++slot.Leases;
}

void TVelaDatabase::EndTransactionSlot() {
  std::lock_guard lock(FPoolLock);
  auto& slot = FSlots[std::this_thread::get_id()];
  if (slot.InTransaction) {
    slot.InTransaction = false;
    --slot.Leases;
  }
}

void TVelaDatabase::Commit() {
  auto conn = Connection();
  try {
    conn->Commit();
  } catch (...) {
    // A commit that left the transaction open keeps its slot until the rollback ends it.
    if (!conn->InTransaction()) EndTransactionSlot();
    throw;
  }
  EndTransactionSlot();
}

void TVelaDatabase::Rollback() {
  auto conn = Connection();
  try {
    conn->Rollback();
  } catch (...) {
    if (!conn->InTransaction()) EndTransactionSlot();
    throw;
  }
  EndTransactionSlot();
}

bool TVelaDatabase::InTransaction() {
  std::lock_guard lock(FPoolLock);
  auto it = FSlots.find(std::this_thread::get_id());
  return it != FSlots.end() && it->second.InTransaction;
}

IPtr<IDBFieldSchemaItem> TVelaDatabase::GetSchemaByName(std::string_view name) {
  auto item = FSchema->GetSchemaByName(name);
  if (item) return item;
  RefreshSchema();
  return FSchema->GetSchemaByName(name);
}

void TVelaDatabase::RefreshSchema() {
  auto conn = Connection();
  FSchema->Load(*conn);
}

std::unique_ptr<TClientSQL> TVelaDatabase::GetDBInterface() {
  return std::make_unique<TClientSQL>(*this);
}

IPtr<IDbInterfaceTable> TVelaDatabase::GetTableInterface() {
  return MakeDbInterfaceTable(*this);
}

std::unique_ptr<TVelaRecordSet> TVelaDatabase::CreateRecordSet() {
  return std::make_unique<TVelaRecordSet>(*this);
}

int TVelaDatabase::InitHostTables() {
  int version;
  {
    auto conn = Connection();
    version = MigrateHostTables(*conn);
  }
  RefreshSchema();
  return version;
}

int TVelaDatabase::HostSchemaVersion() {
  auto conn = Connection();
  return ReadHostSchemaVersion(*conn);
}

std::atomic<uint64_t>& TVelaDatabase::TableVersionCounter(std::string_view table) {
  std::lock_guard lock(FVersionLock);
  return FVersions.try_emplace(LowerCase(table), 0).first->second;
}

uint64_t TVelaDatabase::TableVersion(std::string_view table) {
  return TableVersionCounter(table).load();
}

void TVelaDatabase::NoteTableChanged(std::string_view table) {
  ++TableVersionCounter(table);
}

}  // namespace vela
