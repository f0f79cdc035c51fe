// The contact file engine: vCard and LDIF files, read item by item through the card library, one
// record per card item with one value per contact field.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ImportEngine/_BaseDataImportEngine.h"

namespace vela {

class TVCard;
class Variant;
struct TCardProperty;

// The text and receiver type of one card field value: the declared types TDateTime and TDate
// give date texts of type 3, whatever the value; otherwise the value's own kind decides (floats
// type 1, dates type 3, values without a text form empty, everything else its text with type 0).
void CardValueToImport(const TCardProperty& Prop, const Variant& Value, std::string& Text,
                       TImportDataType& DataType);

// Returns in AValue the display text for the key sKey (a field name).
using TTranslationEvent =
    std::function<void(TBaseDataImportEngine* Sender, std::string_view sKey, std::string& AValue)>;

class TVCardImportEngine : public TBaseDataImportEngine {
  VELA_IMPORT_ENGINE_CLASS(TVCardImportEngine)

  explicit TVCardImportEngine(TObject* AOwner = nullptr);
  ~TVCardImportEngine() override;

  const TTranslationEvent& OnGetTranslation() const noexcept { return FOnGetTranslation; }
  void SetOnGetTranslation(TTranslationEvent Value) { FOnGetTranslation = std::move(Value); }

  static constexpr std::string_view VCardFormatGUID = "{70061FE5-7F9A-4E4C-9206-D5F089CC4F60}";
  static constexpr std::string_view LdifFormatGUID = "{1F9694D0-7F02-4781-8481-0998BAD6FFF1}";

 protected:
  TBaseDataImportEngine* CreateEngineInstance() override;
  bool DoImport() override;
  void DoQueryFields(TStringList& Dest, bool QueryForSave) override;

 private:
  std::unique_ptr<TVCard> FVCard;
  TTranslationEvent FOnGetTranslation;
};

}  // namespace vela
