#include "host/db/HostTables.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "host/db/TransactionGuard.h"
#include "host/db/DbConnection.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

const char* const kVersionTable = "vela_schemaversion";

std::vector<THostTableDef> BuildDefs() {
  return {
      {"businessintegration_exchangecontainertype",
       {{"descr", ftString, 255, true, ""},
        {"allowunauth", ftBoolean, 0, false, ""},
        {"importconfig", ftBlob, 0, false, ""},
        {"contenttype", ftString, 255, false, ""},
        {"rawresponsecontenttype", ftString, 255, false, ""},
        {"rawresponsecontentfile", ftString, 1024, false, ""},
        {"rawresponsecontent", ftMemo, 0, false, ""}}},
      {"businessintegration_exchangecontainer",
       {{"containertypeid", ftLargeint, 0, true, "businessintegration_exchangecontainertype"},
        {"processedstateid", ftInteger, 0, true, ""},
        {"containerdata", ftBlob, 0, false, ""},
        {"containermetadata", ftBlob, 0, false, ""},
        {"contenttype", ftString, 255, false, ""},
        {"useragent", ftString, 1024, false, ""},
        {"remoteip", ftString, 64, false, ""},
        {"incomminguri", ftString, 0, false, ""},
        {"processeddate", ftDateTime, 0, false, ""},
        // When the container was stored, and which server imports it until when (its lease).
        {"createdate", ftDateTime, 0, false, ""},
        {"claimedby", ftString, 255, false, ""},
        {"claimeddate", ftDateTime, 0, false, ""}}},
      {"businessintegration_importlog",
       {{"globalrecuid", ftString, 38, true, ""},
        {"processedstateid", ftInteger, 0, true, ""},
        {"descr", ftString, 1024, false, ""},
        {"logmessage", ftMemo, 0, false, ""},
        {"createdate", ftDateTime, 0, false, ""}}},
      {"dataimport_userpickupstore",
       {{"searchkeywords", ftString, 1024, false, ""},
        {"storetype", ftString, 255, false, ""},
        {"rawdata", ftBlob, 0, false, ""},
        {"processeddate", ftDateTime, 0, false, ""},
        {"processedaddressid", ftLargeint, 0, false, ""},
        {"processedstate", ftInteger, 0, false, ""},
        {"processederrormsg", ftMemo, 0, false, ""},
        {"datafile", ftString, 1024, false, ""},
        {"preprocdll", ftString, 1024, false, ""},
        {"preprocparam", ftMemo, 0, false, ""}}},
      // The installation's settings that belong to the database (section, name, value).
      {"vela_globalsetting",
       {{"section", ftString, 255, true, ""},
        {"name", ftString, 255, true, ""},
        {"value", ftMemo, 0, false, ""}}},
      // Files attached to records of other tables (the import log's documents).
      {"vela_document",
       {{"tablename", ftString, 128, true, ""},
        {"recordid", ftLargeint, 0, true, ""},
        {"filename", ftString, 1024, true, ""},
        {"content", ftBlob, 0, false, ""},
        {"createdate", ftDateTime, 0, false, ""}}},
      // Access tokens of REST clients: the SHA-256 of the token (hex), never the token itself,
      // and the rights of its holder (comma-separated numbers; empty: every right).
      {"vela_accesstoken",
       {{"name", ftString, 255, true, ""},
        {"tokenhash", ftString, 64, true, ""},
        {"rights", ftString, 1024, false, ""},
        {"createdate", ftDateTime, 0, false, ""}}},
      // The host's event log: one row per message of a session (one run of one source).
      {"vela_eventlog",
       {{"sessionid", ftString, 38, true, ""},
        {"sourceid", ftString, 38, false, ""},
        {"caption", ftString, 255, false, ""},
        {"flags", ftInteger, 0, false, ""},
        {"createdate", ftDateTime, 0, false, ""},
        {"iserror", ftBoolean, 0, false, ""},
        {"displaytype", ftInteger, 0, false, ""},
        {"message", ftMemo, 0, false, ""}}},
  };
}

const THostTableDef& TableDef(std::string_view name) {
  for (auto& t : HostTableDefs())
    if (t.Name == name) return t;
  throw EDatabaseError("no host table " + std::string(name));
}

void CreateAll(TDbConnection& conn) {
  for (auto& t : HostTableDefs())
    conn.ExecSQL(CreateTableSQL(conn, t));
  conn.ExecSQL(
      "CREATE INDEX IF NOT EXISTS \"vela_document_record\" ON \"vela_document\" "
      "(\"tablename\", \"recordid\")");
  conn.ExecSQL(
      "CREATE INDEX IF NOT EXISTS \"businessintegration_exchangecontainer_processed\" ON "
      "\"businessintegration_exchangecontainer\" (\"processeddate\")");
}

void CreateGlobalSettings(TDbConnection& conn) {
  for (auto& t : HostTableDefs())
    if (t.Name == "vela_globalsetting") conn.ExecSQL(CreateTableSQL(conn, t));
}

