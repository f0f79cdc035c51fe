// The data container pre-processor: a posted container (a JSON document or a form) read through
// a content object into in-memory datasets, one per configured table, which the dataset
// pre-processor then writes as a VelaXML document.
//
// Content objects hide the container format. A JSON container is an object (one record) or an
// array (one record per item); nested arrays and objects become detail tables by a content
// path. A form container is one record of named values. The dataset fields are the names of the
// table's "Mapping" section: a field name is a JSON path into the record (or a form field name),
// and the five "@container_content_*" fields hold the whole content as text, HTML, RTF, bytes or
// Base64.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "components/_CustomDataSetImportPreProcessor.h"
#include "host/InterfacedData.h"
#include "platform/json/JsonValue.h"
#include "rtl/MemDataSet.h"

namespace vela {

// An operation that a class leaves to its descendants and that a caller used all the same.
VELA_DECLARE_EXCEPTION(EAbstractError, Exception);

// A container's content, whatever its format.
class TContentObject {
 public:
  TContentObject() = default;
  virtual ~TContentObject();
  TContentObject(const TContentObject&) = delete;
  TContentObject& operator=(const TContentObject&) = delete;

  // The content for users, as an HTML fragment and as plain text.
  virtual std::string AsHTML() const = 0;
  virtual std::string AsText() const = 0;
  // The configuration pages the content needs.
  virtual TConverterConfigType ConverterConfigType() const { return vxpBIContainer; }
  // A content object for a nested part of record AIndex at APath (owned by the caller; it may
  // point into this object, which must outlive it), or nil. This class has no nested parts and
  // raises EAbstractError.
  virtual std::unique_ptr<TContentObject> GetDetailContent(int AIndex, const std::string& APath);
  // Whether GetDetailContent is meaningful for this kind of content.
  virtual bool SupportsDetailContent() const { return false; }
  // Reads a body; AEncoding is the charset of the container's content type ("" when none).
  virtual void Load(const std::string& ARawData, const std::string& AEncoding) = 0;
  // Number of records.
  virtual int GetCount() const = 0;
  // The value named APath of record AIndex; false when there is none.
  virtual bool GetValue(int AIndex, const std::string& APath, Variant& AValue) const = 0;
  // The body as bytes.
  virtual std::string RawData() const = 0;
  // The file extension for showing the raw body (".json", ".txt").
  virtual std::string DisplayFileExt() const = 0;
};

// "application/json": an object or an array, parsed in full on Load.
class TContentObjectJSON : public TContentObject {
 public:
  TContentObjectJSON() = default;
  // A detail content: points into a tree that another content object owns.
  explicit TContentObjectJSON(const TJsonValue* AContent) : FContent(AContent) {}
  ~TContentObjectJSON() override;

  std::string AsHTML() const override;
  std::string AsText() const override;
  TConverterConfigType ConverterConfigType() const override { return vxpBIJSONContainer; }
  // On an array the item AIndex (nil when it is out of range or no object), on an object the
  // object itself; then the value at APath: an array or an object gives a new content object
  // pointing into this tree, anything else nil.
  std::unique_ptr<TContentObject> GetDetailContent(int AIndex, const std::string& APath) override;
  bool SupportsDetailContent() const override { return true; }
  // Frees the old tree and parses ARawData as UTF-8 JSON; raises EJsonParserException when it
  // does not parse (the content is empty then).
  void Load(const std::string& ARawData, const std::string& AEncoding) override;
  // The array's length for an array, else 1.
  int GetCount() const override;
  // On an array the item AIndex (false when out of range or no object), on an object the object;
  // then the value at the JSON path APath: strings as strings, integers as 32-bit or 64-bit
  // integers, floats as doubles, Booleans as Booleans, arrays and objects as their compact JSON
  // text, null as Null. A path that is not well formed counts as not found while
  // IgnoreJsonPathException is set and raises EJsonException otherwise.
  bool GetValue(int AIndex, const std::string& APath, Variant& AValue) const override;
  // The tree as compact UTF-8 JSON.
  std::string RawData() const override;
  std::string DisplayFileExt() const override { return ".json"; }

