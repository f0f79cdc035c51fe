#include "plugins/_VelaXMLImportExecute.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "host/GlobalFunctions.h"
#include "host/db/ClientSQL.h"
#include "host/db/VelaDatabase.h"
#include "host/HostServices.h"
#include "host/velaxml/XMLDataEncoding.h"
#include "module/_VelaXMLPreProcessorFactory.h"
#include "plugins/_dmPluginDataImportMain.h"
#include "rtl/FileUtils.h"
#include "rtl/Format.h"
#include "rtl/Guid.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "rtl/Threading.h"

namespace vela {

namespace {

constexpr size_t kDirectReadBuffer = 32768;
constexpr const char* kUserPickupTable = "dataimport_userpickupstore";
constexpr std::string_view kImportFileNameMacro = "$IMPORTFILENAME$";

std::mutex ContainerFactoryLock;
TVelaXMLImportContainerFactory ContainerFactory;

// The attributes that make an element a field, found in one pass over its attributes.
struct TFieldAttributes {
  std::string_view Encoding, BinaryMode, CodePage;
  bool HasEncoding = false, HasBinaryMode = false;
  bool IsField() const { return HasEncoding || HasBinaryMode; }
};

TFieldAttributes FieldAttributesOf(const TSAXAttributes& AAtts) {
  TFieldAttributes field;
  bool hasCodePage = false;
  const size_t count = AAtts.Count();
  for (size_t i = 0; i < count; ++i) {
    const std::string_view name = AAtts.Name(i);
    if (name.size() < 15 || name[0] != 'v') continue;  // none of the three names
    if (name == "velaxmldataencoding" && !field.HasEncoding) {
      field.Encoding = AAtts.Value(i);
      field.HasEncoding = true;
    } else if (name == "velaxmldatabinarymode" && !field.HasBinaryMode) {
      field.BinaryMode = AAtts.Value(i);
      field.HasBinaryMode = true;
    } else if (name == "velaxmlcodepage" && !hasCodePage) {
      field.CodePage = AAtts.Value(i);
      hasCodePage = true;
    }
  }
  return field;
}

// A code page attribute: 16 bits, 0 when it is not a number.
uint16_t CodePageOf(std::string_view AText) {
  int64_t value = 0;
  if (AText.empty() || !TryStrToInt64(Trim(AText), value)) return 0;
  return static_cast<uint16_t>(value);
}

void AddAttributes(TXMLDataStore& AStore, const TSAXAttributes& AAtts) {
  const size_t count = AAtts.Count();
  for (size_t i = 0; i < count; ++i)
    AStore.Add(AAtts.Name(i), AAtts.Value(i));
}

std::string ReplaceImportFileName(const std::string& ALine, const std::string& AFileName) {
  return StringReplace(ALine, kImportFileNameMacro, AFileName, rfReplaceAll);
}

}  // namespace

// --- post-processing actions ---

void TVelaXMLPostProcessAction::AppendToParam(std::string_view AText) {
  FPendingText.append(AText);
}

// --- child records ---

TChildDataStores& TChildDataStores::AddChild() {
  FChildren.push_back(std::make_unique<TChildDataStores>());
  return *FChildren.back();
}

TChildDataStores* TChildDataStores::LastChild() {
  return FChildren.empty() ? nullptr : FChildren.back().get();
}

void TChildDataStores::RemoveLastChild() {
  if (!FChildren.empty()) FChildren.pop_back();
}

void TRootChildDataStore::StartTag(std::string_view AName, const TSAXAttributes& AAtts) {
  TChildDataStores& child = FStack.empty() ? FRoot.AddChild() : FStack.back()->AddChild();
  FStack.push_back(&child);
  child.FTagName.assign(AName);
  AddAttributes(child.FStore, AAtts);
}

void TRootChildDataStore::EndTag() {
  if (!FStack.empty()) FStack.pop_back();
}

// --- the import container ---

void SetVelaXMLImportContainerFactory(TVelaXMLImportContainerFactory AFactory) {
  std::lock_guard lock(ContainerFactoryLock);
  ContainerFactory = std::move(AFactory);
}

IPtr<IVelaXMLPartHandlerContainer> CreateVelaXMLImportContainer(IMainInterface* AMainInterface) {
  TVelaXMLImportContainerFactory factory;
  {
    std::lock_guard lock(ContainerFactoryLock);
    factory = ContainerFactory;
  }
  IPtr<IVelaXMLPartHandlerContainer> container;
  if (factory) {
    container = factory(AMainInterface);
  } else if (IPtr<IVelaXMLImportContainerService> service =
                 Supports<IVelaXMLImportContainerService>(AMainInterface)) {
    container = service->CreateVelaXMLImportContainer();
  }
  if (!container) throw EVelaXMLImportError("The host offers no VelaXML part handlers", true);
  return container;
}

// --- the execution object ---

class TXMLImportExecuteObj::TContentHandler : public TSAXContentHandler {
 public:
  explicit TContentHandler(TXMLImportExecuteObj& AOwner) : FOwner(AOwner) {}
  void StartElement(std::string_view Name, const TSAXAttributes& Atts) override {
    FOwner.StartElement(Name, Atts);
  }
  void EndElement(std::string_view Name) override { FOwner.EndElement(Name); }
  void Characters(std::string_view Text) override { FOwner.Characters(Text); }

