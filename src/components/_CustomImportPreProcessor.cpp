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

namespace {

// A stream over the host's data stream, for writers that write into a TStream.
class TDataStreamAdapter : public TStream {
 public:
  explicit TDataStreamAdapter(IDataStream* AData) : FData(AData) {}
  size_t Read(void* ABuffer, size_t ACount) override {
    return static_cast<size_t>(FData->Read(ABuffer, static_cast<int64_t>(ACount)));
  }
  size_t Write(const void* ABuffer, size_t ACount) override {
    return static_cast<size_t>(FData->Write(ABuffer, static_cast<int64_t>(ACount)));
  }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    return FData->Seek(AOffset, AOrigin == soCurrent ? 1 : AOrigin == soEnd ? 2 : 0);
  }

 private:
  IPtr<IDataStream> FData;
};

// The import writer: VelaXML into the conversion's output stream, which it keeps alive.
struct TDataStreamHolder {
  explicit TDataStreamHolder(IDataStream* AData) : FAdapter(AData) {}
  TDataStreamAdapter FAdapter;
};
class TVelaXMLDataStreamWriter : private TDataStreamHolder, public TVelaXMLWriter {
 public:
  TVelaXMLDataStreamWriter(IDataStream* AData, bool AOnlyThisPlace)
      : TDataStreamHolder(AData), TVelaXMLWriter(FAdapter, std::string(), AOnlyThisPlace) {}
};

}  // namespace

IPtr<IVelaXMLWriter> TCustomImportPreProcessor::CreateXMLWriter(
    IDataStream* AOutData, INamedVariantListData* AOptions, bool AOnlyThisPlace,
    TXMLPreProcessorFunction AFunction) {
  switch (AFunction) {
    case pemImportTransformXML: {
      if (AOutData == nullptr)
        throw Exception(
            "TCustomImportPreProcessor.CreateXMLWriter: no output stream for the "
            "document");
      auto writer =
          IPtr<TVelaXMLDataStreamWriter>(new TVelaXMLDataStreamWriter(AOutData, AOnlyThisPlace));
      if (AOptions != nullptr)
        for (int i = 0; i < AOptions->Get_Count(); ++i)
          writer->Get_Params().SetOption(AOptions->Get_Name(i), AOptions->Get_Value(i));
      return IPtr<IVelaXMLWriter>(writer.get());
    }
    case pemExportTransformXML:
      return nullptr;
    case pemExportSAXWriter: {
      IPtr<TCustomProcessorVelaXMLWriter> writer =
          GetXMLWriterClass()(this, nullptr, AOnlyThisPlace, AOptions);
      return IPtr<IVelaXMLWriter>(static_cast<IVelaXMLWriter*>(writer.get()));
    }
  }
  return nullptr;
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
  if (AWriter == nullptr)
    throw Exception("TCustomImportPreProcessor.ConfigureXMLWriter: no writer");
  TVelaXMLWriterParams& params = AWriter->Get_Params();
  constexpr std::string_view kSection = "WriterParameter";
  params.OnlyChanged = ini->ReadBool(kSection, "OnlyChanged",
                                     ini->ReadBool("DB", "OnlyChanged", params.OnlyChanged));
  params.OnlyThisPlace = ini->ReadBool(kSection, "OnlyThisPlace", params.OnlyThisPlace);
  params.SkipEmptyLookups = ini->ReadBool(kSection, "SkipEmptyLookups", params.SkipEmptyLookups);
  params.ProcessToDate = ini->ReadDateTime(kSection, "ProcessToDate", params.ProcessToDate);
  params.LastChangedDate = ini->ReadDateTime(kSection, "LastChangedDate", params.LastChangedDate);
  if (ini->ValueExists(kSection, "ChildPartExportList")) {
    TStringList parts;
    parts.SetStrictDelimiter(true);
    parts.SetDelimiter(',');
    parts.SetDelimitedText(ini->ReadString(kSection, "ChildPartExportList", ""));
    params.ChildPartExportList.AddStrings(parts);
  }
  TStringList options;
  ini->ReadSectionValues("PartWriterOptions", options);
  for (int i = 0; i < options.Count(); ++i)
    params.SetOption(options.Names(i), Variant(options.ValueFromIndex(i)));
  return true;
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

void TCustomImportPreProcessor::SaveOutputCopy(const TMemIniFile& AConfig, IDataStream* AOutData,
                                               TXMLPreProcessorFunction AFunction) {
  std::string fileName = AConfig.ReadString("Output", "FileName", "");
  if (fileName.empty()) return;
  const std::string format = AConfig.ReadString("Output", "OutputFileFmt", "");
  if (!format.empty()) {
    const std::string path = ExpandAppMacro(fileName);
    const std::string ext = ExtractFileExt(path);
    std::string base = ExtractFileName(path);
    base.resize(base.size() - ext.size());
    const TDateTime now = Now();
    std::string name = StringReplace(format, "%FILENAME%", base, rfReplaceAll | rfIgnoreCase);
    name = StringReplace(name, "%DATE%", DateToStr(now), rfReplaceAll | rfIgnoreCase);
    name = StringReplace(name, "%TIME%", TimeToStr(now), rfReplaceAll | rfIgnoreCase);
    name = StringReplace(name, "%ACTION%", AFunction == pemImportTransformXML ? "import" : "export",
                         rfReplaceAll | rfIgnoreCase);
    const std::string dir = ExtractFileDir(path);
    fileName = (dir.empty() ? std::string() : IncludeTrailingPathDelimiter(dir)) +
               ConvertToFileName(name) + ext;
  }
  fileName = ExpandAppMacro(fileName);
  if (AOutData == nullptr) return;
  const std::string dir = ExtractFileDir(fileName);
  if (!dir.empty()) ForceDirectories(dir);
  TFileStream copy(fileName, fmCreate);
  std::vector<char> block(size_t{1} << 20);
  AOutData->Seek(0, 0);
  for (int64_t n; (n = AOutData->Read(block.data(), static_cast<int64_t>(block.size()))) > 0;)
    copy.WriteBuffer(block.data(), static_cast<size_t>(n));
  if (AConfig.ReadBool("Output", "FileOutputOnly", false)) AOutData->Set_Size(0);
}

namespace {

// Starts and ends one structure element with the attributes of AStore.
void WriteCommandElement(IVelaXMLWriter& AWriter, const std::string& AName, TXMLDataStore& AStore) {
  TXMLDataStoreContainer attrs;
  attrs.Add(AStore);
  AWriter.StartElement(AName, &attrs, xdeNone, xdeNone, xbhInline, 0);
  AWriter.EndElement(AName);
}

}  // namespace

void TCustomImportPreProcessor::WriteRecordCommands(const std::string& AElementName,
                                                    const TStringList& AList,
                                                    IVelaXMLWriter& AWriter,
                                                    std::string_view ACommand) {
  TXMLDataStore store;
  for (int i = 0; i < AList.Count(); ++i) {
    const std::string_view line = AList[i];
    if (line.empty()) continue;
    const size_t eq = line.find('=');
    store.Clear();
    store.Add("velaxml_command", ACommand);
    store.Add(line.substr(0, eq),
              eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1));
    WriteCommandElement(AWriter, AElementName, store);
  }
}

