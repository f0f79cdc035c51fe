#include "_DataTableSettings.h"

#include "_CustomImportPreProcessor.h"
#include "rtl/Exceptions.h"
#include "rtl/FileUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vela {

// --- TConfigStoreIniFile ---

void TConfigStoreIniFile::WriteString(std::string_view section, std::string_view ident,
                                      std::string_view value) {
  TMemIniFile::WriteString(section, ident, value);
  FModified = true;
}

void TConfigStoreIniFile::UpdateFile() {
  TMemIniFile::UpdateFile();
  FModified = false;
}

// --- TLookupExportModes ---

void TLookupExportModes::LoadFormINI(const TMemIniFile& AConfig, const std::string& APrefix) {
  Clear();
  const std::string section = APrefix + "LookupFieldMode";
  TStringList lines;
  AConfig.ReadSectionValues(section, lines);
  for (int i = 0; i < lines.Count(); ++i) {
    auto setting = std::make_unique<TLookupExportModeSetting>();
    const std::string name = lines.Names(i);
    const std::string value = lines.ValueFromIndex(i);
    int32_t mode = 0;
    setting->FLookupFieldValueMode =
        TryStrToInt(value, mode) ? static_cast<TLookupFieldValueMode>(mode)
                                 : StrToLookupFieldValueModeDef(value, TLookupFieldValueMode{});
    setting->FCustomLookupField = AConfig.ReadString(section + "_" + name, "LookupFieldName", "");
    if (FItems.count(name) != 0)
      throw EListError(
          Format("Duplicates not allowed: lookup field mode of '%s' in [%s]", {name, section}));
    FItems.emplace(name, std::move(setting));
  }
}

bool TLookupExportModes::QueryExportMode(std::string_view AFieldName, TLookupFieldValueMode& AMode,
                                         std::string& ACustomField) const {
  auto it = FItems.find(AFieldName);
  if (it == FItems.end()) return false;
  AMode = it->second->FLookupFieldValueMode;
  if (!it->second->FCustomLookupField.empty()) ACustomField = it->second->FCustomLookupField;
  return true;
}

// --- TDataTableFilterExpressions ---

void TDataTableFilterExpressions::LoadFromINI(const TMemIniFile& AConfig,
                                              const std::string& APrefix,
                                              TXMLPreProcessorFunction AFunction) {
  Clear();
  TStringList lines;
  AConfig.ReadSectionValues(
      APrefix + "FilterExpressions" + (AFunction == pemImportTransformXML ? "Import" : "Export"),
      lines);
  for (int i = 0; i < lines.Count(); ++i) {
    TFilterExpressionItem& item = Add();
    item.SetIndex(-1);
    item.Load(lines.Names(i), lines.ValueFromIndex(i));
  }
}

// --- TDataTableSettings ---

TDataTableSettings::TDataTableSettings(TCustomImportPreProcessor* AProcessor,
                                       std::string ADetailConfigPartName,
                                       TXMLPreProcessorFunction AFunction,
                                       TDataTableSettings* AParent)
    : FProcessor(AProcessor),
      FDetailConfigPartName(std::move(ADetailConfigPartName)),
      FParent(AParent),
      FFunction(AFunction) {}

TDataTableSettings::~TDataTableSettings() {
  FDetailDataTables.clear();
  if (FConfigStore && FConfigStore->Modified() && !FConfigStore->FileName().empty()) {
    // A destructor must not throw: a store that cannot be written loses only the date of the
    // last run, and the next run then exports everything again.
    try {
      ForceDirectories(ExtractFileDir(FConfigStore->FileName()));
      FConfigStore->UpdateFile();
    } catch (...) {
    }
  }
  SetXMLWriter(nullptr);
}

std::unique_ptr<TDataTableSettings> TDataTableSettings::CreateInstance(
    TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
    TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent) {
  return std::make_unique<TDataTableSettings>(AProcessor, ADetailConfigPartName, AFunction,
                                              AParent);
}

std::unique_ptr<TDataTableSettings> TDataTableSettings::CreateSibling(
    TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
    TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent) const {
  return CreateInstance(AProcessor, ADetailConfigPartName, AFunction, AParent);
}

