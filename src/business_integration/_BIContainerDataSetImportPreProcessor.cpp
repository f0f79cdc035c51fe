#include "business_integration/_BIContainerDataSetImportPreProcessor.h"

#include <limits>

#include "converters/falder.Tools.JSONConverter.h"
#include "converters/falder.Tools.VariantListConverter.h"
#include "converters/falder.Tools.XWWWFormConverter.h"
#include "host/HTTPUtils.h"
#include "host/RichText.h"
#include "host/velaxml/XMLValues.h"
#include "platform/indy/MultipartFormData.h"
#include "rtl/FieldTypes.h"
#include "rtl/CodePages.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr const char* kURLEncodedType = "application/x-www-form-urlencoded";
constexpr const char* kMultipartType = "multipart/form-data";
constexpr const char* kJSONType = "application/json";
constexpr std::string_view kContentFieldPrefix = "@container_content";
// Mapping names of this form name a field of the master table (written by the dataset
// pre-processor), not a field of the container.
constexpr std::string_view kParentFieldPrefix = "@Parent:";

// The field type that a "DataFormats" name gives; false for any other name.
bool DataFormatFieldType(std::string_view AName, TFieldType& AType) {
  static const std::pair<const char*, TFieldType> kTypes[] = {
      {"String", ftString}, {"Date", ftDate}, {"Time", ftTime}, {"DateTime", ftDateTime},
      {"Float", ftFloat},   {"Blob", ftBlob}, {"Memo", ftMemo}};
  for (const auto& [name, type] : kTypes)
    if (AName == name) {
      AType = type;
      return true;
    }
  return false;
}

Variant JsonToVariant(const TJsonValue& AValue) {
  switch (AValue.Kind()) {
    case TJsonKind::Null:
      return Null();
    case TJsonKind::Boolean:
      return Variant(AValue.AsBoolean());
    case TJsonKind::Integer: {
      const int64_t v = AValue.AsInteger();
      if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(v));
      return Variant(v);
    }
    case TJsonKind::Float:
      return Variant(AValue.AsFloat());
    case TJsonKind::String:
      return Variant(AValue.AsString());
    case TJsonKind::Array:
    case TJsonKind::Object:
      break;
  }
  return Variant(AValue.ToJSON());
}

// The boundary of a multipart body that starts with its first boundary line ("--" + boundary);
// "" when it does not.
std::string BoundaryOfBody(std::string_view ABody) {
  if (ABody.substr(0, 2) != "--") return {};
  std::string_view line = ABody.substr(2, ABody.find_first_of("\r\n") - 2);
  // A form without fields is its closing boundary line alone.
  if (line.size() > 2 && line.substr(line.size() - 2) == "--") line.remove_suffix(2);
  return TrimRight(line);
}

}  // namespace

// --- TContentObject ---

TContentObject::~TContentObject() = default;

std::unique_ptr<TContentObject> TContentObject::GetDetailContent(int, const std::string&) {
  throw EAbstractError("Abstract error: this content has no nested parts");
}

// --- TContentObjectJSON ---

TContentObjectJSON::~TContentObjectJSON() = default;

void TContentObjectJSON::Load(const std::string& ARawData, const std::string&) {
  FContent = nullptr;
  FOwnedContent.reset();
  FOwnsContent = false;
  FOwnedContent = std::make_unique<TJsonValue>(TJsonValue::Parse(ARawData));
  FContent = FOwnedContent.get();
  FOwnsContent = true;
}

std::string TContentObjectJSON::AsHTML() const {
  std::string text;
  if (FContent != nullptr) TFalderJSONConverter::ConvertToHTML(*FContent, text);
  return text;
}

std::string TContentObjectJSON::AsText() const {
  std::string text;
  if (FContent != nullptr) TFalderJSONConverter::ConvertToText(*FContent, text);
  return text;
}

int TContentObjectJSON::GetCount() const {
  return FContent != nullptr && FContent->IsArray() ? static_cast<int>(FContent->Count()) : 1;
}

const TJsonValue* TContentObjectJSON::Record(int AIndex) const {
  if (FContent == nullptr || !FContent->IsArray()) return FContent;
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= FContent->Count()) return nullptr;
  const TJsonValue& item = FContent->Items()[static_cast<size_t>(AIndex)];
  return item.IsObject() ? &item : nullptr;
}

