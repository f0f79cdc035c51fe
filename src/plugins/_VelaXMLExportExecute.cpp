#include "plugins/_VelaXMLExportExecute.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include "host/velaxml/VelaXMLWriter.h"
#include "module/_VelaXMLPreProcessorFactory.h"
#include "plugins/_VelaXMLImportExecute.h"
#include "plugins/_dmPluginDataImportMain.h"
#include "rtl/DateUtils.h"
#include "rtl/FileUtils.h"
#include "rtl/Format.h"
#include "rtl/Guid.h"
#include "rtl/SysUtils.h"
#include "rtl/Threading.h"

namespace vela {

namespace {

constexpr size_t kFileBuffer = 32768;
// Creating the import container is serialised, so that exports on several threads do not
// build host components at the same time.
std::mutex ContainerLock;

// Copies a file; raises with the system's reason when the target cannot be written.
void CopyFileTo(const std::string& ASource, const std::string& ATarget) {
  TFileStream in(ASource, fmOpenRead | fmShareDenyWrite);
  std::unique_ptr<TFileStream> out;
  try {
    out = std::make_unique<TFileStream>(ATarget, fmCreate);
  } catch (const std::exception&) {
    const std::string reason = std::strerror(errno);
    const std::string text = dmPluginDataImportMain
                                 ? dmPluginDataImportMain->GetText("IDS_CANTWRFILE")
                                 : std::string("Can not write/create file '%s'!\n\nError: %s");
    throw EVelaXMLImportError(Format(text, ATarget, reason), true);
  }
  out->CopyFrom(in, 0);
}

}  // namespace

std::string VelaXMLDBInstanceSource(IMainInterface* AMainInterface) {
  IPtr<IVelaGlobalSettings> settings = Supports<IVelaGlobalSettings>(AMainInterface);
  if (!settings) return GUIDToString(CreateGUID());
  std::string source = settings->ReadString("VelaXML", "DBInstanceSource", "");
  if (source.empty()) {
    source = GUIDToString(CreateGUID());
    settings->WriteString("VelaXML", "DBInstanceSource", source);
  }
  return source;
}

std::string ExpandFileNameMacros(IMainInterface* AMainInterface, const std::string& AFileName) {
  const TDateTime now = AMainInterface ? AMainInterface->Get_CurrentTime() : Now();
  std::string result;
  size_t pos = 0;
  while (pos < AFileName.size()) {
    const size_t open = AFileName.find('%', pos);
    const size_t close = open == std::string::npos ? open : AFileName.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(AFileName, pos, std::string::npos);
      break;
    }
    result.append(AFileName, pos, open - pos);
    const std::string name = UpperCase(AFileName.substr(open + 1, close - open - 1));
    // The date and time of the export, then the host's own placeholders; others vanish.
    if (name == "DATE") {
      result += FormatDateTime("yyyymmdd", now);
    } else if (name == "TIME") {
      result += FormatDateTime("hhnnss", now);
    } else if (name == "DATETIME") {
      result += FormatDateTime("yyyymmdd\"_\"hhnnss", now);
    } else if (AMainInterface) {
      const std::string macro = AFileName.substr(open, close - open + 1);
      const std::string value = AMainInterface->ExpandPlaceholders(macro, nullptr);
      if (value != macro) result += value;
    }
    pos = close + 1;
  }
  return result;
}

// --- the export ---

TVelaXMLExportExecuteObj::TVelaXMLExportExecuteObj() {
  if (IsMainThread() && dmPluginDataImportMain) {
    FListedAsJob = true;
    dmPluginDataImportMain->AddVelaXMLJob(this);
  }
}

TVelaXMLExportExecuteObj::~TVelaXMLExportExecuteObj() {
  if (FListedAsJob && dmPluginDataImportMain) dmPluginDataImportMain->RemoveVelaXMLJob(this);
}

void TVelaXMLExportExecuteObj::FailPreProcessor(const std::string& AMessage, bool AUserMessage) {
  if (AMessage.empty()) throw EAbort();
  throw EVelaXMLImportError(AMessage, AUserMessage);
}

void TVelaXMLExportExecuteObj::Execute(IMainInterface* AMainInterface,
                                       const std::string& AOutFileName) {
  FMainInterface = IPtr<IMainInterface>(AMainInterface);
  const std::string outFileName = ExpandFileNameMacros(AMainInterface, AOutFileName);
  std::string workFile;
  try {
    if (!FPreProcessorDLL.empty()) {
      if (!PreProcessorFactory().GetInstance(FPreProcessorDLL, FVelaXMLPreProcessorInstance) ||
          !FVelaXMLPreProcessorInstance)
        throw EVelaXMLImportError("PreProcessor '" + FPreProcessorDLL + "' not found!", true);
      FXMLPreProcessor = FVelaXMLPreProcessorInstance->Do_CreatePreProc();
      if (!FXMLPreProcessor)
        throw EVelaXMLImportError("PreProcessor '" + FPreProcessorDLL + "' not found!", true);
      FFunctions = FXMLPreProcessor->Get_FunctionSet();
    }
    // The working file carries the output's extension: pre-processors may go by it.
    workFile = GetTempFileName({}, "vxe");
    const std::string ext = ExtractFileExt(outFileName);
    if (!ext.empty()) {
      const std::string named = ChangeFileExt(workFile, ext);
      RenameFile(workFile, named);
      workFile = named;
    }
    {
      std::lock_guard lock(ContainerLock);
      FVelaXMLImportContainer = CreateVelaXMLImportContainer(AMainInterface);
    }
    const std::string source = VelaXMLDBInstanceSource(AMainInterface);
    if (!FOptions) FOptions = NewNamedVariantListData();
    FOptions->SetValueByName("OriginalDestination", Variant(outFileName));

    if (FXMLPreProcessor && FFunctions.Contains(pemExportSAXWriter))
      RunExportWriter(workFile, outFileName);
    else
      WriteVelaXML(workFile, source);
    Deliver(workFile, outFileName);
  } catch (...) {
    FVelaXMLImportContainer = nullptr;
    if (!workFile.empty() && FileExists(workFile)) DeleteFile(workFile);
    FXMLPreProcessor = nullptr;
    FVelaXMLPreProcessorInstance = nullptr;
    throw;
  }
  FVelaXMLImportContainer = nullptr;
  if (!workFile.empty() && FileExists(workFile)) DeleteFile(workFile);
  FXMLPreProcessor = nullptr;
  FVelaXMLPreProcessorInstance = nullptr;
}