  const TJsonValue* Content() const noexcept { return FContent; }
  bool OwnsContent() const noexcept { return FOwnsContent; }
  bool IgnoreJsonPathException = true;

 private:
  const TJsonValue* Record(int AIndex) const;

  const TJsonValue* FContent = nullptr;
  std::unique_ptr<TJsonValue> FOwnedContent;
  bool FOwnsContent = false;
};

// "application/x-www-form-urlencoded": one record of named text values.
class TContentObjectXWWWFormURLEnc : public TContentObject {
 public:
  TContentObjectXWWWFormURLEnc();
  ~TContentObjectXWWWFormURLEnc() override;

  std::string AsHTML() const override;
  std::string AsText() const override;
  // Reads the body by the form content type of this class.
  void Load(const std::string& ARawData, const std::string& AEncoding) override;
  int GetCount() const override { return 1; }
  // The form value named APath (names ignore case); AIndex is not used.
  bool GetValue(int AIndex, const std::string& APath, Variant& AValue) const override;
  std::string RawData() const override { return FRawContent; }
  std::string DisplayFileExt() const override { return ".txt"; }

  // Stores the body and reads it into the value list (cleared first). With AEncoding "UTF-8"
  // (any case) the body is taken as UTF-8; with another charset name it is converted from that
  // charset; without one it is UTF-8 when valid as such and 8-bit text in the system ANSI code
  // page otherwise.
  virtual void LoadFrom(const std::string& ARawData, const std::string& AContentType,
                        const std::string& AEncoding);

  INamedVariantListData& Content() const noexcept { return *FContent; }

 private:
  std::string FRawContent;
  IPtr<INamedVariantListData> FContent;
};

// "multipart/form-data": one record, one value per part.
class TContentObjectMultiPartFormDataEnc : public TContentObjectXWWWFormURLEnc {
 public:
  // ABoundary: the boundary parameter of the container's content type; when empty, the body's
  // first line ("--" and the boundary) gives it.
  explicit TContentObjectMultiPartFormDataEnc(std::string ABoundary = {})
      : FBoundary(std::move(ABoundary)) {}
  // Raises EMultipartFormDataError for a body without boundary lines or one that is cut off
  // before its closing boundary line.
  void Load(const std::string& ARawData, const std::string& AEncoding) override;

 private:
  std::string FBoundary;
};

class TRecordsMemData;
using TRecordsMemDataNotifyEvent = std::function<void(TRecordsMemData& ADataSet)>;

// The in-memory dataset of one container table: on opening it asks OnLoadPersistent for its
// records, which read ContentData.
class TRecordsMemData : public TMemDataSet {
 public:
  TRecordsMemData() = default;
  ~TRecordsMemData() override;

  // The record of the content to read, or -1 for all of them.
  int MasterRecNo = -1;
  TContentObject* ContentData() const noexcept { return FContentData; }
  bool OwnsContentData() const noexcept { return FOwnedContentData != nullptr; }
  // A content object owned by another (the pre-processor, a master dataset).
  void SetContentData(TContentObject* AContent);
  // A content object that this dataset owns.
  void SetOwnedContentData(std::unique_ptr<TContentObject> AContent);
  TRecordsMemDataNotifyEvent OnLoadPersistent;

 protected:
  void InternalAfterOpen() override;

