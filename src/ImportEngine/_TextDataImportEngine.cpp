#include "ImportEngine/_TextDataImportEngine.h"

#include "rtl/Exceptions.h"
#include "rtl/FileUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// The host data type of a schema field type.
TImportDataType HostDataType(textschema::TImportDataType AType) noexcept {
  switch (AType) {
    case textschema::idtInteger:
      return idtInteger;
    case textschema::idtFloat:
      return idtFloat;
    case textschema::idtDate:
      return idtDate;
    default:
      return idtText;
  }
}

}  // namespace

TTextImportEngine::TTextImportEngine(TObject* AOwner)
    : TBaseDataImportEngine(AOwner), FXMLImport(std::make_unique<TXMLTextImport>()) {
  ConnectReader();
  SetTitle("Text Import");
  LoadSchemas();
}

TTextImportEngine::~TTextImportEngine() = default;

void TTextImportEngine::ConnectReader() {
  TImportData& reader = FXMLImport->ImportData();
  reader.SetOnStartRecord([this](TImportData*, TDataSchema*, int) {
    bool abort = false;
    DoStartRecord(abort);
    if (abort) Abort();  // the reader ends the import quietly
  });
  // A converted number or date goes with the value it stands for, so that the receiver need
  // not read the text again.
  reader.SetOnField([this](TImportData* Sender, TDataSchema*, int, const std::string& Value,
                           TImportFieldDef* Field) {
    if (const auto& parsed = Sender->FieldParsed())
      SetParsedValue(Field->FieldName(), Value, HostDataType(Field->DataType()), *parsed);
    else
      SetValue(Field->FieldName(), Value, HostDataType(Field->DataType()));
  });
  reader.SetOnEndRecord([this](TImportData*, TDataSchema*, int) { DoPostRecord(); });
  reader.SetOnError([this](TImportData*, TImportFieldDef* Field, std::string&,
                           const Exception& AException, int ARecNo, TErrorType) {
    DoMessage("Record " + std::to_string(ARecNo) + ": Field '" +
                  (Field ? Field->FieldName() : std::string()) + "' >" + AException.Message(),
              imtError);
  });
}

void TTextImportEngine::LoadSchemas() {
  const std::string folder = IncludeTrailingPathDelimiter(GetApplicationFolder()) + "custom/";
  TDataSchemas& schemas = FXMLImport->DataSchemas();
  for (const std::string& name : GetFileList(folder, "*.tic")) {
    try {
      schemas.LoadSchemasFromFile(folder + name);
    } catch (Exception& E) {
      // The schema tree cannot say where in the file it went wrong; the file it can.
      E.SetMessage(E.Message() + " (data schema file " + folder + name + ")");
      throw;
    }
  }
  for (int i = 0; i < schemas.Count(); ++i) {
    TDataSchema* s = schemas.Items(i);
    AddFormat(s->UID(), s->Descr(), s->FileExt(), s, s->HasSettings(), s->FirstRowIsHeader(),
              s->CheckFileExt(), s->UseFormatForDialog(), s->FileNameIsUserReadable());
  }
}

TDataSchema* TTextImportEngine::CurrentSchema() const {
  return static_cast<TDataSchema*>(CurrentFormat()->Data);
}

std::string TTextImportEngine::GetFormatName(int32_t Index) {
  return static_cast<TDataSchema*>(GetFormats(Index)->Data)->SchemaName();
}

void TTextImportEngine::AutoAddFieldsFromInputFile() {
  CurrentSchema()->AutoAddFields(FCurrentInputFile);
}

bool TTextImportEngine::DoImport() {
  CheckInputFile();
  FXMLImport->ImportData().StartImport(FCurrentInputFile, CurrentSchema());
  return true;
}

void TTextImportEngine::DoQueryFields(TStringList& Dest, bool /*QueryForSave*/) {
  Dest.Clear();
  const TImportFieldsDef& fields = CurrentSchema()->FieldsDef();
  for (int i = 0; i < fields.Count(); ++i) {
    const TImportFieldDef& f = *fields.Items(i);
    const bool hasDescr = !Trim(f.Descr()).empty();
    Dest.Add(f.FieldName() + "=" + (hasDescr ? f.Descr() : f.FieldName()));
  }
}

void TTextImportEngine::ParametersSet(IFieldChangeConditions* Conditions) {
  TDataSchema* schema = CurrentSchema();
  schema->AutoAddFields(FCurrentInputFile);
  // Swiss bank clearing numbers: after the key lookup a filled-in new number replaces the old.
  if (schema->SchemaName() == "banks_swiss" && Conditions) {
    IFieldChangeCondition* rule = Conditions->Add();
    rule->Set_ConditionField("bcnrnew");
    rule->Set_Condition(coNotEqual);
    rule->Set_ConditionValue("");
    rule->Set_ConditionCheckMode(ccmAfterKeySearch);
    rule->Set_DestinationField("bcnr");
    rule->Set_ReplaceField("bcnrnew");
    rule->Set_Action(caReplaceField);
    rule->Set_PreDefined(true);
  }
}

bool TTextImportEngine::DoEditSettings() {
  if (!CurrentFormat()->HasSettings) return false;
  // The schema dialog; headless, it is closed at once as if cancelled. Whatever the user chose,
  // the settings were shown.
  if (auto ui = ImportEngineUI()) ui->EditSettings(this, FormatIndex());
  return true;
}

}  // namespace vela
