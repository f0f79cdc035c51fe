#include "ImportEngine/_BaseDataImportEngine.h"

#include <cstring>
#include <mutex>

#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// The extension of a file name with its dot, as a view into the name; empty when the name part
// (after the last path delimiter) has no dot.
std::string_view FileExtView(std::string_view FileName) {
  const size_t pos = FileName.find_last_of("./\\");
  if (pos == std::string_view::npos || FileName[pos] != '.') return {};
  return FileName.substr(pos);
}

std::mutex GUILock;
IPtr<IImportEngineUI> GUI;

}  // namespace

// --- packed name lists ---

std::string StringsToPPChar(const TStringList& Strings) {
  size_t size = 0;
  for (const std::string& s : Strings)
    size += s.size() + 1;
  std::string packed;
  packed.reserve(size);
  for (const std::string& s : Strings) {
    packed += s;
    packed.push_back('\0');
  }
  return packed;
}

void PPCharToStrings(TPackedNames Packed, TStringList& Strings) {
  Strings.Clear();
  while (!Packed.empty()) {
    const size_t end = Packed.find('\0');
    if (end == std::string_view::npos) {  // tolerate a missing last terminator
      Strings.Add(std::string(Packed));
      break;
    }
    Strings.Add(std::string(Packed.substr(0, end)));
    Packed.remove_prefix(end + 1);
  }
}

// --- user interface hook ---

void SetImportEngineUI(IPtr<IImportEngineUI> AUI) {
  std::lock_guard lock(GUILock);
  GUI = std::move(AUI);
}

IPtr<IImportEngineUI> ImportEngineUI() {
  std::lock_guard lock(GUILock);
  return GUI;
}

void ImportEngineMessage(std::string_view Msg, TEngineDialogType DlgType) {
  if (auto ui = ImportEngineUI()) ui->ShowMessage(Msg, DlgType);
}

// --- TBaseDataImportEngine ---

TBaseDataImportEngine::TBaseDataImportEngine(TObject* AOwner) : FOwner(AOwner) {
  // Engines created by their owner live until the owner deletes them; CreateEngineInstance
  // switches its products to reference counting.
  SetFreeOnRelease(false);
}

TBaseDataImportEngine::~TBaseDataImportEngine() = default;

TImportFormat* TBaseDataImportEngine::AddFormat(std::string_view AFormatGUID,
                                                std::string_view ATitle, std::string_view AFileExt,
                                                void* Data, bool HasSettings, bool FirstRowIsHeader,
                                                bool CheckFileExt, bool UseFormatForDialog,
                                                bool FileNameIsUserReadable) {
  auto format = std::make_unique<TImportFormat>();
  format->FileExt = AFileExt;
  format->Title = ATitle;
  format->HasSettings = HasSettings;
  format->Data = Data;
  format->FirstRowIsHeader = FirstRowIsHeader;
  format->HandelFieldAssignments = false;
  format->GUID = AFormatGUID;
  format->CheckFileExt = CheckFileExt;
  format->UseFormatForDialog = UseFormatForDialog;
  format->FileNameIsUserReadable = FileNameIsUserReadable;
  FFormats.push_back(std::move(format));
  return FFormats.back().get();
}