void TVelaXMLExportExecuteObj::RunExportWriter(const std::string& AWorkFile,
                                               const std::string& AOutFileName) {
  // The pre-processor writes the target itself and may need its previous content.
  if (dmPluginDataImportMain && dmPluginDataImportMain->IsTransferLocation(AOutFileName)) {
    try {
      TFileStream work(AWorkFile, fmCreate);
      dmPluginDataImportMain->Download(AOutFileName, work, /*AShowProgress=*/true);
    } catch (const std::exception&) {
      DeleteFile(AWorkFile);
    }
  } else if (FileExists(AOutFileName)) {
    CopyFileTo(AOutFileName, AWorkFile);
  }
  IPtr<IDataStream> in = NewDataStream(new TStringStream(AWorkFile), true);
  std::string message;
  bool userMessage = false;
  IXMLPreProcessorHost* host = dmPluginDataImportMain;
  if (!FXMLPreProcessor->Do_PreConvert(in.get(), nullptr, FPreProcessorParam, xmpFile,
                                       FPreProcessorParamFmt, FMainInterface.get(), host,
                                       pemExportSAXWriter, FVelaXMLImportContainer.get(),
                                       FOnlyThisPlace, FOptions.get(), message, userMessage))
    FailPreProcessor(message, userMessage);
}

void TVelaXMLExportExecuteObj::WriteVelaXML(const std::string& AWorkFile,
                                            const std::string& ASource) {
  TBufferedFileStream file(AWorkFile, fmCreate, kFileBuffer);
  IPtr<TVelaXMLWriter> writer(new TVelaXMLWriter(file, {}, FOnlyThisPlace));
  writer->SetInstallation(ASource);
  TVelaXMLWriterParams& params = writer->Get_Params();
  params.OnlyThisPlace = FOnlyThisPlace;
  for (int i = 0; i < FOptions->Get_Count(); ++i)
    params.SetOption(FOptions->Get_Name(i), FOptions->Get_Value(i));
  if (FXMLPreProcessor && FFunctions.Contains(pemExportTransformXML)) {
    std::string message;
    if (!FXMLPreProcessor->Do_ConfigureXMLWriter(writer.get(), FPreProcessorParam,
                                                 FPreProcessorParamFmt, message))
      FailPreProcessor(message, true);
  }
  writer->StartDocument(FApplicationCaption);
  for (int i = 0; i < FExportParts.Count(); ++i) {
    IPtr<IXMLImportPartHandler> handler = FVelaXMLImportContainer->GetPartByIndent(FExportParts[i]);
    if (!handler || !handler->CanExport()) continue;
    if (!handler->ExportPart(writer.get(), true))
      throw EVelaXMLImportError(handler->GetLastErrorText(), true);
  }
  writer->EndDocument();
  writer = nullptr;
  file.FlushBuffer();
}

void TVelaXMLExportExecuteObj::Deliver(const std::string& AWorkFile,
                                       const std::string& AOutFileName) {
  const bool upload =
      dmPluginDataImportMain && dmPluginDataImportMain->IsTransferLocation(AOutFileName);
  const std::string target = upload ? GetTempFileName({}, "vxu") : AOutFileName;
  try {
    if (FXMLPreProcessor && FFunctions.Contains(pemExportTransformXML)) {
      IPtr<IDataStream> in = NewDataStream(new TStringStream(AWorkFile), true);
      IPtr<IDataStream> out =
          NewDataStream(new TBufferedFileStream(target, fmCreate, kFileBuffer), true);
      std::string message;
      bool userMessage = false;
      IXMLPreProcessorHost* host = dmPluginDataImportMain;
      if (!FXMLPreProcessor->Do_PreConvert(in.get(), out.get(), FPreProcessorParam, xmpFile,
                                           FPreProcessorParamFmt, FMainInterface.get(), host,
                                           pemExportTransformXML, nullptr, FOnlyThisPlace,
                                           FOptions.get(), message, userMessage))
        FailPreProcessor(message, userMessage);
    } else if (FileExists(AWorkFile)) {
      CopyFileTo(AWorkFile, target);
    }
    if (upload) {
      TFileStream in(target, fmOpenRead | fmShareDenyWrite);
      dmPluginDataImportMain->Upload(AOutFileName, in, /*AShowProgress=*/true,
                                     FProtocolHandlerSettings.get());
    }
  } catch (...) {
    if (upload) DeleteFile(target);
    throw;
  }
  if (upload) DeleteFile(target);
}

// --- the in-memory writer ---

TVelaXMLExport::TVelaXMLExport(IMainInterface* AMainInterface)
    : FContentStream(std::make_unique<TStringStream>()) {
  IPtr<TVelaXMLWriter> writer(new TVelaXMLWriter(*FContentStream));
  writer->SetInstallation(VelaXMLDBInstanceSource(AMainInterface));
  FVelaXMLWriter = writer;
}

}  // namespace vela
