// The base of every pre-processor built into the module: implements the pre-processor
// interfaces, keeps the host services of one conversion, turns exceptions into the interface's
// error results, writes the optional error log, and offers what all pre-processors share
// (progress, configuration macros, command values). Descendants supply the conversion through
// the virtual hooks.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "_DataTableSettings.h"
#include "host/VelaXMLTypes.h"
#include "host/velaxml/VelaXMLWriter.h"
#include "rtl/Classes.h"
#include "rtl/Exceptions.h"
#include "rtl/IniFiles.h"
#include "rtl/Streams.h"
#include "vela/XMLPreProcessorIntf.h"

namespace vela {

class TCustomImportPreProcessor;
class TCustomProcessorVelaXMLWriter;
class TXMLDataStore;

// The pre-processor's writers: the writer calls, then the hand-over of a table to export.
struct IProcessorVelaXMLWriter : virtual IVelaXMLWriter {
  VELA_IID("{8E117095-6024-490D-ADF6-847CAEF99072}");
  virtual void AssignToDataTableSettings(TDataTableSettings& ASettings) = 0;
};

// A class reference for writers: the virtual constructor (owner, parent writer, OnlyThisPlace,
// options).
using TCustomProcessorVelaXMLWriterClass = IPtr<TCustomProcessorVelaXMLWriter> (*)(
    TCustomImportPreProcessor* AOwner, TCustomProcessorVelaXMLWriter* AParentWriter,
    bool AOnlyThisPlace, INamedVariantListData* AOptions);
template <class T>
IPtr<TCustomProcessorVelaXMLWriter> CreateXMLWriterOf(TCustomImportPreProcessor* AOwner,
                                                      TCustomProcessorVelaXMLWriter* AParentWriter,
                                                      bool AOnlyThisPlace,
                                                      INamedVariantListData* AOptions) {
  return IPtr<TCustomProcessorVelaXMLWriter>(
      new T(AOwner, AParentWriter, AOnlyThisPlace, AOptions));
}

// The base of the writers a pre-processor hands to the host on export: it knows its
// pre-processor and, for a child part, its parent writer, and takes over a table's
// "WriterOptions" as writer options.
class TCustomProcessorVelaXMLWriter : public TCustomVelaXMLWriter, public IProcessorVelaXMLWriter {
  VELA_INTERFACES(TCustomVelaXMLWriter, IProcessorVelaXMLWriter)

 public:
  // AOptions (may be nil): added to the writer parameters' options.
  TCustomProcessorVelaXMLWriter(TCustomImportPreProcessor* AOwner,
                                TCustomProcessorVelaXMLWriter* AParentWriter, bool AOnlyThisPlace,
                                INamedVariantListData* AOptions);

  TCustomImportPreProcessor* Owner() const noexcept { return FOwner; }
  TCustomProcessorVelaXMLWriter* ParentWriter() const noexcept { return FParentWriter; }
  bool OnlyThisPlace() const noexcept { return FOnlyThisPlace; }

  // --- new slots ---
  // Exports the table's part into this writer; nothing here.
  virtual void ExportPart() {}
  virtual void ExportPartStarted() {}
  // A writer of the same class for a child part: same owner and OnlyThisPlace, this writer as
  // parent, a copy of this writer's options.
  virtual IPtr<TCustomProcessorVelaXMLWriter> CreateChildWriter();
  // Becomes the table's writer, then exports the part.
  void AssignToDataTableSettings(TDataTableSettings& ASettings) override;
  // The class reference of this writer (the virtual constructor).
  virtual TCustomProcessorVelaXMLWriterClass WriterClass() const noexcept {
    return &CreateXMLWriterOf<TCustomProcessorVelaXMLWriter>;
  }
  // Takes over the table's "WriterOptions" lines as writer options.
  virtual void AttachDataTableSettings(TDataTableSettings& ASettings);

 private:
  TCustomImportPreProcessor* FOwner;
  TCustomProcessorVelaXMLWriter* FParentWriter;
  bool FOnlyThisPlace;
};

// A class reference for pre-processors: the virtual constructor.
using TCustomImportPreProcessorClass = TCustomImportPreProcessor* (*)();
template <class T>
TCustomImportPreProcessor* CreatePreProcessorOf() {
  return new T();
}

// Declares the runtime class name of a pre-processor class (used for its default caption).
#define VELA_PREPROCESSOR_CLASS(Name)               \
 public:                                            \
  static const char* StaticClassName() noexcept {   \
    return #Name;                                   \
  }                                                 \
  const char* ClassName() const noexcept override { \
    return #Name;                                   \
  }                                                 \
                                                    \
 private:

class TCustomImportPreProcessor : public TInterfacedObject,
                                  public IXMLPreProcessor,
                                  public IVelaXMLPreProcessorInstance {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessor, IVelaXMLPreProcessorInstance)

  TCustomImportPreProcessor();
  // Closes the error log.
  ~TCustomImportPreProcessor() override;

  static const char* StaticClassName() noexcept { return "TCustomImportPreProcessor"; }
  virtual const char* ClassName() const noexcept { return StaticClassName(); }

