// The contract between import engines and the field processor: the engine and processor
// interfaces with the rule-list interfaces and enumerations they pass, the packed name lists,
// the hook through which engines reach a user interface, and the engine base class that every
// engine derives from.
//
// Record protocol inside DoImport: for each source record call DoStartRecord and stop when it
// returns Abort; otherwise call SetValue once per field in field order (empty values included),
// then DoPostRecord.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ImportEngine/_ImportParsedValue.h"
#include "host/InterfacedData.h"
#include "rtl/Classes.h"
#include "rtl/Interfaces.h"

namespace vela {

// ---------------------------------------------------------------------------------------------
// Enumerations (ordinal values are part of the contract)
// ---------------------------------------------------------------------------------------------

// How the receiver converts the text of a field value.
enum TImportDataType : int32_t {
  idtText = 0,  // plain text, type not known
  idtFloat = 1,
  idtTime = 2,
  idtDate = 3,
  idtDateTime = 4,
  idtInteger = 5,
};

enum TImportMessageType : int32_t {
  imtInformation = 0,
  imtWarning = 1,
  imtError = 2,
};

// Letter-case rule of an advanced field setting; only ASCII letters change.
enum TCaseMode : int32_t {
  cmNone = 0,
  cmFirstUpper = 1,  // lower-case everything, then upper-case the first character
  cmUpper = 2,
  cmLower = 3,
};

enum TCondition : int32_t {
  coEqual = 0,
  coNotEqual = 1,
};

// In which pass of the record buffer a field change condition is tested.
enum TConditionCheckMode : int32_t {
  ccmBeforeKeySearch = 0,
  ccmAfterKeySearch = 1,
};

enum TConditionAction : int32_t {
  caIgnoreRecord = 0,  // before the key search: skip the record; after it: delete the found one
  caReplaceField = 1,  // DestinationField := value of ReplaceField
};

// ---------------------------------------------------------------------------------------------
// Rule-list interfaces. Their objects are owned by their lists: reference counting is off
// (_AddRef/_Release return -1), so the raw pointers these operations return live as long as the
// item stays in its list.
// ---------------------------------------------------------------------------------------------

struct IReplacement : virtual IInterface {
  VELA_IID("{4685E858-EE44-41BB-A626-51270E5E0E4D}");
  virtual std::string Get_SearchStr() const = 0;
  virtual std::string Get_ReplaceStr() const = 0;
  virtual bool Get_CaseSensitive() const = 0;
  virtual void Set_SearchStr(std::string_view Value) = 0;
  virtual void Set_ReplaceStr(std::string_view Value) = 0;
  virtual void Set_CaseSensitive(bool Value) = 0;
};

struct IReplacements : virtual IInterface {
  VELA_IID("{BE1733EE-BC2E-4168-BA58-E18A15F22CAA}");
  virtual IReplacement* Add() = 0;
  virtual IReplacement* Items(int32_t Index) const = 0;
  virtual int32_t Count() const = 0;
  virtual void Delete(int32_t Index) = 0;
  virtual void Clear() = 0;
};

// Settings of one destination field: readers, then writers, each in alphabetical order.
struct IAdvFieldData : virtual IInterface {
  VELA_IID("{19FE9FDF-4A30-4E1D-8818-E6CB1DA00E10}");
  virtual bool Get_AutoValue() const = 0;
  virtual std::string Get_AutoValueString() const = 0;
  virtual TCaseMode Get_CaseMode() const = 0;
  virtual std::string Get_FieldName() const = 0;
  virtual std::string Get_FixValue() const = 0;
  virtual bool Get_LeftTrim() const = 0;
  virtual IReplacements* Get_Replacements() const = 0;
  virtual bool Get_RightTrim() const = 0;
  virtual int32_t Get_StepStart() const = 0;
  virtual int32_t Get_StepWidth() const = 0;
  virtual bool Get_UseFixValue() const = 0;
  virtual void Set_AutoValue(bool Value) = 0;
  virtual void Set_AutoValueString(std::string_view Value) = 0;
  virtual void Set_CaseMode(TCaseMode Value) = 0;
  virtual void Set_FieldName(std::string_view Value) = 0;
  virtual void Set_FixValue(std::string_view Value) = 0;
  virtual void Set_LeftTrim(bool Value) = 0;
  virtual void Set_RightTrim(bool Value) = 0;
  virtual void Set_StepStart(int32_t Value) = 0;
  virtual void Set_StepWidth(int32_t Value) = 0;
  virtual void Set_UseFixValue(bool Value) = 0;
};

struct IAdvFieldSettings : virtual IInterface {
  VELA_IID("{1BC763E5-CDD5-4890-9BCB-6C2C75CAD5B3}");
  virtual IAdvFieldData* Add(std::string_view FieldName) = 0;
  virtual void Clear() = 0;
  virtual int32_t Count() const = 0;
  virtual void Delete(int32_t Index) = 0;
  virtual IAdvFieldData* Items(int32_t Index) const = 0;
  // First item whose field name equals FieldName exactly; nil when none.
  virtual IAdvFieldData* ByName(std::string_view FieldName) const = 0;
};

// One field change rule: each property as writer followed by its reader.
struct IFieldChangeCondition : virtual IInterface {
  VELA_IID("{E3CB7927-E662-4B8D-A68D-7CB68CED1981}");
  virtual void Set_ConditionField(std::string_view Value) = 0;
  virtual std::string Get_ConditionField() const = 0;
  virtual void Set_Condition(TCondition Value) = 0;
  virtual TCondition Get_Condition() const = 0;
  virtual void Set_ConditionValue(std::string_view Value) = 0;
  virtual std::string Get_ConditionValue() const = 0;
  virtual void Set_ConditionCheckMode(TConditionCheckMode Value) = 0;
  virtual TConditionCheckMode Get_ConditionCheckMode() const = 0;
  virtual void Set_DestinationField(std::string_view Value) = 0;
  virtual std::string Get_DestinationField() const = 0;
  virtual void Set_ReplaceField(std::string_view Value) = 0;
  virtual std::string Get_ReplaceField() const = 0;
  virtual void Set_Action(TConditionAction Value) = 0;
  virtual TConditionAction Get_Action() const = 0;
  virtual void Set_PreDefined(bool Value) = 0;
  virtual bool Get_PreDefined() const = 0;
};

struct IFieldChangeConditions : virtual IInterface {
  VELA_IID("{832FCA88-CDE3-4B2A-AD33-662CEA57515C}");
  virtual IFieldChangeCondition* Items(int32_t Index) const = 0;
  virtual int32_t Count() const = 0;
  // First rule whose ConditionField equals FieldName exactly; nil when none.
  virtual IFieldChangeCondition* ByName(std::string_view FieldName) const = 0;
  virtual IFieldChangeCondition* Add() = 0;
  // All: remove every rule; otherwise remove the rules that are not PreDefined.
  virtual void Clear(bool All) = 0;
  virtual void Delete(int32_t Index) = 0;
};

// ---------------------------------------------------------------------------------------------
// Engine and processor interfaces
// ---------------------------------------------------------------------------------------------

// The callbacks an engine calls while its Execute runs. EngineIndex is the UserData that the
// processor passed to Execute.
struct IDataImportProcessor : virtual IInterface {
  VELA_IID("{BD0074D2-95E6-4C0B-9B68-0A63AFA42E46}");
  virtual void StartRecord(int32_t EngineIndex, bool& Abort) = 0;
  virtual void PostRecord(int32_t EngineIndex) = 0;
  // Value is only valid for the duration of the call; receivers copy it.
  virtual void SetValue(std::string_view FieldName, std::string_view Value,
                        TImportDataType DataType, int32_t EngineIndex) = 0;
  virtual void EngineMessage(int32_t EngineIndex, std::string_view Msg,
                             TImportMessageType MsgType) = 0;
};

// A processor's second callback interface: SetValue with, beside the text, the value the engine
// parsed it into. A receiver may use the parsed value instead of reading the text again; the
// text stays the value of record (field rules, messages).
struct IDataImportParsedValues : virtual IInterface {
  VELA_IID("{5E0F8B2A-3C71-4D96-A4E8-1B7C2D9F6A35}");
  virtual void SetParsedValue(std::string_view FieldName, std::string_view Value,
                              TImportDataType DataType, const TImportParsedValue& Parsed,
                              int32_t EngineIndex) = 0;
};

// A packed list of names: every item followed by a NUL character (an empty list is empty).
// Built with StringsToPPChar, read with PPCharToStrings.
using TPackedNames = std::string_view;

// The operations of an import engine, in interface order.
struct IDataImportEngine : virtual IInterface {
  VELA_IID("{180B6AFA-CDB7-41FA-B69F-3F78D34891F4}");
  /* 1 */ virtual std::string GetTitle() = 0;
  /* 2 */ virtual int32_t GetFormatCount() = 0;
  // Each out value is cleared first.
  /* 3 */ virtual void GetFormatInfo(int32_t Index, std::string& GUID, std::string& Title,
                                     std::string& FileExt) = 0;
  /* 4 */ virtual void SetParameter(std::string_view InFile, int32_t FormatIndex,
                                    TPackedNames DestFields,
                                    IFieldChangeConditions* Conditions) = 0;
  // Never lets an exception through: a failure is false plus one error message (type 2) to
  // the processor, a silent abort is false without a message.
  /* 5 */ virtual bool Execute(int32_t UserData, IDataImportProcessor* Processor,
                               bool SimulationOnly) = 0;
  /* 6 */ virtual bool CheckFile(std::string& ErrorMsg) = 0;
  /* 7 */ virtual bool IsFileForFormat(std::string_view FileName, int32_t FormatIndex) = 0;
  // Fields receives a new list; on failure the error has been shown and the result is false.
  /* 8 */ virtual bool QueryFields(IPtr<IStringListData>& Fields, bool QueryForSave) = 0;
  /* 9 */ virtual bool HasSettings() = 0;
  /* 10 */ virtual bool EditSettings() = 0;
  /* 11 */ virtual bool FirstRowIsHeader() = 0;
  /* 12 */ virtual std::string GetInputFile() = 0;
  /* 13 */ virtual bool HandelFieldAssignments() = 0;
  /* 14 */ virtual bool RunFilterTypeHandler(int32_t FormatIndex, std::string& NewFileName) = 0;
  /* 15 */ virtual void SetFieldAssignment(TPackedNames Fields) = 0;
  /* 16 */ virtual bool UseFormatForDialog(int32_t Index) = 0;
  /* 17 */ virtual IPtr<IDataImportEngine> NewInstance() = 0;
  /* 18 */ virtual bool FileNameIsUserReadable(int32_t Index) = 0;
};

// Packs the lines of a list into one buffer (see TPackedNames).
std::string StringsToPPChar(const TStringList& Strings);
// Replaces the content of Strings by the items of a packed list.
void PPCharToStrings(TPackedNames Packed, TStringList& Strings);

// ---------------------------------------------------------------------------------------------
// User interface hook. Without an installed service the engines run headless: a message is not
// shown and every dialog answers as cancelled.
// ---------------------------------------------------------------------------------------------

enum TEngineDialogType : int32_t { edtInformation, edtWarning, edtError };

struct IImportEngineUI : virtual IInterface {
  VELA_IID("{3C2C436D-4563-47E7-A3E0-FA4BC1286E92}");
  // A message box with an OK button.
  virtual void ShowMessage(std::string_view Msg, TEngineDialogType DlgType) = 0;
  // The settings dialog of the engine's current format; true when the user confirmed.
  virtual bool EditSettings(IDataImportEngine* Engine, int32_t FormatIndex) = 0;
  // Asks for a source that is not a file name (a connection string, a folder); true with the
  // chosen source in NewSource when the user confirmed.
  virtual bool SelectSource(IDataImportEngine* Engine, int32_t FormatIndex,
                            std::string& NewSource) = 0;
};

// Installs the service (nil: headless). Thread-safe.
void SetImportEngineUI(IPtr<IImportEngineUI> AUI);
// The installed service, nil when headless.
IPtr<IImportEngineUI> ImportEngineUI();
// Shows Msg through the installed service; does nothing when headless.
void ImportEngineMessage(std::string_view Msg, TEngineDialogType DlgType);

// ---------------------------------------------------------------------------------------------
// Engine base
// ---------------------------------------------------------------------------------------------

// One import format of an engine. Owned by the engine's format list.
class TImportFormat {
 public:
  std::string FileExt;  // with the dot (".vcf"); empty for sources that are not files
  std::string Title;
  bool HasSettings = false;
  void* Data = nullptr;  // engine-private, not owned
  bool FirstRowIsHeader = false;
  bool HandelFieldAssignments = false;  // the engine keeps the field assignment itself
  std::string GUID;                     // "{XXXXXXXX-...}"
  bool CheckFileExt = false;            // CheckInputFile rejects other extensions
  bool UseFormatForDialog = false;      // appears in the file dialog filter
  bool FileNameIsUserReadable = false;  // the input name may be shown to the user unchanged
};

// Engines created at start-up are owned by their creator: the reference count never frees
// them. Engines made through NewInstance live by reference counting.
class TBaseDataImportEngine : public TInterfacedObject, public IDataImportEngine {
  VELA_INTERFACES(TInterfacedObject, IDataImportEngine)

