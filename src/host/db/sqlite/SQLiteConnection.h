// SQLite backend: one file, WAL journal, busy timeout, foreign keys on.
#pragma once

#include <memory>
#include <string>

#include "host/db/DbConnection.h"

namespace vela {

// Opens the database file at path (created when missing).
std::unique_ptr<TDbConnection> OpenSQLiteConnection(const std::string& path);

// Field type of an SQLite declared column type ("VARCHAR(40)" gives ftString with size 40).
TFieldType SQLiteDeclTypeToFieldType(std::string_view declType, int& size);

}  // namespace vela
