#include "components/_CustomImportPreProcessor.h"

#include "host/velaxml/XMLDataStore.h"
#include "rtl/DateUtils.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

TCustomImportPreProcessorClass DefaultPreProcessorClass =
    &CreatePreProcessorOf<TCustomImportPreProcessor>;

TCustomImportPreProcessor::TCustomImportPreProcessor()
    : FFunctionMacroHandler(std::make_unique<TVelaXMLProcessorFunctionMacroHandler>()) {}

TCustomImportPreProcessor::~TCustomImportPreProcessor() = default;

// --- error mapping ---

void TCustomImportPreProcessor::ReportException(const std::string& AClassName,
                                                const std::string& AMessage, bool AUserMessage,
                                                std::string& ErrorMessage,
                                                bool* AUserMessageError) noexcept {
  try {
    ErrorMessage = AClassName + ": " + AMessage;
    if (AUserMessageError) *AUserMessageError = AUserMessage;
    LogErrorToFile("(" + AClassName + ") " + AMessage);
  } catch (...) {
    // Nothing may leave an interface method, not even a failing log write.
  }
}

void TCustomImportPreProcessor::HandleInterfaceException(std::string& ErrorMessage,
                                                         bool* AUserMessageError) noexcept {
  try {
    throw;
  } catch (const EAbort&) {
    // The user's cancel: false without a message.
  } catch (const Exception& e) {
    // Only these two kinds carry texts written for the user; a flagged VelaXML import error
    // does not count here.
    const bool userMessage = dynamic_cast<const EVelaUserMessageException*>(&e) ||
                             (dynamic_cast<const EFalderCustomException*>(&e) && e.IsUserMessage());
    ReportException(e.ClassName(), e.Message(), userMessage, ErrorMessage, AUserMessageError);
  } catch (const std::exception& e) {
    ReportException(ExceptionClassName(e), e.what(), false, ErrorMessage, AUserMessageError);
  } catch (...) {
    ErrorMessage = "Exception: unknown exception";
  }
}

// --- IXMLPreProcessor ---

bool TCustomImportPreProcessor::Do_PreConvert(
    IDataStream* AInData, IDataStream* AOutData, const std::string& Params,
    TXMLPreProcessorFmt AInFmt, TXMLPreProcessorFmt PreProcessorParamFmt,
    IMainInterface* AMainInterface, IXMLPreProcessorHost* AXMLPreProcessorHost,
    TXMLPreProcessorFunction AFunction, IVelaXMLPartHandlerContainer* AVelaXMLPartHandlerContainer,
    bool AOnlyThisPlace, INamedVariantListData* AOptions, std::string& ErrorMessage,
    bool& AUserMessageError) noexcept {
  ErrorMessage.clear();
  AUserMessageError = false;
  // The host services belong to this one call: cleared on every way out.
  struct TServices {
    TCustomImportPreProcessor& Self;
    ~TServices() {
      Self.FFunctionMacroHandler->SetMainInterface(nullptr);
      Self.FPreProcessorHost = nullptr;
      Self.FMainInterface = nullptr;
      Self.FPartHandlerContainer = nullptr;
    }
  };
  try {
    TServices services{*this};
    FPreProcessorHost = AXMLPreProcessorHost;
    FMainInterface = AMainInterface;
    FPartHandlerContainer = AVelaXMLPartHandlerContainer;
    FFunctionMacroHandler->SetMainInterface(AMainInterface);
    InternalPreConvert(AInData, AOutData, Params, AInFmt, PreProcessorParamFmt, AFunction,
                       AOnlyThisPlace, AOptions);
    return true;
  } catch (...) {
    HandleInterfaceException(ErrorMessage, &AUserMessageError);
    return false;
  }
}

IPtr<IStringListData> TCustomImportPreProcessor::Get_ValidFileExt() noexcept {
  try {
    std::vector<std::string> items(FValidFileExt.begin(), FValidFileExt.end());
    return NewStringListData(items);
  } catch (...) {
    return nullptr;
  }
}

