// Test doubles around the engines: an import engine whose formats, records and failures the test
// sets up (it follows the record protocol of real engines and records what the processor asked
// of it), and a user interface service installed for one test.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ImportEngine/_BaseDataImportEngine.h"

namespace vela::test {

using TTestRecord = std::vector<std::pair<std::string, std::string>>;

class TTestImportEngine : public TBaseDataImportEngine {
  VELA_IMPORT_ENGINE_CLASS(TTestImportEngine)

  explicit TTestImportEngine(TObject* AOwner = nullptr) : TBaseDataImportEngine(AOwner) { ++Alive; }
  ~TTestImportEngine() override { --Alive; }

  // Instances currently alive, for the lifetime tests.
  static inline int Alive = 0;

  // Shorthand for the common format set-ups.
  TImportFormat* Add(std::string_view guid, std::string_view title, std::string_view ext,
                     bool forDialog = true, bool checkExt = false) {
    return AddFormat(guid, title, ext, nullptr, false, false, checkExt, forDialog, true);
  }

  std::vector<TTestRecord> Records;
  TImportDataType DataType = idtText;
  std::function<void()> FailInImport;  // called before the first record
  std::vector<std::string> QueryResult;
  std::function<void()> FailInQuery;
  bool FilterResult = false;
  std::string FilterAnswer;

  // What the engine was told.
  std::vector<std::string> Assignment;
  IFieldChangeConditions* Conditions = nullptr;
  int ParametersSetCalls = 0;
  int RecordsRead = 0;
  int RunFilterFormat = -1;

  // Protected parts, for the tests.
  using TBaseDataImportEngine::CurrentFormat;
  using TBaseDataImportEngine::DoStartRecord;
  using TBaseDataImportEngine::FormatIndex;

 protected:
  // Copies what the test set up, as an engine copies its handlers to a new instance.
  TBaseDataImportEngine* CreateEngineInstance() override {
    auto* copy = static_cast<TTestImportEngine*>(TBaseDataImportEngine::CreateEngineInstance());
    copy->SetTitle(Title());
    for (const auto& f : FFormats)
      copy->FFormats.push_back(std::make_unique<TImportFormat>(*f));
    copy->Records = Records;
    return copy;
  }

  bool DoImport() override {
    TBaseDataImportEngine::DoImport();
    if (FailInImport) FailInImport();
    for (const TTestRecord& record : Records) {
      bool abort = false;
      DoStartRecord(abort);
      if (abort) break;
      for (const auto& [name, value] : record)
        SetValue(name, value, DataType);
      DoPostRecord();
      ++RecordsRead;
    }
    DoMessage("read " + std::to_string(RecordsRead), imtInformation);
    return true;
  }

  void DoQueryFields(TStringList& Dest, bool QueryForSave) override {
    TBaseDataImportEngine::DoQueryFields(Dest, QueryForSave);
    if (FailInQuery) FailInQuery();
    Dest.AddStrings(QueryResult);
  }

  void ParametersSet(IFieldChangeConditions* AConditions) override {
    Conditions = AConditions;
    ++ParametersSetCalls;
  }

  bool DoRunFilterTypeHandler(int32_t AFormatIndex, std::string& NewFileName) override {
    RunFilterFormat = AFormatIndex;
    NewFileName = FilterAnswer;
    return FilterResult;
  }

  void DoSetFieldAssignment(TStringList& Fields) override { Assignment = Fields.Lines(); }
};

// The engines' user interface for one test: records the messages shown, answers the settings
// and source dialogs through the handlers (false when none is set), and is removed again, also
// when the test ends with an exception.
class TTestEngineUI : public TInterfacedObject, public IImportEngineUI {
  VELA_INTERFACES(TInterfacedObject, IImportEngineUI)
  void ShowMessage(std::string_view Msg, TEngineDialogType DlgType) override {
    Messages.emplace_back(Msg, DlgType);
  }
  bool EditSettings(IDataImportEngine* Engine, int32_t Format) override {
    return OnEditSettings && OnEditSettings(Engine, Format);
  }
  bool SelectSource(IDataImportEngine* Engine, int32_t Format, std::string& Source) override {
    return OnSelectSource && OnSelectSource(Engine, Format, Source);
  }

  std::vector<std::pair<std::string, TEngineDialogType>> Messages;
  std::function<bool(IDataImportEngine*, int32_t)> OnEditSettings;
  std::function<bool(IDataImportEngine*, int32_t, std::string&)> OnSelectSource;
};

struct TScopedEngineUI {
  IPtr<TTestEngineUI> UI{new TTestEngineUI};
  TScopedEngineUI() { SetImportEngineUI(IPtr<IImportEngineUI>(UI.get())); }
  ~TScopedEngineUI() { SetImportEngineUI(nullptr); }
  TTestEngineUI* operator->() const { return UI.get(); }
};

}  // namespace vela::test
