// The source settings of an import object (name=value pairs such as "table=customers" for a
// database source). The object keeps them and hands them to its engine on every run, right after
// the engine has been given the source. Offered by the import objects that Do_Import hands out;
// a caller finds it with Supports on the IDataImport.
#pragma once

#include <string>

#include "ImportEngine/_ImportSourceSettingsIntf.h"
#include "host/InterfacedData.h"

namespace vela {

struct IDataImportSourceSettings : virtual IInterface {
  VELA_IID("{B51ED8D3-1C55-4CF5-9D48-8A330D58A318}");
  // True when the object's engine takes source settings at all.
  virtual bool Get_HasSourceSettings() = 0;
  // Keeps the setting for every run (a setting of the same name, compared ignoring case, is
  // replaced). False, keeping nothing, when the engine does not know the name.
  virtual bool Set_SourceSetting(const std::string& Name, const std::string& Value) = 0;
  // The kept settings as name=value lines, in the order they were first set.
  virtual IPtr<IStringListData> Get_SourceSettings() = 0;
  virtual void Clear_SourceSettings() = 0;
};

}  // namespace vela