bool TContentObjectJSON::GetValue(int AIndex, const std::string& APath, Variant& AValue) const {
  const TJsonValue* record = Record(AIndex);
  if (record == nullptr) return false;
  const TJsonValue* value = nullptr;
  try {
    value = record->Find(APath);
  } catch (const EJsonException&) {
    if (IgnoreJsonPathException) return false;
    throw;
  }
  if (value == nullptr) return false;
  AValue = JsonToVariant(*value);
  return true;
}

std::unique_ptr<TContentObject> TContentObjectJSON::GetDetailContent(int AIndex,
                                                                     const std::string& APath) {
  const TJsonValue* record = Record(AIndex);
  if (record == nullptr) return nullptr;
  const TJsonValue* value = nullptr;
  try {
    value = record->Find(APath);
  } catch (const EJsonException&) {
    if (IgnoreJsonPathException) return nullptr;
    throw;
  }
  if (value == nullptr || !(value->IsArray() || value->IsObject())) return nullptr;
  return std::make_unique<TContentObjectJSON>(value);
}

std::string TContentObjectJSON::RawData() const {
  return FContent != nullptr ? FContent->ToJSON() : std::string();
}

// --- TContentObjectXWWWFormURLEnc ---

TContentObjectXWWWFormURLEnc::TContentObjectXWWWFormURLEnc()
    : FContent(NewNamedVariantListData()) {}

TContentObjectXWWWFormURLEnc::~TContentObjectXWWWFormURLEnc() = default;

void TContentObjectXWWWFormURLEnc::Load(const std::string& ARawData, const std::string& AEncoding) {
  LoadFrom(ARawData, kURLEncodedType, AEncoding);
}

void TContentObjectXWWWFormURLEnc::LoadFrom(const std::string& ARawData,
                                            const std::string& AContentType,
                                            const std::string& AEncoding) {
  FRawContent = ARawData;
  FContent->Clear();
  std::unique_ptr<TStream> body;
  if (SameText(AEncoding, "UTF-8")) {
    body = std::make_unique<TStringStream>(ARawData);
  } else if (!AEncoding.empty()) {
    body = std::make_unique<TStringStream>(CharsetToUtf8(ARawData, AEncoding));
  } else {
    // The converter takes the bytes as UTF-8 when they are valid as such, else as ANSI text.
    auto bytes = std::make_unique<TMemoryStream>();
    bytes->Write(ARawData.data(), ARawData.size());
    body = std::move(bytes);
  }
  TXWWWFormConverter::ConvertFrom(*body, AContentType, *FContent);
}

std::string TContentObjectXWWWFormURLEnc::AsHTML() const {
  std::string text;
  TArdoVariantListConverter::ConvertToHTML(*FContent, text);
  return text;
}

std::string TContentObjectXWWWFormURLEnc::AsText() const {
  std::string text;
  TArdoVariantListConverter::ConvertToText(*FContent, text);
  return text;
}

bool TContentObjectXWWWFormURLEnc::GetValue(int, const std::string& APath, Variant& AValue) const {
  const int index = FContent->IndexOf(APath);
  if (index < 0) return false;
  AValue = FContent->Get_Value(index);
  return true;
}

// --- TContentObjectMultiPartFormDataEnc ---

void TContentObjectMultiPartFormDataEnc::Load(const std::string& ARawData,
                                              const std::string& AEncoding) {
  const std::string boundary = !FBoundary.empty() ? FBoundary : BoundaryOfBody(ARawData);
  if (boundary.empty())
    throw EMultipartFormDataError(
        "multipart/form-data: the body does not begin with a boundary line and the content "
        "type names no boundary");
  LoadFrom(ARawData, std::string(kMultipartType) + "; boundary=\"" + boundary + "\"", AEncoding);
}

// --- TRecordsMemData ---

TRecordsMemData::~TRecordsMemData() = default;

void TRecordsMemData::SetContentData(TContentObject* AContent) {
  FOwnedContentData.reset();
  FContentData = AContent;
}