  // --- IXMLPreProcessor ---
  bool Do_PreConvert(IDataStream* AInData, IDataStream* AOutData, const std::string& Params,
                     TXMLPreProcessorFmt AInFmt, TXMLPreProcessorFmt PreProcessorParamFmt,
                     IMainInterface* AMainInterface, IXMLPreProcessorHost* AXMLPreProcessorHost,
                     TXMLPreProcessorFunction AFunction,
                     IVelaXMLPartHandlerContainer* AVelaXMLPartHandlerContainer,
                     bool AOnlyThisPlace, INamedVariantListData* AOptions,
                     std::string& ErrorMessage, bool& AUserMessageError) noexcept override;
  // A copy of the extension list.
  IPtr<IStringListData> Get_ValidFileExt() noexcept override;
  // The caption; when empty, the class name without its first letter.
  std::string Get_Caption() noexcept override;
  bool Get_CanUseByUser() noexcept override { return FCanUseByUser; }
  // Answers for both interfaces: the supported functions.
  TXMLPreProcessorFunctionSet Get_FunctionSet() noexcept override { return FSupportedFunctions; }
  TVelaXLPreProcessorOptionSet Get_Options() noexcept override { return FOptions; }
  bool Get_FieldList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                     IDataStream* AInData, TXMLPreProcessorFmt AInFmt, bool AIncludeSplittedFields,
                     IPtr<IStringListData>& AFieldList, std::string& ErrorMessage,
                     const std::string& ADetailConfigPartName) noexcept override;
  bool Do_ConfigureXMLWriter(IVelaXMLWriter* AVelaXMLWriter, const std::string& PreProcessorParam,
                             TXMLPreProcessorFmt PreProcessorParamFmt,
                             std::string& ErrorMessage) noexcept override;
  TConverterConfigType Get_ConverterConfigType() noexcept override;

  // --- IVelaXMLPreProcessorInstance: the pre-processor is its own source ---
  IPtr<IXMLPreProcessor> Do_CreatePreProc() override;

  // --- properties ---
  const std::string& ErrorLogFile() const noexcept { return FErrorLogFile; }
  // Closes the open log; a non-empty name opens the file for appending (creating it and its
  // folder when missing). Raises EFCreateError/EFOpenError when that fails.
  void SetErrorLogFile(const std::string& AFileName);
  TVelaXMLProcessorFunctionMacroHandler& FunctionMacroHandler() noexcept {
    return *FFunctionMacroHandler;
  }
  // Replaces the macro handler (the host's evaluation, or a test double).
  void SetFunctionMacroHandler(std::unique_ptr<TVelaXMLProcessorFunctionMacroHandler> AHandler);
  IVelaXMLPartHandlerContainer* PartHandlerContainer() const noexcept {
    return FPartHandlerContainer;
  }
  IMainInterface* MainInterface() const noexcept { return FMainInterface.get(); }
  IXMLPreProcessorHost* PreProcessorHost() const noexcept { return FPreProcessorHost.get(); }
  TStringList& ValidFileExt() noexcept { return FValidFileExt; }
  const std::string& Caption() const noexcept { return FCaption; }
  void SetCaption(std::string AValue) { FCaption = std::move(AValue); }
  bool CanUseByUser() const noexcept { return FCanUseByUser; }
  void SetCanUseByUser(bool AValue) noexcept { FCanUseByUser = AValue; }
  TXMLPreProcessorFunctionSet SupportedFunctions() const noexcept { return FSupportedFunctions; }
  void SetSupportedFunctions(TXMLPreProcessorFunctionSet AValue) noexcept {
    FSupportedFunctions = AValue;
  }
  TVelaXLPreProcessorOptionSet Options() const noexcept { return FOptions; }
  void SetOptions(TVelaXLPreProcessorOptionSet AValue) noexcept { FOptions = AValue; }
  int32_t ProgressHandle() const noexcept { return FProgressHandle; }

  // --- shared operations for descendants ---
  // pemImportTransformXML gives vxcImport, the export functions vxcExport.
  static TVXCAction ProcessorFunctionToVXCAction(TXMLPreProcessorFunction AFunction);
  // A function macro's result, else AValue.
  std::string GetConfigEntryValue(const std::string& AValue);
  // The host's path-macro expansion; raises without a main interface (outside a conversion).
  std::string ExpandHostMacros(const std::string& AValue);
  // Forward to the host's progress display while a host is set. ProgressStep raises the silent
  // abort when the user cancelled; ProgressEnd resets the handle to -1.
  void ProgressStart(int32_t ARecordCount);
  void ProgressStep(int32_t ARecNo, int32_t ARecordCount);
  void ProgressEnd();
  // Appends "<date time> - <caption>: <message>\r\n" in UTF-8 to the open error log.
  void LogErrorToFile(std::string_view AMessage);
  // vxcSyncExisting for exactly "syncexisting", else vxcNone.
  static TVelaXMLCommand StrToVelaXMLCommand(std::string_view AValue) noexcept;
  // For each name=value line of AList: sets the value of AStore's item of that name (its
  // position and encoding stay), or appends the pair. Lines without a name are skipped.
  static void MergeIntoDataStore(const TStringList& AList, TXMLDataStore& AStore);
  // Copies the produced document to the file that section "Output" names, if any; with
  // "FileOutputOnly" the document is emptied afterwards, so the host receives none.
  void SaveOutputCopy(const TMemIniFile& AConfig, IDataStream* AOutData,
                      TXMLPreProcessorFunction AFunction);
  // One command element named AElementName per non-empty line of AList: "velaxml_command" =
  // ACommand ("delete" or "sync"), then the line's name and value as an attribute.
  static void WriteRecordCommands(const std::string& AElementName, const TStringList& AList,
                                  IVelaXMLWriter& AWriter, std::string_view ACommand);
  // One "deleterecords" element per non-empty line; the value is FIELD;COMPARISON;VALUE.
  static void WriteDeleteRecordCommands(const std::string& AElementName, const TStringList& AList,
                                        IVelaXMLWriter& AWriter);
  // A "velaxmlpostprocess" element with "command" and "runtype" and AContent as its text.
  static void WritePostProcessCommand(IVelaXMLWriter& AWriter, const std::string& ACommand,
                                      const std::string& ARunType, const std::string& AContent);

  TDataTableSettingsClass DataTableSettingsClass() const noexcept {
    return FDataTableSettingsClass;
  }
  void SetDataTableSettingsClass(TDataTableSettingsClass AValue) noexcept {
    FDataTableSettingsClass = AValue;
  }

 protected:
  // --- hooks (in slot order) ---
  virtual void InternalPreConvert(IDataStream* AInData, IDataStream* AOutData,
                                  const std::string& AParams, TXMLPreProcessorFmt AInFmt,
                                  TXMLPreProcessorFmt AParamsFmt,
                                  TXMLPreProcessorFunction AFunction, bool AOnlyThisPlace,
                                  INamedVariantListData* AOptions);
  virtual TConverterConfigType GetConverterConfigType() { return vxpUnknown; }
  virtual TCustomProcessorVelaXMLWriterClass GetXMLWriterClass() {
    return &CreateXMLWriterOf<TCustomProcessorVelaXMLWriter>;
  }
  // The VelaXML writer of a conversion: on import a document writer into AOutData, on export
  // through the host's SAX calls a writer of GetXMLWriterClass, on export by transformation nil.
  virtual IPtr<IVelaXMLWriter> CreateXMLWriter(IDataStream* AOutData,
                                               INamedVariantListData* AOptions, bool AOnlyThisPlace,
                                               TXMLPreProcessorFunction AFunction);
  // Clears AImportInfo; the host's preview decides, without a host the answer is true.
  virtual bool PreviewData(IXMLPreProcessorPreviewDataSource* APreviewDataSource,
                           IPtr<IXMLPreProcessorImportInfo>& AImportInfo);
  virtual bool InternalGetFieldList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                                    const std::string& ADetailPrefix, TStringList& AFieldList,
                                    bool AIncludeSplittedFields, TXMLPreProcessorFmt AInFmt,
                                    IDataStream* AInData);
  // Applies the writer settings of a configuration (a file name, or the text with
  // AParamIsText): "WriterParameter" and "PartWriterOptions".
  virtual bool ConfigureXMLWriter(IVelaXMLWriter* AWriter, const std::string& AParam,
                                  bool AParamIsText);
  virtual bool IsRetryableError([[maybe_unused]] const std::exception& AException) { return false; }

  // The configuration as an in-memory INI file: a file name ("$APP$" expanded; raises
  // "Configuration file '<name>' not found!") or the text itself.
  std::unique_ptr<TMemIniFile> LoadConfiguration(const std::string& AParam, bool AParamIsText);

 private:
  // Maps an exception to the interface's error result (shared by the interface methods).
  void HandleInterfaceException(std::string& ErrorMessage, bool* AUserMessageError) noexcept;
  void ReportException(const std::string& AClassName, const std::string& AMessage,
                       bool AUserMessage, std::string& ErrorMessage,
                       bool* AUserMessageError) noexcept;

  TStringList FValidFileExt;
  IPtr<IMainInterface> FMainInterface;
  std::string FCaption;
  bool FCanUseByUser = true;
  IPtr<IXMLPreProcessorHost> FPreProcessorHost;
  int32_t FProgressHandle = -1;
  TDataTableSettingsClass FDataTableSettingsClass = &TDataTableSettings::CreateInstance;
  IVelaXMLPartHandlerContainer* FPartHandlerContainer = nullptr;  // borrowed during a conversion
  TXMLPreProcessorFunctionSet FSupportedFunctions{pemImportTransformXML};
  std::string FErrorLogFile;
  std::unique_ptr<TFileStream> FErrorLog;
  std::unique_ptr<TVelaXMLProcessorFunctionMacroHandler> FFunctionMacroHandler;
  TVelaXLPreProcessorOptionSet FOptions{ppoHasFixedFieldList, ppoSupportsDataPreview,
                                        ppoSupportsSplittedFields};
};

// The class that XMLPreProc instantiates.
extern TCustomImportPreProcessorClass DefaultPreProcessorClass;

}  // namespace vela