const char* TDataTableSettings::FunctionWord(TXMLPreProcessorFunction AFunction) noexcept {
  return AFunction == pemImportTransformXML ? "Import" : "Export";
}

std::string TDataTableSettings::SectionPrefix() const {
  return IsMaster() ? std::string() : FDetailConfigPartName + "_";
}

void TDataTableSettings::ReadSectionValues(std::string_view ASection, TStringList& AList) const {
  TStringList lines;
  FConfig->ReadSectionValues(ASection, lines);
  AList.AddStrings(lines);
}

std::string TDataTableSettings::ExpandPath(const std::string& APath) const {
  if (FProcessor != nullptr && FProcessor->MainInterface() != nullptr)
    return FProcessor->ExpandHostMacros(APath);
  return ExpandAppMacro(APath);
}

void TDataTableSettings::LoadFromConfig(TXMLPreProcessorFunction AFunction) {
  const std::string prefix = SectionPrefix();
  const std::string velaxml = prefix + "VelaXML";
  FXMLPartName = FConfig->ReadString(velaxml, "PartName", "");
  if (FXMLPartName.empty()) throw Exception("PartName for VelaXML not found in configuration!");
  FXMLRowName = FConfig->ReadString(velaxml, "ItemName", FXMLPartName + "_item");
  FConfigUID = FConfig->ReadString(velaxml, "UID", "");
  FStorePath = ExpandPath(FConfig->ReadString(
      velaxml, "StorePath", IncludeTrailingPathDelimiter(GetApplicationFolder()) + "velaxml"));

  FFieldSplitting.LoadFromINI(*FConfig, prefix);
  FReplacements.LoadFormINI(*FConfig, prefix);
  FFieldValueManipulator.LoadFormINI(*FConfig, prefix);
  FFilterExpressions.LoadFromINI(*FConfig, prefix, AFunction);
  FLookupExportModes.LoadFormINI(*FConfig, prefix);

  ReadSectionValues(prefix + "Mapping", FMapping);
  const std::string constSection = prefix + "ConstantValues";
  if (FConfig->SectionExists(constSection + FunctionWord(AFunction)))
    ReadSectionValues(constSection + FunctionWord(AFunction), FConstValues);
  else if (AFunction == pemImportTransformXML)
    ReadSectionValues(constSection, FConstValues);

  ReadSectionValues(prefix + "VelaXML Options", FXMLOptions);
  ReadSectionValues(prefix + "DeleteSources", FDeleteSources);
  ReadSectionValues(prefix + "SyncSources", FSyncSources);
  ReadSectionValues(prefix + "ProcessingOptions", FProcessingOptions);
  ReadSectionValues(prefix + "DeleteRecordCommands", FDeleteRecordCommands);
  ReadSectionValues(prefix + "WriterOptions", FWriterOptions);

  int32_t locateMode = 0;
  if (!TryStrToInt(FProcessingOptions.Values("keylocatemode"), locateMode)) locateMode = 0;
  if (locateMode == 0 && !FProcessingOptions.Values("keyfields").empty()) locateMode = rlmKeyFields;
  FRecordLocateMode = static_cast<TVelaXMLRecordLocateMode>(locateMode);

  FBinaryHandlingMode = StrToXMLBinaryHandlingMode(FProcessingOptions.Values("binaryhandlingmode"));
  FSourceBinaryDataEncoding =
      StrToXMLDataEncoding(FProcessingOptions.Values("sourcebinaryencoding"));

  FBinaryAttachementPath = ExpandAppMacro(FProcessingOptions.Values("binaryattachementpath"));
  if (FBinaryHandlingMode == xbhFile && FBinaryAttachementPath.empty()) {
    FBinaryAttachementPath = ExtractFileDir(InFile());
    if (InFile().empty() || FBinaryAttachementPath.empty())
      FBinaryAttachementPath = GetTempDirectory();
  }
  if (!FBinaryAttachementPath.empty()) {
    ForceDirectories(FBinaryAttachementPath);
    FBinaryAttachementPath = IncludeTrailingPathDelimiter(FBinaryAttachementPath);
  }

  FIsTree = FConfig->ReadBool(prefix + "ProcessingOptions", "treemode", false);
  FDetailMode = static_cast<TDetailMode>(
      FConfig->ReadInteger(prefix + "ProcessingOptions", "detailmode", dmSubDetail));

  ReadSectionValues(prefix + "TreeRootParams", FTreeRootParams);
}