void TRecordsMemData::SetOwnedContentData(std::unique_ptr<TContentObject> AContent) {
  FOwnedContentData = std::move(AContent);
  FContentData = FOwnedContentData.get();
}

void TRecordsMemData::InternalAfterOpen() {
  if (OnLoadPersistent) OnLoadPersistent(*this);
}

// --- TBIContainerSOAPDataSetImportPreProcessor ---

TBIContainerSOAPDataSetImportPreProcessor::TBIContainerSOAPDataSetImportPreProcessor() {
  SetCaption("Falder BIContainer Data");
  TVelaXLPreProcessorOptionSet options = Options();
  options.Exclude(ppoHasFixedFieldList);
  options.Include(ppoFieldDataTypeConfigRequired);
  SetOptions(options);
}

TBIContainerSOAPDataSetImportPreProcessor::~TBIContainerSOAPDataSetImportPreProcessor() = default;

void TBIContainerSOAPDataSetImportPreProcessor::SetContentType(const std::string& AValue) {
  const std::string type = LowerCase(Trim(std::string_view(AValue).substr(0, AValue.find(';'))));
  const std::string boundary = TMultipartFormData::Boundary(AValue);
  if (type == FContentType && boundary == FBoundary && (FContentData || type.empty())) return;
  FContentType = type;
  FBoundary = boundary;
  FContentData.reset();
  if (type == kJSONType)
    FContentData = std::make_unique<TContentObjectJSON>();
  else if (type == kURLEncodedType)
    FContentData = std::make_unique<TContentObjectXWWWFormURLEnc>();
  else if (type == kMultipartType)
    FContentData = std::make_unique<TContentObjectMultiPartFormDataEnc>(boundary);
}

TConverterConfigType TBIContainerSOAPDataSetImportPreProcessor::GetConverterConfigType() {
  return FContentData ? FContentData->ConverterConfigType()
                      : TCustomDataSetImportPreProcessor::GetConverterConfigType();
}

std::string TBIContainerSOAPDataSetImportPreProcessor::Get_RawDataDisplayFileName() noexcept {
  return FContentData ? DisplayCaption + FContentData->DisplayFileExt() : std::string();
}

IPtr<IBinaryData> TBIContainerSOAPDataSetImportPreProcessor::Get_RawData() noexcept {
  try {
    return NewBinaryData(FContentData ? FContentData->RawData() : std::string());
  } catch (...) {
    return nullptr;
  }
}

bool TBIContainerSOAPDataSetImportPreProcessor::Do_RetreiveTableList(
    const std::string&, TXMLPreProcessorFmt, IDataStream*, TXMLPreProcessorFmt, TVXCAction,
    IPtr<IStringListData>& ATableList, std::string& ErrorMessage, const std::string&) noexcept {
  ErrorMessage.clear();
  try {
    ATableList = NewStringListData(std::vector<std::string>{"DataSet"});
    return true;
  } catch (const std::exception& e) {
    ErrorMessage = ExceptionText(e);
    return false;
  }
}

void TBIContainerSOAPDataSetImportPreProcessor::FillFieldsByFormularConfig(
    TDataSet& ADataSet, const std::string& APrefix) {
  const TMemIniFile* config = Config();
  if (config == nullptr) return;
  TStringList mapping;
  config->ReadSectionValues(APrefix + "Mapping", mapping);
  const std::string formats = APrefix + "DataFormats";
  for (int i = 0; i < mapping.Count(); ++i) {
    const std::string name = mapping.Names(i);
    if (name.empty() || name.starts_with(kParentFieldPrefix)) continue;
    bool declared = false;
    for (const TDataFieldDef& def : ADataSet.FieldDefs())
      declared = declared || SameText(def.Name, name);
    if (declared) continue;
    const std::string xmlName = mapping.ValueFromIndex(i);
    TFieldType type = ftString;
    if (!xmlName.empty() && config->ValueExists(formats, xmlName)) {
      const std::string format = config->ReadString(formats, xmlName, "");
      if (!DataFormatFieldType(format, type))
        throw EVelaXMLImportError("[" + formats + "] " + xmlName + ": unknown data format \"" +
                                      format +
                                      "\" (known: String, Date, Time, DateTime, Float, Blob, Memo)",
                                  true);
    } else if (name.starts_with(kContentFieldPrefix)) {
      type = name == kContentBin ? ftBlob : ftMemo;
    }
    ADataSet.AddFieldDef(name, type, type == ftString ? 250 : 0);
  }
}

