// The text import engine: delimited and fixed-width text files described by data schemas. Every
// schema of the schema files in the application's "custom" folder becomes one import format, so
// that adding a .tic file adds file types to the import dialog. Records are read by the schema
// reader (TImportData) and handed to the field processor.
#pragma once

#include <memory>
#include <string>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "ImportEngine/_ImportEngineInfoIntf.h"
#include "ImportEngine/_XMLTextImport.h"

namespace vela {

class TTextImportEngine : public TBaseDataImportEngine,
                          public IImportFormatNames,
                          public IImportSourcePosition {
  VELA_IMPORT_ENGINE_CLASS(TTextImportEngine)
  VELA_INTERFACES(TBaseDataImportEngine, IImportFormatNames, IImportSourcePosition)

  // Loads every "*.tic" of the application folder's "custom" folder (in name order) into one
  // schema collection and adds one format per schema. A schema file that cannot be read makes
  // the construction fail.
  explicit TTextImportEngine(TObject* AOwner = nullptr);
  ~TTextImportEngine() override;

  TXMLTextImport& XMLImport() noexcept { return *FXMLImport; }
  // The schema of the current format; raises "FormatIndex not set!" before SetParameter.
  TDataSchema* CurrentSchema() const;
  // The settings dialog's action "read the fields from the file": AutoAddFields of the current
  // schema with the current input file.
  void AutoAddFieldsFromInputFile();

  // --- IImportFormatNames: a format is named by its data schema ---
  std::string GetFormatName(int32_t Index) override;
  // --- IImportSourcePosition ---
  int64_t GetSourceLine() override { return FXMLImport->ImportData().RecordLine(); }

 protected:
  bool DoImport() override;
  void DoQueryFields(TStringList& Dest, bool QueryForSave) override;
  void ParametersSet(IFieldChangeConditions* Conditions) override;
  bool DoEditSettings() override;

 private:
  void LoadSchemas();
  void ConnectReader();

  std::unique_ptr<TXMLTextImport> FXMLImport;
};

}  // namespace vela
