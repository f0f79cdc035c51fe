#include "_CustomDataSetImportPreProcessor.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <thread>

#include "host/velaxml/VelaXMLPartHandlerIntf.h"
#include "host/velaxml/XMLValues.h"
#include "rtl/Encoders.h"
#include "rtl/FileUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// The type a "DataFormats" line names; any other text gives ftUnknown.
TFieldType DataFormatType(std::string_view AName) {
  static const std::pair<const char*, TFieldType> kTypes[] = {
      {"String", ftString}, {"Date", ftDate}, {"Time", ftTime}, {"DateTime", ftDateTime},
      {"Float", ftFloat},   {"Blob", ftBlob}, {"Memo", ftMemo}};
  for (const auto& [name, type] : kTypes)
    if (AName == name) return type;
  return ftUnknown;
}

bool IsBinaryOrLong(TFieldType AType) {
  switch (AType) {
    case ftVarBytes:
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
    case ftWideMemo:
      return true;
    default:
      return false;
  }
}

bool IsTextType(TFieldType AType) {
  return AType == ftString || AType == ftMemo || AType == ftWideString || AType == ftWideMemo;
}

// The dataset offered to the host's preview: its fields, then one virtual field per part of
// every split field, whose values are computed from the source field.
class TDataSetPreviewDataSource : public TInterfacedObject,
                                  public IXMLPreProcessorPreviewDataSource {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessorPreviewDataSource)

 public:
  TDataSetPreviewDataSource(TDataSet& ADataSet, const TStringList& AMapping,
                            const TFieldSplitting& ASplitting, std::string APartIdent)
      : FDataSet(ADataSet), FMapping(AMapping), FPartIdent(std::move(APartIdent)) {
    for (int i = 0; i < ASplitting.Count(); ++i)
      for (int part = 0; part < ASplitting.GetSplitData(i).Count(); ++part)
        FSplitFields.emplace_back(&ASplitting.GetSplitData(i), part);
  }
  int32_t Get_FieldCount() noexcept override {
    return FDataSet.FieldCount() + static_cast<int32_t>(FSplitFields.size());
  }
  std::string Get_FieldName(int32_t AIndex) noexcept override {
    if (AIndex < FDataSet.FieldCount()) return FDataSet.Fields(AIndex).FieldName();
    const auto& [split, part] = FSplitFields[static_cast<size_t>(AIndex - FDataSet.FieldCount())];
    return split->GetFieldName(part);
  }
  std::string Get_FieldCaption(int32_t AIndex) noexcept override {
    return AIndex < FDataSet.FieldCount() ? FDataSet.Fields(AIndex).DisplayName()
                                          : Get_FieldName(AIndex);
  }
  int32_t Get_RecordCount() noexcept override { return FDataSet.RecordCount(); }
  Variant Get_Value(int32_t ARecNo, int32_t AFieldIndex) noexcept override {
    try {
      FDataSet.SetRecNo(ARecNo + kZeroRecNoOffset);
      if (AFieldIndex < FDataSet.FieldCount()) return FDataSet.Fields(AFieldIndex).Value();
      const auto& [split, part] =
          FSplitFields[static_cast<size_t>(AFieldIndex - FDataSet.FieldCount())];
      TField* source = FDataSet.FindField(split->FieldName());
      return Variant(source != nullptr ? split->GetValue(part, source->AsString()) : "");
    } catch (...) {
      return Null();
    }
  }
  IPtr<IStringListData> Get_FieldMapping() noexcept override {
    std::vector<std::string> lines;
    for (int i = 0; i < FMapping.Count(); ++i)
      lines.push_back(FMapping[i]);
    return NewStringListData(lines);
  }
  std::string Get_PartIdent() noexcept override { return FPartIdent; }

 private:
  static constexpr int kZeroRecNoOffset = 1;
  TDataSet& FDataSet;
  const TStringList& FMapping;
  std::string FPartIdent;
  std::vector<std::pair<const TSplittedFieldData*, int>> FSplitFields;
};

}  // namespace

// --- TXMLFieldList ---

int TXMLFieldList::GetDatasetFieldIndexByXMLFieldName(std::string_view AName) const {
  for (const auto& item : FItems)
    if (item->XMLFieldName == AName) return item->DataSetFieldIndex;
  return -1;
}

// --- TDataSetTableSettings ---

TDataSetTableSettings::TDataSetTableSettings(TCustomImportPreProcessor* AProcessor,
                                             std::string ADetailConfigPartName,
                                             TXMLPreProcessorFunction AFunction,
                                             TDataTableSettings* AParent)
    : TDataTableSettings(AProcessor, std::move(ADetailConfigPartName), AFunction, AParent) {}

TDataSetTableSettings::~TDataSetTableSettings() = default;

std::unique_ptr<TDataTableSettings> TDataSetTableSettings::CreateInstance(
    TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
    TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent) {
  return std::make_unique<TDataSetTableSettings>(AProcessor, ADetailConfigPartName, AFunction,
                                                 AParent);
}

std::unique_ptr<TDataTableSettings> TDataSetTableSettings::CreateSibling(
    TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
    TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent) const {
  return CreateInstance(AProcessor, ADetailConfigPartName, AFunction, AParent);
}

TCustomDataSetImportPreProcessor& TDataSetTableSettings::DataSetProcessor() const {
  auto* p = dynamic_cast<TCustomDataSetImportPreProcessor*>(Processor());
  if (p == nullptr)
    throw Exception("TDataSetTableSettings: the table belongs to no dataset pre-processor");
  return *p;
}

std::string TDataSetTableSettings::TableName() const {
  return Config() == nullptr ? std::string()
                             : Processor()->GetConfigEntryValue(
                                   Config()->ReadString(SectionPrefix() + "DB", "TableName", ""));
}

std::string TDataSetTableSettings::Query() const {
  return Config() == nullptr ? std::string()
                             : Processor()->GetConfigEntryValue(
                                   Config()->ReadString(SectionPrefix() + "DB", "Query", ""));
}

TDateTime TDataSetTableSettings::ProcessStartDate() const noexcept {
  return DataSetParent() != nullptr ? DataSetParent()->ProcessStartDate() : FProcessStartDate;
}

void TDataSetTableSettings::SetOwnedDataSet(std::unique_ptr<TDataSet> ADataSet) {
  FOwnedDataSet = std::move(ADataSet);
  FDataSet = FOwnedDataSet.get();
  if (FDataSet != nullptr && !FIsNestedDataSet) BindFilterFields(FDataSet);
}

void TDataSetTableSettings::SetNestedDataSet(TDataSet* ADataSet) {
  FOwnedDataSet.reset();
  FDataSet = ADataSet;
  FIsNestedDataSet = true;
}

void TDataSetTableSettings::LoadFromConfig(TXMLPreProcessorFunction AFunction) {
  TDataTableSettings::LoadFromConfig(AFunction);
  if (!FIsNestedDataSet)
    SetOwnedDataSet(DataSetProcessor().CreateDataSet(TableName(), Query(), InFile(), Mapping(),
                                                     FieldSplitting(), AFunction, SectionPrefix(),
                                                     *this));
  else if (FDataSet != nullptr)
    BindFilterFields(FDataSet);
  LoadDetails();
}

