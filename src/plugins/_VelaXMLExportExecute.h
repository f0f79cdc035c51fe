// Running one VelaXML export: the chosen parts are written by their part handlers into one
// document (or by an export pre-processor into its own target format), and the document is
// delivered to a file or uploaded to an HTTP or FTP address. Also the in-memory writer that
// Do_CreateXMLExport hands out.
#pragma once

#include <memory>
#include <string>

#include "host/InterfacedData.h"
#include "host/MainInterface.h"
#include "host/velaxml/VelaXMLPartHandlerIntf.h"
#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/Classes.h"
#include "rtl/Streams.h"

namespace vela {

class TVelaXMLExportExecuteObj {
 public:
  TVelaXMLExportExecuteObj();
  ~TVelaXMLExportExecuteObj();
  TVelaXMLExportExecuteObj(const TVelaXMLExportExecuteObj&) = delete;
  TVelaXMLExportExecuteObj& operator=(const TVelaXMLExportExecuteObj&) = delete;

  // Runs the export; failure raises.
  void Execute(IMainInterface* AMainInterface, const std::string& AOutFileName);

  TStringList FExportParts;  // element names of the parts, in export order
  std::string FPreProcessorParam;
  std::string FPreProcessorDLL;
  bool FOnlyThisPlace = false;
  std::string FApplicationCaption;
  TXMLPreProcessorFmt FPreProcessorParamFmt = xmpFile;
  IPtr<INamedVariantListData> FOptions;
  IPtr<IStringListData> FProtocolHandlerSettings;

 private:
  void WriteVelaXML(const std::string& AWorkFile, const std::string& ASource);
  void RunExportWriter(const std::string& AWorkFile, const std::string& AOutFileName);
  void Deliver(const std::string& AWorkFile, const std::string& AOutFileName);
  [[noreturn]] void FailPreProcessor(const std::string& AMessage, bool AUserMessage);

  IPtr<IMainInterface> FMainInterface;
  IPtr<IVelaXMLPartHandlerContainer> FVelaXMLImportContainer;
  IPtr<IVelaXMLPreProcessorInstance> FVelaXMLPreProcessorInstance;
  IPtr<IXMLPreProcessor> FXMLPreProcessor;
  TXMLPreProcessorFunctionSet FFunctions;
  bool FListedAsJob = false;
};

// The in-memory VelaXML writer of Do_CreateXMLExport.
class TVelaXMLExport : public TInterfacedObject, public IVelaXMLExport {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLExport)

 public:
  explicit TVelaXMLExport(IMainInterface* AMainInterface);
  IPtr<IVelaXMLWriter> Get_VelaXMLWriter() override { return FVelaXMLWriter; }
  std::string Get_Content() override { return FContentStream->DataString(); }

 private:
  std::unique_ptr<TStringStream> FContentStream;
  IPtr<IVelaXMLWriter> FVelaXMLWriter;
};

// The installation's identity as the source of exported documents: the global setting
// "DBInstanceSource" of section "VelaXML", made and stored at the first call.
std::string VelaXMLDBInstanceSource(IMainInterface* AMainInterface);

// Replaces "%NAME%" macros of an output file name by the host's values; macros the host does not
// know are removed.
std::string ExpandFileNameMacros(IMainInterface* AMainInterface, const std::string& AFileName);

}  // namespace vela
