// One source table of a pre-processor run: everything its configuration says about it (VelaXML
// names, mapping, constant values, field value transformations, record filters, lookup export
// modes, record commands, writer and processing options), its detail tables, and the small store
// file that remembers the date of the last run.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "_FieldValueTransformations.h"
#include "host/velaxml/FilterExpressions.h"
#include "host/velaxml/PreProcessorTypes.h"
#include "host/velaxml/XMLDataEncoding.h"
#include "rtl/Classes.h"
#include "rtl/DateUtils.h"
#include "rtl/IniFiles.h"
#include "vela/XMLPreProcessorIntf.h"

namespace vela {

class TCustomImportPreProcessor;
class TCustomProcessorVelaXMLWriter;
class TDataTableSettings;

// The store file of a configuration. Any write marks it modified; writing the file clears the
// mark, so an untouched store is never written back.
class TConfigStoreIniFile : public TMemIniFile {
 public:
  explicit TConfigStoreIniFile(std::string AFileName = {}) : TMemIniFile(std::move(AFileName)) {}
  bool Modified() const noexcept { return FModified; }
  void WriteString(std::string_view section, std::string_view ident,
                   std::string_view value) override;
  void UpdateFile() override;

 private:
  bool FModified = false;
};

// How one lookup field is exported.
class TLookupExportModeSetting {
 public:
  TLookupFieldValueMode LookupFieldValueMode() const noexcept { return FLookupFieldValueMode; }
  const std::string& CustomLookupField() const noexcept { return FCustomLookupField; }

 private:
  friend class TLookupExportModes;
  TLookupFieldValueMode FLookupFieldValueMode{};
  std::string FCustomLookupField;
};

// The lookup export modes of a table by field name (names compare exactly).
class TLookupExportModes {
 public:
  // Reads APrefix + "LookupFieldMode": one line per field, the value a mode number or name; the
  // custom lookup field from "LookupFieldName" of APrefix + "LookupFieldMode_" + field. A field
  // named twice raises EListError and ends the load.
  void LoadFormINI(const TMemIniFile& AConfig, const std::string& APrefix);
  // True when the field has a setting: AMode is set, and ACustomField when the setting names
  // one. Both stay unchanged otherwise.
  bool QueryExportMode(std::string_view AFieldName, TLookupFieldValueMode& AMode,
                       std::string& ACustomField) const;
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  void Clear() noexcept { FItems.clear(); }

 private:
  std::map<std::string, std::unique_ptr<TLookupExportModeSetting>, std::less<>> FItems;
};

// The record filters of a table, read from its "FilterExpressionsImport"/"...Export" section.
class TDataTableFilterExpressions : public TFilterExpressions {
 public:
  void LoadFromINI(const TMemIniFile& AConfig, const std::string& APrefix,
                   TXMLPreProcessorFunction AFunction);
};

// A class reference for table settings: pre-processor families supply their own descendant.
using TDataTableSettingsClass = std::unique_ptr<TDataTableSettings> (*)(
    TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
    TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent);

class TDataTableSettings {
 public:
  TDataTableSettings(TCustomImportPreProcessor* AProcessor, std::string ADetailConfigPartName,
                     TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent);
  // Frees the details first, then writes the store file when something was written to it.
  virtual ~TDataTableSettings();
  TDataTableSettings(const TDataTableSettings&) = delete;
  TDataTableSettings& operator=(const TDataTableSettings&) = delete;

  // The virtual constructor: creates an object of the same class as this one.
  virtual std::unique_ptr<TDataTableSettings> CreateSibling(
      TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
      TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent) const;
  static std::unique_ptr<TDataTableSettings> CreateInstance(
      TCustomImportPreProcessor* AProcessor, const std::string& ADetailConfigPartName,
      TXMLPreProcessorFunction AFunction, TDataTableSettings* AParent);

  // Reads every section of the table. Meant to run once per object: lists are not cleared.
  // Raises "PartName for VelaXML not found in configuration!" when the part name is missing.
  virtual void LoadFromConfig(TXMLPreProcessorFunction AFunction);
  // Adds and loads one detail table per line of the "DetailParts" section.
  virtual void LoadDetails();
  TDataTableSettings& AddDetailDataTable(const std::string& AName);

  int DetailDataTablesCount() const noexcept { return static_cast<int>(FDetailDataTables.size()); }
  TDataTableSettings& GetDetailDataTables(int AIndex) const;
  // The first detail whose VelaXML part name is APartName (exact); nullptr when none.
  TDataTableSettings* GetDetailDataTableByPartName(std::string_view APartName) const;

  TMemIniFile* Config() const noexcept { return FConfig; }
  // Borrows the configuration; a non-nil one loads the table.
  void SetConfig(TMemIniFile* AConfig);

  bool IsMaster() const noexcept { return FDetailConfigPartName.empty(); }
  // Empty for the master table, else the detail's name and "_".
  std::string SectionPrefix() const;
  TDetailMode DetailMode() const noexcept { return IsMaster() ? dmMaster : FDetailMode; }
  // A detail answers its master's input file.
  const std::string& InFile() const noexcept;
  void SetInFile(std::string AValue) { FInFile = std::move(AValue); }