 private:
  TContentObject* FContentData = nullptr;
  std::unique_ptr<TContentObject> FOwnedContentData;
};

// The pre-processor of a data container's import. Created directly by the container import
// (not through the factory): set ContentType, load the body into ContentData, then run the
// conversion with the container type's configuration.
class TBIContainerSOAPDataSetImportPreProcessor : public TCustomDataSetImportPreProcessor,
                                                  public IPreProcessorDataOwner {
  VELA_INTERFACES(TCustomDataSetImportPreProcessor, IPreProcessorDataOwner)
  VELA_PREPROCESSOR_CLASS(TBIContainerSOAPDataSetImportPreProcessor)

 public:
  // The five fields that carry the whole content.
  static constexpr const char* kContentText = "@container_content_text";
  static constexpr const char* kContentHTML = "@container_content_html";
  static constexpr const char* kContentRTF = "@container_content_rtf";
  static constexpr const char* kContentBin = "@container_content_bin";
  static constexpr const char* kContentB64 = "@container_content_b64";

  TBIContainerSOAPDataSetImportPreProcessor();
  ~TBIContainerSOAPDataSetImportPreProcessor() override;

  // The media type, in lower case. Setting another one replaces the content object:
  // "application/json", "application/x-www-form-urlencoded" and "multipart/form-data" have one,
  // every other type none. Parameters after ";" are not part of the media type; a multipart
  // "boundary" parameter goes to the content object.
  const std::string& ContentType() const noexcept { return FContentType; }
  void SetContentType(const std::string& AValue);
  TContentObject* ContentData() const noexcept { return FContentData.get(); }
  bool HasContentData() const noexcept { return FContentData != nullptr; }
  // The container type's name.
  std::string DisplayCaption;
  // Called after the source field list has been built.
  std::function<void(TStringList& AFieldList)> OnGetDataSetFieldList;

  // --- IPreProcessorDataOwner ---
  std::string Get_RawDataDisplayFileName() noexcept override;
  IPtr<IBinaryData> Get_RawData() noexcept override;

  // --- IPreConverterDataBaseConfigSupport: one table, "DataSet" ---
  bool Do_RetreiveTableList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                            IDataStream* AInData, TXMLPreProcessorFmt AInFmt, TVXCAction AVXCAction,
                            IPtr<IStringListData>& ATableList, std::string& ErrorMessage,
                            const std::string& ADetailConfigPartNamePrefix) noexcept override;
  bool GetSupportsTableList() override { return true; }

  // Declares one field per "Mapping" line of the table with prefix APrefix, typed by the
  // "DataFormats" line of its VelaXML name. Raises EVelaXMLImportError for a format name that
  // is not known.
  void FillFieldsByFormularConfig(TDataSet& ADataSet, const std::string& APrefix);
  // Adds every record of the dataset's content.
  void FillRecordsToRecordSet(TRecordsMemData& ADataSet);

  // The base's source fields followed by the five content fields.
  bool GetSourceFieldList(const std::string& APrefix, TStringList& AFieldList) override;
  std::unique_ptr<TDataSet> CreateDataSet(const std::string& ATableName, const std::string& AQuery,
                                          const std::string& AInFile, const TStringList& AMapping,
                                          const TFieldSplitting& AFieldSplitting,
                                          TXMLPreProcessorFunction AFunction,
                                          const std::string& ASectionPrefix,
                                          TDataSetTableSettings& ASettings) override;
  // After the parameters: a detail inside the master's rows reads the content of the master's
  // current record.
  void AssignDataSetParams(TDataSetTableSettings& ASettings, TDataSet* AParentDataSet,
                           TDataSet& ADataSet) override;

  // The value of field AFieldName for record AIndex of AContent: the content's own value, else
  // the named value list, else the content field of that name; Null when none has it.
  virtual Variant ReadFieldValue(TContentObject& AContent, int AIndex,
                                 const std::string& AFieldName,
                                 const INamedVariantListData& AValues);
  // Writes AValue into AField, converted by the field's type.
  virtual void AssignFieldValue(TField& AField, const Variant& AValue);
  // Extra values of one record, read after the content's own; none in this class.
  virtual void FillRecordValues(TRecordsMemData&, int, INamedVariantListData&) {}

 protected:
  TConverterConfigType GetConverterConfigType() override;

 private:
  void LoadRecords(TRecordsMemData& ADataSet);
  void AddRecord(TRecordsMemData& ADataSet, int AIndex);

  std::string FContentType;
  std::string FBoundary;
  std::unique_ptr<TContentObject> FContentData;
};

}  // namespace vela

namespace vela {

// A container pre-processor for AContentType with the body AData loaded (the content type's
// "charset" parameter is the body's encoding). Raises EConvertError naming the type when it has
// no content object, and the content object's error when the body does not read.
IPtr<TBIContainerSOAPDataSetImportPreProcessor> LoadDataContainer(const std::string& AContentType,
                                                                  const std::string& AData);

}  // namespace vela
