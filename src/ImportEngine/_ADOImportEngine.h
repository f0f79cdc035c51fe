// The database import engine: reads the rows of one table of a database reached by an ADO
// connection string (over ODBC on this platform). The table is chosen in the settings.
#pragma once

#include <memory>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "ImportEngine/_ImportSourceSettingsIntf.h"
#include "platform/ado/ADODB.h"

namespace vela {

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
