// IDbInterfaceTable: a query on one table with equality filters, selecting given fields. The
// rows are read at once, so no connection stays lent while the caller looks at them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "rtl/Interfaces.h"
#include "rtl/Variants.h"

namespace vela {

class TVelaDatabase;

struct IDbInterfaceTable : virtual IInterface {
  VELA_IID("{0A40FB9E-57CC-4C6C-B45E-2AAAE1F250F4}");
  // SELECT fields FROM table WHERE f1 = v1 AND ... (an empty field list selects every field;
  // a Null value selects NULL). Values are converted to the field types. Raises EDatabaseError
  // for an unknown table or field. Replaces an earlier result.
  virtual void Query(const std::string& table, const std::vector<std::string>& fields,
                     const std::vector<std::pair<std::string, Variant>>& filters) = 0;
  virtual bool IsOpen() = 0;
  virtual int RecordCount() = 0;
  // Positioned on the first row after Query; true past the last row.
  virtual bool Eof() = 0;
  virtual void First() = 0;
  virtual void Next() = 0;
  virtual int FieldCount() = 0;
  virtual std::string FieldName(int index) = 0;
  // The current row's value; raises EDatabaseError at Eof or for an unselected field.
  virtual Variant ValueByName(std::string_view field) = 0;
  virtual Variant Value(int index) = 0;
  // Drops the result.
  virtual void Close() = 0;
};

IPtr<IDbInterfaceTable> MakeDbInterfaceTable(TVelaDatabase& db);

}  // namespace vela
