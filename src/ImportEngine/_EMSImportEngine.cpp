#include "ImportEngine/_EMSImportEngine.h"

#include "ImportEngine/QImport2ASCII.h"
#include "ImportEngine/QImport2DBF.h"
#include "ImportEngine/QImport2XML.h"

namespace vela {

std::string MakeCompName(std::string_view Text) {
  std::string out;
  for (char c : Text) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
              (c >= '0' && c <= '9' && !out.empty());
    if (ok) out.push_back(c);
  }
  return out.empty() ? std::string("_") : out;
}

TEMSImportEngine::TEMSImportEngine(TObject* AOwner) : TBaseDataImportEngine(AOwner) {
  SetTitle("Standardfile Import");
  struct TFormatDef {
    const char* Title;
    const char* GUID;
    const char* Ext;
  };
  static constexpr TFormatDef formats[] = {
      {"DBase", "{3BA9F1E6-095F-4F5D-9B0E-87FD312CCA54}", ".dbf"},
      {"XML-DATAPACKET", "{E6D9313A-B24F-40D0-BA0D-FA27F710176D}", ".xml"},
      {"Text", "{4AD627B0-DFD6-4DE3-A51E-AF51926B89FA}", ".txt"},
  };
  for (size_t i = 0; i < std::size(formats); ++i) {
    std::unique_ptr<TQImport2> importer;
    if (i == 0)
      importer = std::make_unique<TQImport2DBF>();
    else if (i == 1)
      importer = std::make_unique<TQImport2XML>();
    else
      importer = std::make_unique<TQImport2ASCII>();
    importer->ImportDestination = qidUserDefined;
    importer->OnImportCancel = [this](TQImport2*, bool& Continue) { ImportCancel(Continue); };
    importer->OnUserDefinedImport = [this](TQImport2*, const TQImportRow& Row) {
      UserDefinedImport(Row);
    };
    importer->Name = MakeCompName(formats[i].Title);
    TImportFormat* format = AddFormat(formats[i].GUID, formats[i].Title, formats[i].Ext,
                                      importer.get(), true, false, true, true, true);
    format->HandelFieldAssignments = true;
    FEMSImporter.push_back(std::move(importer));
  }
  static_cast<TQImport2ASCII*>(FEMSImporter[2].get())->Comma = '\0';
}

TEMSImportEngine::~TEMSImportEngine() = default;

TQImport2* TEMSImportEngine::CurrentImporter() const {
  return static_cast<TQImport2*>(CurrentFormat()->Data);
}

int64_t TEMSImportEngine::GetSourceLine() {
  if (FormatIndex() < 0) return 0;
  const auto* text = dynamic_cast<const TQImport2ASCII*>(CurrentImporter());
  return text ? text->RecordLine() : 0;
}

void TEMSImportEngine::ParametersSet(IFieldChangeConditions*) {
  CurrentImporter()->FileName = FCurrentInputFile;
}

bool TEMSImportEngine::DoImport() {
  FAbort = false;
  CurrentImporter()->Execute();
  return true;
}

void TEMSImportEngine::UserDefinedImport(const TQImportRow& Row) {
  if (FAbort) return;
  DoStartRecord(FAbort);
  if (FAbort) return;
  try {
    for (const TQImportCol& col : Row)
      SetValue(col.Name, col.Value, idtText);
  } catch (...) {
    DoPostRecord();
    throw;
  }
  DoPostRecord();
}

void TEMSImportEngine::DoQueryFields(TStringList& Dest, bool QueryForSave) {
  Dest.Clear();
  TQImport2* importer = CurrentImporter();
  const TStringList& map = importer->Map;
  if (QueryForSave) {
    Dest.Assign(map);
    return;
  }
  if (map.Count() == 0) {
    // Without a map the component delivers every column of the file under its own name: those
    // are the fields a caller can assign.
    if (!importer->FileName.empty())
      for (const std::string& column : importer->ReadColumnNames())
        Dest.Add(column);
    return;
  }
  for (int i = 0; i < map.Count(); ++i)
    Dest.Add(map.Names(i));
}

void TEMSImportEngine::DoSetFieldAssignment(TStringList& Fields) {
  CurrentImporter()->Map.Assign(Fields);
}

bool TEMSImportEngine::DoEditSettings() {
  TQImport2* importer = CurrentImporter();
  IPtr<IImportEngineUI> ui = ImportEngineUI();
  if (!ui) return false;  // headless: no setup wizard
  // The wizard works on the destination fields; the component delivers to it meanwhile.
  importer->ImportDestination = qidDataSet;
  try {
    ui->EditSettings(this, FormatIndex());
  } catch (...) {
    importer->ImportDestination = qidUserDefined;
    importer->DataSet = nullptr;
    FCurrentInputFile = importer->FileName;
    throw;
  }
  FCurrentInputFile = importer->FileName;
  importer->ImportDestination = qidUserDefined;
  importer->DataSet = nullptr;
  return false;
}

}  // namespace vela
