// PostgreSQL backend through libpq: prepared statements, text results, bytea parameters in
// binary form.
#pragma once

#include <memory>
#include <string>

#include "host/db/DbConnection.h"

namespace vela {

// Opens a connection from a libpq URI or conninfo string.
std::unique_ptr<TDbConnection> OpenPgConnection(const std::string& conninfo);

// Field type of a PostgreSQL type as format_type() spells it ("character varying(40)").
TFieldType PgTypeToFieldType(std::string_view typeName, int& size);

}  // namespace vela