void TDataTableSettings::SetConfig(TMemIniFile* AConfig) {
  FConfig = AConfig;
  if (FConfig != nullptr) LoadFromConfig(FFunction);
}

void TDataTableSettings::LoadDetails() {
  TStringList names;
  FConfig->ReadSection(SectionPrefix() + "DetailParts", names);
  for (int i = 0; i < names.Count(); ++i)
    AddDetailDataTable(names[i]).SetConfig(FConfig);
}

TDataTableSettings& TDataTableSettings::AddDetailDataTable(const std::string& AName) {
  FDetailDataTables.push_back(CreateSibling(FProcessor, AName, FFunction, this));
  return *FDetailDataTables.back();
}

TDataTableSettings& TDataTableSettings::GetDetailDataTables(int AIndex) const {
  if (AIndex < 0 || AIndex >= DetailDataTablesCount())
    throw EListError(Format("List index out of bounds (%d)", {AIndex}));
  return *FDetailDataTables[static_cast<size_t>(AIndex)];
}

TDataTableSettings* TDataTableSettings::GetDetailDataTableByPartName(
    std::string_view APartName) const {
  for (const auto& detail : FDetailDataTables)
    if (detail->FXMLPartName == APartName) return detail.get();
  return nullptr;
}

const std::string& TDataTableSettings::InFile() const noexcept {
  return FParent != nullptr ? FParent->InFile() : FInFile;
}

bool TDataTableSettings::ImportPreview() const {
  return FConfig != nullptr && FConfig->ReadBool("Settings", "ImportPreview", false);
}
bool TDataTableSettings::OnlyChanged() const {
  return FConfig != nullptr && FConfig->ReadBool("DB", "OnlyChanged", false);
}
bool TDataTableSettings::OnlyThisPlace() const {
  return FConfig != nullptr && FConfig->ReadBool("DB", "OnlyThisPlace", false);
}
bool TDataTableSettings::UpdateLastChanged() const {
  return FConfig != nullptr && FConfig->ReadBool("DB", "UpdateLastChanged", false);
}
std::string TDataTableSettings::LastChangedParamName() const {
  return FConfig != nullptr ? FConfig->ReadString("DB", "LastChangedParamName", "") : std::string();
}

void TDataTableSettings::SetXMLWriter(TCustomProcessorVelaXMLWriter* AWriter) {
  FXMLWriter = AWriter;
  if (AWriter != nullptr) AWriter->AttachDataTableSettings(*this);
}

TConfigStoreIniFile& TDataTableSettings::ConfigStore() {
  if (!FConfigStore) {
    std::string name = FConfigUID;
    if (name.empty() && FConfig != nullptr)
      name = FConfig->ReadString(SectionPrefix() + "VelaXML", "Application", "");
    // A detail that names no store of its own keeps its date in its master's store (its own
    // section), so one file holds the whole configuration and no store overwrites another's.
    if (name.empty() && FParent != nullptr) return FParent->ConfigStore();
    if (name.empty())
      FConfigStore = std::make_unique<TConfigStoreIniFile>();
    else
      FConfigStore = std::make_unique<TConfigStoreIniFile>(
          IncludeTrailingPathDelimiter(FStorePath) + ConvertToFileName(name) + ".store");
  }
  return *FConfigStore;
}

TDateTime TDataTableSettings::LastChangedDate() {
  return ConfigStore().ReadDateTime(LastChangedDateSection(), LastChangedDateIdent(), MinDateTime);
}

void TDataTableSettings::SetLastChangedDate(TDateTime AValue) {
  ConfigStore().WriteDateTime(LastChangedDateSection(), LastChangedDateIdent(), AValue);
}

}  // namespace vela