  // Read from the configuration each time.
  bool ImportPreview() const;
  bool OnlyChanged() const;
  bool OnlyThisPlace() const;
  bool UpdateLastChanged() const;
  std::string LastChangedParamName() const;

  std::string LastChangedDateSection() const { return SectionPrefix() + "DB"; }
  static const char* LastChangedDateIdent() noexcept { return "LastChangedDate"; }
  TDateTime LastChangedDate();
  void SetLastChangedDate(TDateTime AValue);
  // Created on first use: a file in the store folder named after the table's UID (or its
  // "Application"); a detail that names neither uses its master's store; a master that names
  // neither gets an in-memory store.
  TConfigStoreIniFile& ConfigStore();

  TCustomImportPreProcessor* Processor() const noexcept { return FProcessor; }
  TDataTableSettings* Parent() const noexcept { return FParent; }
  TXMLPreProcessorFunction Function() const noexcept { return FFunction; }
  const std::string& DetailConfigPartName() const noexcept { return FDetailConfigPartName; }
  const std::string& XMLPartName() const noexcept { return FXMLPartName; }
  const std::string& XMLRowName() const noexcept { return FXMLRowName; }
  const std::string& ConfigUID() const noexcept { return FConfigUID; }
  const std::string& StorePath() const noexcept { return FStorePath; }
  TFieldValueReplacements& Replacements() noexcept { return FReplacements; }
  TFieldSplitting& FieldSplitting() noexcept { return FFieldSplitting; }
  TFieldValueManipulator& FieldValueManipulator() noexcept { return FFieldValueManipulator; }
  TDataTableFilterExpressions& FilterExpressions() noexcept { return FFilterExpressions; }
  TLookupExportModes& LookupExportModes() noexcept { return FLookupExportModes; }
  const TStringList& ConstValues() const noexcept { return FConstValues; }
  const TStringList& Mapping() const noexcept { return FMapping; }
  const TStringList& XMLOptions() const noexcept { return FXMLOptions; }
  const TStringList& DeleteSources() const noexcept { return FDeleteSources; }
  const TStringList& SyncSources() const noexcept { return FSyncSources; }
  const TStringList& ProcessingOptions() const noexcept { return FProcessingOptions; }
  const TStringList& DeleteRecordCommands() const noexcept { return FDeleteRecordCommands; }
  const TStringList& WriterOptions() const noexcept { return FWriterOptions; }
  const TStringList& TreeRootParams() const noexcept { return FTreeRootParams; }
  TVelaXMLRecordLocateMode RecordLocateMode() const noexcept { return FRecordLocateMode; }
  bool IsTree() const noexcept { return FIsTree; }
  TVelaXMLBinaryHandlingMode BinaryHandlingMode() const noexcept { return FBinaryHandlingMode; }
  TVelaXMLDataEncoding SourceBinaryDataEncoding() const noexcept {
    return FSourceBinaryDataEncoding;
  }
  // Ends with a path delimiter when set.
  const std::string& BinaryAttachementPath() const noexcept { return FBinaryAttachementPath; }

  TCustomProcessorVelaXMLWriter* XMLWriter() const noexcept { return FXMLWriter.get(); }
  // Takes a reference to the writer and lets it take over the table's writer options.
  void SetXMLWriter(TCustomProcessorVelaXMLWriter* AWriter);

 protected:
  // "$APP$" and the host's path macros of a configured folder.
  std::string ExpandPath(const std::string& APath) const;

 private:
  void ReadSectionValues(std::string_view ASection, TStringList& AList) const;
  static const char* FunctionWord(TXMLPreProcessorFunction AFunction) noexcept;

  TCustomImportPreProcessor* FProcessor;
  std::vector<std::unique_ptr<TDataTableSettings>> FDetailDataTables;
  TFieldValueReplacements FReplacements;
  TFieldSplitting FFieldSplitting;
  TStringList FConstValues;
  TStringList FMapping;
  std::string FXMLPartName;
  std::string FXMLRowName;
  TStringList FXMLOptions;
  TStringList FDeleteSources;
  TMemIniFile* FConfig = nullptr;
  std::string FDetailConfigPartName;
  TDataTableSettings* FParent;
  TFieldValueManipulator FFieldValueManipulator;
  TStringList FProcessingOptions;
  TXMLPreProcessorFunction FFunction;
  IPtr<TCustomProcessorVelaXMLWriter> FXMLWriter;
  std::string FConfigUID;
  std::string FStorePath;
  std::unique_ptr<TConfigStoreIniFile> FConfigStore;
  TDataTableFilterExpressions FFilterExpressions;
  TStringList FSyncSources;
  TVelaXMLRecordLocateMode FRecordLocateMode = rlmNone;
  std::string FInFile;
  bool FIsTree = false;
  TDetailMode FDetailMode = dmMaster;
  TStringList FTreeRootParams;
  TStringList FDeleteRecordCommands;
  TLookupExportModes FLookupExportModes;
  TStringList FWriterOptions;
  TVelaXMLBinaryHandlingMode FBinaryHandlingMode = xbhInline;
  TVelaXMLDataEncoding FSourceBinaryDataEncoding = xdeNone;
  std::string FBinaryAttachementPath;
};

}  // namespace vela