void TCustomImportPreProcessor::WriteDeleteRecordCommands(const std::string& AElementName,
                                                          const TStringList& AList,
                                                          IVelaXMLWriter& AWriter) {
  TXMLDataStore store;
  for (int i = 0; i < AList.Count(); ++i) {
    const std::string_view line = AList[i];
    if (line.empty()) continue;
    const size_t eq = line.find('=');
    std::string_view rest = eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
    std::string_view items[3];
    for (int k = 0; k < 3 && !rest.empty(); ++k) {
      const size_t sc = rest.find(';');
      items[k] = rest.substr(0, sc);
      rest = sc == std::string_view::npos ? std::string_view() : rest.substr(sc + 1);
    }
    store.Clear();
    store.Add("velaxml_command", "deleterecords");
    store.Add("filterfield", items[0]);
    store.Add("filtertype", items[1]);
    store.Add("filtervalue", items[2]);
    WriteCommandElement(AWriter, AElementName, store);
  }
}

void TCustomImportPreProcessor::WritePostProcessCommand(IVelaXMLWriter& AWriter,
                                                        const std::string& ACommand,
                                                        const std::string& ARunType,
                                                        const std::string& AContent) {
  TXMLDataStore store;
  store.Add("command", ACommand);
  store.Add("runtype", ARunType);
  TXMLDataStoreContainer attrs;
  attrs.Add(store);
  AWriter.StartElement("velaxmlpostprocess", &attrs, xdeNone, xdeNone, xbhInline, 0);
  if (!AContent.empty()) AWriter.Characters(Variant(AContent));
  AWriter.EndElement("velaxmlpostprocess");
}

// --- TCustomProcessorVelaXMLWriter ---

TCustomProcessorVelaXMLWriter::TCustomProcessorVelaXMLWriter(
    TCustomImportPreProcessor* AOwner, TCustomProcessorVelaXMLWriter* AParentWriter,
    bool AOnlyThisPlace, INamedVariantListData* AOptions)
    : TCustomVelaXMLWriter(std::string(), AOnlyThisPlace),
      FOwner(AOwner),
      FParentWriter(AParentWriter),
      FOnlyThisPlace(AOnlyThisPlace) {
  if (AOptions != nullptr)
    for (int i = 0; i < AOptions->Get_Count(); ++i)
      FParams.SetOption(AOptions->Get_Name(i), AOptions->Get_Value(i));
}

IPtr<TCustomProcessorVelaXMLWriter> TCustomProcessorVelaXMLWriter::CreateChildWriter() {
  return WriterClass()(FOwner, this, FOnlyThisPlace, &FParams.Options());
}

void TCustomProcessorVelaXMLWriter::AssignToDataTableSettings(TDataTableSettings& ASettings) {
  ASettings.SetXMLWriter(this);
  ExportPart();
}

void TCustomProcessorVelaXMLWriter::AttachDataTableSettings(TDataTableSettings& ASettings) {
  const TStringList& options = ASettings.WriterOptions();
  for (int i = 0; i < options.Count(); ++i)
    FParams.SetOption(options.Names(i), Variant(options.ValueFromIndex(i)));
}

}  // namespace vela
