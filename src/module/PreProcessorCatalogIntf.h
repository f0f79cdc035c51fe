// What the host may read of the pre-processor factory: the libraries found in custom/plugins.
// Offered by the main data module through the external function lookup.
#pragma once

#include <cstdint>
#include <string>

#include "vela/XMLPreProcessorIntf.h"

namespace vela {

struct TPreProcessorCatalogEntry {
  std::string FileName;  // lower case, without folder
  std::string Caption;
  std::string ValidFileExt;  // one extension per line
  bool CanUseByUser = false;
  TXMLPreProcessorFunctionSet Functions;
};

struct IVelaXMLPreProcessorCatalog : virtual IInterface {
  VELA_IID("{4C0F7A55-3B0E-4F2B-9A61-6D2E8B1C7F30}");
  // The folder that is scanned, with trailing delimiter.
  virtual std::string Get_PluginFolder() noexcept = 0;
  // Number of usable libraries (scans the folder on first use).
  virtual int32_t Get_Count() noexcept = 0;
  // False for an index out of range.
  virtual bool Get_Entry(int32_t AIndex, TPreProcessorCatalogEntry& AEntry) noexcept = 0;
  // A new pre-processor of the library with file name AFileName (matched ignoring case). False
  // with an empty message when no usable library has that name; false with the text when it
  // cannot be created. Release it before the module is unloaded.
  virtual bool Do_CreatePreProcessor(const std::string& AFileName,
                                     IPtr<IXMLPreProcessor>& APreProcessor,
                                     std::string& AErrorMessage) noexcept = 0;
};

}  // namespace vela
