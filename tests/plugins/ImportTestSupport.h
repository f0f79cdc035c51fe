// Support for the import object tests: an engine that feeds records from memory, a callback
// that records everything it is told, and a fixture with a destination table on both backends.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "db/DbTestSupport.h"
#include "host/db/DbInterfaceTable.h"
#include "plugins/_ImportObject.h"
#include "rtl/RtlTestSupport.h"
#include "rtl/SysUtils.h"

namespace vela::test {

// One item of a test record: a field value, or (name "!0", "!1", "!2") an engine message of that
// type with the value as its text.
struct TTestItem {
  std::string Name;
  std::string Value;
  TImportDataType DataType = idtText;
};
using TTestRecord = std::vector<TTestItem>;

class TTestEngine : public TBaseDataImportEngine {
  VELA_IMPORT_ENGINE_CLASS(TTestEngine)

  static constexpr const char* kGUID = "{6A0C1E1B-2F49-4E0B-9C1D-0E5D7A3B9F01}";

  explicit TTestEngine(TObject* AOwner = nullptr) : TBaseDataImportEngine(AOwner) {
    SetTitle("Test records");
    AddFormat(kGUID, "Test records", ".tst", nullptr, false, false, false, true, true);
  }

  std::vector<TTestRecord> Records;
  // Records the engine asked to start (also the one whose start answered abort).
  int Started = 0;

 protected:
  bool DoImport() override {
    Started = 0;
    for (const TTestRecord& r : Records) {
      bool abort = false;
      ++Started;
      DoStartRecord(abort);
      if (abort) break;
      for (const TTestItem& item : r) {
        if (!item.Name.empty() && item.Name[0] == '!')
          DoMessage(item.Value, static_cast<TImportMessageType>(item.Name[1] - '0'));
        else
          SetValue(item.Name, item.Value, item.DataType);
      }
      DoPostRecord();
    }
    return true;
  }
};

struct TMsg {
  TImportMessageType Type;
  std::string Text;
};

class TRecordingCallBack : public TInterfacedObject, public IDataImportCallBack {
  VELA_INTERFACES(TInterfacedObject, IDataImportCallBack)

  std::vector<TMsg> Messages;
  std::vector<int64_t> Inserted, Updated, DeleteAsked;
  std::vector<std::string> AdvFieldCalls;  // "id|field|value|inserted"

  void Do_AfterInsert(bool, int64_t RecordID) override { Inserted.push_back(RecordID); }
  void Do_AfterUpdate(bool, int64_t RecordID) override { Updated.push_back(RecordID); }
  void Do_BeforeDelete(bool, int64_t RecordID, bool& CanDelete) override {
    EXPECT_TRUE(CanDelete);
    DeleteAsked.push_back(RecordID);
  }
  void Do_Message(TImportMessageType AMsgType, const std::string& AMsg) override {
    Messages.push_back({AMsgType, AMsg});
  }
  bool Do_AdvFieldImport(bool, int64_t RecordID, const std::string& FieldName,
                         const std::string& FieldValue, bool ARecordInserted) override {
    AdvFieldCalls.push_back(IntToStr(RecordID) + "|" + FieldName + "|" + FieldValue + "|" +
                            (ARecordInserted ? "1" : "0"));
    return true;
  }

  // The messages as "i text", "w text" or "e text" (information, warning, error).
  std::vector<std::string> Typed() const {
    std::vector<std::string> r;
    for (auto& m : Messages)
      r.push_back(std::string(1, "iwe"[m.Type]) + " " + m.Text);
    return r;
  }
};

// A destination table "person" (and a lookup table "city") on a fresh database of each backend.
class ImportTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    WriteSchemaIni(
        "[person]\nCaption=Persons\n"
        "[person.name]\nCaption=Name\n"
        "[person.cityid]\nCaption=City\nLookupTable=city\nLookupField=name\n"
        "[person.state]\nKind=3\nValues=\"A=Active\",\"I=Inactive\"\n");
    Db(false);
    CreateTable({"city", {F("name", ftString, 40)}});
    CreateTable({"person",
                 {F("name", ftString, 20), F("age", ftInteger), F("big", ftLargeint),
                  F("amount", ftFloat), F("birthday", ftDate), F("alarm", ftTime),
                  F("stamp", ftDateTime), F("cityid", ftLargeint), F("state", ftString, 1),
                  F("note", ftString, 40), F("code", ftString, 40)}});
    NewObject();
  }
  void TearDown() override {
    FImport = nullptr;
    FObj = nullptr;
    DbTest::TearDown();
  }

  // A new import object with the engine (the test engine by default), the destination "person",
  // English messages.
  void NewObject(bool dialog = false, TTestEngine* engine = nullptr) {
    FObj = nullptr;
    FImport = nullptr;
    TImportObject* obj = dialog ? new TImportObjectDialog(Db()) : new TImportObject(Db());
    FObj = obj;
    FImport = IPtr<IDataImport>(obj);
    obj->DataProcessor().RegisterEngine(IPtr<IDataImportEngine>(engine ? engine : &FEngine));
    obj->SetEngineIndex(0);
    obj->SetFormatIndex(0);
    obj->SetInFile("memory.tst");
    obj->SetDestSchema(Db().GetSchemaByName("person"));
    obj->SetLanguage("English");
  }

  // Assignments as "dbfield=importfield" lines.
  void Assign(const std::vector<std::string>& lines) {
    FImport->Set_FieldAssignments(NewStringListData(lines));
  }
  void Keys(const std::vector<std::string>& keys) {
    FImport->Set_KeyFields(NewStringListData(keys));
  }

  bool Run(bool simulate = false) {
    FCallBack = IPtr<TRecordingCallBack>(new TRecordingCallBack);
    return FImport->Do_Execute(IPtr<IDataImportCallBack>(FCallBack.get()), simulate);
  }

  int64_t InsertPerson(const std::string& name, int age) {
    return InsertRow("person", {{"name", name}, {"age", age}});
  }
  Variant Field(int64_t id, const std::string& field) { return RowValue("person", field, id); }
  // Ids of persons whose field equals value, in id order.
  std::vector<int64_t> PersonIds(const std::string& field = {}, const Variant& value = {}) {
    return field.empty() ? RowIds("person") : RowIds("person", {{field, value}});
  }

  std::pair<int, int> Result() {
    int32_t ins = -1, upd = -1;
    FImport->Do_QueryImportResult(ins, upd);
    return {ins, upd};
  }

  TTestEngine FEngine;
  IPtr<TImportObject> FObj;
  IPtr<IDataImport> FImport;
  IPtr<TRecordingCallBack> FCallBack;
  FormatSettingsGuard FSettings;  // the default settings, restored afterwards
};

}  // namespace vela::test
