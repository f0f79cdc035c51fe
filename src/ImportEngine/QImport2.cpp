#include "ImportEngine/QImport2.h"

#include <charconv>

#include "rtl/SysUtils.h"

namespace vela {

TQImportCol& TQImportRow::Add() {
  if (static_cast<size_t>(FCount) == FCols.size()) FCols.emplace_back();
  TQImportCol& col = FCols[static_cast<size_t>(FCount++)];
  return col;
}

void TQImport2::Execute() {
  if (ImportDestination != qidUserDefined || !OnUserDefinedImport)
    throw EQImportError("Import destination of '" + Name + "' is not set");
  if (FileName.empty()) throw EQImportError("No file name given for '" + Name + "'");
  FRowsDelivered = 0;
  FColumns.clear();
  FMapping.clear();
  DoExecute(false);
}

std::vector<std::string> TQImport2::ReadColumnNames() {
  FColumns.clear();
  FMapping.clear();
  DoExecute(true);
  return FColumns;
}

void TQImport2::SetColumns(const std::vector<std::string>& Names) {
  FColumns = Names;
  FMapping.clear();
  if (Map.Count() == 0) {
    for (size_t i = 0; i < FColumns.size(); ++i)
      FMapping.push_back({FColumns[i], static_cast<int>(i)});
    return;
  }
  for (int i = 0; i < Map.Count(); ++i) {
    std::string dest = Map.Names(i);
    std::string source = Map.ValueFromIndex(i);
    if (dest.empty()) continue;
    if (source.empty()) continue;  // destination field without a source column
    int index = -1;
    for (size_t c = 0; c < FColumns.size(); ++c)
      if (SameText(FColumns[c], source)) {
        index = static_cast<int>(c);
        break;
      }
    if (index < 0) {
      int number = 0;
      auto [p, ec] = std::from_chars(source.data(), source.data() + source.size(), number);
      if (ec == std::errc() && p == source.data() + source.size() && number >= 1 &&
          number <= static_cast<int>(FColumns.size()))
        index = number - 1;
    }
    if (index < 0)
      throw EQImportError("Column '" + source + "' mapped to field '" + dest +
                          "' is not in file '" + FileName + "'");
    FMapping.push_back({std::move(dest), index});
  }
}

bool TQImport2::DeliverRow(const std::vector<std::string>& Values) {
  if (OnImportCancel) {
    bool goOn = true;
    OnImportCancel(this, goOn);
    if (!goOn) return false;
  }
  static const std::string empty;
  FRow.Reset();
  for (const TMapping& m : FMapping) {
    TQImportCol& col = FRow.Add();
    col.Name = m.Dest;
    col.Value = static_cast<size_t>(m.Source) < Values.size()
                    ? Values[static_cast<size_t>(m.Source)]
                    : empty;
  }
  ++FRowsDelivered;
  OnUserDefinedImport(this, FRow);
  if (OnImportCancel) {
    bool goOn = true;
    OnImportCancel(this, goOn);
    if (!goOn) return false;
  }
  return true;
}

}  // namespace vela
