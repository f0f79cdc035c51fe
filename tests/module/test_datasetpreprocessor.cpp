// The dataset pre-processor's import: in-memory tables converted into VelaXML, read back through
// the SAX reader with every field value decoded.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "PartHandlerDouble.h"
#include "TestData.h"
#include "components/_CustomDataSetImportPreProcessor.h"
#include "host/velaxml/VelaXMLPartHandlerIntf.h"
#include "host/velaxml/XMLValues.h"
#include "rtl/MemDataSet.h"
#include "rtl/RtlTestSupport.h"
#include "VelaXMLTestSupport.h"

namespace vela {
namespace {

// Tables by name: field definitions and rows.
struct TTable {
  std::vector<std::pair<std::string, TFieldType>> Fields;
  std::vector<std::vector<Variant>> Rows;
};

// An in-memory table whose moves to the next record fail while failures are left (each failed
// move uses one), with the given message; every move is counted.
class TFlakyDataSet : public TMemDataSet {
 public:
  TFlakyDataSet(int& AFailures, int& AMoves, const std::string& AMessage)
      : FFailures(AFailures), FMoves(AMoves), FMessage(AMessage) {}

 protected:
  bool InternalNext() override {
    ++FMoves;
    if (FFailures > 0) {
      --FFailures;
      throw EDatabaseError(FMessage);
    }
    return TMemDataSet::InternalNext();
  }

 private:
  int& FFailures;
  int& FMoves;
  const std::string& FMessage;
};

class TTablePreProcessor : public TCustomDataSetImportPreProcessor {
 public:
  std::map<std::string, TTable> Tables;
  std::vector<std::string> Created;
  // Moves to the next record that fail from now on, their message, and the moves made.
  int NextFailures = 0;
  int NextMoves = 0;
  std::string NextFailure;
  // "connection lost" counts as a passing failure; retries follow each other at once.
  bool Retrying = false;
  TTablePreProcessor() { FRetryPauseMs = 0; }

  std::unique_ptr<TDataSet> CreateDataSet(const std::string& ATableName, const std::string&,
                                          const std::string&, const TStringList&,
                                          const TFieldSplitting&, TXMLPreProcessorFunction,
                                          const std::string&, TDataSetTableSettings&) override {
    Created.push_back(ATableName);
    auto it = Tables.find(ATableName);
    if (it == Tables.end()) return nullptr;
    auto ds = std::make_unique<TFlakyDataSet>(NextFailures, NextMoves, NextFailure);
    ds->SetKeepRecords(true);
    for (const auto& [name, type] : it->second.Fields)
      ds->AddFieldDef(name, type);
    ds->Open();
    for (const auto& row : it->second.Rows) {
      ds->Append();
      for (size_t i = 0; i < row.size(); ++i)
        ds->Fields(static_cast<int>(i)).SetValue(row[i]);
      ds->Post();
    }
    ds->Close();
    return ds;
  }