 private:
  TXMLImportExecuteObj& FOwner;
};

TXMLImportExecuteObj::TXMLImportExecuteObj() : FSession(GUIDToString(CreateGUID())) {
  if (IsMainThread() && dmPluginDataImportMain) {
    FListedAsJob = true;
    dmPluginDataImportMain->AddVelaXMLJob(this);
  }
}

TXMLImportExecuteObj::~TXMLImportExecuteObj() {
  if (FListedAsJob && dmPluginDataImportMain) dmPluginDataImportMain->RemoveVelaXMLJob(this);
}

IPtr<IStringListData> TXMLImportExecuteObj::Get_Publisher() {
  return NewStringListData(FPublisher);
}

IPtr<IStringListData> TXMLImportExecuteObj::Get_Receiver() {
  return NewStringListData(FReceiver);
}

std::string TXMLImportExecuteObj::Get_PluginGUID() {
  return dmPluginDataImportMain ? dmPluginDataImportMain->GetPluginGuid() : std::string();
}

void TXMLImportExecuteObj::AddPartVarOverride(const std::string& AName, const std::string& AValue) {
  if (!FPartVarOverrides) FPartVarOverrides = std::make_unique<TXMLDataStore>();
  FPartVarOverrides->Add(AName, AValue);
}

void TXMLImportExecuteObj::AddPartVarOverrides(const INamedVariantListData* AOverrides) {
  for (int i = 0; AOverrides && i < AOverrides->Get_Count(); ++i)
    AddPartVarOverride(AOverrides->Get_Name(i), VarToStr(AOverrides->Get_Value(i)));
}

void TXMLImportExecuteObj::Execute(IMainInterface* AMainInterface,
                                   IVelaXMLImportParser* AVelaXMLParser) {
  FCurrentHandler = nullptr;
  FBIImportLogDataDBID = -1;
  FCurrentLevel = 0;
  FSkipDepth = 0;
  FRootSeen = false;
  FPostProcessReading = false;
  FPostProcessActions.clear();
  FPublisher.clear();
  FReceiver.clear();
  if (AMainInterface) FMainInterface = IPtr<IMainInterface>(AMainInterface);

  FVelaXMLImportContainer = CreateVelaXMLImportContainer(FMainInterface.get());
  TContentHandler handler(*this);
  std::unique_ptr<TStream> input;
  std::exception_ptr failure;
  bool failed = false;
  try {
    if (AVelaXMLParser) {
      std::string message;
      if (!AVelaXMLParser->Do_Parse(&handler, message)) throw EVelaXMLImportError(message, true);
    } else {
      FetchRemote();
      StartImportLog();
      input = GetInputStream();
      TSAXReader reader(handler);
      // The parser runs ahead on a second core while the part handlers write the database.
      reader.ReadAhead = true;
      try {
        reader.Parse(*input, FOrigFileName.empty() ? FFileName : FOrigFileName);
      } catch (const ESAXParseError& E) {
        throw EVelaXMLParserError(E.Reason() + " at line " + std::to_string(E.Line()) + " column " +
                                      std::to_string(E.Column()),
                                  false);
      }
    }
    FinishImportLog(bicsSuccess, {});
  } catch (const EVelaXMLImportHandlerRedirection& E) {
    try {
      if (!input) throw EVelaXMLImportError("A redirected document needs a document source", true);
      StoreForUserPickup(E, *input);
    } catch (const std::exception& e) {
      FinishImportLog(bicsFailed, std::string(e.what()));
      failure = std::current_exception();
    } catch (...) {
      failure = std::current_exception();
    }
  } catch (const EAbort&) {
    // A cancel is no failure, but the open part must not stay open (its transaction).
    failure = std::current_exception();
    CloseHandlerAfterFailure();
  } catch (const std::exception& e) {
    failed = true;
    failure = std::current_exception();
    // The open part's transaction ends first: the log entry must not go down with it.
    CloseHandlerAfterFailure();
    FinishImportLog(bicsFailed, std::string(e.what()));
  } catch (...) {
    failed = true;
    failure = std::current_exception();
    CloseHandlerAfterFailure();
  }
  input.reset();
  FCurrentHandler = nullptr;

  // Post-processing runs whatever happened; its own failure replaces the import's.
  RunPostProcessActions(failed);
  FVelaXMLImportContainer = nullptr;
  if (failure) std::rethrow_exception(failure);
}

void TXMLImportExecuteObj::StartImportLog() {
  if (!FImportLogEnabled || !BusinessIntegration) return;
  std::string localFile;
  std::string tempFile;
  auto saveTemp = [&](const IBinaryData* AData, std::string_view ABytes) {
    tempFile = GetTempFileName({}, "vxl");
    TFileStream out(tempFile, fmCreate);
    if (AData)
      out.WriteBuffer(AData->Get_Data(), AData->Get_Size());
    else
      out.WriteString(ABytes);
    return tempFile;
  };
  struct TRemoveFile {
    const std::string& Name;
    ~TRemoveFile() {
      if (!Name.empty()) DeleteFile(Name);
    }
  } remove{tempFile};
  if (auto owner = Supports<IPreProcessorDataOwner>(FPreProcessorIntf)) {
    FOrigFileName = owner->Get_RawDataDisplayFileName();
    IPtr<IBinaryData> raw = owner->Get_RawData();
    localFile = saveTemp(raw.get(), {});
    if (!FImportLogAttr) {
      FImportLogAttr = NewNamedVariantListData();
      FImportLogAttr->SetValueByName("displayfilename", FOrigFileName);
    }
  } else if (!FFileName.empty()) {
    localFile = FFileName;
  } else {
    localFile = saveTemp(nullptr, FBinData);
  }
  FBIImportLogDataDBID = BusinessIntegration->Do_AddBIImportLogData(
      bicsNew, localFile, FOrigFileName, FImportLogAttr, {});
}

void TXMLImportExecuteObj::FinishImportLog(TBIContainerProcessedState AState,
                                           const std::string& AMessage) noexcept {
  if (FBIImportLogDataDBID <= 0 || !BusinessIntegration) return;
  try {
    BusinessIntegration->Do_UpdateBIImportLogData(FBIImportLogDataDBID, AState, {}, nullptr,
                                                  AMessage);
  } catch (...) {
    // The log must not turn an import's result around; the import's own outcome stands.
  }
}

void TXMLImportExecuteObj::CloseHandlerAfterFailure() noexcept {
  if (!FCurrentHandler) return;
  IPtr<IXMLImportPartHandler> handler = std::move(FCurrentHandler);
  FCurrentHandler = nullptr;
  try {
    if (IPtr<IXMLImportPartHandlerAbort> abort = Supports<IXMLImportPartHandlerAbort>(handler))
      abort->AbortPart();
    handler->EndPart();
  } catch (...) {
    // The document has failed already; that error is the one reported.
  }
}

void TXMLImportExecuteObj::FetchRemote() {
  if (FFileName.empty() || !dmPluginDataImportMain) return;
  if (!dmPluginDataImportMain->IsTransferLocation(FFileName)) return;
  if (FOrigFileName.empty()) FOrigFileName = FFileName;
  FBinData = dmPluginDataImportMain->DownloadToString(FFileName, /*AShowProgress=*/true);
  FFileName.clear();
}

bool TXMLImportExecuteObj::RunPreProcessor(IXMLPreProcessor& APreProcessor, TStream& AOutput,
                                           std::string& AErrorMessage, bool& AUserMessage) {
  // The pre-processor reads a text holding the file name, or the document's bytes.
  const TXMLPreProcessorFmt inFmt = FFileName.empty() ? xmpRAW : xmpFile;
  IPtr<IDataStream> in = NewDataStream(
      new TStringStream(FFileName.empty() ? std::move(FBinData) : FFileName), /*owns=*/true);
  FBinData.clear();
  IPtr<IDataStream> out = NewDataStream(&AOutput, /*owns=*/false);
  IXMLPreProcessorHost* host = dmPluginDataImportMain ? dmPluginDataImportMain : nullptr;
  return APreProcessor.Do_PreConvert(
      in.get(), out.get(), FPreProcessorParam, inFmt, FPreProcessorParamFmt, FMainInterface.get(),
      host, pemImportTransformXML, nullptr, false, FOptions.get(), AErrorMessage, AUserMessage);
}

std::unique_ptr<TStream> TXMLImportExecuteObj::GetInputStream() {
  auto failWith = [](const std::string& AMessage, bool AUserMessage) {
    if (AMessage.empty()) throw EAbort();
    throw EVelaXMLImportError(AMessage, AUserMessage);
  };
  if (FPreProcessorIntf || !FPreProcessorDLL.empty()) {
    auto output = std::make_unique<TSwapStream>();
    std::string message;
    bool userMessage = false;
    bool ok = false;
    if (FPreProcessorIntf) {
      ok = RunPreProcessor(*FPreProcessorIntf, *output, message, userMessage);
    } else {
      IPtr<IVelaXMLPreProcessorInstance> instance;
      if (!PreProcessorFactory().GetInstance(FPreProcessorDLL, instance) || !instance)
        throw EVelaXMLImportError("PreProcessor '" + FPreProcessorDLL + "' not found!", true);
      try {
        IPtr<IXMLPreProcessor> preProcessor = instance->Do_CreatePreProc();
        if (!preProcessor)
          throw EVelaXMLImportError("PreProcessor '" + FPreProcessorDLL + "' not found!", true);
        ok = RunPreProcessor(*preProcessor, *output, message, userMessage);
      } catch (const std::exception& E) {
        ok = false;
        message = E.what();
      }
    }
    if (!ok) failWith(message, userMessage);
    output->Seek(0, soBeginning);
    return output;
  }
  if (!FFileName.empty())
    return std::make_unique<TBufferedFileStream>(FFileName, fmOpenRead | fmShareDenyWrite,
                                                 kDirectReadBuffer);
  auto memory = std::make_unique<TStringStream>(std::move(FBinData));
  FBinData.clear();
  return memory;
}

void TXMLImportExecuteObj::StartElement(std::string_view AName, const TSAXAttributes& AAtts) {
  if (!FRootSeen) {
    // Any other XML would import nothing without a word.
    FRootSeen = true;
    if (AName != "velaxmldata")
      throw EVelaXMLImportError("The document is no VelaXML document: its root element is '" +
                                    std::string(AName) + "', not 'velaxmldata'",
                                true);
  }
  if (FSkipDepth > 0) {
    ++FSkipDepth;
    return;
  }
  if (FCurrentHandler) {
    ++FCurrentLevel;
    if (FCurrentLevel == 1) {
      FChildDataStores.Clear();
      FChildDataStores.FLastWasCharacterTag = false;
      FCurrentDataStore.Clear();
      AddAttributes(FCurrentDataStore, AAtts);
    } else if (const TFieldAttributes field = FieldAttributesOf(AAtts); !field.IsField()) {
      FChildDataStores.StartTag(AName, AAtts);
    } else {
      FChildDataStores.FLastWasCharacterTag = true;
      TChildDataStores* child = FChildDataStores.Current();
      TXMLDataStore& store = child ? child->FStore : FCurrentDataStore;
      store.Add(AName, {}, StrToXMLDataEncoding(field.Encoding),
                StrToXMLBinaryHandlingMode(field.BinaryMode), CodePageOf(field.CodePage));
    }
    return;
  }

  if (AName == "velaxmldata") {
    FApplication.assign(AAtts.Get("application"));
    int64_t version = 0;
    if (TryStrToInt64(Trim(AAtts.Get("version")), version))
      FVersion = static_cast<int32_t>(version);
  } else if (AName == "publisher" || AName == "receiver") {
    auto& values = AName == "publisher" ? FPublisher : FReceiver;
    for (size_t i = 0; i < AAtts.Count(); ++i)
      values.emplace_back(AAtts.Value(i));
  } else if (AName == "velaxmldestination") {
    const std::string handler(AAtts.Get("handler"));
    if (handler.empty()) return;
    std::vector<std::pair<std::string, std::string>> atts;
    for (size_t i = 0; i < AAtts.Count(); ++i)
      atts.emplace_back(AAtts.Name(i), AAtts.Value(i));
    throw EVelaXMLImportHandlerRedirection(handler, std::string(AAtts.Get("keywords")),
                                           std::string(AAtts.Get("pickuptype")), std::move(atts));
  } else if (AName == "velaxmlpostprocess") {
    auto action = std::make_unique<TVelaXMLPostProcessAction>();
    action->FImportFileName = FFileName;
    action->FCommand.assign(AAtts.Get("command"));
    action->FSystemScriptMethode.assign(AAtts.Get("systemscriptmethode"));
    action->FSystemScriptContext.assign(AAtts.Get("systemscriptcontext"));
    action->FRunType.assign(AAtts.Get("runtype"));
    action->FIgnoreError = AAtts.Get("ignoreerror") == "1";
    action->FEncoding = StrToXMLDataEncoding(AAtts.Get("velaxmldataencoding"));
    FPostProcessActions.push_back(std::move(action));
    FPostProcessReading = true;
  } else if (FPostProcessReading) {
    // Markup inside a post-processing element is not a part.
    FSkipDepth = 1;
  } else {
    BeginPart(AName, AAtts);
  }
}

void TXMLImportExecuteObj::BeginPart(std::string_view AName, const TSAXAttributes& AAtts) {
  FCurrentLevel = 0;
  FChildDataStores.Clear();
  FCurrentDataStore.Clear();
  FCurrentHandler = FVelaXMLImportContainer->GetPartByIndent(std::string(AName));
  if (!FCurrentHandler) {
    // No handler: the part is skipped with everything inside it.
    FSkipDepth = 1;
    return;
  }
  FPartAttrs.Clear();
  AddAttributes(FPartAttrs, AAtts);
  if (FPartVarOverrides) {
    for (int i = 0; i < FPartVarOverrides->Count(); ++i) {
      const TXMLDataStoreItem& over = FPartVarOverrides->GetItem(i);
      TXMLDataStoreItem* item = FPartAttrs.FindByName(over.Name());
      if (!item) item = &FPartAttrs.Add(over.Name());
      item->SetValue(over.Value());
      item->SetDataEncoding(over.DataEncoding());
      item->SetBinaryHandlingMode(over.BinaryHandlingMode());
      item->SetCodePage(over.CodePage());
    }
  }
  if (!FCurrentHandler->BeginPart(FPartAttrs, this)) {
    const std::string text = FCurrentHandler->GetLastErrorText();
    if (text.empty()) throw EAbort();
    throw EVelaXMLImportError(text, true);
  }
  if (AAtts.Get("DebugVelaXMLImportException") == "1")
    throw EVelaXMLImportErrorTest("VelaXML Import Error Test Exception for debug purpose.", true);
}

void TXMLImportExecuteObj::FailItem() {
  const std::string text = FCurrentHandler->GetLastErrorText();
  CloseHandlerAfterFailure();
  throw EVelaXMLImportError(text, true);
}

void TXMLImportExecuteObj::ImportChildren(TChildDataStores& AParent, TXMLDataStore& AParentStore,
                                          const std::string& AParentName) {
  for (int i = 0; i < AParent.Count(); ++i) {
    TChildDataStores& child = AParent.GetItem(i);
    child.FStore.SetParentStore(&AParentStore);
    child.FStore.SetParentName(AParentName);
    if (!FCurrentHandler->ImportItem(child.FTagName, child.FStore)) FailItem();
    ImportChildren(child, child.FStore, child.FTagName);
  }
}

void TXMLImportExecuteObj::EndElement(std::string_view AName) {
  if (FSkipDepth > 0) {
    --FSkipDepth;
    return;
  }
  if (FCurrentHandler) {
    if (FCurrentLevel == 1) {
      const std::string name(AName);
      if (!FCurrentHandler->ImportItem(name, FCurrentDataStore)) FailItem();
      ImportChildren(FChildDataStores.FRoot, FCurrentDataStore, name);
      FChildDataStores.Clear();
      FCurrentHandler->EndItem(name);
    } else if (FCurrentLevel == 0) {
      const std::string name(AName);
      if (SameText(FCurrentHandler->GetIdent(), name)) {
        IPtr<IXMLImportPartHandler> handler = std::move(FCurrentHandler);
        FCurrentHandler = nullptr;
        handler->EndPart();
      } else {
        FCurrentHandler->EndPartTag(name);
      }
    } else if (FChildDataStores.FLastWasCharacterTag) {
      FChildDataStores.FLastWasCharacterTag = false;
    } else {
      FChildDataStores.EndTag();
    }
    --FCurrentLevel;
    return;
  }
  if (AName == "velaxmlpostprocess" && FPostProcessReading) {
    FPostProcessReading = false;
    TVelaXMLPostProcessAction& action = *FPostProcessActions.back();
    std::string text;
    try {
      text = DecodeXMLFieldValue(action.FPendingText, action.FEncoding);
    } catch (const std::exception& E) {
      // Text that is not in the element's encoding is a fault of the document.
      throw EVelaXMLImportError(
          "Invalid parameters of a velaxmlpostprocess element: " + std::string(E.what()), true);
    }
    action.FPendingText.clear();
    action.FParameters.SetText(action.FParameters.Text() + text);
  }
}

void TXMLImportExecuteObj::Characters(std::string_view AText) {
  if (FSkipDepth > 0) return;
  if (FCurrentHandler) {
    if (FCurrentLevel < 2 || !FChildDataStores.FLastWasCharacterTag) return;
    TChildDataStores* child = FChildDataStores.Current();
    TXMLDataStore& store = child ? child->FStore : FCurrentDataStore;
    if (TXMLDataStoreItem* item = store.Last()) item->AppendDate(AText);
    return;
  }
  if (FPostProcessReading && !FPostProcessActions.empty())
    FPostProcessActions.back()->AppendToParam(AText);
}

void TXMLImportExecuteObj::StoreForUserPickup(const EVelaXMLImportHandlerRedirection& ARedirection,
                                              TStream& ASource) {
  if (!SameText(ARedirection.FHandler, "userpickup"))
    throw EVelaXMLImportError("Unknown Import-Redirect-Handler: '" + ARedirection.FHandler + "'!",
                              true);
  std::string text;
  ASource.Seek(0, soBeginning);
  {
    char buffer[65536];
    size_t n;
    while ((n = ASource.Read(buffer, sizeof buffer)) > 0)
      text.append(buffer, n);
  }
  // Cut the destination element out, so that the stored document imports normally later.
  const size_t start = text.find("<velaxmldestination");
  if (start != std::string::npos) {
    static constexpr std::string_view kClose = "</velaxmldestination>";
    size_t end = text.find(kClose, start);
    if (end != std::string::npos) {
      end += kClose.size();
    } else {
      end = text.find("/>", start);
      end = end == std::string::npos ? text.size() : end + 2;
    }
    text.erase(start, end - start);
  }

  IPtr<IVelaHostDatabase> hostDb = Supports<IVelaHostDatabase>(FMainInterface.get());
  TVelaDatabase* db = hostDb ? hostDb->Get_Database() : nullptr;
  if (!db) throw EVelaXMLImportError("The user pick-up store needs the host database", true);
  TClientSQL sql(*db);
  sql.SetSchemaName(kUserPickupTable);
  sql.SetMode(csmInsert);
  sql.SetFieldValue("searchkeywords", Variant(ARedirection.FKeywords));
  sql.SetFieldValue("storetype", Variant(ARedirection.FDataPartType));
  sql.SetFieldValue("rawdata", Variant::FromBytes(text));
  sql.SetFieldValue("processedstate", Variant(int32_t{0}));
  IPtr<IDBFieldSchemaItem> schema = db->GetSchemaByName(kUserPickupTable);
  for (const auto& [name, value] : ARedirection.FAtts) {
    if (!schema || schema->IndexOfField(name) < 0) continue;
    TClientSQLField* field = sql.FindField(name);
    if (field && field->Active) continue;
    sql.SetFieldValue(name, Variant(value));
  }
  sql.Execute();
}

void TXMLImportExecuteObj::RunPostProcessActions(bool AFailed) {
  for (const auto& actionPtr : FPostProcessActions) {
    const TVelaXMLPostProcessAction& action = *actionPtr;
    const bool runs = action.FRunType.empty() || (action.FRunType == "error" && AFailed) ||
                      (action.FRunType == "success" && !AFailed);
    if (!runs) continue;
    try {
      std::vector<std::string> lines;
      for (int i = 0; i < action.FParameters.Count(); ++i)
        lines.push_back(ReplaceImportFileName(action.FParameters[i], action.FImportFileName));
      if (!action.FSystemScriptMethode.empty()) {
        // The parameter lines are name=value pairs of the script's list.
        IPtr<INamedVariantListData> params = NewNamedVariantListData();
        for (const auto& line : lines) {
          const size_t eq = line.find('=');
          params->SetValueByName(
              eq == std::string::npos ? line : line.substr(0, eq),
              Variant(eq == std::string::npos ? std::string() : line.substr(eq + 1)));
        }
        IPtr<IVelaSystemScriptService> scripts =
            Supports<IVelaSystemScriptService>(FMainInterface.get());
        if (!scripts || !scripts->RunSystemScriptMethod(action.FSystemScriptContext,
                                                        action.FSystemScriptMethode, params))
          throw EVelaUserMessageException(
              Format("PostProcessAction failed, systemscript '%s' not found on context '%s'",
                     action.FSystemScriptMethode, action.FSystemScriptContext));
      }
      if (!action.FCommand.empty()) {
        std::vector<Variant> args;
        args.reserve(lines.size());
        for (auto& line : lines)
          args.emplace_back(std::move(line));
        IPtr<IVelaGlobalFunctionService> functions =
            Supports<IVelaGlobalFunctionService>(FMainInterface.get());
        if (!functions)
          throw EVelaXMLImportError("The host offers no global function '" + action.FCommand + "'",
                                    true);
        functions->Get_GlobalFunctions().Call(action.FCommand, args);
      }
    } catch (...) {
      if (!action.FIgnoreError) throw;
    }
  }
}

// --- files and wildcards ---

void RunXMLImport(IMainInterface* AMainInterface, const std::string& AFileName,
                  const std::string& APreProcessorDLL, const std::string& APreProcessorParam,
                  TXMLPreProcessorFmt APreProcessorParamFmt,
                  const IPtr<INamedVariantListData>& AImportLogAttr, bool AImportLogEnabled,
                  const IPtr<INamedVariantListData>& ABeginPartAttrOverides) {
  const std::string expanded =
      AMainInterface ? AMainInterface->ExpandPlaceholders(AFileName, nullptr) : AFileName;
  std::vector<std::string> files;
  if (expanded.find('*') != std::string::npos) {
    const std::string folder = ExtractFilePath(expanded);
    const std::string mask = ExtractFileName(expanded);
    for (const std::string& name : GetFileList(folder, mask))
      files.push_back(IncludeTrailingPathDelimiter(folder) + name);
  } else {
    files.push_back(expanded);
  }

  std::string errors;
  for (const std::string& file : files) {
    try {
      IPtr<TXMLImportExecuteObj> obj(new TXMLImportExecuteObj());
      if (AMainInterface) obj->FMainInterface = IPtr<IMainInterface>(AMainInterface);
      obj->FFileName = file;
      obj->FOrigFileName = file;
      obj->FPreProcessorParamFmt = APreProcessorParamFmt;
      obj->FPreProcessorDLL = APreProcessorDLL;
      obj->FImportLogAttr = AImportLogAttr;
      obj->FImportLogEnabled = AImportLogEnabled;
      obj->FPreProcessorParam =
          APreProcessorParamFmt == xmpFile && AMainInterface
              ? AMainInterface->ExpandPlaceholders(APreProcessorParam, nullptr)
              : APreProcessorParam;
      obj->AddPartVarOverrides(ABeginPartAttrOverides.get());
      obj->Execute(AMainInterface, nullptr);
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& E) {
      if (!errors.empty()) errors += "\r\n";
      errors += std::string(E.what()) + " on file '" + file + "'";
    }
  }
  if (!errors.empty()) throw EVelaXMLImportError(errors, true);
}

// --- the configurable import object ---

TVelaXMLImport::TVelaXMLImport(IMainInterface* AMainInterface,
                               IPtr<IVelaXMLImportParser> AVelaXMLParser)
    : FMainInterface(AMainInterface),
      FVelaXMLParser(std::move(AVelaXMLParser)),
      FXMLImportExecuteObj(new TXMLImportExecuteObj()) {
  FXMLImportExecuteObj->FMainInterface = FMainInterface;
}

TXMLPreProcessorFmt TVelaXMLImport::Get_PreProcessorParamFmt() {
  return FXMLImportExecuteObj->FPreProcessorParamFmt;
}
std::string TVelaXMLImport::Get_PreProcessorDLL() {
  return FXMLImportExecuteObj->FPreProcessorDLL;
}
std::string TVelaXMLImport::Get_PreProcessorParam() {
  return FXMLImportExecuteObj->FPreProcessorParam;
}
IPtr<IXMLPreProcessor> TVelaXMLImport::Get_PreProcessorIntf() {
  return FXMLImportExecuteObj->FPreProcessorIntf;
}
void TVelaXMLImport::Set_VelaXMLParser(const IPtr<IVelaXMLImportParser>& AValue) {
  FVelaXMLParser = AValue;
}
void TVelaXMLImport::Set_PreProcessorParamFmt(TXMLPreProcessorFmt AValue) {
  FXMLImportExecuteObj->FPreProcessorParamFmt = AValue;
}
void TVelaXMLImport::Set_PreProcessorDLL(const std::string& AValue) {
  FXMLImportExecuteObj->FPreProcessorDLL = AValue;
}
void TVelaXMLImport::Set_PreProcessorParam(const std::string& AValue) {
  FXMLImportExecuteObj->FPreProcessorParam = AValue;
}
void TVelaXMLImport::Set_PreProcessorIntf(const IPtr<IXMLPreProcessor>& AValue) {
  FXMLImportExecuteObj->FPreProcessorIntf = AValue;
}
bool TVelaXMLImport::Do_Execute() {
  FXMLImportExecuteObj->Execute(FMainInterface.get(), FVelaXMLParser.get());
  return true;
}
bool TVelaXMLImport::Get_ImportLogEnabled() {
  return FXMLImportExecuteObj->FImportLogEnabled;
}
void TVelaXMLImport::Set_ImportLogEnabled(bool AValue) {
  FXMLImportExecuteObj->FImportLogEnabled = AValue;
}

}  // namespace vela