void CreateAccessTokens(TDbConnection& conn) {
  for (auto& t : HostTableDefs())
    if (t.Name == "vela_accesstoken") conn.ExecSQL(CreateTableSQL(conn, t));
  conn.ExecSQL(
      "CREATE UNIQUE INDEX IF NOT EXISTS \"vela_accesstoken_name\" ON \"vela_accesstoken\" "
      "(\"name\")");
  conn.ExecSQL(
      "CREATE UNIQUE INDEX IF NOT EXISTS \"vela_accesstoken_hash\" ON \"vela_accesstoken\" "
      "(\"tokenhash\")");
}

// The table as the definitions describe it now: created when missing, and every field it lacks
// added.
void CreateOrCompleteTable(TDbConnection& conn, const THostTableDef& table) {
  auto info = conn.ReadTableInfo(table.Name);
  if (!info) {
    conn.ExecSQL(CreateTableSQL(conn, table));
    return;
  }
  for (auto& f : table.Fields) {
    const bool present =
        std::any_of(info->Columns.begin(), info->Columns.end(),
                    [&](const TDbColumnInfo& c) { return SameText(c.Name, f.Name); });
    if (!present)
      conn.ExecSQL("ALTER TABLE " + TDbConnection::QuoteIdent(table.Name) + " ADD COLUMN " +
                   TDbConnection::QuoteIdent(f.Name) + " " +
                   conn.ColumnTypeSQL(f.DataType, f.Size));
  }
}

// The definitions above always describe the newest shape, so step 1 already creates a new
// database complete; this step therefore adds only what is missing, which makes it a no-op there
// and a migration for a database of version 3. Its new columns are nullable: existing rows keep
// NULL.
void CreateEventLogAndStamps(TDbConnection& conn) {
  for (const char* name :
       {"vela_eventlog", "businessintegration_importlog", "businessintegration_exchangecontainer"})
    CreateOrCompleteTable(conn, TableDef(name));
  conn.ExecSQL(
      "CREATE INDEX IF NOT EXISTS \"vela_eventlog_createdate\" ON \"vela_eventlog\" "
      "(\"createdate\")");
}

// Step n leads from version n to version n + 1. New steps are appended, never changed.
const std::vector<std::function<void(TDbConnection&)>>& Migrations() {
  static const std::vector<std::function<void(TDbConnection&)>> steps = {
      CreateAll, CreateGlobalSettings, CreateAccessTokens, CreateEventLogAndStamps};
  return steps;
}

}  // namespace

std::string CreateTableSQL(const TDbConnection& conn, const THostTableDef& table) {
  std::string sql = "CREATE TABLE IF NOT EXISTS " + TDbConnection::QuoteIdent(table.Name) + " (" +
                    conn.IdColumnSQL();
  for (auto& f : table.Fields) {
    sql += ", " + TDbConnection::QuoteIdent(f.Name) + " " + conn.ColumnTypeSQL(f.DataType, f.Size);
    if (f.Required) sql += " NOT NULL";
    if (!f.References.empty())
      sql += " REFERENCES " + TDbConnection::QuoteIdent(f.References) + " (\"id\")";
  }
  return sql + ")";
}

const std::vector<THostTableDef>& HostTableDefs() {
  static const std::vector<THostTableDef> defs = BuildDefs();
  return defs;
}

int LatestHostSchemaVersion() {
  return static_cast<int>(Migrations().size());
}

int ReadHostSchemaVersion(TDbConnection& conn) {
  if (!conn.TableExists(kVersionTable)) return 0;
  auto st = conn.PrepareNew("SELECT MAX(\"version\") FROM \"vela_schemaversion\"");
  st->Execute();
  int v = st->Next() && !st->ColumnIsNull(0) ? static_cast<int>(st->ColumnInt64(0)) : 0;
  st->Reset();
  return v;
}

int MigrateHostTables(TDbConnection& conn) {
  const auto& steps = Migrations();
  int version = ReadHostSchemaVersion(conn);
  if (version >= static_cast<int>(steps.size())) return version;
  // One transaction for all steps; PostgreSQL serialises concurrent migrations (other processes
  // or threads opening the same database) with an advisory lock, SQLite with BEGIN IMMEDIATE.
  TTransactionGuard transaction(conn);
  if (conn.Kind() == TDbBackendKind::PostgreSQL)
    conn.ExecSQL("SELECT pg_advisory_xact_lock(7312001)");
  conn.ExecSQL("CREATE TABLE IF NOT EXISTS \"vela_schemaversion\" (\"version\" INTEGER NOT NULL)");
  version = ReadHostSchemaVersion(conn);
  while (version < static_cast<int>(steps.size())) {
    steps[static_cast<size_t>(version)](conn);
    ++version;
    auto st = conn.PrepareNew("INSERT INTO \"vela_schemaversion\" (\"version\") VALUES (" +
                              conn.Placeholder(1) + ")");
    st->BindInt64(1, version);
    st->Execute();
    st->Reset();
  }
  transaction.Commit();
  return version;
}

}  // namespace vela
