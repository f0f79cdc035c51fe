#include "ImportEngine/_OutlookImportEngine.h"

#include <utility>

#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"
#include "rtl/Threading.h"
#include "rtl/Variants.h"
#include "vcard/VCard.h"

namespace vela {

using namespace mapi;

// --- TVelaMAPIDataHelper ---

void TVelaMAPIDataHelper::InitContactFields() {
  static const std::pair<const char*, uint32_t> kTags[] = {
      {"Version", PR_CONTACT_VERSION},
      {"FormattedName", PR_DISPLAY_NAME},
      {"FirstName", PR_GIVEN_NAME},
      {"LastName", PR_SURNAME},
      {"NickName", PR_NICKNAME},
      {"Organization", PR_COMPANY_NAME},
      {"Birthday", PR_BIRTHDAY},
      {"SecondFirstName", PR_MIDDLE_NAME},
      {"Greeting", PR_DISPLAY_NAME_PREFIX},
      {"NamePrefix", PR_GENERATION},
      {"Title", PR_TITLE},
      {"Gender", PR_GENDER},
      {"Email", NPR_CONTACT_EMAILEMAILADDRESS},
      {"Email2", NPR_CONTACT_EMAIL2EMAILADDRESS},
      {"Email3", NPR_CONTACT_EMAIL3EMAILADDRESS},
      {"TelHomeVoice", PR_HOME_TELEPHONE_NUMBER},
      {"TelHomeFax", PR_HOME_FAX_NUMBER},
      {"TelHomeCellular", PR_MOBILE_TELEPHONE_NUMBER},
      {"TelWorkVoice", PR_BUSINESS_TELEPHONE_NUMBER},
      {"TelWorkFax", PR_BUSINESS_FAX_NUMBER},
      {"TelWorkCellular", PR_OFFICE2_TELEPHONE_NUMBER},
      {"AdrHomeStreetAddress", PR_HOME_ADDRESS_STREET},
      {"AdrHomeCity", PR_HOME_ADDRESS_CITY},
      {"AdrHomePostal", PR_HOME_ADDRESS_POSTAL_CODE},
      {"AdrHomeCountry", PR_HOME_ADDRESS_COUNTRY},
      {"AdrHomePostOfficeBox", PR_HOME_ADDRESS_POST_OFFICE_BOX},
      {"AdrWorkStreetAddress", PR_BUSINESS_ADDRESS_STREET},
      {"AdrWorkCity", PR_BUSINESS_ADDRESS_CITY},
      {"AdrWorkPostal", PR_BUSINESS_ADDRESS_POSTAL_CODE},
      {"AdrWorkCountry", PR_BUSINESS_ADDRESS_COUNTRY},
      {"AdrWorkPostOfficeBox", PR_BUSINESS_ADDRESS_POST_OFFICE_BOX},
      {"AdrPostalStreetAddress", PR_STREET_ADDRESS},
      {"AdrPostalCity", PR_LOCALITY},
      {"AdrPostalPostal", PR_POSTAL_CODE},
      {"AdrPostalCountry", PR_COUNTRY},
      {"AdrPostalPostOfficeBox", PR_POST_OFFICE_BOX},
      {"Url", PR_BUSINESS_HOME_PAGE},
      {"Notes", PR_BODY},
  };
  FFields.Clear();
  FTags.clear();
  TVCard card;
  for (int i = 0; i < card.FieldCount(); ++i) {
    const std::string& name = card.GetFieldNames(i);
    uint32_t tag = 0;
    for (const auto& [field, fieldTag] : kTags)
      if (name == field) {
        tag = fieldTag;
        break;
      }
    FFields.Add(name);
    FTags.push_back(tag);
  }
  FBirthdayFieldIndex = FFields.IndexOf("Birthday");
  FMAPIDataType = DefaultFolderContacts;
}

uint32_t TVelaMAPIDataHelper::PropTag(int FieldIndex) const {
  return FTags.at(FieldIndex);
}

bool TVelaMAPIDataHelper::GetIsDateTimeField(int FieldIndex) const {
  return FieldIndex >= 0 && FieldIndex == FBirthdayFieldIndex;
}

Variant TVelaMAPIDataHelper::GetValue(const TMapiProp& ARecord, int FieldIndex) const {
  const uint32_t tag = PropTag(FieldIndex);
  if (tag == 0) return Variant::MakeNull();
  TMapiValue value = ARecord.GetProp(tag);
  if (value.IsError()) return Variant::MakeNull();
  if (value.Type == PT_SYSTIME && value.Value.IsDateTime())
    return Variant::FromDateTime(MapiUTCToLocal(value.Value.AsDateTime()));
  if (FieldIndex == FBirthdayFieldIndex) return Variant::MakeNull();
  return value.Value;
}

// --- TVelaMAPIMsgStoreDataHelper ---

void TVelaMAPIMsgStoreDataHelper::SetMsgStore(std::unique_ptr<TMapiMsgStore> Value) {
  if (!Value) FContentTable.reset();
  FMsgStore = std::move(Value);
}

std::unique_ptr<TMapiProp> TVelaMAPIMsgStoreDataHelper::GetRecord(int /*AAccessLevel*/) const {
  if (!FContentTable) throw EMapiError("No folder is open");
  return FContentTable->OpenRow();
}

// --- TOutlookImportEngine ---

TOutlookImportEngine::TOutlookImportEngine(TObject* AOwner) : TBaseDataImportEngine(AOwner) {
  FFields.InitContactFields();
  FTitle = "Outlook Import";
  AddFormat(FormatGUID, "Outlook Import", "", nullptr, true, false, false, true, false);
}

TOutlookImportEngine::~TOutlookImportEngine() = default;

TMapiSession& TOutlookImportEngine::Session() {
  if (!FMapiSession) FMapiSession = std::make_unique<TMapiSession>();
  return *FMapiSession;
}

const std::string& TOutlookImportEngine::ProfileName() const {
  static const std::string empty;
  return FMapiSession ? FMapiSession->ProfileName : empty;
}

void TOutlookImportEngine::ParametersSet(IFieldChangeConditions* /*Conditions*/) {
  TMapiSession& session = Session();
  session.Deactivate();
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= FCurrentInputFile.size()) {
    size_t at = FCurrentInputFile.find('@', start);
    if (at == std::string::npos) at = FCurrentInputFile.size();
    if (at > start) parts.push_back(FCurrentInputFile.substr(start, at - start));
    start = at + 1;
  }
  auto part = [&parts](size_t i) { return i < parts.size() ? parts[i] : std::string(); };
  auto id = [&part](size_t i) -> std::optional<TEntryID> {
    const std::string hex = part(i);
    if (hex.empty()) return std::nullopt;
    return HexToText(hex);
  };
  session.ProfileName = part(0);
  FFolderID = id(1);
  FMsgStoreID = id(2);
  session.Password = part(3);
}