std::unique_ptr<TDataSet> TBIContainerSOAPDataSetImportPreProcessor::CreateDataSet(
    const std::string&, const std::string& AQuery, const std::string&, const TStringList&,
    const TFieldSplitting&, TXMLPreProcessorFunction, const std::string& ASectionPrefix,
    TDataSetTableSettings& ASettings) {
  auto dataSet = std::make_unique<TRecordsMemData>();
  FillFieldsByFormularConfig(*dataSet, ASectionPrefix);
  dataSet->MasterRecNo = -1;
  dataSet->OnLoadPersistent = [this](TRecordsMemData& ADataSet) { LoadRecords(ADataSet); };
  if (ASectionPrefix.empty()) {
    dataSet->SetContentData(FContentData.get());
    return dataSet;
  }
  if (!AQuery.empty() && FContentData && !FContentData->SupportsDetailContent())
    throw EVelaXMLImportError("[" + ASectionPrefix + "DB] Query: the form container (" +
                                  FContentType +
                                  ") has no nested parts, so a detail table cannot name a "
                                  "content path (\"" +
                                  AQuery + "\"); leave it empty to read the form's values",
                              true);
  if (ASettings.DetailMode() == dmSubDetail)
    dataSet->SetContentData(nullptr);  // set for each master record
  else if (!AQuery.empty())
    dataSet->SetOwnedContentData(FContentData ? FContentData->GetDetailContent(-2, AQuery)
                                              : nullptr);
  else
    dataSet->SetContentData(FContentData.get());
  return dataSet;
}

void TBIContainerSOAPDataSetImportPreProcessor::AssignDataSetParams(
    TDataSetTableSettings& ASettings, TDataSet* AParentDataSet, TDataSet& ADataSet) {
  TCustomDataSetImportPreProcessor::AssignDataSetParams(ASettings, AParentDataSet, ADataSet);
  auto* detail = dynamic_cast<TRecordsMemData*>(&ADataSet);
  auto* master = dynamic_cast<TRecordsMemData*>(AParentDataSet);
  if (detail == nullptr || master == nullptr || detail == master || ASettings.IsMaster()) return;
  const int masterRecord = master->MasterRecNo >= 0 ? master->MasterRecNo : master->RecNo() - 1;
  const std::string path = ASettings.Query();
  if (!path.empty()) {
    detail->MasterRecNo = -1;
    detail->SetOwnedContentData(master->ContentData() != nullptr
                                    ? master->ContentData()->GetDetailContent(masterRecord, path)
                                    : nullptr);
  } else {
    detail->SetContentData(master->ContentData());
    detail->MasterRecNo = masterRecord;
  }
}

void TBIContainerSOAPDataSetImportPreProcessor::LoadRecords(TRecordsMemData& ADataSet) {
  if (ADataSet.ContentData() == nullptr) return;
  if (ADataSet.MasterRecNo < 0)
    FillRecordsToRecordSet(ADataSet);
  else
    AddRecord(ADataSet, ADataSet.MasterRecNo);
}

void TBIContainerSOAPDataSetImportPreProcessor::FillRecordsToRecordSet(TRecordsMemData& ADataSet) {
  if (ADataSet.ContentData() == nullptr) return;
  const int count = ADataSet.ContentData()->GetCount();
  ADataSet.Reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    AddRecord(ADataSet, i);
}

void TBIContainerSOAPDataSetImportPreProcessor::AddRecord(TRecordsMemData& ADataSet, int AIndex) {
  ADataSet.Append();
  try {
    IPtr<INamedVariantListData> values = NewNamedVariantListData();
    FillRecordValues(ADataSet, AIndex, *values);
    for (int i = 0; i < ADataSet.FieldCount(); ++i) {
      TField& field = ADataSet.Fields(i);
      AssignFieldValue(field,
                       ReadFieldValue(*ADataSet.ContentData(), AIndex, field.FieldName(), *values));
    }
    ADataSet.Post();
  } catch (...) {
    ADataSet.Cancel();
    throw;
  }
}

