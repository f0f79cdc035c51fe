#include "module/_VelaXMLPreProcessorInstance.h"

#include <dlfcn.h>

namespace vela {

TVelaXMLPreProcessorInstance::TVelaXMLPreProcessorInstance(std::string AFullFileName)
    : FFullFileName(std::move(AFullFileName)) {}

TVelaXMLPreProcessorInstance::~TVelaXMLPreProcessorInstance() {
  if (FHandle) {
    FDLLProcEntry = nullptr;
    ::dlclose(FHandle);
    FHandle = nullptr;
  }
}

void TVelaXMLPreProcessorInstance::LoadLibrary() {
  if (FHandle) return;
  void* handle = ::dlopen(FFullFileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) throw Exception("Can't load pre-processor dll '" + FFullFileName + "'!");
  // Kept at once: a library that fails the checks below stays loaded and is not tried again.
  FHandle = handle;
  auto version = reinterpret_cast<TXMLPreProcVersion>(::dlsym(FHandle, kXMLPreProcVersionExport));
  if (!version)
    throw Exception("Error: DLL-Export '" + std::string(kXMLPreProcVersionExport) +
                    "' not found in '" + FFullFileName + "'!");
  if (version() != kXMLPreProcVersion)
    throw EWrongPreConverterVersion("Error: Pre-Processor '" + FFullFileName +
                                    "' has invalid version!");
  FDLLProcEntry = reinterpret_cast<TXMLPreProc>(::dlsym(FHandle, kXMLPreProcExport));
  if (!FDLLProcEntry)
    throw Exception("Error: DLL-Export '" + std::string(kXMLPreProcExport) + "' not found in '" +
                    FFullFileName + "'!");
}

IPtr<IXMLPreProcessor> TVelaXMLPreProcessorInstance::Do_CreatePreProc() {
  LoadLibrary();
  IPtr<IXMLPreProcessor> result;
  if (FDLLProcEntry) FDLLProcEntry(result);
  return result;
}

TXMLPreProcessorFunctionSet TVelaXMLPreProcessorInstance::Get_FunctionSet() {
  IPtr<IXMLPreProcessor> preProc = Do_CreatePreProc();
  return preProc ? preProc->Get_FunctionSet() : TXMLPreProcessorFunctionSet{};
}

}  // namespace vela
