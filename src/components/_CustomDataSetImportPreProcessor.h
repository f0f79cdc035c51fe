// The pre-processor family whose source is a dataset: on import it reads the master dataset
// record by record and writes one VelaXML part per configured table (details nested in the master
// rows or as parts of their own, trees walked recursively), applying the mapping, the value
// transformations, the record filters and the constant values of each table. Descendants supply
// the datasets through CreateDataSet.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "_CustomImportPreProcessor.h"
#include "_DataTableSettings.h"
#include "rtl/DataSet.h"

namespace vela {

class TCustomDataSetImportPreProcessor;

// A configured test failure ("DebugPreProcessorException").
VELA_DECLARE_EXCEPTION(EPreProcessorErrorTest, Exception);

// One key field of an export: the VelaXML attribute that carries its value and the field.
class TDataSetLocateKeyFieldItemData : public TObject {
 public:
  TDataSetLocateKeyFieldItemData(std::string AVelaXMLAttrName, TField* AField)
      : FVelaXMLAttrName(std::move(AVelaXMLAttrName)), FField(AField) {}
  const std::string& VelaXMLAttrName() const noexcept { return FVelaXMLAttrName; }
  TField* Field() const noexcept { return FField; }

 private:
  std::string FVelaXMLAttrName;
  TField* FField;
};

// How one dataset field and one VelaXML field name correspond.
struct TXMLFieldData {
  TFieldType DataType = ftUnknown;
  int DataSetFieldIndex = -1;
  std::string XMLFieldName;
  bool IsMapped = false;
  TDataSet* DataSet = nullptr;
  bool IsChildField = false;
};

class TXMLFieldList {
 public:
  TXMLFieldData& Add() { return *FItems.emplace_back(std::make_unique<TXMLFieldData>()); }
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TXMLFieldData& GetItem(int AIndex) const { return *FItems.at(static_cast<size_t>(AIndex)); }
  void Clear() noexcept { FItems.clear(); }
  // The dataset field index of the first item named AName exactly; -1 when none.
  int GetDatasetFieldIndexByXMLFieldName(std::string_view AName) const;

 private:
  std::vector<std::unique_ptr<TXMLFieldData>> FItems;
};

// The attributes and values of the VelaXML row being exported: the container always holds the
// row's own store first.
class TXMLDataRecordStore : public TXMLDataStoreContainer {
 public:
  TXMLDataRecordStore() { Add(FCData); }
  TXMLDataStore& CData() noexcept { return FCData; }
  void Clear() noexcept override {
    TXMLDataStoreContainer::Clear();
    FCData.Clear();
    Add(FCData);
  }

 private:
  TXMLDataStore FCData;
};

// A table of a dataset pre-processor run: the settings plus the dataset they read.
class TDataSetTableSettings : public TDataTableSettings {
 public:
  TDataSetTableSettings(TCustomImportPreProcessor* AProcessor, std::string ADetailConfigPartName,
                        TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent);
  ~TDataSetTableSettings() override;

  static std::unique_ptr<TDataTableSettings> CreateInstance(
      TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
      TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent);
  std::unique_ptr<TDataTableSettings> CreateSibling(TCustomImportPreProcessor* AProcessor,
                                                    const std::string& ADetailConfigPartName,
                                                    TXMLPreProcessorFunction AFunction,
                                                    TDataTableSettings* AParent) const override;

  // Loads the table, then gets its dataset from the pre-processor and loads the details.
  void LoadFromConfig(TXMLPreProcessorFunction AFunction) override;
  // Nested datasets named in "DetailConfig" first, then the "DetailParts" tables.
  void LoadDetails() override;

  TDataSet* DataSet() const noexcept { return FDataSet; }
  // Takes ownership of a dataset created for this table; binds the filter fields.
  void SetOwnedDataSet(std::unique_ptr<TDataSet> ADataSet);
  // A nested dataset of the master's dataset (not owned).
  void SetNestedDataSet(TDataSet* ADataSet);
  bool IsNestedDataSet() const noexcept { return FIsNestedDataSet; }

