// TSQLDataSet: a dataset over a database connection, either a whole table (SetTableName) or a
// query with ":name" parameters (SetSQL and Params).
//
// Reading streams: the dataset holds one row, read from the open statement as it moves forward.
// Moving back (Prior, SetRecNo to an earlier record, Locate, First) runs the statement again and
// reads forward to the record, so memory stays flat whatever the size of the result.
// RecordCount runs "SELECT COUNT(*)" over the table or the query (with the same parameters).
//
// A table dataset reads its rows in the order of the primary key (without one, in the database's
// order, which a write may change). It is editable: Post writes an UPDATE or INSERT and Delete a
// DELETE through prepared statements. Records are found by the table's primary key, or by all
// original values when the table has none (NULL as IS NULL; binary columns are left out of that
// comparison; every row with those values is changed). An insert writes the fields that have a
// value, so the database fills the others (an integer primary key numbers itself and is read back).
// After a write the next move runs the statement again: the record number stays, an appended record
// counts as the last one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"
#include "rtl/DataSet.h"

namespace vela {

class TSQLDataSet : public TDataSet {
 public:
  // Over a connection that outlives the dataset.
  explicit TSQLDataSet(TDbConnection& connection);
  // Over the host database: a connection of the calling thread is leased while the dataset is
  // open.
  explicit TSQLDataSet(TVelaDatabase& database);
  ~TSQLDataSet() override;

  // A table to read and edit (clears the query).
  void SetTableName(std::string name);
  const std::string& TableName() const { return FTableName; }
  // A query (clears the table name); its ":name" parameters become Params, keeping the values of
  // parameters that keep their names.
  void SetSQL(std::string sql);
  const std::string& SQL() const { return FSQL; }

  bool IsUniDirectional() const override { return true; }
  bool CanModify() const override { return !FTableName.empty(); }

 protected:
  // For descendants that bring their own connection (set before Open).
  TSQLDataSet() = default;
  void SetConnection(TDbConnection* connection) { FConnection = connection; }

  void InternalOpen() override;
  void InternalClose() override;
  bool InternalFirst() override;
  bool InternalNext() override;
  bool InternalGoto(int n) override;
  int InternalRecordCount() override;
  const Variant& GetRecordValue(int i) const override { return FRow[static_cast<size_t>(i)]; }
  int InternalPost(const std::vector<Variant>& values, bool inserting, int beforeRecNo) override;
  void InternalDelete() override;

 private:
  TDbConnection& Conn();
  void CheckInactive() const;
  // Runs the reading statement from its start; false when it has no row.
  bool Execute();
  bool Fetch();
  void BindParams(TDbStatement& st);
  // " WHERE ..." identifying the current record; appends the values to bind to args.
  std::string KeyCondition(std::vector<std::pair<Variant, TFieldType>>& args);
  int64_t RunWrite(const std::string& sql, const std::vector<std::pair<Variant, TFieldType>>& args);

  TDbConnection* FConnection = nullptr;
  TVelaDatabase* FDatabase = nullptr;
  std::unique_ptr<TVelaDatabase::TConnectionLease> FLease;
  std::string FTableName;
  std::string FSQL;
  std::string FSelectSQL;                // what runs, with the backend's placeholders
  std::vector<std::string> FParamNames;  // the parameter of each placeholder
  std::vector<bool> FKeyFields;          // by field: part of the primary key
  bool FHasKey = false;
  int FAutoKeyField = -1;  // an integer primary key the database numbers itself
  std::unique_ptr<TDbStatement> FStatement;
  std::vector<Variant> FRow;
  int FPos = 0;         // rows read in the current run (the current row's number)
  bool FStale = true;   // the statement must run again before the next move
  bool FAtEnd = false;  // the current run has no more rows
};

// Binds a value by the field type it belongs to (dates as ISO 8601 text, binary as bytes).
void BindDataSetValue(TDbStatement& st, int index, const Variant& v, TFieldType ft);

}  // namespace vela
