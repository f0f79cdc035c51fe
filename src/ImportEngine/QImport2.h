// The file import components behind the standard file import engine: a base that reads a file
// row by row and hands each row, mapped to the destination fields, to an event, and the value
// rendering shared by the file and database readers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/SysUtils.h"
#include "rtl/Classes.h"
#include "rtl/DateUtils.h"
#include "rtl/Exceptions.h"

namespace vela {

VELA_DECLARE_EXCEPTION(EQImportError, Exception);

enum TQImportDestination : int32_t {
  qidDataSet = 0,     // rows go to DataSet (only while a setup wizard runs)
  qidUserDefined = 1  // rows go to OnUserDefinedImport
};

class TQImportCol {
 public:
  std::string Name;
  std::string Value;
};

// One row handed to OnUserDefinedImport; columns in destination order. The row object and its
// buffers are reused from row to row.
class TQImportRow {
 public:
  int Count() const noexcept { return FCount; }
  const TQImportCol& operator[](int Index) const { return FCols[static_cast<size_t>(Index)]; }
  const TQImportCol* begin() const noexcept { return FCols.data(); }
  const TQImportCol* end() const noexcept { return FCols.data() + FCount; }
  // Empties the row but keeps the column buffers.
  void Reset() noexcept { FCount = 0; }
  TQImportCol& Add();

 private:
  std::vector<TQImportCol> FCols;
  int FCount = 0;
};

class TQImport2;
using TQImportCancelEvent = std::function<void(TQImport2* Sender, bool& Continue)>;
using TQUserDefinedImportEvent = std::function<void(TQImport2* Sender, const TQImportRow& Row)>;

class TQImport2 : public TObject {
 public:
  TQImport2() = default;
  ~TQImport2() override = default;
  TQImport2(const TQImport2&) = delete;
  TQImport2& operator=(const TQImport2&) = delete;

  std::string Name;
  std::string FileName;
  // Destination field = source column (name, or 1-based number). Empty: every column goes
  // under its own name.
  TStringList Map;
  TQImportDestination ImportDestination = qidUserDefined;
  TObject* DataSet = nullptr;
  TQImportCancelEvent OnImportCancel;
  TQUserDefinedImportEvent OnUserDefinedImport;

  // Reads FileName from the start and delivers its rows. Raises EQImportError on a file it
  // cannot read and passes the exceptions of the event handlers.
  void Execute();
  // The source column names of FileName (reads the file's header only).
  std::vector<std::string> ReadColumnNames();
  int RowsDelivered() const noexcept { return FRowsDelivered; }

 protected:
  // Reads the file: calls SetColumns once, then DeliverRow per row until it returns false.
  virtual void DoExecute(bool HeaderOnly) = 0;

  // The source columns of the file, in file order.
  void SetColumns(const std::vector<std::string>& Names);
  // The values of one source row (as many as columns; missing ones count as empty). False
  // when the import is to stop.
  bool DeliverRow(const std::vector<std::string>& Values);

 private:
  struct TMapping {
    std::string Dest;
    int Source;  // index into the source row
  };
  std::vector<std::string> FColumns;
  std::vector<TMapping> FMapping;
  TQImportRow FRow;
  int FRowsDelivered = 0;
};

}  // namespace vela
