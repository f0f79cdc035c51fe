// Delimited text: a header line naming the columns, then one record per line; fields in double
// quotes may hold separators, doubled quotes and line breaks. The lines come from TLineReader:
// UTF-8 (with or without BOM) or UTF-16 with BOM; lines that are not UTF-8 are read in the
// system's ANSI code page; CR, LF and CR LF end lines.
#pragma once

#include "ImportEngine/QImport2.h"
#include "rtl/LineReader.h"

namespace vela {

class TQImport2ASCII : public TQImport2 {
 public:
  // Field separator; #0: taken from the first line, the most frequent of ';' ',' tab '|'.
  char Comma = ';';
  char Quote = '"';
  // Size of the blocks in which the file is read.
  size_t BlockSize = TLineReader::kDefaultBlockSize;

  // The separator that Comma #0 chooses for a header line.
  static char DetectComma(std::string_view Line, char Quote = '"');

  // The physical line (1-based) at which the row being delivered began, also when a quoted
  // field carries it over several lines; for messages about the row.
  int64_t RecordLine() const noexcept { return FRecordLine; }

 protected:
  void DoExecute(bool HeaderOnly) override;

 private:
  int64_t FRecordLine = 0;
};

}  // namespace vela
