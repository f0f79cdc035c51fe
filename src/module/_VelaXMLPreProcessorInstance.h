// A pre-processor library (*.vxp) as a source of pre-processors: loads the library on first
// need, checks its contract version and exports, and creates pre-processors through its
// XMLPreProc export.
#pragma once

#include <string>

#include "rtl/Exceptions.h"
#include "vela/PluginExport.h"
#include "vela/XMLPreProcessorIntf.h"

namespace vela {

// A library reports a contract version other than kXMLPreProcVersion.
VELA_DECLARE_EXCEPTION(EWrongPreConverterVersion, Exception);

class TVelaXMLPreProcessorInstance : public TInterfacedObject, public IVelaXMLPreProcessorInstance {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLPreProcessorInstance)

  // Stores the path; loads nothing.
  explicit TVelaXMLPreProcessorInstance(std::string AFullFileName);
  // Unloads the library. Every pre-processor it created must have been released before.
  ~TVelaXMLPreProcessorInstance() override;

  // Load errors are raised: "Can't load pre-processor dll '...'!", a missing export, or
  // EWrongPreConverterVersion. A library that failed after loading stays loaded and unusable:
  // later calls neither retry nor raise, and Do_CreatePreProc yields nil.
  IPtr<IXMLPreProcessor> Do_CreatePreProc() override;
  // The function set of a freshly created pre-processor (empty when none can be created).
  TXMLPreProcessorFunctionSet Get_FunctionSet() override;

  const std::string& FullFileName() const noexcept { return FFullFileName; }
  bool Loaded() const noexcept { return FHandle != nullptr; }

 private:
  void LoadLibrary();

  std::string FFullFileName;
  void* FHandle = nullptr;
  TXMLPreProc FDLLProcEntry = nullptr;
};

}  // namespace vela