void TDataSetTableSettings::LoadDetails() {
  if (FDataSet != nullptr && DataSetProcessor().SupportsNestedDataSets()) {
    if (!FDataSet->Active()) FDataSet->Open();
    for (int i = 0; i < FDataSet->FieldCount(); ++i) {
      TField& field = FDataSet->Fields(i);
      if (field.DataType() != ftDataSet || field.NestedDataSet() == nullptr) continue;
      const std::string name =
          Config()->ReadString(SectionPrefix() + "DetailConfig", field.FieldName(), "");
      if (name.empty()) continue;
      auto& detail =
          static_cast<TDataSetTableSettings&>(AddDetailDataTable(SectionPrefix() + name));
      detail.SetNestedDataSet(field.NestedDataSet());
      detail.SetConfig(Config());
    }
  }
  TDataTableSettings::LoadDetails();
}

void TDataSetTableSettings::OpenDataSet() {
  if (FDataSet == nullptr || FDataSet->Active()) return;
  if (!OnlyChanged()) {
    FProcessStartDate = MinDateTime;
  } else {
    FProcessStartDate = Now();
    if (Function() == pemImportTransformXML)
      DataSetProcessor().SetLastChangedParam(*this, *FDataSet, LastChangedDate());
  }
  FDataSet->Open();
}

void TDataSetTableSettings::BindFilterFields(TDataSet* ADataSet) {
  for (int i = 0; i < FilterExpressions().Count(); ++i) {
    TFilterExpressionItem& item = FilterExpressions().GetItem(i);
    TField* field = ADataSet != nullptr ? ADataSet->FindField(item.FieldName()) : nullptr;
    item.SetIndex(field != nullptr ? field->Index() : -1);
  }
}

bool TDataSetTableSettings::IsValidDataSetFilterRecord() const {
  auto& filters = const_cast<TDataSetTableSettings*>(this)->FilterExpressions();
  for (int i = 0; i < filters.Count(); ++i) {
    const TFilterExpressionItem& item = filters.GetItem(i);
    if (item.Index() >= 0 && item.Index() < FDataSet->FieldCount() &&
        !item.IsTextFullValid(FDataSet->Fields(item.Index()).AsString()))
      return false;
  }
  return true;
}

TStringList& TDataSetTableSettings::DataSetLocateKeyFields() {
  if (!FDataSetLocateKeyFieldsValid) {
    FDataSetLocateKeyFieldsValid = true;
    FDataSetLocateKeyFields.Clear();
    FDataSetLocateKeyFields.SetDelimiter(';');
    if (RecordLocateMode() == rlmKeyFields) {
      TStringList keys;
      keys.SetCommaText(ProcessingOptions().Values("keyfields"));
      for (int i = 0; i < keys.Count(); ++i)
        for (int m = 0; m < Mapping().Count(); ++m)
          if (Mapping().ValueFromIndex(m) == keys[i]) {
            const std::string fieldName = Mapping().Names(m);
            TField* field = FDataSet != nullptr ? FDataSet->FindField(fieldName) : nullptr;
            FDataSetLocateKeyFields.AddObject(
                fieldName, std::make_unique<TDataSetLocateKeyFieldItemData>(keys[i], field));
            break;
          }
    }
  }
  return FDataSetLocateKeyFields;
}

// --- TCustomDataSetImportPreProcessor ---

TCustomDataSetImportPreProcessor::TCustomDataSetImportPreProcessor() {
  SetDataTableSettingsClass(&TDataSetTableSettings::CreateInstance);
  SetSupportedFunctions({pemImportTransformXML, pemExportSAXWriter});
}

TCustomDataSetImportPreProcessor::~TCustomDataSetImportPreProcessor() = default;

bool TCustomDataSetImportPreProcessor::Do_ConfigHost(std::string&, const std::string&,
                                                     std::string& ErrorMessage) noexcept {
  ErrorMessage = Get_Caption() + ": no host configuration";
  return false;
}

bool TCustomDataSetImportPreProcessor::Do_RetreiveTableList(
    const std::string&, TXMLPreProcessorFmt, IDataStream*, TXMLPreProcessorFmt, TVXCAction,
    IPtr<IStringListData>& ATableList, std::string& ErrorMessage, const std::string&) noexcept {
  ATableList = nullptr;
  ErrorMessage = Get_Caption() + ": no table list";
  return false;
}

TParams* TCustomDataSetImportPreProcessor::GetDataSetParams(TDataSet& ADataSet) {
  return ADataSet.Params().Count() > 0 ? &ADataSet.Params() : nullptr;
}

void TCustomDataSetImportPreProcessor::AssignDataSetParams(TDataSetTableSettings& ASettings,
                                                           TDataSet* AParentDataSet,
                                                           TDataSet& ADataSet) {
  TParams* params = GetDataSetParams(ADataSet);
  if (params == nullptr) return;
  const bool treeRoot = ASettings.IsTree() && AParentDataSet == &ADataSet;
  for (TParam& param : *params) {
    if (treeRoot) {
      const int i = ASettings.TreeRootParams().IndexOfName(param.Name());
      param.SetValue(i >= 0 ? Variant(ASettings.TreeRootParams().ValueFromIndex(i)) : Null());
    } else {
      TField* field = AParentDataSet != nullptr ? AParentDataSet->FindField(param.Name()) : nullptr;
      param.SetValue(field != nullptr ? field->Value() : Null());
    }
  }
  AfterAssignDataSetParams(ADataSet);
}

std::unique_ptr<TDataSet> TCustomDataSetImportPreProcessor::CreateDataSet(
    const std::string&, const std::string&, const std::string&, const TStringList&,
    const TFieldSplitting&, TXMLPreProcessorFunction, const std::string&, TDataSetTableSettings&) {
  return nullptr;
}

std::string TCustomDataSetImportPreProcessor::ReplaceFileMacro(const std::string& S) const {
  return StringReplace(S, "%FILE%", ExtractFileName(FConfigFile), rfReplaceAll);
}

std::string TCustomDataSetImportPreProcessor::GetDocumentName() const {
  constexpr const char* kDefault = "DB2VelaXML;%FILE%";
  return FConfig ? FConfig->ReadString("Settings", "application", kDefault) : kDefault;
}

void TCustomDataSetImportPreProcessor::SetLastChangedParam(TDataSetTableSettings& ASettings,
                                                           TDataSet& ADataSet, TDateTime ADate) {
  const std::string name = ASettings.LastChangedParamName();
  TParams* params = GetDataSetParams(ADataSet);
  if (name.empty() || params == nullptr) return;
  if (TParam* param = params->FindParam(name)) param->SetValue(Variant::FromDateTime(ADate));
}

bool TCustomDataSetImportPreProcessor::DoBeforeExportRecord(TDataSet& ADataSet) {
  bool doExport = true;
  if (OnBeforeExportRecord) OnBeforeExportRecord(ADataSet, doExport);
  return doExport;
}

void TCustomDataSetImportPreProcessor::CloseTableDataSet(TDataSetTableSettings& ASettings,
                                                         TXMLPreProcessorFunction) {
  if (ASettings.DataSet() != nullptr) ASettings.DataSet()->Close();
}

