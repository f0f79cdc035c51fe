// The host tables and their forward migrations. The version of the host tables is kept in the
// table "vela_schemaversion"; each migration step runs in its own transaction.
#pragma once

#include <string>
#include <vector>

#include "host/db/DbTypes.h"

namespace vela {

class TDbConnection;

// A column of a host table in backend-neutral terms.
struct THostFieldDef {
  std::string Name;
  TFieldType DataType = ftString;
  int Size = 0;
  bool Required = false;
  std::string References;  // a table whose "id" this field holds ('' for none)
};

struct THostTableDef {
  std::string Name;
  std::vector<THostFieldDef> Fields;  // without "id", which every table has first
};

// "CREATE TABLE IF NOT EXISTS ..." for the backend of conn.
std::string CreateTableSQL(const TDbConnection& conn, const THostTableDef& table);

// The host tables of the current version.
const std::vector<THostTableDef>& HostTableDefs();
// The version the migrations lead to.
int LatestHostSchemaVersion();
// The stored version (0 when the version table is missing).
int ReadHostSchemaVersion(TDbConnection& conn);
// Runs every migration above the stored version; returns the new version.
int MigrateHostTables(TDbConnection& conn);

}  // namespace vela
