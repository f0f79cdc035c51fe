#include "ImportEngine/_VCardImportEngine.h"

#include <cstring>

#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "rtl/Variants.h"
#include "vcard/VCard.h"
#include "vcard/VCardItem.h"

namespace vela {

// The declared field type wins over the value's own kind so that dates stay dates even when the
// card holds "no date".
void CardValueToImport(const TCardProperty& Prop, const Variant& Value, std::string& Text,
                       TImportDataType& DataType) {
  if (std::strcmp(Prop.TypeName, "TDateTime") == 0) {
    Text = DateTimeToStr(Value.AsDateTime());
    DataType = idtDate;
    return;
  }
  if (std::strcmp(Prop.TypeName, "TDate") == 0) {
    Text = DateToStr(Value.AsDateTime());
    DataType = idtDate;
    return;
  }
  Text.clear();
  DataType = idtText;
  switch (Value.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
    case Variant::Kind::Interface:
    case Variant::Kind::Bytes:
      return;
    case Variant::Kind::Double:
      Text = FloatToStr(Value.AsDouble());
      DataType = idtFloat;
      return;
    case Variant::Kind::DateTime:
      Text = DateToStr(Value.AsDateTime());
      DataType = idtDate;
      return;
    default:
      Text = VarToStr(Value);
      return;
  }
}

TVCardImportEngine::TVCardImportEngine(TObject* AOwner)
    : TBaseDataImportEngine(AOwner), FVCard(std::make_unique<TVCard>()) {
  FTitle = "VCard Import";
  AddFormat(VCardFormatGUID, "VCard - Business Card", ".vcf", nullptr, false, false, true, true,
            true);
  AddFormat(LdifFormatGUID, "LDIF - LDAP Data Interchange", ".ldif", nullptr, false, false, true,
            true, true);
}

TVCardImportEngine::~TVCardImportEngine() = default;

TBaseDataImportEngine* TVCardImportEngine::CreateEngineInstance() {
  auto* engine = static_cast<TVCardImportEngine*>(TBaseDataImportEngine::CreateEngineInstance());
  engine->FOnGetTranslation = FOnGetTranslation;
  return engine;
}

// The items are read one at a time and each is handed over before the next is read, so memory
// does not grow with the file; a file that cannot be opened fails before the first record.
bool TVCardImportEngine::DoImport() {
  TVCard& card = *FVCard;
  card.Items().Clear();
  TCardItemReader reader(card, FCurrentInputFile);
  const int fieldCount = card.FieldCount();
  std::string text;
  TImportDataType dataType = idtText;
  std::unique_ptr<TCustomCardItem> slot;  // kept and reset for every item: its buffers stay
  while (TCustomCardItem* item = reader.Next(slot)) {
    bool abort = false;
    DoStartRecord(abort);
    if (abort) break;
    for (int i = 0; i < fieldCount; ++i) {
      CardValueToImport(card.GetFieldTypeInfo(i), card.GetValues(*item, i), text, dataType);
      SetValue(card.GetFieldNames(i), text, dataType);
    }
    DoPostRecord();
  }
  return true;
}

void TVCardImportEngine::DoQueryFields(TStringList& Dest, bool /*QueryForSave*/) {
  Dest.Clear();
  const int fieldCount = FVCard->FieldCount();
  std::string display;
  for (int i = 0; i < fieldCount; ++i) {
    const std::string& name = FVCard->GetFieldNames(i);
    if (FOnGetTranslation) {
      display.clear();
      FOnGetTranslation(this, name, display);
      Dest.Add(name + "=" + display);
    } else {
      Dest.Add(name);
    }
  }
}

}  // namespace vela