void TCustomDataSetImportPreProcessor::LoadConfig(const std::string& AParams,
                                                  TXMLPreProcessorFmt AParamsFmt) {
  FConfigFile.clear();
  FConfig.reset();
  if (AParamsFmt == xmpFile) {
    FConfigFile = MainInterface() != nullptr ? ExpandHostMacros(AParams) : ExpandAppMacro(AParams);
    if (!FConfigFile.empty() && !FileExists(FConfigFile))
      throw Exception("Configuration file '" + FConfigFile + "' not found!");
    if (!FConfigFile.empty()) FConfig = std::make_unique<TMemIniFile>(FConfigFile);
  } else {
    FConfig = std::make_unique<TMemIniFile>();
    FConfig->SetText(AParams);
  }
}

std::string TCustomDataSetImportPreProcessor::ReadInFileName(IDataStream* AInData) {
  std::string name;
  if (AInData == nullptr) return name;
  AInData->Seek(0, 0);
  char buf[4096];
  for (int64_t n; (n = AInData->Read(buf, sizeof buf)) > 0;)
    name.append(buf, static_cast<size_t>(n));
  return name;
}

void TCustomDataSetImportPreProcessor::InternalPreConvert(
    IDataStream* AInData, IDataStream* AOutData, const std::string& AParams,
    TXMLPreProcessorFmt AInFmt, TXMLPreProcessorFmt AParamsFmt, TXMLPreProcessorFunction AFunction,
    bool AOnlyThisPlace, INamedVariantListData* AOptions) {
  TCustomImportPreProcessor::InternalPreConvert(AInData, AOutData, AParams, AInFmt, AParamsFmt,
                                                AFunction, AOnlyThisPlace, AOptions);
  struct TConfigReset {
    std::unique_ptr<TMemIniFile>& Config;
    ~TConfigReset() { Config.reset(); }
  } reset{FConfig};
  LoadConfig(AParams, AParamsFmt);
  if (FConfig) {
    const std::string log = FConfig->ReadString("VelaXML", "ErrorLogFile", "");
    SetErrorLogFile(log.empty() || MainInterface() == nullptr ? ExpandAppMacro(log)
                                                              : ExpandHostMacros(log));
  }
  IPtr<IVelaXMLWriter> writer = CreateXMLWriter(AOutData, AOptions, AOnlyThisPlace, AFunction);
  if (!writer) throw Exception(Get_Caption() + ": the function is not supported");
  writer->StartDocument(ReplaceFileMacro(GetDocumentName()));
  ProcessData(AInData, *writer, AFunction, AInFmt, AParams);
  writer->EndDocument();
  if (FConfig && AOutData != nullptr && AOutData->Get_Size() > 0)
    SaveOutputCopy(*FConfig, AOutData, AFunction);
}

void TCustomDataSetImportPreProcessor::ProcessData(IDataStream* AInData, IVelaXMLWriter& AWriter,
                                                   TXMLPreProcessorFunction AFunction,
                                                   TXMLPreProcessorFmt AInFmt, const std::string&) {
  if (FConfig) DoImport(AInData, AInFmt, AFunction, AWriter);
}

void TCustomDataSetImportPreProcessor::DoImport(IDataStream* AInData, TXMLPreProcessorFmt AInFmt,
                                                TXMLPreProcessorFunction AFunction,
                                                IVelaXMLWriter& AWriter) {
  std::unique_ptr<TDataTableSettings> owned =
      DataTableSettingsClass()(this, std::string(), AFunction, nullptr);
  auto& settings = dynamic_cast<TDataSetTableSettings&>(*owned);
  struct TClose {
    TCustomDataSetImportPreProcessor& P;
    TDataSetTableSettings& S;
    TXMLPreProcessorFunction F;
    ~TClose() {
      try {
        P.CloseTableDataSet(S, F);
      } catch (...) {
      }
    }
  } close{*this, settings, AFunction};

  if (AInFmt == xmpFile) settings.SetInFile(ReadInFileName(AInData));
  settings.SetConfig(FConfig.get());
  settings.OpenDataSet();

  IPtr<IXMLPreProcessorImportInfo> importInfo;
  if (AFunction == pemImportTransformXML && settings.ImportPreview() &&
      !ShowPreview(settings, importInfo))
    Abort();
  if (settings.ProcessingOptions().Values("DebugPreProcessorException") == "1")
    throw EPreProcessorErrorTest("PreProcessor Error Test Exception for debug purpose.");

  if (AFunction == pemImportTransformXML) {
    ExportRecords(settings, AWriter, nullptr, nullptr, importInfo.get());
  } else if (AFunction == pemExportSAXWriter) {
    if (IPtr<IProcessorVelaXMLWriter> w = Supports<IProcessorVelaXMLWriter>(&AWriter))
      w->AssignToDataTableSettings(settings);
  }

  if (settings.OnlyChanged() && settings.UpdateLastChanged()) {
    TDateTime start = settings.ProcessStartDate();
    if (AFunction == pemImportTransformXML) {
      if (settings.DataSet() != nullptr) AdjustProcessStartDate(*settings.DataSet(), start);
      const std::string& store = settings.ConfigStore().FileName();
      if (start > MinDateTime && !store.empty())
        WritePostProcessCommand(AWriter, "WriteINIFileValue", "success",
                                store + "\n" + settings.LastChangedDateSection() + "\n" +
                                    TDataTableSettings::LastChangedDateIdent() + "\n" +
                                    DateTimeToStr(start));
    } else if (start > MinDateTime) {
      settings.SetLastChangedDate(start);
    }
  }
}

bool TCustomDataSetImportPreProcessor::ShowPreview(TDataSetTableSettings& ASettings,
                                                   IPtr<IXMLPreProcessorImportInfo>& AImportInfo) {
  AImportInfo = nullptr;
  if (ASettings.DataSet() == nullptr) return true;
  if (!ASettings.DataSet()->Active()) ASettings.DataSet()->Open();
  IPtr<IXMLPreProcessorPreviewDataSource> source(
      new TDataSetPreviewDataSource(*ASettings.DataSet(), ASettings.Mapping(),
                                    ASettings.FieldSplitting(), ASettings.XMLPartName()));
  return PreviewData(source.get(), AImportInfo);
}

void TCustomDataSetImportPreProcessor::BuildFieldList(TDataSetTableSettings& ASettings,
                                                      TDataSet& ADataSet, TDataSet* AParentDataSet,
                                                      TXMLFieldList& AList) {
  const TMemIniFile* config = ASettings.Config();
  const std::string formats = ASettings.SectionPrefix() + "DataFormats";
  auto add = [&](TDataSet& ds, int index, const std::string& key, bool child) {
    TXMLFieldData& item = AList.Add();
    item.DataSetFieldIndex = index;
    item.DataSet = &ds;
    item.IsChildField = child;
    item.XMLFieldName = ASettings.Mapping().Values(key);
    item.IsMapped = !item.XMLFieldName.empty();
    item.DataType = ds.Fields(index).DataType();
    if (item.IsMapped && config != nullptr && config->ValueExists(formats, item.XMLFieldName))
      item.DataType = DataFormatType(config->ReadString(formats, item.XMLFieldName, ""));
  };
  for (int i = 0; i < ADataSet.FieldCount(); ++i)
    add(ADataSet, i, ADataSet.Fields(i).FieldName(), false);
  if (!ASettings.IsMaster() && AParentDataSet != nullptr && AParentDataSet != &ADataSet)
    for (int i = 0; i < AParentDataSet->FieldCount(); ++i)
      add(*AParentDataSet, i, Format("@Parent:%s", {AParentDataSet->Fields(i).FieldName()}), false);
  for (int i = 0; i < ADataSet.FieldCount(); ++i) {
    TField& field = ADataSet.Fields(i);
    TDataSet* nested = field.DataType() == ftDataSet ? field.NestedDataSet() : nullptr;
    if (nested == nullptr) continue;
    for (int k = 0; k < nested->FieldCount(); ++k)
      add(*nested, k, field.FieldName() + ":" + nested->Fields(k).FieldName(), true);
  }
}

