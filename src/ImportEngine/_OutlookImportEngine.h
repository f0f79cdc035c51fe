// The Outlook engine: the contact items of one folder of a MAPI message store, delivered under
// the card library's contact field names so that Outlook folders and vCard files map alike.
//
// Input name: profile "@" folder id "@" store id "@" password; the ids are hex text of their
// bytes, an empty part means "not set" (default store, default contacts folder).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "platform/mapi/VelaMapi.h"

namespace vela {

// The field names of a MAPI data kind with the property tag each reads (0: none).
class TVelaMAPIDataHelper {
 public:
  TVelaMAPIDataHelper() = default;
  virtual ~TVelaMAPIDataHelper() = default;

  // The card library's contact fields; FMAPIDataType becomes 512.
  void InitContactFields();
  const TStringList& Fields() const noexcept { return FFields; }
  uint32_t PropTag(int FieldIndex) const;
  int32_t MAPIDataType() const noexcept { return FMAPIDataType; }
  int32_t BirthdayFieldIndex() const noexcept { return FBirthdayFieldIndex; }
  bool GetIsDateTimeField(int FieldIndex) const;
  // Null without property, for a MAPI error and for a birthday that is not a date; times are
  // converted from UTC to local time.
  Variant GetValue(const mapi::TMapiProp& ARecord, int FieldIndex) const;

 protected:
  int32_t FMAPIDataType = 1;
  int32_t FBirthdayFieldIndex = -1;
  int32_t FRecurrenceInfoFieldIndex = -1;
  int32_t FEventTypeFieldIndex = -1;
  int32_t FEventOptionsFieldIndex = -1;
  int32_t FEventLabelColorFieldIndex = -1;
  TStringList FFields;
  std::vector<uint32_t> FTags;  // parallel to FFields
};

// Adds the store and content table open during an import.
class TVelaMAPIMsgStoreDataHelper : public TVelaMAPIDataHelper {
 public:
  mapi::TMapiMsgStore* MsgStore() const noexcept { return FMsgStore.get(); }
  // Releasing the store (nil) also releases the table.
  void SetMsgStore(std::unique_ptr<mapi::TMapiMsgStore> Value);
  mapi::TMapiTable* ContentTable() const noexcept { return FContentTable.get(); }
  void SetContentTable(std::unique_ptr<mapi::TMapiTable> Value) {
    FContentTable = std::move(Value);
  }
  // The item at the table's current row (read-only access is all this layer offers).
  std::unique_ptr<mapi::TMapiProp> GetRecord(int AAccessLevel = 0) const;

 private:
  std::unique_ptr<mapi::TMapiMsgStore> FMsgStore;
  std::unique_ptr<mapi::TMapiTable> FContentTable;
};

class TOutlookImportEngine : public TBaseDataImportEngine {
  VELA_IMPORT_ENGINE_CLASS(TOutlookImportEngine)

  explicit TOutlookImportEngine(TObject* AOwner = nullptr);
  ~TOutlookImportEngine() override;

  static constexpr std::string_view FormatGUID = "{4705EAE6-C131-4FEF-A16D-1470BF85558F}";

  // What the last SetParameter decoded.
  const std::string& ProfileName() const;
  const std::optional<mapi::TEntryID>& FolderID() const noexcept { return FFolderID; }
  const std::optional<mapi::TEntryID>& MsgStoreID() const noexcept { return FMsgStoreID; }
  const TVelaMAPIMsgStoreDataHelper& FieldHelper() const noexcept { return FFields; }

  // Never true: Outlook sources are chosen through the settings only.
  bool IsFileForFormat(std::string_view FileName, int32_t FormatIndex) override;

 protected:
  bool DoImport() override;
  void CheckInputFile() override;
  void DoQueryFields(TStringList& Dest, bool QueryForSave) override;
  void ParametersSet(IFieldChangeConditions* Conditions) override;
  bool DoRunFilterTypeHandler(int32_t FormatIndex, std::string& NewFileName) override;
  bool DoEditSettings() override;

 private:
  mapi::TMapiSession& Session();
  void LogonSession();
  void OpenFolder();

  std::unique_ptr<mapi::TMapiSession> FMapiSession;
  std::optional<mapi::TEntryID> FFolderID;
  std::optional<mapi::TEntryID> FMsgStoreID;
  TVelaMAPIMsgStoreDataHelper FFields;
};

}  // namespace vela
