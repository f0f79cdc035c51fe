// Delimited text: a header line naming the columns, then one record per line; fields in double
// quotes may hold separators, doubled quotes and line breaks. UTF-8 (with or without BOM);
// lines that are not UTF-8 are read in the system's ANSI code page.
#pragma once

#include "ImportEngine/QImport2.h"

namespace vela {

class TQImport2ASCII : public TQImport2 {
 public:
  // Field separator; #0: taken from the first line, the most frequent of ';' ',' tab '|'.
  char Comma = ';';
  char Quote = '"';

  // The separator that Comma #0 chooses for a header line.
  static char DetectComma(std::string_view Line, char Quote = '"');

 protected:
  void DoExecute(bool HeaderOnly) override;
};

}  // namespace vela