void TCustomDataSetImportPreProcessor::NavigateDataSet(TDataSet& ADataSet,
                                                       TDataSetNavAction AAction) {
  auto step = [&] {
    switch (AAction) {
      case TDataSetNavAction::First:
        ADataSet.First();
        break;
      case TDataSetNavAction::Next:
        ADataSet.Next();
        break;
      case TDataSetNavAction::Post:
        if (ADataSet.State() == dsEdit || ADataSet.State() == dsInsert) ADataSet.Post();
        return;
    }
    while (!ADataSet.Eof() && !IsAcceptedRecord(ADataSet))
      ADataSet.Next();
  };
  try {
    step();
  } catch (const std::exception& e) {
    if (!IsRetryableError(e)) throw;
    for (int attempt = 1;; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(FRetryPauseMs));
      try {
        step();
        return;
      } catch (const std::exception& again) {
        if (attempt == 3 || !IsRetryableError(again)) throw;
      }
    }
  }
}

struct TCustomDataSetImportPreProcessor::TRowField {
  const TXMLFieldData* Item = nullptr;
  std::string FieldName;     // the source field's name, which the transformations are keyed by
  bool Manipulated = false;  // the field has manipulations
  bool Replaced = false;     // the field has replacements
  // A split field: the split and, for each mapped part, its index, name and VelaXML name.
  TSplittedFieldData* Split = nullptr;
  struct TPart {
    int Index;
    std::string Name;
    std::string XMLName;
  };
  std::vector<TPart> Parts;
};

struct TCustomDataSetImportPreProcessor::TRowPlan {
  std::vector<TRowField> Fields;
  // "ConstantValues" lines with their values manipulated (the same for every row).
  std::vector<std::pair<std::string, std::string>> Constants;
  TXMLDataStore Store;  // the row's values
  std::string Value;    // the value being formatted
  Variant Bytes;        // the value handed to the writer
};

void TCustomDataSetImportPreProcessor::BuildRowPlan(TDataSetTableSettings& ASettings,
                                                    const TXMLFieldList& AFields, TRowPlan& APlan) {
  // The dataset's own fields, then the parent's, then the nested datasets' (list order).
  for (int i = 0; i < AFields.Count(); ++i) {
    const TXMLFieldData& item = AFields.GetItem(i);
    if (item.DataSet == nullptr || item.DataSetFieldIndex < 0) continue;
    TRowField field;
    field.Item = &item;
    field.FieldName = item.DataSet->Fields(item.DataSetFieldIndex).FieldName();
    field.Split = ASettings.FieldSplitting().GetSplitData(field.FieldName);
    if (field.Split != nullptr) {
      for (int part = 0; part < field.Split->Count(); ++part) {
        std::string name = field.Split->GetFieldName(part);
        std::string xmlName = ASettings.Mapping().Values(name);
        if (!xmlName.empty()) field.Parts.push_back({part, std::move(name), std::move(xmlName)});
      }
    } else if (!item.IsMapped) {
      continue;
    }
    field.Manipulated = ASettings.FieldValueManipulator().Manipulations(field.FieldName) != nullptr;
    field.Replaced = ASettings.Replacements().Entries(field.FieldName) != nullptr;
    APlan.Fields.push_back(std::move(field));
  }
  const TStringList& constants = ASettings.ConstValues();
  for (int i = 0; i < constants.Count(); ++i) {
    std::string name = constants.Names(i);
    std::string value = constants.ValueFromIndex(i);
    ASettings.FieldValueManipulator().ManipulateValue(value, name);
    APlan.Constants.emplace_back(std::move(name), std::move(value));
  }
}

namespace {

// The text of a field value as VelaXML carries it, into AText (empty for Null).
void FormatFieldValue(const TField& AField, std::string& AText) {
  AText.clear();
  const Variant& v = AField.Value();
  if (v.IsClear()) return;
  switch (AField.DataType()) {
    case ftDate:
      AText = XMLDateToStr(AField.AsDateTime());
      return;
    case ftTime:
      AText = XMLTimeToStr(AField.AsDateTime());
      return;
    case ftDateTime:
    case ftTimeStamp:
    case ftOraTimeStamp:
      AText = XMLDateTimeToStr(AField.AsDateTime());
      return;
    case ftBoolean:
      AText = XMLBoolToStr(AField.AsBoolean());
      return;
    default:
      break;
  }
  if (IsFloatFieldType(AField.DataType())) {
    AText = XMLFloatToStr(AField.AsFloat());
    return;
  }
  char digits[24];
  switch (v.kind()) {
    case Variant::Kind::String:
      AText.assign(v.GetString());
      return;
    case Variant::Kind::Int32:
      AText.assign(digits, std::to_chars(digits, digits + sizeof digits, v.GetInt32()).ptr);
      return;
    case Variant::Kind::Int64:
      AText.assign(digits, std::to_chars(digits, digits + sizeof digits, v.GetInt64()).ptr);
      return;
    default:
      AText = AField.AsString();
  }
}

}  // namespace

void TCustomDataSetImportPreProcessor::AddItemValue(TDataSetTableSettings& ASettings,
                                                    const TRowField& AField, TRowPlan& APlan) {
  const TXMLFieldData& item = *AField.Item;
  const TField& field = item.DataSet->Fields(item.DataSetFieldIndex);
  TXMLDataStore& store = APlan.Store;
  if (AField.Split != nullptr) {
    if (field.IsNull()) return;
    const std::string text = field.AsString();
    for (const TRowField::TPart& part : AField.Parts) {
      std::string value = AField.Split->GetValue(part.Index, text);
      ASettings.FieldValueManipulator().ManipulateValue(value, part.Name);
      ASettings.Replacements().Replace(value, part.Name);
      store.Add(part.XMLName, value);
    }
    return;
  }
  if (IsBinaryOrLong(field.DataType())) {
    const std::string raw = field.IsNull() ? std::string() : field.AsString();
    if (ASettings.BinaryHandlingMode() == xbhInline) {
      store.Add(item.XMLFieldName, raw, ASettings.SourceBinaryDataEncoding(), xbhInline,
                IsTextType(item.DataType) ? 65001 : 0);
    } else if (ASettings.BinaryHandlingMode() == xbhFile) {
      std::string bytes;
      switch (ASettings.SourceBinaryDataEncoding()) {
        case xdeBase64:
          bytes = Base64Decode(raw);
          break;
        case xdeBase64Compressed:
          bytes = DecompressString(Base64Decode(raw));
          break;
        case xdeHex:
          bytes = HexToText(raw);
          break;
        default:
          bytes = raw;
      }
      const std::string file = GetTempFileName(ASettings.BinaryAttachementPath(), "vxa");
      TFileStream out(file, fmCreate);
      out.WriteBuffer(bytes.data(), bytes.size());
      store.Add(item.XMLFieldName, file, xdeNone, xbhFile, 0);
    }
    return;
  }
  std::string& value = APlan.Value;
  FormatFieldValue(field, value);
  if (AField.Manipulated)
    ASettings.FieldValueManipulator().ManipulateValue(value, AField.FieldName);
  if (AField.Replaced) ASettings.Replacements().Replace(value, AField.FieldName);
  store.Add(item.XMLFieldName, value);
}

