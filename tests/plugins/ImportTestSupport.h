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
  bool AllowDelete = true;

  void Do_AfterInsert(bool, int64_t RecordID) override { Inserted.push_back(RecordID); }
  void Do_AfterUpdate(bool, int64_t RecordID) override { Updated.push_back(RecordID); }
  void Do_BeforeDelete(bool, int64_t RecordID, bool& CanDelete) override {
    EXPECT_TRUE(CanDelete);
    DeleteAsked.push_back(RecordID);
    CanDelete = AllowDelete;
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

  std::vector<std::string> Texts() const {
    std::vector<std::string> r;
    for (auto& m : Messages)
      r.push_back(m.Text);
    return r;
  }
  int Count(TImportMessageType t) const {
    int n = 0;
    for (auto& m : Messages)
      n += m.Type == t;
    return n;
  }
  int CountText(const std::string& text) const {
    int n = 0;
    for (auto& m : Messages)
      n += m.Text == text;
    return n;
  }
};

inline THostFieldDef Col(std::string name, TFieldType ft, int size = 0) {
  return {std::move(name), ft, size, false, {}};
}

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
    CreateTable({"city", {Col("name", ftString, 40)}});
    CreateTable({"person",
                 {Col("name", ftString, 20), Col("age", ftInteger), Col("big", ftLargeint),
                  Col("amount", ftFloat), Col("birthday", ftDate), Col("alarm", ftTime),
                  Col("stamp", ftDateTime), Col("cityid", ftLargeint), Col("state", ftString, 1),
                  Col("note", ftString, 40), Col("code", ftString, 40)}});
    FSavedSettings = FormatSettings;
    FormatSettings = TFormatSettings{};
    NewObject();
  }
  void TearDown() override {
    FImport = nullptr;
    FObj = nullptr;
    FormatSettings = FSavedSettings;
    DbTest::TearDown();
  }

  // A new import object with the test engine, the destination "person", English messages.
  void NewObject(bool dialog = false) {
    FObj = nullptr;
    FImport = nullptr;
    TImportObject* obj = dialog ? new TImportObjectDialog(Db()) : new TImportObject(Db());
    FObj = obj;
    FImport = IPtr<IDataImport>(obj);
    obj->DataProcessor().RegisterEngine(IPtr<IDataImportEngine>(&FEngine));
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
    TClientSQL sql(Db());
    sql.SetSchemaName("person");
    sql.SetFieldValue("name", name);
    sql.SetFieldValue("age", age);
    return sql.Execute();
  }
  int64_t InsertCity(const std::string& name) {
    TClientSQL sql(Db());
    sql.SetSchemaName("city");
    sql.SetFieldValue("name", name);
    return sql.Execute();
  }

  // The value of a field of the person with that id.
  Variant Field(int64_t id, const std::string& field) {
    auto t = Db().GetTableInterface();
    t->Query("person", {field}, {{"id", Variant(id)}});
    EXPECT_FALSE(t->Eof()) << "no person " << id;
    return t->Eof() ? Variant() : t->Value(0);
  }
  // Ids of persons whose field equals value, in id order.
  std::vector<int64_t> PersonIds(const std::string& field = {}, const Variant& value = {}) {
    auto t = Db().GetTableInterface();
    std::vector<std::pair<std::string, Variant>> filters;
    if (!field.empty()) filters.push_back({field, value});
    t->Query("person", {"id"}, filters);
    std::vector<int64_t> ids;
    for (; !t->Eof(); t->Next())
      ids.push_back(t->Value(0).AsInt64());
    std::sort(ids.begin(), ids.end());
    return ids;
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
  TFormatSettings FSavedSettings;
};

}  // namespace vela::test