  TCustomDataSetImportPreProcessor& DataSetProcessor() const;
  TDataSetTableSettings* DataSetParent() const noexcept {
    return static_cast<TDataSetTableSettings*>(Parent());
  }
  TDataSetTableSettings& DataSetDetail(int AIndex) const {
    return static_cast<TDataSetTableSettings&>(GetDetailDataTables(AIndex));
  }

  // "TableName" and "Query" of the table's "DB" section, through the configuration macros.
  std::string TableName() const;
  std::string Query() const;
  // The master's start of the run, for a detail too.
  TDateTime ProcessStartDate() const noexcept;
  void SetProcessStartDate(TDateTime AValue) noexcept { FProcessStartDate = AValue; }

  // Opens the dataset when it is not active, setting the start of the run and, with
  // "OnlyChanged" on import, the last-changed query parameter.
  void OpenDataSet();
  // Binds each filter line to the dataset field of its name (none when the dataset lacks it).
  void BindFilterFields(TDataSet* ADataSet);
  // Whether the current record passes every bound filter line.
  bool IsValidDataSetFilterRecord() const;
  TStringList& DataSetLocateKeyFields();

 private:
  TDataSet* FDataSet = nullptr;
  std::unique_ptr<TDataSet> FOwnedDataSet;
  TStringList FDataSetLocateKeyFields{true};
  bool FDataSetLocateKeyFieldsValid = false;
  bool FIsNestedDataSet = false;
  TDateTime FProcessStartDate = MinDateTime;
};

// The writer a dataset pre-processor hands to the host on export: it receives the VelaXML of the
// table's part through the writer callbacks and writes it into the table's dataset, locating or
// appending one record per row; detail parts go to child writers, one per detail table.
class TDataSetProcessorVelaXMLWriter : public TCustomProcessorVelaXMLWriter {
 public:
  TDataSetProcessorVelaXMLWriter(TCustomImportPreProcessor* AOwner,
                                 TCustomProcessorVelaXMLWriter* AParentWriter, bool AOnlyThisPlace,
                                 INamedVariantListData* AOptions);
  ~TDataSetProcessorVelaXMLWriter() override;

  TDataSetTableSettings* DataSetTableSettings() const noexcept { return FDataSetTableSettings; }
  TXMLFieldList& XMLFields() noexcept { return FXMLFields; }
  int StartNodeLevel() const noexcept { return FStartNodeLevel; }
  TCustomDataSetImportPreProcessor& DataSetOwner() const;

  TCustomProcessorVelaXMLWriterClass WriterClass() const noexcept override {
    return &CreateXMLWriterOf<TDataSetProcessorVelaXMLWriter>;
  }
  void AttachDataTableSettings(TDataTableSettings& ASettings) override;
  // Lets the host's part handler of the table's part write the part into this writer, between
  // the start and the finish hook. Without a part handler container (the caller feeds the
  // writer itself) nothing is exported; a container without a handler for the part, or a
  // handler that fails, raises an exception (the failure is also logged).
  void ExportPart() override;

  void InternalStartElement(const std::string& AName, const TXMLDataStoreContainer* AAttrs,
                            TVelaXMLDataEncoding AEncoding, TVelaXMLDataEncoding ASourceEncoding,
                            TVelaXMLBinaryHandlingMode ABinaryHandlingMode,
                            uint16_t ACodePage) override;
  void InternalEndElement(const std::string& AName) override;
  void InternalCharacters(const Variant& AValue) override;
  TVelaXMLWriterParams& ActiveParams(const std::string& APartName) override;
  void DoOnGetLookupFieldExportMode(TObject* ASender, TLookupFieldValueMode& AMode,
                                    const std::string& AFieldName,
                                    std::string& ACustomField) override;
  void DoOnExportChildPartRequired(TObject* ASender, const std::string& APartName,
                                   bool& ARequired) override;
  void DoOnGetRecordExpressionFilter(TObject* ASender, TFilterExpressions*& AFilter) override;
  void DoOnGetDataRequired(TObject* ASender, bool& ARequired) override;