std::string TCustomImportPreProcessor::Get_Caption() noexcept {
  if (!FCaption.empty()) return FCaption;
  const std::string_view name = ClassName();
  return std::string(name.empty() ? name : name.substr(1));
}

bool TCustomImportPreProcessor::Get_FieldList(
    const std::string& AParams, TXMLPreProcessorFmt AParamsFmt, IDataStream* AInData,
    TXMLPreProcessorFmt AInFmt, bool AIncludeSplittedFields, IPtr<IStringListData>& AFieldList,
    std::string& ErrorMessage, const std::string& ADetailConfigPartName) noexcept {
  ErrorMessage.clear();
  try {
    std::string prefix = ADetailConfigPartName;
    if (!prefix.empty()) prefix += "_";
    TStringList fields;
    const bool result = InternalGetFieldList(AParams, AParamsFmt, prefix, fields,
                                             AIncludeSplittedFields, AInFmt, AInData);
    AFieldList = NewStringListData(std::vector<std::string>(fields.begin(), fields.end()));
    return result;
  } catch (...) {
    HandleInterfaceException(ErrorMessage, nullptr);
    return false;
  }
}

bool TCustomImportPreProcessor::Do_ConfigureXMLWriter(IVelaXMLWriter* AVelaXMLWriter,
                                                      const std::string& PreProcessorParam,
                                                      TXMLPreProcessorFmt PreProcessorParamFmt,
                                                      std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  try {
    return ConfigureXMLWriter(AVelaXMLWriter, PreProcessorParam, PreProcessorParamFmt == xmpRAW);
  } catch (...) {
    HandleInterfaceException(ErrorMessage, nullptr);
    return false;
  }
}

TConverterConfigType TCustomImportPreProcessor::Get_ConverterConfigType() noexcept {
  try {
    return GetConverterConfigType();
  } catch (...) {
    return vxpUnknown;
  }
}

IPtr<IXMLPreProcessor> TCustomImportPreProcessor::Do_CreatePreProc() {
  return IPtr<IXMLPreProcessor>(this);
}

// --- hooks ---

void TCustomImportPreProcessor::InternalPreConvert(IDataStream*, IDataStream*, const std::string&,
                                                   TXMLPreProcessorFmt, TXMLPreProcessorFmt,
                                                   TXMLPreProcessorFunction, bool,
                                                   INamedVariantListData*) {}

IPtr<IInterface> TCustomImportPreProcessor::CreateXMLWriter(IDataStream*, INamedVariantListData*,
                                                            bool, TXMLPreProcessorFunction) {
  throw ENotImplemented(
      "TCustomImportPreProcessor.CreateXMLWriter: the VelaXML writer is not implemented yet");
}

bool TCustomImportPreProcessor::PreviewData(IXMLPreProcessorPreviewDataSource* APreviewDataSource,
                                            IPtr<IXMLPreProcessorImportInfo>& AImportInfo) {
  AImportInfo = nullptr;
  if (!FPreProcessorHost) return true;
  return FPreProcessorHost->Do_PreviewData(APreviewDataSource, AImportInfo);
}

bool TCustomImportPreProcessor::InternalGetFieldList(const std::string&, TXMLPreProcessorFmt,
                                                     const std::string&, TStringList&, bool,
                                                     TXMLPreProcessorFmt, IDataStream*) {
  return false;
}

std::unique_ptr<TMemIniFile> TCustomImportPreProcessor::LoadConfiguration(const std::string& AParam,
                                                                          bool AParamIsText) {
  if (AParamIsText) {
    auto ini = std::make_unique<TMemIniFile>();
    ini->SetText(AParam);
    return ini;
  }
  const std::string fileName = ExpandAppMacro(AParam);
  if (!FileExists(fileName)) throw Exception("Configuration file '" + fileName + "' not found!");
  return std::make_unique<TMemIniFile>(fileName);
}

bool TCustomImportPreProcessor::ConfigureXMLWriter(IVelaXMLWriter* AWriter,
                                                   const std::string& AParam, bool AParamIsText) {
  auto ini = LoadConfiguration(AParam, AParamIsText);
  (void)AWriter;
  throw ENotImplemented(
      "TCustomImportPreProcessor.ConfigureXMLWriter: the VelaXML writer is not implemented yet");
}

