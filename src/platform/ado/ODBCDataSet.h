// TODBCDataSet: the SQL dataset (a table or a query with ":name" parameters, editable for a
// table) over an ODBC data source, named by an ADO or ODBC connection string. The ODBC
// connection is offered to the dataset through the database layer's connection interface, so
// reading, the parameter rule, Locate and the writes by key are the same as over the host
// database (see host/db/SQLDataSet.h).
#pragma once

#include <memory>
#include <string>

#include "host/db/SQLDataSet.h"
#include "platform/ado/ADODB.h"

namespace vela {

class TODBCDataSet : public TSQLDataSet {
 public:
  // A connection of its own, opened with the dataset (ADO connection strings are mapped to ODBC
  // ones as TADOConnection does).
  explicit TODBCDataSet(std::string connectionString);
  // Over a connection that outlives the dataset.
  explicit TODBCDataSet(TADOConnection& connection);
  ~TODBCDataSet() override;

 protected:
  void InternalOpen() override;

 private:
  std::unique_ptr<TADOConnection> FOwnConnection;
  TADOConnection* FADOConnection;
  std::unique_ptr<TDbConnection> FDbConnection;  // the ODBC connection as a database connection
};

// The ODBC connection of an open ADO connection as a database connection (statements with "?"
// placeholders, catalog from SQLColumns and SQLPrimaryKeys). The ADO connection must outlive it.
std::unique_ptr<TDbConnection> OdbcDbConnection(TADOConnection& connection);

}  // namespace vela