void TCustomDataSetImportPreProcessor::WriteRow(TDataSetTableSettings& ASettings,
                                                IVelaXMLWriter& AWriter, TDataSet& ADataSet,
                                                TRowPlan& APlan) {
  TXMLDataStore& store = APlan.Store;
  store.Clear();
  for (const TRowField& field : APlan.Fields)
    AddItemValue(ASettings, field, APlan);
  for (const auto& [name, value] : APlan.Constants)
    store.Add(name, value);

  const std::string& row = ASettings.XMLRowName();
  AWriter.StartElement(row, nullptr, xdeNone, xdeNone, xbhInline, 0);
  for (int i = 0; i < store.Count(); ++i) {
    const TXMLDataStoreItem& entry = store.GetItem(i);
    const TVelaXMLDataEncoding encoding =
        entry.DataEncoding() == xdeNone && entry.BinaryHandlingMode() == xbhInline
            ? xdeBase64Compressed
            : entry.DataEncoding();
    AWriter.StartElement(entry.Name(), nullptr, encoding, entry.DataEncoding(),
                         entry.BinaryHandlingMode(), entry.CodePage());
    AWriter.StartCData();
    APlan.Bytes.SetBytes(entry.Value());
    AWriter.Characters(APlan.Bytes);
    AWriter.EndCData();
    AWriter.EndElement(entry.Name());
  }
  for (int d = 0; d < ASettings.DetailDataTablesCount(); ++d) {
    TDataSetTableSettings& detail = ASettings.DataSetDetail(d);
    if (detail.DetailMode() == dmSubDetail)
      ExportRecords(detail, AWriter, nullptr, nullptr, nullptr);
  }
  if (ASettings.IsTree()) {
    std::unique_ptr<TDataSet> children = CreateDataSet(
        ASettings.TableName(), ASettings.Query(), ASettings.InFile(), ASettings.Mapping(),
        ASettings.FieldSplitting(), pemImportTransformXML, ASettings.SectionPrefix(), ASettings);
    if (children) {
      ExportRecords(ASettings, AWriter, &ADataSet, children.get(), nullptr);
      ASettings.BindFilterFields(&ADataSet);
    }
  }
  AWriter.EndElement(row);
}

void TCustomDataSetImportPreProcessor::ExportRecords(TDataSetTableSettings& ASettings,
                                                     IVelaXMLWriter& AWriter,
                                                     TDataSet* AParentDataSet, TDataSet* ADataSet,
                                                     IXMLPreProcessorImportInfo* AImportInfo) {
  for (int d = 0; d < ASettings.DetailDataTablesCount(); ++d)
    if (ASettings.DataSetDetail(d).DetailMode() == dmBeforeMaster)
      ExportRecords(ASettings.DataSetDetail(d), AWriter, nullptr, nullptr, nullptr);

  TDataSet* dataSet = ADataSet != nullptr ? ADataSet : ASettings.DataSet();
  TDataSet* parent = AParentDataSet;
  if (parent == nullptr)
    parent = !ASettings.IsMaster() && !ASettings.IsTree() && ASettings.DataSetParent() != nullptr
                 ? ASettings.DataSetParent()->DataSet()
                 : dataSet;
  const bool reported =
      (ASettings.IsMaster() || ASettings.DetailMode() != dmSubDetail) && ADataSet == nullptr;

  TXMLFieldList fields;
  if (dataSet != nullptr) {
    if (ASettings.IsTree() || (!reported && !ASettings.IsNestedDataSet())) {
      dataSet->Close();
      AssignDataSetParams(ASettings, parent, *dataSet);
      dataSet->Open();
    } else if (!dataSet->Active()) {
      dataSet->Open();
    }
    // Fields exist once the dataset is open, so the filter lines are bound here.
    ASettings.BindFilterFields(dataSet);
    BuildFieldList(ASettings, *dataSet, parent, fields);
  }
  const int count = dataSet != nullptr ? dataSet->RecordCount() : 0;

  TXMLDataStore partAttrs;
  partAttrs.Add("count", IntToStr(count));
  for (const TStringList* list : {&ASettings.XMLOptions(), &ASettings.ProcessingOptions()})
    for (int i = 0; i < list->Count(); ++i) {
      const std::string name = list->Names(i);
      if (name.empty()) continue;
      if (TXMLDataStoreItem* item = partAttrs.FindByName(name))
        item->SetValue(list->ValueFromIndex(i));
      else
        partAttrs.Add(name, list->ValueFromIndex(i));
    }
  TXMLDataStoreContainer attrs;
  attrs.Add(partAttrs);
  AWriter.StartElement(ASettings.XMLPartName(), &attrs, xdeNone, xdeNone, xbhInline, 0);
  const std::string& row = ASettings.XMLRowName();
  if (!ASettings.DeleteSources().IsEmpty())
    WriteRecordCommands(row, ASettings.DeleteSources(), AWriter, "delete");
  if (!ASettings.SyncSources().IsEmpty())
    WriteRecordCommands(row, ASettings.SyncSources(), AWriter, "sync");
  if (!ASettings.DeleteRecordCommands().IsEmpty())
    WriteDeleteRecordCommands(row, ASettings.DeleteRecordCommands(), AWriter);

  if (dataSet != nullptr) {
    if (reported) ProgressStart(count);
    struct TProgressEnd {
      TCustomDataSetImportPreProcessor* P;
      ~TProgressEnd() {
        if (P != nullptr) P->ProgressEnd();
      }
    } progressEnd{reported ? this : nullptr};
    TRowPlan plan;
    BuildRowPlan(ASettings, fields, plan);
    int recNo = -1;
    for (NavigateDataSet(*dataSet, TDataSetNavAction::First); !dataSet->Eof();
         NavigateDataSet(*dataSet, TDataSetNavAction::Next)) {
      ++recNo;
      if (ASettings.IsValidDataSetFilterRecord() &&
          (AImportInfo == nullptr || AImportInfo->Get_IsExportRecord(recNo)) &&
          DoBeforeExportRecord(*dataSet))
        WriteRow(ASettings, AWriter, *dataSet, plan);
      if (reported) ProgressStep(recNo + 1, count);
    }
  }
  AWriter.EndElement(ASettings.XMLPartName());

  for (int d = 0; d < ASettings.DetailDataTablesCount(); ++d)
    if (ASettings.DataSetDetail(d).DetailMode() == dmAfterMaster)
      ExportRecords(ASettings.DataSetDetail(d), AWriter, nullptr, nullptr, nullptr);
}

