// The database import engine: reads the rows of one table of a database reached by an ADO
// connection string (over ODBC on this platform). The table is chosen in the settings.
#pragma once

#include <memory>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "platform/ado/ADODB.h"

namespace vela {

// Source settings that a caller can give an engine without a dialog (name=value, e.g.
// "table=customers"). True when the engine knows the setting.
struct IImportSourceSettings : virtual IInterface {
  VELA_IID("{6F0B8E52-3C1D-4A7E-9B25-D4E8A1C07F36}");
  virtual bool SetSourceParameter(std::string_view Name, std::string_view Value) = 0;
};

class TADOImportEngine : public TBaseDataImportEngine, public IImportSourceSettings {
  VELA_IMPORT_ENGINE_CLASS(TADOImportEngine)
  VELA_INTERFACES(TBaseDataImportEngine, IImportSourceSettings)

  explicit TADOImportEngine(TObject* AOwner = nullptr);
  ~TADOImportEngine() override;

  // The table to read (the table reader's command text); empty until chosen.
  std::string TableName() const { return FADODataSet ? FADODataSet->CommandText : std::string(); }
  // The table names of the current connection (system tables excluded); closes again.
  void GetTableNames(TStringList& List);

  // --- IImportSourceSettings: "table" chooses the table ---
  bool SetSourceParameter(std::string_view Name, std::string_view Value) override;

  // True for an ADO connection string ("Provider=" anywhere, case-sensitive); otherwise the
  // extension test of the base.
  bool IsFileForFormat(std::string_view FileName, int32_t FormatIndex) override;

 protected:
  bool DoImport() override;
  void CheckInputFile() override;
  void DoQueryFields(TStringList& Dest, bool QueryForSave) override;
  void ParametersSet(IFieldChangeConditions* Conditions) override;
  bool DoRunFilterTypeHandler(int32_t FormatIndex, std::string& NewFileName) override;
  bool DoEditSettings() override;

 private:
  void EnsureObjects();
  void OpenConnection();
  void CloseConnection();

  std::unique_ptr<TADOTable> FADODataSet;
  std::unique_ptr<TADOConnection> FADOConnection;
};

// The host data type for a field type of the table reader.
TImportDataType ADOFieldImportType(TADOFieldType FieldType);

}  // namespace vela