  explicit TBaseDataImportEngine(TObject* AOwner = nullptr);
  ~TBaseDataImportEngine() override;

  TImportFormat* AddFormat(std::string_view AFormatGUID, std::string_view ATitle,
                           std::string_view AFileExt, void* Data, bool HasSettings,
                           bool FirstRowIsHeader, bool CheckFileExt, bool UseFormatForDialog,
                           bool FileNameIsUserReadable);
  // Raises EListError for an index outside the list.
  TImportFormat* GetFormats(int32_t Index) const;
  int32_t FormatCount() const noexcept { return static_cast<int32_t>(FFormats.size()); }

  const std::string& Title() const noexcept { return FTitle; }
  void SetTitle(std::string_view ATitle) { FTitle = ATitle; }
  TObject* Owner() const noexcept { return FOwner; }
  // True for instances made by NewInstance (they free themselves).
  bool Interfaced() const noexcept { return FInterfaced; }
  bool IsSimulation() const noexcept { return FIsSimulation; }
  const std::string& CurrentInputFile() const noexcept { return FCurrentInputFile; }
  const TStringList& CurrentDestinationFields() const noexcept { return FCurrentDestinationFields; }

  // --- IDataImportEngine ---
  std::string GetTitle() override;
  int32_t GetFormatCount() override;
  void GetFormatInfo(int32_t Index, std::string& GUID, std::string& Title,
                     std::string& FileExt) override;
  void SetParameter(std::string_view InFile, int32_t FormatIndex, TPackedNames DestFields,
                    IFieldChangeConditions* Conditions) override;
  bool Execute(int32_t UserData, IDataImportProcessor* Processor, bool SimulationOnly) override;
  bool CheckFile(std::string& ErrorMsg) override;
  // Also the overridable test (slot 7): base compares the file's extension with the format's
  // FileExt, ignoring case.
  bool IsFileForFormat(std::string_view FileName, int32_t FormatIndex) override;
  bool QueryFields(IPtr<IStringListData>& Fields, bool QueryForSave) override;
  bool HasSettings() override;
  bool EditSettings() override;
  bool FirstRowIsHeader() override;
  std::string GetInputFile() override;
  bool HandelFieldAssignments() override;
  bool RunFilterTypeHandler(int32_t FormatIndex, std::string& NewFileName) override;
  void SetFieldAssignment(TPackedNames Fields) override;
  bool UseFormatForDialog(int32_t Index) override;
  IPtr<IDataImportEngine> NewInstance() override;
  bool FileNameIsUserReadable(int32_t Index) override;