 protected:
  bool IsRetryableError(const std::exception& AError) override {
    return Retrying && std::string_view(AError.what()) == "connection lost";
  }
};

// A host whose preview shows the columns and leaves out the first record, or cancels.
class TPreviewHost : public TInterfacedObject,
                     public IXMLPreProcessorHost,
                     public IXMLPreProcessorImportInfo {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessorHost, IXMLPreProcessorImportInfo)
 public:
  bool Cancel = false;
  std::string Columns;
  int Steps = 0;
  bool Do_PreviewData(IXMLPreProcessorPreviewDataSource* ASource,
                      IPtr<IXMLPreProcessorImportInfo>& AImportInfo) noexcept override {
    for (int i = 0; i < ASource->Get_FieldCount(); ++i)
      Columns += ASource->Get_FieldCaption(i) + "=" + VarToStr(ASource->Get_Value(2, i)) + ";";
    AImportInfo = this;
    return !Cancel;
  }
  bool Get_IsExportRecord(int32_t ARecNo) noexcept override { return ARecNo != 0; }
  void Do_ProgressStart(int32_t, int32_t&) noexcept override {}
  void Do_Progress(int32_t, int32_t, int32_t, bool&) noexcept override { ++Steps; }
  void Do_ProgressEnd(int32_t) noexcept override {}
};

std::string Convert(TTablePreProcessor& p, const std::string& config,
                    IXMLPreProcessorHost* host = nullptr) {
  return test::PreConvertTranscript(p, config, host);
}

TTablePreProcessor& Shop(TTablePreProcessor& p) {
  p.Tables["ADDRESS"] = {
      {{"ID", ftInteger},
       {"NAME", ftString},
       {"COUNTRY", ftString},
       {"BORN", ftDate},
       {"AMOUNT", ftFloat},
       {"ACTIVE", ftBoolean}},
      {{Variant(1), Variant("anna"), Variant("DE"), Variant::FromDateTime(EncodeDate(1980, 2, 29)),
        Variant(12.5), Variant(true)},
       {Variant(2), Variant("bob"), Variant("XX"), Null(), Null(), Variant(false)},
       {Variant(3), Variant("cleo"), Variant("AT"), Null(), Variant(-0.25), Null()}}};
  p.Tables["ORDERS"] = {{{"ORDERNO", ftString}, {"TOTAL", ftFloat}},
                        {{Variant("A-1"), Variant(10.0)}}};
  return p;
}

const char* const kShop =
    "[VelaXML]\nPartName=ADDRESS\nItemName=ADDR\n"
    "[DB]\nTableName=ADDRESS\n"
    "[Mapping]\nID=id\nNAME=name\nBORN=born\nAMOUNT=amount\nACTIVE=active\n"
    "[Manipulation]\nNAME=uppercase\n"
    "[FilterExpressionsImport]\nCOUNTRY=<>XX\nNOSUCHFIELD==1\n"
    "[ConstantValuesImport]\nsource=shop\n"
    "[VelaXML Options]\nkeyfields=id\n";

TEST(DataSetPreProcessor, MappedFieldsFilterAndConstantValues) {
  TTablePreProcessor p;
  EXPECT_EQ(Convert(Shop(p), kShop),
            "<velaxmldata application=DB2VelaXML; version=1>\n"
            " <ADDRESS count=3 keyfields=id>\n"
            "  <ADDR>\n"
            "   id=1\n   name=ANNA\n   born=1980-02-29\n   amount=12.5\n   active=true\n"
            "   source=shop\n"
            "  <ADDR>\n"
            "   id=3\n   name=CLEO\n   born=\n   amount=-0.25\n   active=\n   source=shop\n");
}

TEST(DataSetPreProcessor, DetailModesPlaceTheDetailPart) {
  struct {
    int mode;
    const char* expected;
  } cases[] = {
      {1,
       " <ADDRESS count=1>\n  <ADDR>\n   id=1\n   <ORDERS count=1 detailmode=1>\n    "
       "<ORDERS_item>\n"
       "     no=A-1\n     addr=1\n"},
      {2,
       " <ORDERS count=1 detailmode=2>\n  <ORDERS_item>\n   no=A-1\n   addr=1\n <ADDRESS count=1>\n"
       "  <ADDR>\n   id=1\n"},
      {3,
       " <ADDRESS count=1>\n  <ADDR>\n   id=1\n <ORDERS count=1 detailmode=3>\n  <ORDERS_item>\n"
       "   no=A-1\n   addr=1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    TTablePreProcessor p;
    Shop(p).Tables["ADDRESS"].Rows.resize(1);
    const std::string config =
        "[VelaXML]\nPartName=ADDRESS\nItemName=ADDR\n[DB]\nTableName=ADDRESS\n[Mapping]\nID=id\n"
        "[DetailParts]\nOrders=\n[Orders_VelaXML]\nPartName=ORDERS\n[Orders_DB]\nTableName=ORDERS\n"
        "[Orders_Mapping]\nORDERNO=no\n@Parent:ID=addr\n"
        "[Orders_ProcessingOptions]\ndetailmode=" +
        std::to_string(c.mode) + "\n";
    const std::string text = Convert(p, config);
    EXPECT_NE(text.find(c.expected), std::string::npos) << text;
  }
}

TEST(DataSetPreProcessor, FieldListWithSplitPartsAndBinaryValuesAsAttachmentFiles) {
  TTablePreProcessor p;
  p.Tables["DOCS"] = {{{"ID", ftInteger}, {"NAME", ftString}, {"DATA", ftBlob}},
                      {{Variant(1), Variant("a;b"), Variant("AP8=")}}};
  test::TTempDir dir("vela_attach");
  const std::string config =
      "[VelaXML]\nPartName=DOCS\n[DB]\nTableName=DOCS\n[Mapping]\nID=id\nDATA=data\n"
      "[FieldSplitting]\nNAME=2,59\n[ProcessingOptions]\nbinaryhandlingmode=file\n"
      "sourcebinaryencoding=base64\nbinaryattachementpath=" +
      dir.Path.string() + "\n";
  IPtr<IStringListData> fields;
  std::string error;
  ASSERT_TRUE(p.Get_FieldList(config, xmpRAW, nullptr, xmpRAW, true, fields, error, "")) << error;
  std::string names;
  for (int i = 0; i < fields->Get_Count(); ++i)
    names += fields->Get_Item(i) + ",";
  EXPECT_EQ(names, "ID,NAME,DATA,NAME_PART1,NAME_PART2,");

  const std::string text = Convert(p, config);
  const size_t at = text.find("data=");
  ASSERT_NE(at, std::string::npos) << text;
  const std::string file = text.substr(at + 5, text.find('\n', at) - at - 5);
  EXPECT_EQ(file.rfind(dir.Path.string(), 0), 0u) << file;
  TFileStream attachment(file, fmOpenRead);
  std::string bytes(2, '\0');
  ASSERT_EQ(attachment.Size(), 2);
  attachment.ReadBuffer(bytes.data(), 2);
  EXPECT_EQ(bytes, std::string("\x00\xFF", 2));
}

TEST(DataSetPreProcessor, FailuresComeBackAsMessages) {
  TTablePreProcessor p;
  Shop(p);
  EXPECT_EQ(Convert(p, "[VelaXML]\nItemName=x\n"),
            "failed: Exception: PartName for VelaXML not found in configuration!");
  EXPECT_EQ(Convert(p, std::string(kShop) + "[ProcessingOptions]\nDebugPreProcessorException=1\n"),
            "failed: EPreProcessorErrorTest: PreProcessor Error Test Exception for debug purpose.");
  // A record the hook leaves out is not written.
  p.OnBeforeExportRecord = [](TDataSet& ds, bool& doExport) {
    doExport = ds.FieldByName("ID").AsInteger() != 1;
  };
  const std::string text = Convert(p, kShop);
  EXPECT_EQ(text.find("id=1"), std::string::npos);
  EXPECT_NE(text.find("id=3"), std::string::npos);
}

TEST(DataSetPreProcessor, PreviewShowsSplitPartsAndChoosesRecords) {
  TTablePreProcessor p;
  TTable& address = Shop(p).Tables["ADDRESS"];
  address.Fields.resize(3);
  for (auto& row : address.Rows)
    row.resize(3);
  const std::string config =
      StringReplace(kShop, "NAME=name\n", "NAME=name\nNAME_PART2=tail\n", 0) +
      "[Settings]\nImportPreview=1\n[FieldSplitting]\nNAME=2,108\n";
  IPtr<TPreviewHost> host(new TPreviewHost);
  const std::string text = Convert(p, config, host.get());
  // The third record (cleo) split at "l": NAME_PART1 "c", NAME_PART2 "eo".
  EXPECT_EQ(host->Columns, "ID=3;NAME=cleo;COUNTRY=AT;NAME_PART1=c;NAME_PART2=eo;");
  EXPECT_EQ(text.find("id=1"), std::string::npos);  // the preview left out record 0
  // A split field is written as its mapped parts only.
  EXPECT_NE(text.find("   id=3\n   tail=eo\n   source=shop\n"), std::string::npos) << text;
  EXPECT_EQ(host->Steps, 3);  // refused records still count for the progress

  host->Cancel = true;
  EXPECT_EQ(Convert(p, config, host.get()), "failed: ");
}

TEST(DataSetPreProcessor, FailedMovesAreRepeatedThreeTimesWhenTheFailurePasses) {
  TTablePreProcessor p;
  const std::string clean = Convert(Shop(p), kShop);
  struct {
    int failures;
    bool retrying;
    const char* message;
    int moves;  // the table's 3 records take 3 moves to the end
    bool written;
  } cases[] = {
      {3, true, "connection lost", 3 + 3, true},  // the third repetition succeeds
      {4, true, "connection lost", 4, false},     // the failure outlasts the repetitions
      {1, true, "no such column", 1, false},      // a lasting failure is not repeated
      {1, false, "connection lost", 1, false},    // nor is anything without the answer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failures);
    p.Retrying = c.retrying;
    p.NextFailures = c.failures;
    p.NextFailure = c.message;
    p.NextMoves = 0;
    EXPECT_EQ(Convert(p, kShop),
              c.written ? clean : "failed: EDatabaseError: " + std::string(c.message));
    EXPECT_EQ(p.NextMoves, c.moves);
  }
}

// The host's part handler of "ADDRESS", offered through its own container: writes two records
// into the export writer, or fails with Error.
class TAddressPartHandler : public test::TPartHandlerDouble, public IVelaXMLPartHandlerContainer {
  VELA_INTERFACES(TPartHandlerDouble, IVelaXMLPartHandlerContainer)
 public:
  TAddressPartHandler() : TPartHandlerDouble("ADDRESS") {}
  std::string Error;

  bool ExportPart(IVelaXMLWriter* AWriter, bool AWithChildren) override {
    EXPECT_TRUE(AWithChildren);
    if (!Error.empty()) return false;
    AWriter->StartElement("ADDRESS", nullptr, xdeNone, xdeNone, xbhInline, 0);
    for (auto [id, name] : {std::pair{"2", "BOB"}, std::pair{"7", "dora"}}) {
      TXMLDataStore attrs;
      attrs.Add("id", id);
      TXMLDataStoreContainer row;
      row.Add(attrs);
      AWriter->StartElement("ADDR", &row, xdeNone, xdeNone, xbhInline, 0);
      AWriter->StartElement("name", nullptr, xdeText, xdeNone, xbhInline, 0);
      AWriter->Characters(Variant::FromBytes(name));
      AWriter->EndElement("name");
      AWriter->EndElement("ADDR");
    }
    AWriter->EndElement("ADDRESS");
    return true;
  }
  std::string GetLastErrorText() override { return Error; }
  IPtr<IXMLImportPartHandler> GetPartByIndent(const std::string& AIdent) override {
    return SameText(AIdent, "ADDRESS") ? IPtr<IXMLImportPartHandler>(this) : nullptr;
  }
  int32_t GetPartCount() override { return 1; }
  IPtr<IXMLImportPartHandler> GetPart(int32_t) override { return this; }
  bool CanExport() override { return true; }
};

// Keeps the table's records as "ID:NAME" lines when the run closes its dataset.
class TExportPreProcessor : public TTablePreProcessor {
 public:
  std::string Records;
  void CloseTableDataSet(TDataSetTableSettings& ASettings, TXMLPreProcessorFunction F) override {
    if (TDataSet* ds = ASettings.DataSet(); ds != nullptr && ds->Active())
      for (ds->First(); !ds->Eof(); ds->Next())
        Records += ds->Fields(0).AsString() + ":" + ds->Fields(1).AsString() + "\n";
    TTablePreProcessor::CloseTableDataSet(ASettings, F);
  }
};

TEST(DataSetPreProcessor, ExportWritesWhatThePartHandlerExportsIntoTheTable) {
  test::TTempDir dir("vela_partexport");
  IPtr<TAddressPartHandler> handler(new TAddressPartHandler);
  auto run = [&](const std::string& APart, std::string& AError) {
    TExportPreProcessor p;
    Shop(p);
    const std::string config = "[VelaXML]\nPartName=" + APart +
                               "\nItemName=ADDR\nErrorLogFile=" + dir.File("errors.log") +
                               "\n[DB]\nTableName=ADDRESS\n[Mapping]\nID=id\nNAME=name\n"
                               "[ProcessingOptions]\nkeyfields=id\n";
    bool user = false;
    const bool ok =
        p.Do_PreConvert(nullptr, nullptr, config, xmpRAW, xmpRAW, nullptr, nullptr,
                        pemExportSAXWriter, handler.get(), false, nullptr, AError, user);
    return ok ? p.Records : "failed: " + AError;
  };
  std::string error;
  EXPECT_EQ(run("ADDRESS", error), "1:anna\n2:BOB\n3:cleo\n7:dora\n");
  EXPECT_EQ(run("NOPE", error), "failed: Exception: No part handler for the part 'NOPE'");

  handler->Error = "disk full";
  EXPECT_EQ(run("ADDRESS", error), "failed: Exception: disk full");
  std::ifstream log(dir.File("errors.log"));
  ASSERT_TRUE(log) << "missing error log " << dir.File("errors.log");
  const std::string text((std::istreambuf_iterator<char>(log)), {});
  EXPECT_NE(text.find(": raising PartHandlerError: disk full\r\n"), std::string::npos) << text;
}

TEST(XMLValues, TextFormsReadBack) {
  const TDateTime when = EncodeDateTime(2026, 12, 6, 8, 30, 5, 250);
  EXPECT_EQ(XMLDateTimeToStr(when), "2026-12-06T08:30:05.250");
  EXPECT_EQ(XMLStrToDateTime(XMLDateTimeToStr(when)), when);
  EXPECT_EQ(XMLStrToDateTime("2026-12-06 08:30:05.25+01:00"), when);
  EXPECT_EQ(XMLStrToDateTime("08:30"), EncodeTime(8, 30, 0, 0));
  for (double v : {0.1, -1e300, 12.5, 1.0 / 3})
    EXPECT_EQ(XMLStrToFloat(XMLFloatToStr(v)), v);
  EXPECT_EQ(XMLStrToFloat(" 1,5 "), 1.5);
  EXPECT_TRUE(XMLStrToBool("Yes"));
  for (const char* bad : {"2026-13-01", "2026-12-06X", "12:61", ""})
    EXPECT_THROW(XMLStrToDateTime(bad), EConvertError) << bad;
  EXPECT_THROW(XMLStrToFloat("1.5x"), EConvertError);
  EXPECT_THROW(XMLStrToBool("maybe"), EConvertError);
}

}  // namespace
}  // namespace vela

