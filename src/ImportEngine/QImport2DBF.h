// dBase III, IV and FoxPro tables (through shapelib's DBF API), with their memo files.
#pragma once

#include "ImportEngine/QImport2.h"

namespace vela {

class TQImport2DBF : public TQImport2 {
 public:
  // Code page of the text when the file's language driver byte names none; 0: the system's
  // ANSI code page.
  int CodePage = 0;

  // The Windows code page for a dBase language driver byte; 0 when the byte names none.
  static int LanguageDriverCodePage(uint8_t LanguageDriver);

 protected:
  void DoExecute(bool HeaderOnly) override;
};

}  // namespace vela