Variant TBIContainerSOAPDataSetImportPreProcessor::ReadFieldValue(
    TContentObject& AContent, int AIndex, const std::string& AFieldName,
    const INamedVariantListData& AValues) {
  Variant value;
  if (AContent.GetValue(AIndex, AFieldName, value)) return value;
  if (const int i = AValues.IndexOf(AFieldName); i >= 0) return AValues.Get_Value(i);
  if (AFieldName == kContentText) return Variant(AContent.AsText());
  if (AFieldName == kContentHTML) return Variant(AContent.AsHTML());
  if (AFieldName == kContentRTF)
    return Variant(ConvertHTMLToRTF(AContent.AsHTML(), std::string(), 0, "\r\n"));
  // The body's bytes: a binary field takes them as they are (a text would be read as Base64).
  if (AFieldName == kContentBin) return Variant::FromBytes(AContent.RawData());
  if (AFieldName == kContentB64) return Variant(Base64EncodeMime(AContent.RawData()));
  return Null();
}

void TBIContainerSOAPDataSetImportPreProcessor::AssignFieldValue(TField& AField,
                                                                 const Variant& AValue) {
  if (AValue.IsClear()) {
    AField.Clear();
    return;
  }
  const TFieldType type = AField.DataType();
  if (IsIntegerFieldType(type)) {
    // Anything that does not read as an integer counts as 0.
    int64_t number = 0;
    if (AValue.IsString()) {
      if (!TryStrToInt64(Trim(AValue.GetString()), number)) number = 0;
    } else {
      try {
        number = AValue.AsInt64();
      } catch (const std::exception&) {
        number = 0;
      }
    }
    AField.SetValue(Variant(number));
  } else if (IsFloatFieldType(type)) {
    if (AValue.kind() == Variant::Kind::Double) {
      AField.SetValue(AValue);
      return;
    }
    const std::string text = VarToStr(AValue);
    double number = 0;
    if (!TryStrToFloat(text, number)) number = XMLStrToFloat(text);
    AField.SetValue(Variant(number));
  } else if (IsDateTimeFieldType(type)) {
    if (AValue.IsDateTime()) {
      AField.SetValue(AValue);
      return;
    }
    const std::string text = VarToStr(AValue);
    TDateTime date = 0;
    const bool read = type == ftDate   ? TryStrToDate(text, date)
                      : type == ftTime ? TryStrToTime(text, date)
                                       : TryStrToDateTime(text, date);
    if (!read) date = XMLStrToDateTime(text);
    AField.SetValue(Variant::FromDateTime(date));
  } else if (IsBinaryFieldType(type)) {
    if (AValue.IsString())
      AField.SetValue(Variant::FromBytes(Base64Decode(AValue.GetString())));
    else
      AField.SetValue(Variant(AValue.AsBytes()));
  } else if (type == ftMemo || type == ftWideMemo || type == ftFmtMemo) {
    AField.SetValue(Variant(VarToStr(AValue)));
  } else {
    AField.SetValue(AValue);
  }
}

bool TBIContainerSOAPDataSetImportPreProcessor::GetSourceFieldList(const std::string& APrefix,
                                                                   TStringList& AFieldList) {
  TCustomDataSetImportPreProcessor::GetSourceFieldList(APrefix, AFieldList);
  for (const char* name : {kContentText, kContentHTML, kContentRTF, kContentBin, kContentB64})
    AFieldList.Add(name);
  if (OnGetDataSetFieldList) OnGetDataSetFieldList(AFieldList);
  return true;
}

IPtr<TBIContainerSOAPDataSetImportPreProcessor> LoadDataContainer(const std::string& AContentType,
                                                                  const std::string& AData) {
  IPtr<TBIContainerSOAPDataSetImportPreProcessor> processor(
      new TBIContainerSOAPDataSetImportPreProcessor());
  processor->SetContentType(AContentType);
  if (!processor->HasContentData())
    throw EConvertError("the content type \"" + processor->ContentType() +
                        "\" is not a data container format (application/json, "
                        "application/x-www-form-urlencoded or multipart/form-data)");
  processor->ContentData()->Load(AData, THTTPUtils::ExtractContentEncoding(AContentType));
  return processor;
}

}  // namespace vela
