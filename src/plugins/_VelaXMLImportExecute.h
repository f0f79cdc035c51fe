// Running one VelaXML import: the document (a file, a file fetched over HTTP or FTP, or bytes in
// memory) goes through an optional pre-processor, is parsed as a stream of SAX events, and every
// data part, record and nested child record is handed to the part handler that the import
// container has for the part's element name. Also the redirection of a document into the user
// pick-up store and the post-processing actions that a document requests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/InterfacedData.h"
#include "host/MainInterface.h"
#include "host/velaxml/VelaXMLPartHandlerIntf.h"
#include "host/velaxml/XMLDataStore.h"
#include "platform/sax/SAXReader.h"
#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/Classes.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"

namespace vela {

// A document that its destination element sends elsewhere (into the user pick-up store).
class EVelaXMLImportHandlerRedirection : public EVelaXMLImportError {
 public:
  EVelaXMLImportHandlerRedirection(std::string AHandler, std::string AKeywords,
                                   std::string ADataPartType,
                                   std::vector<std::pair<std::string, std::string>> AAtts)
      : EVelaXMLImportError({}, false),
        FHandler(std::move(AHandler)),
        FKeywords(std::move(AKeywords)),
        FDataPartType(std::move(ADataPartType)),
        FAtts(std::move(AAtts)) {}
  const char* ClassName() const noexcept override { return "EVelaXMLImportHandlerRedirection"; }

  std::string FHandler;
  std::string FKeywords;
  std::string FDataPartType;
  std::vector<std::pair<std::string, std::string>> FAtts;  // the destination element's attributes
};

// A fatal XML error in the document.
class EVelaXMLParserError : public EVelaXMLImportError {
 public:
  using EVelaXMLImportError::EVelaXMLImportError;
  const char* ClassName() const noexcept override { return "EVelaXMLParserError"; }
};

// Raised on purpose by a part element carrying DebugVelaXMLImportException="1".
class EVelaXMLImportErrorTest : public EVelaXMLImportError {
 public:
  using EVelaXMLImportError::EVelaXMLImportError;
  const char* ClassName() const noexcept override { return "EVelaXMLImportErrorTest"; }
};

// A post-processing action requested by a "velaxmlpostprocess" element.
class TVelaXMLPostProcessAction {
 public:
  std::string FCommand;  // a global function to call
  TStringList FParameters;
  std::string FRunType;  // '' always, "success", "error"
  TVelaXMLDataEncoding FEncoding = xdeNone;
  std::string FImportFileName;
  std::string FSystemScriptMethode;
  std::string FSystemScriptContext;
  bool FIgnoreError = false;

  // Decodes the element's text and appends it to the parameter lines.
  void AppendToParam(std::string_view AText);

 private:
  std::string FPendingText;  // encoded text arrives in pieces; decoded when the element ends
  friend class TXMLImportExecuteObj;
};

// Nested child records of one record: a tree of stores, each with its element name.
class TChildDataStores {
 public:
  std::string FTagName;
  TXMLDataStore FStore;

  TChildDataStores& AddChild();
  TChildDataStores* LastChild();
  void RemoveLastChild();
  TChildDataStores& GetItem(int AIndex) { return *FChildren.at(static_cast<size_t>(AIndex)); }
  int Count() const noexcept { return static_cast<int>(FChildren.size()); }
  void Clear() noexcept { FChildren.clear(); }

 private:
  std::vector<std::unique_ptr<TChildDataStores>> FChildren;
};

// The child records of the current record and the stack of those still open.
class TRootChildDataStore {
 public:
  TChildDataStores FRoot;
  bool FLastWasCharacterTag = false;

  void StartTag(std::string_view AName, const TSAXAttributes& AAtts);
  void EndTag();
  TChildDataStores* Current() { return FStack.empty() ? nullptr : FStack.back(); }
  void Clear() noexcept {
    FStack.clear();
    FRoot.Clear();
  }

