// The module's external function interface, IExtFuncDataImport: what the host's menus, wizards,
// scheduler and scripts and other plug-ins use to start imports and exports. The host obtains it
// from the loaded module through IClientPlugin::Do_GetExtFunc and Supports.
//
// The objects that the VelaXML and business integration slots hand out are declared here with
// their identities; their operations come with the execution objects that implement them.
#pragma once

#include <cstdint>
#include <string>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "host/InterfacedData.h"
#include "host/velaxml/VelaXMLWriter.h"
#include "platform/sax/SAXReader.h"
#include "plugins/_DataImportIntf.h"
#include "rtl/Interfaces.h"
#include "vela/XMLPreProcessorIntf.h"

namespace vela {

// Delivers a document's SAX content events; given to Do_CreateXMLImport by callers that produce
// VelaXML themselves.
struct IVelaXMLImportParser : virtual IInterface {
  VELA_IID("{6B1D2E7A-0C4F-4F8E-9A35-71E2B8C4D9A1}");
  // False with a message fails the import with that message.
  virtual bool Do_Parse(TSAXContentHandler* AContentHandler, std::string& AErrorMessage) = 0;
};
// A configurable VelaXML import (Do_CreateXMLImport).
struct IVelaXMLImport : virtual IInterface {
  VELA_IID("{2F6CE35B-A2A4-4DD1-BCBA-15A55008A608}");
  virtual IPtr<IVelaXMLImportParser> Get_VelaXMLParser() = 0;
  virtual TXMLPreProcessorFmt Get_PreProcessorParamFmt() = 0;
  virtual std::string Get_PreProcessorDLL() = 0;
  virtual std::string Get_PreProcessorParam() = 0;
  virtual IPtr<IXMLPreProcessor> Get_PreProcessorIntf() = 0;
  virtual void Set_VelaXMLParser(const IPtr<IVelaXMLImportParser>& AValue) = 0;
  virtual void Set_PreProcessorParamFmt(TXMLPreProcessorFmt AValue) = 0;
  virtual void Set_PreProcessorDLL(const std::string& AValue) = 0;
  virtual void Set_PreProcessorParam(const std::string& AValue) = 0;
  virtual void Set_PreProcessorIntf(const IPtr<IXMLPreProcessor>& AValue) = 0;
  // Runs the import; true, or an exception.
  virtual bool Do_Execute() = 0;
  virtual bool Get_ImportLogEnabled() = 0;
  virtual void Set_ImportLogEnabled(bool AValue) = 0;
};
// A VelaXML writer over an in-memory text (Do_CreateXMLExport).
struct IVelaXMLExport : virtual IInterface {
  VELA_IID("{FE9B93D7-48CE-4C0E-A5D6-A2BF416606C9}");
  virtual IPtr<IVelaXMLWriter> Get_VelaXMLWriter() = 0;
  // The document written so far.
  virtual std::string Get_Content() = 0;
};
// How far a business integration container (and an import log entry) got; stored as the ordinal.
enum TBIContainerProcessedState : int32_t { bicsNew = 0, bicsSuccess = 1, bicsFailed = 2 };

// The container store and import log of the business integration module.
struct IBusinessIntegation : virtual IInterface {
  VELA_IID("{00042F79-F211-4E07-93B1-08F07B28AA7B}");
  // Stores a posted container of the named type and requests an import run; false when the
  // type is unknown. With ACheckAllowUnAuth a type that does not allow unauthenticated posts
  // raises EOnlyAuthAccess. Database errors raise.
  virtual bool Do_AddBIImportContainerData(
      const std::string& AContainerName, const IPtr<IBinaryData>& AContainerData,
      const IPtr<IBinaryData>& AContainerMetaData, const std::string& AContentType,
      const std::string& AUserAgent, const std::string& ARemoteIP, const std::string& AIncommingURI,
      bool ACheckAllowUnAuth = false) = 0;
  // Adds an import log entry (the local data file attached to it); its id, -1 when nothing was
  // inserted.
  virtual int64_t Do_AddBIImportLogData(TBIContainerProcessedState AState,
                                        const std::string& ALocalDataFileName,
                                        const std::string& ADescr = {},
                                        const IPtr<INamedVariantListData>& AdvFieldValues = nullptr,
                                        const std::string& ALogMessage = {}) = 0;
  virtual void Do_UpdateBIImportLogData(int64_t AID, TBIContainerProcessedState AState,
                                        const std::string& ADescr,
                                        const IPtr<INamedVariantListData>& AdvFieldValues,
                                        const std::string& ALogMessage) = 0;
};

struct IExtFuncDataImport : virtual IInterface {
  VELA_IID("{51A36BAE-B82C-487C-831E-2695A3AC32A1}");
  // 1: an import object for the file; the engine registry picks the engine. nil without the
  // import right or when the object cannot be created (the error has been shown).
  virtual IPtr<IDataImport> Do_Import(const std::string& DInFile, const std::string& DestSchema,
                                      TImportMode AMode, bool UseDialog) = 0;
  // 2: the engine chosen by the file dialog filter index (1 is the first filter entry); 0 or
  // less falls back to the engine query.
  virtual IPtr<IDataImport> Do_ImportEx1(const std::string& DInFile, const std::string& DestSchema,
                                         TImportMode AMode, int32_t FilterStringIndex,
                                         bool UseDialog = true) = 0;
  // 3: the engine chosen by format identity; an empty identity falls back to the engine query.
  virtual IPtr<IDataImport> Do_ImportEx2(const std::string& DInFile, const std::string& DestSchema,
                                         TImportMode AMode, const std::string& FormatGUID,
                                         bool UseDialog = true) = 0;
  // 4: "Title (*.ext)|*.ext|..." over the formats shown in the file dialog.
  virtual std::string Get_DialogFilter() = 0;
  // 5: "\"{GUID}=Title\",..." over every registered format.
  virtual std::string Get_GUIDCommaText() = 0;
  // 6
  virtual bool Do_RunFilterTypeHandler(int32_t FilterIndex, std::string& NewFileName) = 0;
  // 7, 8: engines of other plug-ins join or leave the registry.
  virtual void Do_RegisterEngine(const IPtr<IDataImportEngine>& AEngine) = 0;
  virtual void Do_UnRegisterEngine(const IPtr<IDataImportEngine>& AEngine) = 0;
  // 9: the engine serving the format and the format's index within it; nil (index -1) when
  // the format is unknown.
  virtual IPtr<IDataImportEngine> Get_Engine(const std::string& FormatGUID,
                                             int32_t& FormatIndex) = 0;
  // 10: the format behind a file dialog filter index; false (and empty strings) when unknown.
  virtual bool Get_FormatByFilterIndex(int32_t FilterIndex, std::string& FormatGuid,
                                       std::string& Title, std::string& FileExt) = 0;
  // 11 to 17: VelaXML imports and exports and pre-converter configurations.
  virtual bool Do_RunXMLImport(
      const std::string& DInFile, std::string& ErrorMessage,
      const std::string& PreProcessorDLL = {}, const std::string& PreProcessorParam = {},
      TXMLPreProcessorFmt PreProcessorParamFmt = xmpFile, bool AThrowExceptions = false,
      const IPtr<INamedVariantListData>& AImportLogAttr = nullptr, bool AImportLogEnabled = true,
      const IPtr<INamedVariantListData>& ABeginPartAttrOverides = nullptr) = 0;
  virtual bool Do_RunXMLImportEx1(
      const IPtr<IBinaryData>& AData, std::string& ErrorMessage,
      const std::string& PreProcessorDLL = {}, const std::string& PreProcessorParam = {},
      TXMLPreProcessorFmt PreProcessorParamFmt = xmpFile, bool AThrowExceptions = false,
      const IPtr<INamedVariantListData>& AImportLogAttr = nullptr, bool AImportLogEnabled = true,
      const IPtr<INamedVariantListData>& ABeginPartAttrOverides = nullptr) = 0;
  virtual bool Do_RunXMLExport(const std::string& OutFile, const IPtr<IStringListData>& AParts,
                               std::string& ErrorMessage, const std::string& PreProcessorDLL = {},
                               const std::string& PreProcessorParam = {},
                               bool OnlyThisPlace = false,
                               const IPtr<INamedVariantListData>& AOptions = nullptr,
                               const std::string& ApplicationCaption = {},
                               TXMLPreProcessorFmt PreProcessorParamFmt = xmpFile,
                               const IPtr<IStringListData>& AProtocolHandlerSettings = nullptr,
                               bool AThrowExceptions = false) = 0;
  virtual IPtr<IVelaXMLExport> Do_CreateXMLExport() = 0;
  virtual bool Do_ExecuteVXCDialog(const std::string& AVXCIdentifier, const std::string& ACaption,
                                   TVXCAction AVelaXMLAction = vxcImport) = 0;
  virtual bool Do_ExecuteVXCDialogEx1(std::string& APreProcessorParam,
                                      TXMLPreProcessorFmt APreProcessorParamFmt,
                                      const std::string& ACaption,
                                      TVXCAction AVelaXMLAction = vxcImport,
                                      const IPtr<IXMLPreProcessor>& APreProcessorIntf = nullptr,
                                      bool AllowModifyPreProcessor = false) = 0;
  virtual bool Do_ExecuteVXC(const std::string& AVXCData, TXMLPreProcessorFmt ADataFmt,
                             TVXCAction AVXCAction, std::string& ErrorMessage,
                             const std::string& AInFile = {},
                             const IPtr<IStringListData>& AParts = nullptr,
                             const IPtr<INamedVariantListData>& AOptions = nullptr,
                             bool AThrowExceptions = false,
                             const IPtr<INamedVariantListData>& AImportLogAttr = nullptr,
                             bool AImportLogEnabled = true) = 0;
  // 18
  virtual bool Get_BusinessIntgrationAvailable() = 0;
  // 19 to 21: VelaXML import objects and the user pick-up store.
  virtual IPtr<IVelaXMLImport> Do_CreateXMLImport(
      const IPtr<IVelaXMLImportParser>& AVelaXMLParser = nullptr) = 0;
  virtual bool Do_ExecuteUserPickupImportDialog(const std::string& APickUpPartType,
                                                const std::string& ACaption,
                                                const IPtr<INamedVariantListData>& AOptions,
                                                bool AllowMultiSelect = true) = 0;
  virtual bool Do_ExecuteUserPickupImport(const IPtr<IIntegerListData>& APickupDBIDList,
                                          const IPtr<INamedVariantListData>& AOptions) = 0;
  // 22: published by the business integration module; nil until it has started.
  virtual IPtr<IBusinessIntegation> Get_BusinessIntegration() = 0;
};

// The business integration interface that the business integration module publishes for the
// main data module (nil while it is not running).
extern IPtr<IBusinessIntegation> BusinessIntegration;

}  // namespace vela