TImportFormat* TBaseDataImportEngine::GetFormats(int32_t Index) const {
  if (Index < 0 || Index >= FormatCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FFormats[static_cast<size_t>(Index)].get();
}

int32_t TBaseDataImportEngine::FormatIndex() const {
  if (FCurrentFormatIndex == -1) throw Exception("FormatIndex not set!");
  return FCurrentFormatIndex;
}

TImportFormat* TBaseDataImportEngine::CurrentFormat() const {
  return GetFormats(FormatIndex());
}

IDataImportProcessor& TBaseDataImportEngine::AttachedProcessor() const {
  // The message text is built only when it is needed: this runs once per field value.
  if (!FProcessor) Assert(false, "No data import processor attached");
  return *FProcessor;
}

// --- engine callbacks ---

void TBaseDataImportEngine::DoStartRecord(bool& Abort) {
  AttachedProcessor().StartRecord(FUserData, Abort);
}

void TBaseDataImportEngine::DoPostRecord() {
  AttachedProcessor().PostRecord(FUserData);
}

void TBaseDataImportEngine::DoMessage(std::string_view Msg, TImportMessageType MsgType) {
  AttachedProcessor().EngineMessage(FUserData, Msg, MsgType);
}

void TBaseDataImportEngine::SetValue(std::string_view FieldName, std::string_view Value,
                                     TImportDataType DataType) {
  AttachedProcessor().SetValue(FieldName, Value, DataType, FUserData);
}

void TBaseDataImportEngine::SetParsedValue(std::string_view FieldName, std::string_view Value,
                                           TImportDataType DataType,
                                           const TImportParsedValue& Parsed) {
  if (FParsedValues)
    FParsedValues->SetParsedValue(FieldName, Value, DataType, Parsed, FUserData);
  else
    SetValue(FieldName, Value, DataType);
}

// --- overridable operations ---

TBaseDataImportEngine* TBaseDataImportEngine::CreateEngineInstance() {
  TBaseDataImportEngine* engine = NewEngineObject(FOwner);
  engine->FInterfaced = true;
  engine->SetFreeOnRelease(true);
  return engine;
}

bool TBaseDataImportEngine::DoImport() {
  CheckInputFile();
  return true;
}

void TBaseDataImportEngine::CheckInputFile() {
  const TImportFormat* format = CurrentFormat();
  if (!format->CheckFileExt) return;
  if (!SameText(FileExtView(FCurrentInputFile), format->FileExt))
    throw Exception("File '" + FCurrentInputFile + "' is not a valid file for importtype '" +
                    format->Title + "'!");
}

void TBaseDataImportEngine::DoQueryFields(TStringList& Dest, bool /*QueryForSave*/) {
  Dest.Clear();
}

void TBaseDataImportEngine::ParametersSet(IFieldChangeConditions* /*Conditions*/) {}

bool TBaseDataImportEngine::IsFileForFormat(std::string_view FileName, int32_t FormatIndex) {
  return SameText(FileExtView(FileName), GetFormats(FormatIndex)->FileExt);
}

bool TBaseDataImportEngine::DoRunFilterTypeHandler(int32_t /*FormatIndex*/,
                                                   std::string& NewFileName) {
  NewFileName.clear();
  return false;
}

void TBaseDataImportEngine::DoSetFieldAssignment(TStringList& /*Fields*/) {}

bool TBaseDataImportEngine::DoHasSettings() {
  return CurrentFormat()->HasSettings;
}

bool TBaseDataImportEngine::DoEditSettings() {
  return false;
}

// --- IDataImportEngine ---

std::string TBaseDataImportEngine::GetTitle() {
  return FTitle;
}

int32_t TBaseDataImportEngine::GetFormatCount() {
  return FormatCount();
}

void TBaseDataImportEngine::GetFormatInfo(int32_t Index, std::string& GUID, std::string& Title,
                                          std::string& FileExt) {
  GUID.clear();
  Title.clear();
  FileExt.clear();
  const TImportFormat* format = GetFormats(Index);
  GUID = format->GUID;
  Title = format->Title;
  FileExt = format->FileExt;
}

void TBaseDataImportEngine::SetParameter(std::string_view InFile, int32_t FormatIndex,
                                         TPackedNames DestFields,
                                         IFieldChangeConditions* Conditions) {
  FCurrentFormatIndex = FormatIndex;
  FCurrentInputFile = InFile;
  PPCharToStrings(DestFields, FCurrentDestinationFields);
  ParametersSet(Conditions);
}

bool TBaseDataImportEngine::Execute(int32_t UserData, IDataImportProcessor* Processor,
                                    bool SimulationOnly) {
  FIsSimulation = SimulationOnly;
  FUserData = UserData;
  FProcessor = Processor;
  FParsedValues = Supports<IDataImportParsedValues>(Processor);
  bool result = false;
  // One error message per failed run; the processor's own failures must not escape either.
  auto report = [this](const std::string& text) {
    if (!FProcessor) return;
    try {
      FProcessor->EngineMessage(FUserData, text, imtError);
    } catch (...) {
    }
  };
  try {
    result = DoImport();
  } catch (const EAbort&) {
    // The user's cancel: no message.
    result = false;
  } catch (const std::exception& e) {
    result = false;
    report(ExceptionText(e));
  } catch (...) {
    result = false;
    report("Exception: unknown exception");
  }
  FParsedValues = nullptr;
  FProcessor = nullptr;
  FUserData = 0;
  return result;
}

bool TBaseDataImportEngine::CheckFile(std::string& ErrorMsg) {
  ErrorMsg.clear();
  try {
    CheckInputFile();
    return true;
  } catch (const Exception& e) {
    ErrorMsg = e.Message();
    return false;
  }
}

bool TBaseDataImportEngine::QueryFields(IPtr<IStringListData>& Fields, bool QueryForSave) {
  Fields = nullptr;
  TStringList list;
  try {
    DoQueryFields(list, QueryForSave);
  } catch (const EAbort&) {
    return false;
  } catch (const Exception& e) {
    ImportEngineMessage(e.Message(), edtError);
    return false;
  }
  Fields = NewStringListData(list.Lines());
  return true;
}

bool TBaseDataImportEngine::HasSettings() {
  return DoHasSettings();
}

bool TBaseDataImportEngine::EditSettings() {
  return DoEditSettings();
}

bool TBaseDataImportEngine::FirstRowIsHeader() {
  return CurrentFormat()->FirstRowIsHeader;
}

std::string TBaseDataImportEngine::GetInputFile() {
  return FCurrentInputFile;
}

bool TBaseDataImportEngine::HandelFieldAssignments() {
  return CurrentFormat()->HandelFieldAssignments;
}

bool TBaseDataImportEngine::RunFilterTypeHandler(int32_t FormatIndex, std::string& NewFileName) {
  return DoRunFilterTypeHandler(FormatIndex, NewFileName);
}

void TBaseDataImportEngine::SetFieldAssignment(TPackedNames Fields) {
  TStringList list;
  PPCharToStrings(Fields, list);
  DoSetFieldAssignment(list);
}

bool TBaseDataImportEngine::UseFormatForDialog(int32_t Index) {
  return GetFormats(Index)->UseFormatForDialog;
}

IPtr<IDataImportEngine> TBaseDataImportEngine::NewInstance() {
  return IPtr<IDataImportEngine>(CreateEngineInstance());
}

bool TBaseDataImportEngine::FileNameIsUserReadable(int32_t Index) {
  return GetFormats(Index)->FileNameIsUserReadable;
}

}  // namespace vela