 private:
  std::vector<TChildDataStores*> FStack;
};

// What a plug-in's objects tell the host about where they come from.
struct IVelaPluginContext : virtual IInterface {
  VELA_IID("{E36481CB-EBEC-4867-B834-77388DED2DA1}");
  virtual std::string Get_Text() = 0;
  virtual IPtr<IMainInterface> Get_MainInterface() = 0;
  virtual std::string Get_PluginGUID() = 0;
};

// The import of one document. Configure the public fields, then Execute once.
class TXMLImportExecuteObj : public TInterfacedObject,
                             public IXMLImportProcessor,
                             public IVelaPluginContext {
  VELA_INTERFACES(TInterfacedObject, IXMLImportProcessor, IVelaPluginContext)

 public:
  TXMLImportExecuteObj();
  ~TXMLImportExecuteObj() override;

  // Runs the document; failure raises. With a parser the document comes from its events.
  void Execute(IMainInterface* AMainInterface, IVelaXMLImportParser* AVelaXMLParser);

  // --- IXMLImportProcessor ---
  IPtr<IStringListData> Get_Publisher() override;
  IPtr<IStringListData> Get_Receiver() override;
  std::string Get_Application() override { return FApplication; }
  int32_t Get_Version() override { return FVersion; }
  std::string Get_Session() override { return FSession; }
  std::string Get_FileName() override { return FFileName; }
  IPtr<INamedVariantListData> Get_Options() override { return FOptions; }

  // --- IVelaPluginContext ---
  std::string Get_Text() override { return {}; }
  IPtr<IMainInterface> Get_MainInterface() override { return FMainInterface; }
  std::string Get_PluginGUID() override;

  // Configuration (set by the callers before Execute).
  std::string FFileName;
  std::string FPreProcessorParam;
  std::string FPreProcessorDLL;
  TXMLPreProcessorFmt FPreProcessorParamFmt = xmpFile;
  IPtr<IXMLPreProcessor> FPreProcessorIntf;
  IPtr<IMainInterface> FMainInterface;
  IPtr<INamedVariantListData> FOptions;
  IPtr<INamedVariantListData> FImportLogAttr;
  std::string FOrigFileName;
  bool FImportLogEnabled = true;
  std::string FBinData;
  // Values that replace or extend the attributes of every data part element.
  void AddPartVarOverride(const std::string& AName, const std::string& AValue);
  // Every entry of the list (nil: none).
  void AddPartVarOverrides(const INamedVariantListData* AOverrides);

 private:
  class TContentHandler;
  friend class TContentHandler;

  // SAX events.
  void StartElement(std::string_view AName, const TSAXAttributes& AAtts);
  void EndElement(std::string_view AName);
  void Characters(std::string_view AText);

  void FetchRemote();
  std::unique_ptr<TStream> GetInputStream();
  bool RunPreProcessor(IXMLPreProcessor& APreProcessor, TStream& AOutput,
                       std::string& AErrorMessage, bool& AUserMessage);
  void BeginPart(std::string_view AName, const TSAXAttributes& AAtts);
  void ImportChildren(TChildDataStores& AParent, TXMLDataStore& AParentStore,
                      const std::string& AParentName);
  void FailItem();
  void CloseHandlerAfterFailure() noexcept;
  void StoreForUserPickup(const EVelaXMLImportHandlerRedirection& ARedirection, TStream& ASource);
  void RunPostProcessActions(bool AFailed);
  // The run's entry in the business integration import log (nothing when the log is off or
  // the module does not run).
  void StartImportLog();
  void FinishImportLog(TBIContainerProcessedState AState, const std::string& AMessage) noexcept;

  IPtr<IVelaXMLPartHandlerContainer> FVelaXMLImportContainer;
  IPtr<IXMLImportPartHandler> FCurrentHandler;
  std::vector<std::string> FPublisher;
  std::vector<std::string> FReceiver;
  std::string FApplication;
  int32_t FVersion = 0;
  std::string FSession;
  int32_t FProgHandle = -1;
  int32_t FWorkMax = 0;
  int FCurrentLevel = 0;
  TXMLDataStore FCurrentDataStore;
  TRootChildDataStore FChildDataStores;
  std::vector<std::unique_ptr<TVelaXMLPostProcessAction>> FPostProcessActions;
  bool FPostProcessReading = false;
  int64_t FBIImportLogDataDBID = -1;
  std::unique_ptr<TXMLDataStore> FPartVarOverrides;
  TXMLDataStore FPartAttrs;  // the attributes handed to BeginPart
  int FSkipDepth = 0;        // > 0 inside a part without handler (ignored with its content)
  bool FListedAsJob = false;
  bool FRootSeen = false;
};

// The configurable import object that Do_CreateXMLImport returns.
class TVelaXMLImport : public TInterfacedObject, public IVelaXMLImport {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLImport)

 public:
  TVelaXMLImport(IMainInterface* AMainInterface, IPtr<IVelaXMLImportParser> AVelaXMLParser);

  IPtr<IVelaXMLImportParser> Get_VelaXMLParser() override { return FVelaXMLParser; }
  TXMLPreProcessorFmt Get_PreProcessorParamFmt() override;
  std::string Get_PreProcessorDLL() override;
  std::string Get_PreProcessorParam() override;
  IPtr<IXMLPreProcessor> Get_PreProcessorIntf() override;
  void Set_VelaXMLParser(const IPtr<IVelaXMLImportParser>& AValue) override;
  void Set_PreProcessorParamFmt(TXMLPreProcessorFmt AValue) override;
  void Set_PreProcessorDLL(const std::string& AValue) override;
  void Set_PreProcessorParam(const std::string& AValue) override;
  void Set_PreProcessorIntf(const IPtr<IXMLPreProcessor>& AValue) override;
  bool Do_Execute() override;
  bool Get_ImportLogEnabled() override;
  void Set_ImportLogEnabled(bool AValue) override;

 private:
  IPtr<IMainInterface> FMainInterface;
  IPtr<IVelaXMLImportParser> FVelaXMLParser;
  IPtr<TXMLImportExecuteObj> FXMLImportExecuteObj;
};

// Makes the import container of a run (nil: none available).
using TVelaXMLImportContainerFactory =
    std::function<IPtr<IVelaXMLPartHandlerContainer>(IMainInterface* AMainInterface)>;
// Replaces how runs get their import container (the host sets the table part handlers of its
// database; tests may set their own).
void SetVelaXMLImportContainerFactory(TVelaXMLImportContainerFactory AFactory);
// The import container for a run: the factory's, else the table part handlers of the host
// database. Raises EVelaXMLImportError when there is none.
IPtr<IVelaXMLPartHandlerContainer> CreateVelaXMLImportContainer(IMainInterface* AMainInterface);

// Imports a file or every file a wildcard matches (see RunXMLImport of the main data module).
// Errors of single files are collected into one EVelaXMLImportError naming each file.
void RunXMLImport(IMainInterface* AMainInterface, const std::string& AFileName,
                  const std::string& APreProcessorDLL, const std::string& APreProcessorParam,
                  TXMLPreProcessorFmt APreProcessorParamFmt,
                  const IPtr<INamedVariantListData>& AImportLogAttr, bool AImportLogEnabled,
                  const IPtr<INamedVariantListData>& ABeginPartAttrOverides);

}  // namespace vela