// --- properties ---

void TCustomImportPreProcessor::SetErrorLogFile(const std::string& AFileName) {
  FErrorLog.reset();
  FErrorLogFile = AFileName;
  if (AFileName.empty()) return;
  if (FileExists(AFileName)) {
    FErrorLog = std::make_unique<TFileStream>(AFileName, fmOpenReadWrite);
    FErrorLog->Seek(0, soEnd);
  } else {
    const std::string dir = ExtractFileDir(AFileName);
    if (!dir.empty()) ForceDirectories(dir);
    FErrorLog = std::make_unique<TFileStream>(AFileName, fmCreate);
  }
}

void TCustomImportPreProcessor::SetFunctionMacroHandler(
    std::unique_ptr<TVelaXMLProcessorFunctionMacroHandler> AHandler) {
  if (AHandler) FFunctionMacroHandler = std::move(AHandler);
}

// --- shared operations ---

TVXCAction TCustomImportPreProcessor::ProcessorFunctionToVXCAction(
    TXMLPreProcessorFunction AFunction) {
  switch (AFunction) {
    case pemImportTransformXML:
      return vxcImport;
    case pemExportTransformXML:
    case pemExportSAXWriter:
      return vxcExport;
  }
  throw Exception(
      "TCustomImportPreProcessor.ProcessorFunctionToVXCAction: unknow TXMLPreProcessorFunction");
}

std::string TCustomImportPreProcessor::GetConfigEntryValue(const std::string& AValue) {
  if (!AValue.empty() && FFunctionMacroHandler->GetContentIsFunctionMacro(AValue))
    return VarToStr(FFunctionMacroHandler->ExecuteFunctionMacro(AValue));
  return AValue;
}

std::string TCustomImportPreProcessor::ExpandHostMacros(const std::string& AValue) {
  if (!FMainInterface)
    throw Exception("TCustomImportPreProcessor.ExpandHostMacros: no host main interface");
  return FMainInterface->ExpandPathMacros(AValue);
}

void TCustomImportPreProcessor::ProgressStart(int32_t ARecordCount) {
  if (FPreProcessorHost) FPreProcessorHost->Do_ProgressStart(ARecordCount, FProgressHandle);
}

void TCustomImportPreProcessor::ProgressStep(int32_t ARecNo, int32_t ARecordCount) {
  if (!FPreProcessorHost) return;
  bool aborted = false;
  FPreProcessorHost->Do_Progress(FProgressHandle, ARecNo, ARecordCount, aborted);
  if (aborted) Abort();
}

void TCustomImportPreProcessor::ProgressEnd() {
  if (FPreProcessorHost) FPreProcessorHost->Do_ProgressEnd(FProgressHandle);
  FProgressHandle = -1;
}

void TCustomImportPreProcessor::LogErrorToFile(std::string_view AMessage) {
  if (!FErrorLog) return;
  std::string line = DateTimeToStr(Now());
  line += " - ";
  line += Get_Caption();
  line += ": ";
  line += AMessage;
  line += "\r\n";
  FErrorLog->WriteString(line);
}

TVelaXMLCommand TCustomImportPreProcessor::StrToVelaXMLCommand(std::string_view AValue) noexcept {
  return AValue == "syncexisting" ? vxcSyncExisting : vxcNone;
}

void TCustomImportPreProcessor::MergeIntoDataStore(const TStringList& AList,
                                                   TXMLDataStore& AStore) {
  const char separator = AList.NameValueSeparator();
  for (int i = 0; i < AList.Count(); ++i) {
    const std::string_view line = AList[i];
    const size_t p = line.find(separator);
    if (p == std::string_view::npos || p == 0) continue;
    const std::string_view name = line.substr(0, p);
    const std::string_view value = line.substr(p + 1);
    if (TXMLDataStoreItem* item = AStore.FindByName(name))
      item->SetValue(value);
    else
      AStore.Add(name, value);
  }
}

}  // namespace vela