bool TCustomDataSetImportPreProcessor::GetSourceFieldList(const std::string& APrefix,
                                                          TStringList& AFieldList) {
  auto settings = std::make_unique<TDataSetTableSettings>(
      this, APrefix.empty() ? std::string() : APrefix.substr(0, APrefix.size() - 1),
      pemImportTransformXML, nullptr);
  const std::string section = APrefix + "DB";
  const std::string query = GetConfigEntryValue(FConfig->ReadString(section, "Query", ""));
  const std::string table = GetConfigEntryValue(FConfig->ReadString(section, "TableName", ""));
  TStringList mapping;
  FConfig->ReadSectionValues(APrefix + "Mapping", mapping);
  TFieldSplitting splitting;
  std::unique_ptr<TDataSet> ds = CreateDataSet(table, query, settings->InFile(), mapping, splitting,
                                               pemImportTransformXML, APrefix, *settings);
  if (!ds) return false;
  if (!APrefix.empty())
    if (TParams* params = GetDataSetParams(*ds)) {
      auto read = [&](const char* key) {
        const std::string v = FConfig->ReadString(section, key, "");
        return v.empty() ? FConfig->ReadString("DB", key, "") : v;
      };
      const std::string empty = read("MasterDetailEmptyParamValue");
      const std::string type = GetConfigEntryValue(read("MasterDetailParamType"));
      for (TParam& param : *params) {
        if (!empty.empty())
          param.SetValue(Variant(empty));
        else if (SameText(type, "string"))
          param.SetValue(Variant(std::string()));
        else if (SameText(type, "guid"))
          param.SetValue(Variant("{00000000-0000-0000-0000-000000000000}"));
        else if (SameText(type, "integer") || SameText(type, "autoinc"))
          param.SetValue(Variant(0));
        else
          param.SetValue(Null());
      }
    }
  ds->Open();
  for (int i = 0; i < ds->FieldCount(); ++i)
    AFieldList.Add(ds->Fields(i).FieldName());
  ds->Close();
  return true;
}

bool TCustomDataSetImportPreProcessor::GetSourceFieldListWithSplitFields(
    const std::string& APrefix, TStringList& AFieldList, bool AIncludeSplittedFields) {
  GetSourceFieldList(APrefix, AFieldList);
  if (AIncludeSplittedFields) {
    TFieldSplitting splitting;
    splitting.LoadFromINI(*FConfig, APrefix);
    for (int i = 0; i < splitting.Count(); ++i) {
      const TSplittedFieldData& split = splitting.GetSplitData(i);
      for (int part = 0; part < split.Count(); ++part)
        if (AFieldList.IndexOf(split.GetFieldName(part)) < 0)
          AFieldList.Add(split.GetFieldName(part));
    }
  }
  return true;
}

bool TCustomDataSetImportPreProcessor::InternalGetFieldList(
    const std::string& AParams, TXMLPreProcessorFmt AParamsFmt, const std::string& ADetailPrefix,
    TStringList& AFieldList, bool AIncludeSplittedFields, TXMLPreProcessorFmt, IDataStream*) {
  struct TConfigReset {
    std::unique_ptr<TMemIniFile>& Config;
    ~TConfigReset() { Config.reset(); }
  } reset{FConfig};
  LoadConfig(AParams, AParamsFmt);
  if (!FConfig) return false;
  return GetSourceFieldListWithSplitFields(ADetailPrefix, AFieldList, AIncludeSplittedFields);
}

}  // namespace vela