bool TOutlookImportEngine::IsFileForFormat(std::string_view /*FileName*/, int32_t /*FormatIndex*/) {
  return false;
}

bool TOutlookImportEngine::DoRunFilterTypeHandler(int32_t /*FormatIndex*/,
                                                  std::string& NewFileName) {
  NewFileName.clear();
  return true;
}

void TOutlookImportEngine::CheckInputFile() {
  TBaseDataImportEngine::CheckInputFile();
}

void TOutlookImportEngine::DoQueryFields(TStringList& Dest, bool /*QueryForSave*/) {
  Dest.Clear();
  Dest.AddStrings(FFields.Fields());
}

void TOutlookImportEngine::LogonSession() {
  TMapiSession& session = Session();
  session.Deactivate();
  // A logon dialog only on the main thread and only with a user interface.
  const bool dialog = IsMainThread() && ImportEngineUI();
  if (session.ProfileName.empty()) throw EMapiError("No MAPI profile given");
  session.Logon(dialog);
}

bool TOutlookImportEngine::DoEditSettings() {
  LogonSession();
  IPtr<IImportEngineUI> ui = ImportEngineUI();
  if (Session().Active() && ui) {
    std::string source;
    // The folder dialog answers "profile@folder@store@password" for the chosen folder.
    if (ui->SelectSource(this, FCurrentFormatIndex, source) && !source.empty())
      FCurrentInputFile = source;
  }
  return false;
}

void TOutlookImportEngine::OpenFolder() {
  LogonSession();
  TMapiSession& session = Session();
  FFields.SetMsgStore(session.OpenMsgStore(FMsgStoreID.value_or(TEntryID())));
  std::unique_ptr<TMapiFolder> folder =
      FFolderID ? FFields.MsgStore()->OpenFolder(*FFolderID)
                : FFields.MsgStore()->OpenDefaultFolder(DefaultFolderContacts);
  FFields.SetContentTable(folder->ContentTable());
}

bool TOutlookImportEngine::DoImport() {
  const bool result = TBaseDataImportEngine::DoImport();
  try {
    OpenFolder();
    TMapiTable& table = *FFields.ContentTable();
    const TStringList& fields = FFields.Fields();
    const int fieldCount = fields.Count();
    table.MoveFirst();
    while (!table.Eof()) {
      bool abort = false;
      DoStartRecord(abort);
      if (abort) break;
      try {
        std::unique_ptr<TMapiProp> record = FFields.GetRecord();
        for (int i = 0; i < fieldCount; ++i) {
          const Variant value = FFields.GetValue(*record, i);
          if (FFields.GetIsDateTimeField(i))
            SetValue(fields[i], value.IsNull() ? std::string() : DateTimeToStr(value.AsDateTime()),
                     idtDateTime);
          else
            SetValue(fields[i], VarToStr(value), idtText);
        }
      } catch (...) {
        DoPostRecord();
        throw;
      }
      DoPostRecord();
      table.Next();
    }
  } catch (...) {
    FFields.SetMsgStore(nullptr);
    Session().Deactivate();
    throw;
  }
  FFields.SetMsgStore(nullptr);
  Session().Deactivate();
  return result;
}

}  // namespace vela