namespace vela {
namespace {

// Export: VelaXML fed into the dataset writer of a table, the table's records read afterwards.
class DataSetWriterTest : public ::testing::Test {
 protected:
  TTablePreProcessor P;
  std::unique_ptr<TDataTableSettings> Settings;
  IPtr<TCustomProcessorVelaXMLWriter> Writer;
  TMemIniFile Config;

  void Attach(const std::string& AOptions, const std::string& AExtra = {}) {
    Shop(P);
    P.Tables["ADDRESS"].Fields = {{"ID", ftInteger},
                                  {"NAME", ftString},
                                  {"BORN", ftDate},
                                  {"AMOUNT", ftFloat},
                                  {"SOURCE", ftString}};
    P.Tables["ADDRESS"].Rows = {{Variant(1), Variant("anna"), Null(), Null(), Null()},
                                {Variant(2), Variant("bob"), Null(), Null(), Null()},
                                {Variant(3), Variant("cleo"), Null(), Null(), Null()}};
    Config.SetText(
        "[VelaXML]\nPartName=ADDRESS\nItemName=ADDR\n[DB]\nTableName=ADDRESS\n"
        "[Mapping]\nID=id\nNAME=name\nBORN=born\nAMOUNT=amount\n"
        "[ProcessingOptions]\n" +
        AOptions + "\n" + AExtra);
    Settings = TDataSetTableSettings::CreateInstance(&P, "", pemExportSAXWriter, nullptr);
    Settings->SetConfig(&Config);
    Writer = CreateXMLWriterOf<TDataSetProcessorVelaXMLWriter>(&P, nullptr, false, nullptr);
    Writer->AssignToDataTableSettings(*Settings);
  }
  IVelaXMLWriter& W() { return *Writer; }
  void Start(const std::string& AName,
             std::initializer_list<std::pair<const char*, const char*>> AAttrs = {}) {
    TXMLDataStore store;
    for (auto [n, v] : AAttrs)
      store.Add(n, v);
    TXMLDataStoreContainer c;
    c.Add(store);
    W().StartElement(AName, &c, xdeNone, xdeNone, xbhInline, 0);
  }
  void Field(const std::string& AName, std::initializer_list<const char*> APieces) {
    W().StartElement(AName, nullptr, xdeText, xdeNone, xbhInline, 0);
    for (const char* piece : APieces)
      W().Characters(Variant::FromBytes(piece));
    W().EndElement(AName);
  }
  // The records as "ID:NAME:BORN:AMOUNT:SOURCE" lines.
  std::string Records() {
    TDataSet& ds = *static_cast<TDataSetTableSettings&>(*Settings).DataSet();
    std::string text;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      for (int i = 0; i < ds.FieldCount(); ++i)
        text += (i > 0 ? ":" : "") + ds.Fields(i).AsString();
      text += "\n";
    }
    return text;
  }
};

TEST_F(DataSetWriterTest, RowsUpdateOrAppendByKey) {
  struct {
    const char* options;
    const char* expected;
  } cases[] = {
      {"keyfields=id", "1:anna:::\n2:BOB:2000/01/02:0.5:\n3:cleo:::\n7:new:::\n"},
      {"keyfields=id\nmodifyexisting=0", "1:anna:::\n2:bob:::\n3:cleo:::\n7:new:::\n"},
      {"keyfields=id\nupdatecheck=0",
       "1:anna:::\n2:bob:::\n3:cleo:::\n2:BOB:2000/01/02:0.5:\n7:new:::\n"},
      {"keylocatemode=2", "7:new:2000/01/02:0.5:\n2:bob:::\n3:cleo:::\n"},  // always the first
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    FormatSettingsGuard fs;
    Attach(c.options);
    Start("ADDRESS");
    Start("ADDR", {{"id", "2"}});
    Field("name", {"BO", "B"});
    Field("born", {"2000-01-", "02"});
    Field("amount", {"0.5"});
    W().EndElement("ADDR");
    Start("ADDR", {{"id", "7"}, {"name", "new"}});
    W().EndElement("ADDR");
    W().EndElement("ADDRESS");
    EXPECT_EQ(Records(), c.expected);
  }
}

TEST_F(DataSetWriterTest, SynchronisationDeletesUnmentionedRecordsOnlyWithKeyFields) {
  for (const char* options : {"keyfields=id", ""}) {
    SCOPED_TRACE(options);
    Attach(options);
    Start("ADDRESS", {{"velaxml_command", "syncexisting"}});
    for (const char* id : {"1", "3", "9"}) {
      Start("ADDR", {{"id", id}});
      Field("name", {"changed"});
      W().EndElement("ADDR");
    }
    W().EndElement("ADDRESS");
    EXPECT_EQ(Records(), *options ? "1:anna:::\n3:cleo:::\n" : "1:anna:::\n2:bob:::\n3:cleo:::\n");
  }
}

TEST_F(DataSetWriterTest, ConstantValuesAndMacrosFillTheRowBeforeItIsPosted) {
  Attach("keyfields=id",
         "[ConstantValuesExport]\nSOURCE==UPPER(FIELD(name))\nNOSUCHFIELD=x\nAMOUNT=2.5\n");
  Start("ADDRESS");
  Start("ADDR", {{"id", "3"}});
  Field("name", {"cleo b"});
  W().EndElement("ADDR");
  W().EndElement("ADDRESS");
  EXPECT_EQ(Records(), "1:anna:::\n2:bob:::\n3:cleo b::2.5:CLEO B\n");
}

TEST_F(DataSetWriterTest, DetailPartsGoToAChildWriterAndQuestionsAreAnswered) {
  Attach("keyfields=id",
         "[DetailParts]\nOrders=\n[Orders_VelaXML]\nPartName=ORDERS\n[Orders_DB]\n"
         "TableName=ORDERS\n[Orders_Mapping]\nORDERNO=no\nTOTAL=total\n"
         "[LookupFieldMode]\nCountry=2\n");
  bool required = false;
  Writer->DoOnExportChildPartRequired(nullptr, "ORDERS", required);
  EXPECT_TRUE(required);
  Writer->DoOnExportChildPartRequired(nullptr, "Orders", required);
  EXPECT_FALSE(required);
  TLookupFieldValueMode mode = lfmDefault;
  std::string custom;
  Writer->DoOnGetLookupFieldExportMode(nullptr, mode, "Owner", custom);
  EXPECT_EQ(mode, 4);
  Writer->DoOnGetLookupFieldExportMode(nullptr, mode, "Country", custom);
  EXPECT_EQ(mode, 2);

  Start("ADDRESS");
  Start("ADDR", {{"id", "1"}});
  Start("ORDERS");
  Start("ORDERS_item");
  Field("no", {"B-2"});
  Field("total", {"99.5"});
  W().EndElement("ORDERS_item");
  W().EndElement("ORDERS");
  Field("name", {"ANNA"});
  W().EndElement("ADDR");
  W().EndElement("ADDRESS");
  EXPECT_EQ(Records(), "1:ANNA:::\n2:bob:::\n3:cleo:::\n");
  TDataSet& orders =
      *static_cast<TDataSetTableSettings&>(Settings->GetDetailDataTables(0)).DataSet();
  ASSERT_EQ(orders.RecordCount(), 2);
  orders.Last();
  EXPECT_EQ(orders.FieldByName("ORDERNO").AsString() + "/" + orders.FieldByName("TOTAL").AsString(),
            "B-2/99.5");
}

}  // namespace
}  // namespace vela