  // Hooks around a part written into this writer (the finish hook ends a child's part).
  virtual void StartPartExport() {}
  virtual void FinishPartExport() {}

  // Finds the record a row's attributes name, by the table's locate mode.
  bool LocateRecord(const TXMLDataStore& AAttributes);
  // Writes a VelaXML text into a field, converted by the field's type (read-only fields stay).
  static void SetFieldText(TField& AField, std::string_view AText, TFieldType AXMLType);

 private:
  bool InEditOrInsert() const;
  TDataSetProcessorVelaXMLWriter* ChildWriterFor(TDataSetTableSettings& ADetail);

  TXMLFieldList FXMLFields;
  TDataSetTableSettings* FDataSetTableSettings = nullptr;
  TVelaXMLDataEncoding FActiveEncoding = xdeNone;
  uint16_t FActiveCodePage = 0;
  TField* FCDATAField = nullptr;
  TXMLDataRecordStore FCurrentRowValues;
  TDataSetProcessorVelaXMLWriter* FActiveChildWriter = nullptr;
  int FCurrentNodeLevel = 0;
  int FStartNodeLevel = 0;
  TVelaXMLCommand FActiveVelaXMLCommand = vxcNone;
  std::set<int> FActiveVelaXMLCommandRecordList;
  // The "ConstantValues" lines bound to the dataset's fields (nil: the dataset lacks it).
  std::vector<std::pair<int, TField*>> FConstantFields;
};

class TCustomDataSetImportPreProcessor : public TCustomImportPreProcessor,
                                         public IPreConverterDataBaseConfigSupport {
  VELA_INTERFACES(TCustomImportPreProcessor, IPreConverterDataBaseConfigSupport)
  VELA_PREPROCESSOR_CLASS(TCustomDataSetImportPreProcessor)

 public:
  // Called before a record is exported; clear AExport to leave it out.
  using TBeforeExportRecordEvent = std::function<void(TDataSet& ADataSet, bool& AExport)>;

  TCustomDataSetImportPreProcessor();
  ~TCustomDataSetImportPreProcessor() override;

  TMemIniFile* Config() const noexcept { return FConfig.get(); }
  TBeforeExportRecordEvent OnBeforeExportRecord;

  // --- IPreConverterDataBaseConfigSupport ---
  TSupportHostCfgType Get_SupportsHostCfg() noexcept override { return GetSupportsHostCfg(); }
  bool Get_SupportsTableList() noexcept override { return GetSupportsTableList(); }
  bool Do_ConfigHost(std::string& AHostData, const std::string& ADetailConfigPartNamePrefix,
                     std::string& ErrorMessage) noexcept override;
  bool Do_RetreiveTableList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                            IDataStream* AInData, TXMLPreProcessorFmt AInFmt, TVXCAction AVXCAction,
                            IPtr<IStringListData>& ATableList, std::string& ErrorMessage,
                            const std::string& ADetailConfigPartNamePrefix) noexcept override;

  TCustomProcessorVelaXMLWriterClass GetXMLWriterClass() override {
    return &CreateXMLWriterOf<TDataSetProcessorVelaXMLWriter>;
  }

