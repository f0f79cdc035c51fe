#include "ImportEngine/_ADOImportEngine.h"

#include "rtl/SysUtils.h"

namespace vela {

TImportDataType ADOFieldImportType(TADOFieldType FieldType) {
  switch (FieldType) {
    case aftSmallint:
    case aftInteger:
    case aftLargeint:
      return idtInteger;
    case aftFloat:
      return idtFloat;
    case aftDate:
      return idtDate;
    case aftTime:
      return idtTime;
    case aftDateTime:
      return idtDateTime;
    default:
      return idtText;
  }
}

// COM needs no initialisation on this platform, on any thread.
TADOImportEngine::TADOImportEngine(TObject* AOwner) : TBaseDataImportEngine(AOwner) {
  SetTitle("Database Import");
  AddFormat("{E5AE2E16-7A13-452E-A077-94265E78C607}", "ADO/OLE-DB/ODBC Database", "", nullptr, true,
            false, false, true, true);
}

TADOImportEngine::~TADOImportEngine() {
  FADODataSet.reset();
  FADOConnection.reset();
}

void TADOImportEngine::EnsureObjects() {
  if (!FADOConnection) {
    FADOConnection = std::make_unique<TADOConnection>();
    FADOConnection->LoginPrompt = false;
  }
  if (!FADODataSet) {
    FADODataSet = std::make_unique<TADOTable>();
    FADODataSet->TableDirect = true;
    FADODataSet->Connection = FADOConnection.get();
  }
}

void TADOImportEngine::OpenConnection() {
  EnsureObjects();
  if (!FADOConnection->Connected()) FADOConnection->Open();
}

void TADOImportEngine::CloseConnection() {
  if (FADODataSet && FADODataSet->Active()) FADODataSet->Close();
  if (FADOConnection && FADOConnection->Connected()) FADOConnection->Close();
}

bool TADOImportEngine::IsFileForFormat(std::string_view FileName, int32_t AFormatIndex) {
  if (FileName.find("Provider=") != std::string_view::npos) return true;
  return TBaseDataImportEngine::IsFileForFormat(FileName, AFormatIndex);
}

void TADOImportEngine::CheckInputFile() {
  TBaseDataImportEngine::CheckInputFile();
}

bool TADOImportEngine::DoRunFilterTypeHandler(int32_t AFormatIndex, std::string& NewFileName) {
  NewFileName.clear();
  // The connection-string dialog is the settings service's; headless it leaves the name empty.
  if (IPtr<IImportEngineUI> ui = ImportEngineUI()) {
    std::string chosen;
    if (ui->SelectSource(this, AFormatIndex, chosen)) NewFileName = chosen;
  }
  return true;
}

void TADOImportEngine::ParametersSet(IFieldChangeConditions*) {
  CloseConnection();
  EnsureObjects();
  FADOConnection->ConnectionString = FCurrentInputFile;
  FADODataSet->CommandText.clear();  // the table is chosen again after every SetParameter
}

bool TADOImportEngine::SetSourceParameter(std::string_view Name, std::string_view Value) {
  if (!SameText(Name, "table")) return false;
  EnsureObjects();
  FADODataSet->CommandText = Value;
  return true;
}

void TADOImportEngine::GetTableNames(TStringList& List) {
  List.Clear();
  EnsureObjects();
  try {
    OpenConnection();
    FADOConnection->GetTableNames(List, false);
  } catch (...) {
    CloseConnection();
    throw;
  }
  CloseConnection();
}

void TADOImportEngine::DoQueryFields(TStringList& Dest, bool) {
  Dest.Clear();
  EnsureObjects();
  try {
    OpenConnection();
    FADOConnection->GetFieldNames(FADODataSet->CommandText, Dest);
  } catch (...) {
    CloseConnection();
    throw;
  }
  CloseConnection();
}

bool TADOImportEngine::DoEditSettings() {
  CloseConnection();
  EnsureObjects();
  bool result = false;
  // The settings service chooses the table (SetSourceParameter) and may change the connection.
  if (IPtr<IImportEngineUI> ui = ImportEngineUI()) result = ui->EditSettings(this, FormatIndex());
  FCurrentInputFile = FADOConnection->ConnectionString;
  return result;
}

bool TADOImportEngine::DoImport() {
  EnsureObjects();
  bool result = TBaseDataImportEngine::DoImport();
  try {
    FADODataSet->Open();
    FADODataSet->First();
    bool abort = false;
    while (!FADODataSet->Eof() && !abort) {
      DoStartRecord(abort);
      if (abort) break;
      try {
        for (int i = 0; i < FADODataSet->FieldCount(); ++i) {
          const TADOField& f = FADODataSet->Fields(i);
          SetValue(f.FieldName, f.AsString, ADOFieldImportType(f.DataType));
        }
      } catch (...) {
        DoPostRecord();
        throw;
      }
      DoPostRecord();
      FADODataSet->Next();
    }
  } catch (...) {
    CloseConnection();
    throw;
  }
  CloseConnection();
  return result;
}

}  // namespace vela