 protected:
  // --- overridable operations, in slot order ---
  // 1: hands one field value to the attached processor.
  virtual void SetValue(std::string_view FieldName, std::string_view Value,
                        TImportDataType DataType);
  // 2: a new instance of the engine's own class with the same owner, marked interfaced.
  virtual TBaseDataImportEngine* CreateEngineInstance();
  // 3: reads the source and feeds the processor; base checks the input file only.
  virtual bool DoImport();
  // 4: raises when the input file does not fit the current format.
  virtual void CheckInputFile();
  // 5: the source's field names; base clears Dest.
  virtual void DoQueryFields(TStringList& Dest, bool QueryForSave);
  // 6: called at the end of SetParameter.
  virtual void ParametersSet(IFieldChangeConditions* Conditions);
  // (7 is IsFileForFormat above.)
  // 8: asks for a non-file source; base clears NewFileName and answers false.
  virtual bool DoRunFilterTypeHandler(int32_t FormatIndex, std::string& NewFileName);
  // 9: the destination-to-source assignment for engines that keep it themselves.
  virtual void DoSetFieldAssignment(TStringList& Fields);
  // 10: base answers HasSettings of the current format.
  virtual bool DoHasSettings();
  // 11: base answers false (no dialog).
  virtual bool DoEditSettings();