namespace vela {

// --- TDataSetProcessorVelaXMLWriter ---

TDataSetProcessorVelaXMLWriter::TDataSetProcessorVelaXMLWriter(
    TCustomImportPreProcessor* AOwner, TCustomProcessorVelaXMLWriter* AParentWriter,
    bool AOnlyThisPlace, INamedVariantListData* AOptions)
    : TCustomProcessorVelaXMLWriter(AOwner, AParentWriter, AOnlyThisPlace, AOptions) {}

TDataSetProcessorVelaXMLWriter::~TDataSetProcessorVelaXMLWriter() = default;

TCustomDataSetImportPreProcessor& TDataSetProcessorVelaXMLWriter::DataSetOwner() const {
  auto* p = dynamic_cast<TCustomDataSetImportPreProcessor*>(Owner());
  if (p == nullptr)
    throw Exception(
        "TDataSetProcessorVelaXMLWriter: the writer belongs to no dataset "
        "pre-processor");
  return *p;
}

void TDataSetProcessorVelaXMLWriter::AttachDataTableSettings(TDataTableSettings& ASettings) {
  auto& settings = dynamic_cast<TDataSetTableSettings&>(ASettings);
  if (settings.XMLWriter() == nullptr) {
    settings.SetXMLWriter(this);  // attaches again, now as the table's writer
    return;
  }
  TCustomProcessorVelaXMLWriter::AttachDataTableSettings(ASettings);
  FDataSetTableSettings = &settings;
  settings.OpenDataSet();
  TDataSet* dataSet = settings.DataSet();
  FXMLFields.Clear();
  FConstantFields.clear();
  if (dataSet != nullptr) {
    TDataSet* parent =
        settings.DataSetParent() != nullptr ? settings.DataSetParent()->DataSet() : nullptr;
    TCustomDataSetImportPreProcessor::BuildFieldList(settings, *dataSet, parent, FXMLFields);
    const TStringList& constants = settings.ConstValues();
    for (int i = 0; i < constants.Count(); ++i)
      FConstantFields.emplace_back(i, dataSet->FindField(constants.Names(i)));
  }
  TVelaXMLWriterParams& params = Get_Params();
  const TStringList& options = settings.ProcessingOptions();
  auto flag = [&](const char* AName) {
    int32_t v = 1;
    return !TryStrToInt(options.Values(AName), v) || v == 1;
  };
  params.UpdateCheck = flag("updatecheck");
  params.ModifyExisting = flag("modifyexisting");
  params.OnlyChanged = settings.OnlyChanged();
  params.OnlyThisPlace = settings.OnlyThisPlace();
  params.LastChangedDate = settings.LastChangedDate();
  params.ProcessToDate = settings.ProcessStartDate();
  for (int i = 0; i < options.Count(); ++i)
    params.SetOption(options.Names(i), Variant(options.ValueFromIndex(i)));
}

void TDataSetProcessorVelaXMLWriter::ExportPart() {
  IVelaXMLPartHandlerContainer* container =
      Owner() != nullptr ? Owner()->PartHandlerContainer() : nullptr;
  if (container == nullptr || FDataSetTableSettings == nullptr) return;
  const std::string& part = FDataSetTableSettings->XMLPartName();
  IPtr<IXMLImportPartHandler> handler = container->GetPartByIndent(part);
  if (!handler) throw Exception("No part handler for the part '" + part + "'");
  StartPartExport();
  if (!handler->ExportPart(static_cast<IVelaXMLWriter*>(this), true)) {
    const std::string text = handler->GetLastErrorText();
    Owner()->LogErrorToFile("raising PartHandlerError: " + text);
    throw Exception(text);
  }
  FinishPartExport();
}

bool TDataSetProcessorVelaXMLWriter::InEditOrInsert() const {
  TDataSet* ds = FDataSetTableSettings != nullptr ? FDataSetTableSettings->DataSet() : nullptr;
  return ds != nullptr && (ds->State() == dsEdit || ds->State() == dsInsert);
}

bool TDataSetProcessorVelaXMLWriter::LocateRecord(const TXMLDataStore& AAttributes) {
  TDataSet* ds = FDataSetTableSettings->DataSet();
  if (ds == nullptr) return false;
  switch (FDataSetTableSettings->RecordLocateMode()) {
    case rlmKeyFields: {
      TStringList& keys = FDataSetTableSettings->DataSetLocateKeyFields();
      if (keys.IsEmpty()) return false;
      std::vector<Variant> values;
      std::string names;
      for (int i = 0; i < keys.Count(); ++i) {
        auto* key = static_cast<TDataSetLocateKeyFieldItemData*>(keys.Objects(i));
        const std::string_view text = AAttributes.ValueByName(key->VelaXMLAttrName());
        if (key->Field() == nullptr) return false;
        // The text converted to the key field's type, as the field itself would convert it.
        const TFieldType type = key->Field()->DataType();
        if (IsIntegerFieldType(type))
          values.emplace_back(XMLStrToInteger(text));
        else if (IsFloatFieldType(type))
          values.emplace_back(XMLStrToFloat(text));
        else
          values.emplace_back(std::string(text));
        names += (i > 0 ? ";" : "") + keys[i];
      }
      return ds->Locate(names, values, loCaseInsensitive);
    }
    case rlmFirstRecordOnly:
      ds->First();
      return !ds->IsEmpty();
    default:
      return false;
  }
}

void TDataSetProcessorVelaXMLWriter::SetFieldText(TField& AField, std::string_view AText,
                                                  TFieldType AXMLType) {
  if (AField.ReadOnly()) return;
  const TFieldType type = AField.DataType();
  if (IsIntegerFieldType(type)) {
    AField.SetAsLargeInt(XMLStrToInteger(AText));
    return;
  }
  if (IsFloatFieldType(type)) {
    AField.SetAsFloat(XMLStrToFloat(AText));
    return;
  }
  if (IsDateTimeFieldType(type) || type == ftOraTimeStamp) {
    AField.SetAsDateTime(XMLStrToDateTime(AText));
    return;
  }
  if (type == ftBoolean) {
    AField.SetAsBoolean(XMLStrToBool(AText));
    return;
  }
  // Text fields receive the text in the form the VelaXML field type asks for.
  switch (AXMLType) {
    case ftDate:
    case ftDateTime:
    case ftTimeStamp: {
      const TDateTime dt = XMLStrToDateTime(AText);
      AField.SetAsString(dt <= MinDateTime    ? std::string()
                         : AXMLType == ftDate ? DateToStr(dt)
                                              : DateTimeToStr(dt));
      return;
    }
    case ftFloat:
    case ftCurrency:
      AField.SetAsString(FloatToStr(XMLStrToFloat(AText)));
      return;
    case ftBoolean:
      AField.SetAsString(XMLStrToBool(AText) ? "True" : "False");
      return;
    default:
      AField.SetAsString(IsIntegerFieldType(AXMLType) ? IntToStr(XMLStrToInteger(AText))
                                                      : std::string(AText));
  }
}

TDataSetProcessorVelaXMLWriter* TDataSetProcessorVelaXMLWriter::ChildWriterFor(
    TDataSetTableSettings& ADetail) {
  if (ADetail.XMLWriter() == nullptr) {
    IPtr<TCustomProcessorVelaXMLWriter> child = CreateChildWriter();
    child->AttachDataTableSettings(ADetail);
  }
  return dynamic_cast<TDataSetProcessorVelaXMLWriter*>(ADetail.XMLWriter());
}

void TDataSetProcessorVelaXMLWriter::InternalStartElement(
    const std::string& AName, const TXMLDataStoreContainer* AAttrs, TVelaXMLDataEncoding AEncoding,
    TVelaXMLDataEncoding ASourceEncoding, TVelaXMLBinaryHandlingMode ABinaryHandlingMode,
    uint16_t ACodePage) {
  TCustomProcessorVelaXMLWriter::InternalStartElement(AName, AAttrs, AEncoding, ASourceEncoding,
                                                      ABinaryHandlingMode, ACodePage);
  ++FCurrentNodeLevel;
  FActiveEncoding = AEncoding;
  FActiveCodePage = ACodePage;
  if (FActiveChildWriter != nullptr) {
    FActiveChildWriter->StartElement(AName, AAttrs, AEncoding, ASourceEncoding, ABinaryHandlingMode,
                                     ACodePage);
    return;
  }
  if (FDataSetTableSettings == nullptr) return;
  TDataSetTableSettings& settings = *FDataSetTableSettings;
  TDataSet* ds = settings.DataSet();
  if (AName == settings.XMLPartName()) {
    const TXMLDataStoreItem* command =
        AAttrs != nullptr ? AAttrs->FindByName("velaxml_command") : nullptr;
    FActiveVelaXMLCommand = command != nullptr
                                ? TCustomImportPreProcessor::StrToVelaXMLCommand(command->Value())
                                : vxcNone;
    FActiveVelaXMLCommandRecordList.clear();
    return;
  }
  if (AName == settings.XMLRowName()) {
    TXMLDataStore attributes;
    if (AAttrs != nullptr)
      for (int s = 0; s < AAttrs->Count(); ++s)
        for (int i = 0; i < AAttrs->GetItem(s).Count(); ++i) {
          const TXMLDataStoreItem& a = AAttrs->GetItem(s).GetItem(i);
          attributes.Add(a.Name(), a.Value());
        }
    if (ds == nullptr) return;
    if (FActiveVelaXMLCommand == vxcSyncExisting) {
      if (LocateRecord(attributes)) FActiveVelaXMLCommandRecordList.insert(ds->RecNo());
      return;
    }
    const TVelaXMLWriterParams& params = Get_Params();
    if (params.UpdateCheck && LocateRecord(attributes)) {
      if (params.ModifyExisting) ds->Edit();
    } else {
      ds->Append();
    }
    if (InEditOrInsert())
      for (int i = 0; i < FXMLFields.Count(); ++i) {
        const TXMLFieldData& item = FXMLFields.GetItem(i);
        if (!item.IsMapped || item.DataSetFieldIndex < 0 || item.DataSet != ds) continue;
        const TXMLDataStoreItem* attr = attributes.FindByName(item.XMLFieldName);
        if (attr == nullptr) continue;
        TField& field = ds->Fields(item.DataSetFieldIndex);
        std::string value = attr->Value();
        settings.FieldValueManipulator().ManipulateValue(value, field.FieldName());
        settings.Replacements().Replace(value, field.FieldName());
        SetFieldText(field, value, item.DataType);
      }
    FCurrentRowValues.Clear();
    for (int i = 0; i < attributes.Count(); ++i)
      FCurrentRowValues.CData().Add(attributes.GetItem(i).Name(), attributes.GetItem(i).Value());
    return;
  }
  if (AEncoding != xdeNone) {
    const int index = FXMLFields.GetDatasetFieldIndexByXMLFieldName(AName);
    FCDATAField = ds != nullptr && index >= 0 ? &ds->Fields(index) : nullptr;
    FCurrentRowValues.CData().Add(AName);
    return;
  }
  for (int d = 0; d < settings.DetailDataTablesCount(); ++d) {
    TDataSetTableSettings& detail = settings.DataSetDetail(d);
    if (detail.XMLPartName() != AName) continue;
    FActiveChildWriter = ChildWriterFor(detail);
    if (FActiveChildWriter != nullptr) {
      FActiveChildWriter->FStartNodeLevel = FCurrentNodeLevel;
      FActiveChildWriter->StartPartExport();
      FActiveChildWriter->StartElement(AName, AAttrs, AEncoding, ASourceEncoding,
                                       ABinaryHandlingMode, ACodePage);
    }
    return;
  }
}

void TDataSetProcessorVelaXMLWriter::InternalCharacters(const Variant& AValue) {
  TCustomProcessorVelaXMLWriter::InternalCharacters(AValue);
  if (FActiveChildWriter != nullptr) {
    FActiveChildWriter->Characters(AValue);
    return;
  }
  if (FCDATAField == nullptr) return;
  const Variant::Bytes bytes = AValue.AsBytes();
  const std::string text(bytes.begin(), bytes.end());
  // A value may arrive in pieces; the field receives all of it when its element ends.
  if (TXMLDataStoreItem* last = FCurrentRowValues.CData().Last()) last->AppendDate(text);
}

void TDataSetProcessorVelaXMLWriter::InternalEndElement(const std::string& AName) {
  TCustomProcessorVelaXMLWriter::InternalEndElement(AName);
  struct TLevel {
    int& Level;
    ~TLevel() { --Level; }
  } level{FCurrentNodeLevel};
  if (FActiveChildWriter != nullptr) {
    if (FCurrentNodeLevel == FActiveChildWriter->FStartNodeLevel) {
      FActiveChildWriter->EndElement(AName);
      FActiveChildWriter->FinishPartExport();
      FActiveChildWriter = nullptr;
    } else {
      FActiveChildWriter->EndElement(AName);
    }
    return;
  }
  if (FDataSetTableSettings == nullptr) return;
  TDataSetTableSettings& settings = *FDataSetTableSettings;
  TDataSet* ds = settings.DataSet();
  if (AName == settings.XMLPartName()) {
    if (FActiveVelaXMLCommand == vxcSyncExisting && ds != nullptr &&
        !settings.DataSetLocateKeyFields().IsEmpty()) {
      // One forward pass: a deleted record's successor takes its place, so the original
      // number advances with every step (a backward walk would re-read a streaming dataset
      // for every record).
      ds->First();
      for (int original = 1; !ds->Eof(); ++original) {
        if (FActiveVelaXMLCommandRecordList.count(original) != 0)
          ds->Next();
        else
          ds->Delete();
      }
    }
    FActiveVelaXMLCommandRecordList.clear();
    FActiveVelaXMLCommand = vxcNone;
    return;
  }
  if (AName == settings.XMLRowName()) {
    if (InEditOrInsert()) {
      TVelaXMLProcessorFunctionMacroHandler& macros = Owner()->FunctionMacroHandler();
      for (const auto& [line, field] : FConstantFields) {
        if (field == nullptr || field->ReadOnly()) continue;
        const std::string value = settings.ConstValues().ValueFromIndex(line);
        if (macros.GetContentIsFunctionMacro(value)) {
          bool isText = true;
          const Variant result =
              macros.ExecuteFunctionMacro(value, &FCurrentRowValues.CData(), isText);
          if (isText)
            SetFieldText(*field, VarToStr(result), field->DataType());
          else
            field->SetValue(result);
        } else if (field->DataType() == ftBoolean) {
          field->SetAsBoolean(StrToBool(value));
        } else {
          field->SetAsString(value);
        }
      }
      DataSetOwner().NavigateDataSet(*ds,
                                     TCustomDataSetImportPreProcessor::TDataSetNavAction::Post);
    }
    FCurrentRowValues.Clear();
    return;
  }
  if (FCDATAField != nullptr && !FCDATAField->ReadOnly() && InEditOrInsert())
    if (const TXMLDataStoreItem* last = FCurrentRowValues.CData().Last())
      SetFieldText(*FCDATAField, last->Value(), FCDATAField->DataType());
  FCDATAField = nullptr;
}

TVelaXMLWriterParams& TDataSetProcessorVelaXMLWriter::ActiveParams(const std::string& APartName) {
  if (FActiveChildWriter != nullptr) return FActiveChildWriter->Get_Params();
  if (FDataSetTableSettings != nullptr && !APartName.empty() &&
      APartName != FDataSetTableSettings->XMLPartName())
    for (int d = 0; d < FDataSetTableSettings->DetailDataTablesCount(); ++d) {
      TDataSetTableSettings& detail = FDataSetTableSettings->DataSetDetail(d);
      if (detail.XMLPartName() == APartName)
        if (TDataSetProcessorVelaXMLWriter* child = ChildWriterFor(detail))
          return child->Get_Params();
    }
  return TCustomProcessorVelaXMLWriter::ActiveParams(APartName);
}

void TDataSetProcessorVelaXMLWriter::DoOnGetLookupFieldExportMode(TObject* ASender,
                                                                  TLookupFieldValueMode& AMode,
                                                                  const std::string& AFieldName,
                                                                  std::string& ACustomField) {
  TCustomProcessorVelaXMLWriter::DoOnGetLookupFieldExportMode(ASender, AMode, AFieldName,
                                                              ACustomField);
  AMode = static_cast<TLookupFieldValueMode>(4);
  if (FDataSetTableSettings != nullptr)
    FDataSetTableSettings->LookupExportModes().QueryExportMode(AFieldName, AMode, ACustomField);
}

void TDataSetProcessorVelaXMLWriter::DoOnExportChildPartRequired(TObject* ASender,
                                                                 const std::string& APartName,
                                                                 bool& ARequired) {
  TCustomProcessorVelaXMLWriter::DoOnExportChildPartRequired(ASender, APartName, ARequired);
  ARequired = FDataSetTableSettings != nullptr &&
              FDataSetTableSettings->GetDetailDataTableByPartName(APartName) != nullptr;
}

void TDataSetProcessorVelaXMLWriter::DoOnGetRecordExpressionFilter(TObject* ASender,
                                                                   TFilterExpressions*& AFilter) {
  TCustomProcessorVelaXMLWriter::DoOnGetRecordExpressionFilter(ASender, AFilter);
  AFilter =
      FDataSetTableSettings != nullptr ? &FDataSetTableSettings->FilterExpressions() : nullptr;
}

void TDataSetProcessorVelaXMLWriter::DoOnGetDataRequired(TObject* ASender, bool& ARequired) {
  TCustomProcessorVelaXMLWriter::DoOnGetDataRequired(ASender, ARequired);
  ARequired = InEditOrInsert();
}

}  // namespace vela
