// The host's database services for REST clients, as JSON over service routes of one API root:
//   Table.Read, Table.Add, Table.Update, Table.Delete   records of a table (the table service)
//   Schema.Tables, Schema.Table                        tables and fields with captions
// Tables and fields are checked against the database's field schema before any SQL is built;
// values are always bound. The host's own tables ("vela_...") are not served. Reading needs the
// caller's right kRightDatabaseRead, writing kRightDatabaseWrite. docs/server.md describes the
// requests and answers.
#pragma once

#include <string_view>

namespace vela {

class TVelaDatabase;
class TVelaRestRouter;

inline constexpr int kRightDatabaseRead = 200;
inline constexpr int kRightDatabaseWrite = 201;

// Registers the table service ("Table") and the schema service ("Schema") below root. The
// database must outlive the routes.
void RegisterDatabaseServices(TVelaRestRouter& router, TVelaDatabase& db,
                              std::string_view root = "database");

}  // namespace vela