  // The virtual constructor: a new object of the actual class (see VELA_IMPORT_ENGINE_CLASS).
  virtual TBaseDataImportEngine* NewEngineObject(TObject* AOwner) const = 0;

  // --- callbacks while Execute runs (a processor must be attached) ---
  void DoStartRecord(bool& Abort);
  void DoPostRecord();
  void DoMessage(std::string_view Msg, TImportMessageType MsgType);
  // SetValue with the value the text stands for, through the processor's parsed-value
  // interface when it has one, else as plain SetValue.
  void SetParsedValue(std::string_view FieldName, std::string_view Value, TImportDataType DataType,
                      const TImportParsedValue& Parsed);

  // The selected format index; raises "FormatIndex not set!" before SetParameter.
  int32_t FormatIndex() const;
  // The selected format; raises like FormatIndex.
  TImportFormat* CurrentFormat() const;

  std::string FTitle;
  std::vector<std::unique_ptr<TImportFormat>> FFormats;
  int32_t FUserData = 0;
  IPtr<IDataImportProcessor> FProcessor;
  // The processor's parsed-value interface while Execute runs, nil when it has none.
  IPtr<IDataImportParsedValues> FParsedValues;
  int32_t FCurrentFormatIndex = -1;
  std::string FCurrentInputFile;
  TStringList FCurrentDestinationFields;
  bool FIsSimulation = false;
  bool FInterfaced = false;

 private:
  IDataImportProcessor& AttachedProcessor() const;
  TObject* FOwner;
};

// Declares the virtual constructor of an engine class with a constructor Name(TObject*).
#define VELA_IMPORT_ENGINE_CLASS(Name)                                                     \
 protected:                                                                                \
  ::vela::TBaseDataImportEngine* NewEngineObject(::vela::TObject* AOwner) const override { \
    return new Name(AOwner);                                                               \
  }                                                                                        \
                                                                                           \
 public:

}  // namespace vela