  // --- hooks of the family, in slot order ---
  virtual TParams* GetDataSetParams(TDataSet& ADataSet);
  virtual void AfterAssignDataSetParams(TDataSet&) {}
  virtual void AssignDataSetParams(TDataSetTableSettings& ASettings, TDataSet* AParentDataSet,
                                   TDataSet& ADataSet);
  virtual bool GetSourceFieldList(const std::string& APrefix, TStringList& AFieldList);
  virtual bool GetSourceFieldListWithSplitFields(const std::string& APrefix,
                                                 TStringList& AFieldList,
                                                 bool AIncludeSplittedFields);
  virtual void ProcessData(IDataStream* AInData, IVelaXMLWriter& AWriter,
                           TXMLPreProcessorFunction AFunction, TXMLPreProcessorFmt AInFmt,
                           const std::string& AParams);
  // The dataset of a table; nil in this class (a run then writes parts without records).
  virtual std::unique_ptr<TDataSet> CreateDataSet(
      const std::string& ATableName, const std::string& AQuery, const std::string& AInFile,
      const TStringList& AMapping, const TFieldSplitting& AFieldSplitting,
      TXMLPreProcessorFunction AFunction, const std::string& ASectionPrefix,
      TDataSetTableSettings& ASettings);
  virtual std::string ReplaceFileMacro(const std::string& S) const;
  virtual std::string GetDocumentName() const;
  virtual void SetLastChangedParam(TDataSetTableSettings& ASettings, TDataSet& ADataSet,
                                   TDateTime ADate);
  virtual void AdjustProcessStartDate(TDataSet&, TDateTime&) {}
  virtual bool IsAcceptedRecord(TDataSet&) { return true; }
  virtual TSupportHostCfgType GetSupportsHostCfg() { return shNone; }
  virtual bool GetSupportsTableList() { return false; }
  virtual bool SupportsNestedDataSets() const { return false; }
  virtual bool DoBeforeExportRecord(TDataSet& ADataSet);
  virtual void CloseTableDataSet(TDataSetTableSettings& ASettings, TXMLPreProcessorFunction);

  // Runs the conversion of one configuration (the master table and its details).
  void DoImport(IDataStream* AInData, TXMLPreProcessorFmt AInFmt,
                TXMLPreProcessorFunction AFunction, IVelaXMLWriter& AWriter);
  // Offers the table's dataset to the host's preview; false when the user cancelled. The
  // preview may answer which records to export (AImportInfo).
  bool ShowPreview(TDataSetTableSettings& ASettings, IPtr<IXMLPreProcessorImportInfo>& AImportInfo);
  // The import loop of one table.
  void ExportRecords(TDataSetTableSettings& ASettings, IVelaXMLWriter& AWriter,
                     TDataSet* AParentDataSet, TDataSet* ADataSet,
                     IXMLPreProcessorImportInfo* AImportInfo);
  // Builds the correspondence of the dataset's (and its parent's) fields and VelaXML names.
  static void BuildFieldList(TDataSetTableSettings& ASettings, TDataSet& ADataSet,
                             TDataSet* AParentDataSet, TXMLFieldList& AList);
  // First/Next/Post with the retries of IsRetryableError.
  enum class TDataSetNavAction { First, Next, Post };
  void NavigateDataSet(TDataSet& ADataSet, TDataSetNavAction AAction);

 protected:
  void InternalPreConvert(IDataStream* AInData, IDataStream* AOutData, const std::string& AParams,
                          TXMLPreProcessorFmt AInFmt, TXMLPreProcessorFmt AParamsFmt,
                          TXMLPreProcessorFunction AFunction, bool AOnlyThisPlace,
                          INamedVariantListData* AOptions) override;
  bool InternalGetFieldList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt,
                            const std::string& ADetailPrefix, TStringList& AFieldList,
                            bool AIncludeSplittedFields, TXMLPreProcessorFmt AInFmt,
                            IDataStream* AInData) override;

  // Loads FConfig from a file name (host macros expanded) or the text itself.
  void LoadConfig(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt);
  // The input file name that an xmpFile input stream carries.
  static std::string ReadInFileName(IDataStream* AInData);
  // Pauses between retries of a navigation step (1000 ms; tests shorten it).
  int FRetryPauseMs = 1000;

 private:
  // What the row loop of one table needs, found once before the first row (defined in the
  // source): the fields to write with their lookups done, the constant values, and the buffers
  // that every row reuses.
  struct TRowField;
  struct TRowPlan;
  static void BuildRowPlan(TDataSetTableSettings& ASettings, const TXMLFieldList& AFields,
                           TRowPlan& APlan);
  void WriteRow(TDataSetTableSettings& ASettings, IVelaXMLWriter& AWriter, TDataSet& ADataSet,
                TRowPlan& APlan);
  static void AddItemValue(TDataSetTableSettings& ASettings, const TRowField& AField,
                           TRowPlan& APlan);

  std::unique_ptr<TMemIniFile> FConfig;
  std::string FConfigFile;
};

}  // namespace vela
