// The table part handlers on both backends: records found by key fields, by globalrecuid or
// inserted; field encodings; child records in detail tables; record commands; a failing record
// rolling its part back; exports of changed rows; and a round trip between databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DbTestSupport.h"
#include "host/velaxml/FilterExpressions.h"
#include "host/velaxml/TablePartHandler.h"
#include "host/velaxml/VelaXMLImportContainer.h"
#include "platform/sax/SAXReader.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"
#include "rtl/SysUtils.h"
#include "rtl/Streams.h"

namespace vela::test {
namespace {

// Feeds a document to the container's handlers as an import does: BeginPart with the part
// element's attributes, ImportItem per record and then per child record (parents first),
// EndItem, and EndPart at the part's closing tag. A refused record ends the part and raises.
class TPartFeeder : public TSAXContentHandler {
 public:
  TPartFeeder(IVelaXMLPartHandlerContainer& AContainer, IXMLImportProcessor* AProcessor)
      : FContainer(AContainer), FProcessor(AProcessor) {}

  void StartElement(std::string_view AName, const TSAXAttributes& AAtts) override {
    ++FDepth;
    if (!FHandler) {
      if (FDepth != 2) return;
      FHandler = FContainer.GetPartByIndent(std::string(AName));
      if (!FHandler) return;
      FLevel = 0;
      TXMLDataStore attrs;
      Fill(attrs, AAtts);
      if (!FHandler->BeginPart(attrs, FProcessor))
        throw EVelaXMLImportError(FHandler->GetLastErrorText(), true);
      return;
    }
    ++FLevel;
    if (FLevel == 1) {
      FRecord.Clear();
      FRoots.clear();
      FOpen.clear();
      Fill(FRecord, AAtts);
      return;
    }
    const char* enc = AAtts.Find("velaxmldataencoding");
    const char* mode = AAtts.Find("velaxmldatabinarymode");
    if (enc || mode) {
      TXMLDataStore& store = FOpen.empty() ? FRecord : FOpen.back()->Store;
      FField = &store.Add(AName);
      FField->SetDataEncoding(StrToXMLDataEncoding(enc ? enc : ""));
      FField->SetBinaryHandlingMode(StrToXMLBinaryHandlingMode(mode ? mode : ""));
      FField->SetCodePage(static_cast<uint16_t>(StrToInt64Def(AAtts.Get("velaxmlcodepage"), 0)));
      return;
    }
    auto& siblings = FOpen.empty() ? FRoots : FOpen.back()->Children;
    siblings.push_back(std::make_unique<TNode>());
    siblings.back()->Tag = AName;
    Fill(siblings.back()->Store, AAtts);
    FOpen.push_back(siblings.back().get());
  }

  void EndElement(std::string_view AName) override {
    --FDepth;
    if (!FHandler) return;
    if (FLevel == 0) {
      IPtr<IXMLImportPartHandler> handler = std::move(FHandler);
      handler->EndPart();
      return;
    }
    if (FLevel == 1) {
      Import(std::string(AName), FRecord);
      for (auto& child : FRoots)
        ImportChild(*child, FRecord, std::string(AName));
      FHandler->EndItem(std::string(AName));
    } else if (FField) {
      FField = nullptr;
    } else {
      FOpen.pop_back();
    }
    --FLevel;
  }

  void Characters(std::string_view AText) override {
    if (FField) FField->AppendDate(AText);
  }

 private:
  struct TNode {
    std::string Tag;
    TXMLDataStore Store;
    std::vector<std::unique_ptr<TNode>> Children;
  };
  static void Fill(TXMLDataStore& AStore, const TSAXAttributes& AAtts) {
    for (size_t i = 0; i < AAtts.Count(); ++i)
      AStore.Add(AAtts.Name(i), AAtts.Value(i));
  }
  void Import(const std::string& AName, TXMLDataStore& AStore) {
    if (FHandler->ImportItem(AName, AStore)) return;
    const std::string error = FHandler->GetLastErrorText();
    IPtr<IXMLImportPartHandler> handler = std::move(FHandler);
    try {
      handler->EndPart();
    } catch (...) {
    }
    throw EVelaXMLImportError(error, true);
  }
  void ImportChild(TNode& ANode, TXMLDataStore& AParent, const std::string& AParentName) {
    ANode.Store.SetParentStore(&AParent);
    ANode.Store.SetParentName(AParentName);
    Import(ANode.Tag, ANode.Store);
    for (auto& child : ANode.Children)
      ImportChild(*child, ANode.Store, ANode.Tag);
  }

  IVelaXMLPartHandlerContainer& FContainer;
  IXMLImportProcessor* FProcessor;
  IPtr<IXMLImportPartHandler> FHandler;
  int FDepth = 0;
  int FLevel = 0;
  TXMLDataStore FRecord;
  std::vector<std::unique_ptr<TNode>> FRoots;
  std::vector<TNode*> FOpen;
  TXMLDataStoreItem* FField = nullptr;
};

// A document read from a file: file values are found next to it.
class TFileProcessor : public TInterfacedObject, public IXMLImportProcessor {
  VELA_INTERFACES(TInterfacedObject, IXMLImportProcessor)
 public:
  explicit TFileProcessor(std::string AFileName) : FFileName(std::move(AFileName)) {}
  IPtr<IStringListData> Get_Publisher() override { return NewStringListData(); }
  IPtr<IStringListData> Get_Receiver() override { return NewStringListData(); }
  std::string Get_Application() override { return "test"; }
  int32_t Get_Version() override { return 1; }
  std::string Get_Session() override { return "{00000000-0000-0000-0000-000000000001}"; }
  std::string Get_FileName() override { return FFileName; }
  IPtr<INamedVariantListData> Get_Options() override { return nullptr; }

 private:
  std::string FFileName;
};

// A writer that keeps only the rows its filter accepts.
class TFilteringWriter : public TVelaXMLWriter {
 public:
  using TVelaXMLWriter::TVelaXMLWriter;
  TFilterExpressions Filter;
  void DoOnGetRecordExpressionFilter(TObject* ASender, TFilterExpressions*& AFilter) override {
    TVelaXMLWriter::DoOnGetRecordExpressionFilter(ASender, AFilter);
    AFilter = &Filter;
  }
};

std::string Doc(const std::string& AParts) {
  return "<velaxmldata application=\"test\" version=\"1\">" + AParts + "</velaxmldata>";
}

std::string Text(const std::string& AName, const std::string& AValue,
                 const std::string& AEncoding = "text", const std::string& AExtra = "") {
  return "<" + AName + " velaxmldataencoding=\"" + AEncoding + "\"" + AExtra + ">" + AValue + "</" +
         AName + ">";
}

class VelaXMLTablesTest : public DbTest {
 protected:
  // customers with their contacts, articles identified by globalrecuid, notes without a key.
  void CreateShop(TVelaDatabase* ADb = nullptr) {
    const std::vector<THostTableDef> defs = {
        {"customers",
         {F("custno", ftString, 20), F("name", ftString, 40), F("amount", ftFloat),
          F("born", ftDate), F("active", ftBoolean), F("logo", ftBlob), F("remarks", ftMemo),
          F("changedate", ftDateTime), F("placeid", ftString, 38)}},
        {"contacts", {F("customers_id", ftLargeint), F("name", ftString, 40)}},
        {"articles", {F("globalrecuid", ftString, 38), F("title", ftString, 40)}},
        {"notes", {F("text", ftString, 40)}},
    };
    TVelaDatabase& db = ADb ? *ADb : Db();
    {
      auto conn = db.Connection();
      for (const auto& def : defs)
        conn->ExecSQL(CreateTableSQL(*conn, def));
    }
    db.RefreshSchema();
  }

  // Imports a document; returns the container, whose handlers keep their counters.
  IPtr<TVelaXMLImportContainer> Import(const std::string& ADoc, TVelaDatabase* ADb = nullptr,
                                       IXMLImportProcessor* AProcessor = nullptr) {
    IPtr<TVelaXMLImportContainer> container(new TVelaXMLImportContainer(ADb ? *ADb : Db()));
    TPartFeeder feeder(*container, AProcessor);
    TSAXReader reader(feeder);
    TStringStream in(ADoc);
    reader.Parse(in);
    return container;
  }

  // The part exported through a writer that Setup may configure.
  std::string Export(const std::string& APart, TVelaDatabase* ADb = nullptr,
                     const std::function<void(TFilteringWriter&)>& ASetup = {}) {
    TStringStream out;
    IPtr<TFilteringWriter> writer(new TFilteringWriter(out));
    if (ASetup) ASetup(*writer);
    writer->StartDocument("test");
    IPtr<TVelaXMLImportContainer> container(new TVelaXMLImportContainer(ADb ? *ADb : Db()));
    auto handler = container->GetPartByIndent(APart);
    EXPECT_TRUE(handler && handler->CanExport());
    if (handler) {
      EXPECT_TRUE(handler->ExportPart(writer.get(), true));
    }
    writer->EndDocument();
    return out.DataString();
  }

  // The rows of a table as "value|value|..." lines in id order; binary values in hex.
  std::vector<std::string> Rows(const std::string& ATable, const std::vector<std::string>& AFields,
                                TVelaDatabase* ADb = nullptr) {
    auto t = (ADb ? *ADb : Db()).GetTableInterface();
    std::vector<std::string> fields = {"id"};
    fields.insert(fields.end(), AFields.begin(), AFields.end());
    t->Query(ATable, fields, {});
    std::vector<std::pair<int64_t, std::string>> rows;
    for (; !t->Eof(); t->Next()) {
      std::string line;
      for (size_t i = 1; i < fields.size(); ++i) {
        const Variant v = t->Value(static_cast<int>(i));
        if (i > 1) line += "|";
        if (v.kind() == Variant::Kind::Null)
          line += "<null>";
        else if (v.kind() == Variant::Kind::Bytes)
          line += "0x" + TextToHex(std::string(v.GetBytes().begin(), v.GetBytes().end()));
        else
          line += VarToStr(v);
      }
      rows.emplace_back(t->Value(0).AsInt64(), line);
    }
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> result;
    for (auto& r : rows)
      result.push_back(r.second);
    return result;
  }

  std::string CustNo(TVelaDatabase* ADb, int64_t AId) {
    auto t = (ADb ? *ADb : Db()).GetTableInterface();
    t->Query("customers", {"custno"}, {{"id", Variant(AId)}});
    return t->Eof() ? std::string("?") : VarToStr(t->Value(0));
  }

  using TLines = std::vector<std::string>;
};

TEST_P(VelaXMLTablesTest, ContainerOffersApplicationTablesByName) {
  CreateShop();
  IPtr<TVelaXMLImportContainer> container(new TVelaXMLImportContainer(Db()));
  auto handler = container->GetPartByIndent("Customers");
  ASSERT_TRUE(handler);
  EXPECT_EQ(handler->GetIdent(), "Customers");
  EXPECT_EQ(handler->GetTableName(), "customers");
  EXPECT_EQ(container->GetPartByIndent("Customers").get(), handler.get());
  EXPECT_FALSE(container->GetPartByIndent("dataimport_userpickupstore"));
  EXPECT_FALSE(container->GetPartByIndent("vela_schemaversion"));
  EXPECT_FALSE(container->GetPartByIndent("nosuchtable"));
  TLines names;
  for (int i = 0; i < container->GetPartCount(); ++i)
    names.push_back(container->GetPart(i)->GetIdent());
  EXPECT_EQ(names, (TLines{"articles", "contacts", "customers", "notes"}));
  EXPECT_THROW(container->GetPart(container->GetPartCount()), EListError);
  EXPECT_EQ(container->GetPartByIndent("articles")->GetKeyFields(), "globalrecuid");
  EXPECT_EQ(container->GetPartByIndent("notes")->GetKeyFields(), "");
}

TEST_P(VelaXMLTablesTest, RecordsAreFoundByKeyFieldsThenGlobalRecUidElseInserted) {
  CreateShop();
  auto import = [&](const std::string& name, const std::string& title, const std::string& amount) {
    return Import(Doc("<customers keyfields=\"custno\"><customer custno=\"1001\">" +
                      Text("name", name) + Text("amount", amount) + Text("born", "1980-02-29") +
                      Text("active", "true") + "</customer></customers>" + "<articles><article>" +
                      Text("globalrecuid", "{A1}") + Text("title", title) +
                      "</article></articles>" + "<notes><note>" + Text("text", name) +
                      "</note></notes>"));
  };
  import("Alpha", "Tea", "12.5");
  auto second = import("Beta", "Green tea", "-0.25");
  EXPECT_EQ(Rows("customers", {"custno", "name", "amount", "active"}),
            (TLines{"1001|Beta|-0.25|True"}));
  EXPECT_EQ(VarToStr(RowValue("customers", "born", RowIds("customers")[0])),
            VarToStr(Variant::FromDateTime(EncodeDate(1980, 2, 29))));
  EXPECT_EQ(Rows("articles", {"globalrecuid", "title"}), (TLines{"{A1}|Green tea"}));
  EXPECT_EQ(Rows("notes", {"text"}), (TLines{"Alpha", "Beta"}));
  auto customers = second->GetPartByIndent("customers");
  EXPECT_EQ(customers->GetUpdatedCount(), 1);
  EXPECT_EQ(customers->GetInsertedCount(), 0);
  EXPECT_EQ(second->GetPartByIndent("notes")->GetInsertedCount(), 1);

  // An unknown key field refuses the part before anything is written.
  EXPECT_THROW(
      {
        try {
          Import(
              Doc("<customers keyfields=\"custno,nosuch\"><customer custno=\"1\"/></customers>"));
        } catch (const EVelaXMLImportError& e) {
          EXPECT_EQ(e.Message(),
                    "customers: key field 'nosuch' is not a field of table 'customers'");
          throw;
        }
      },
      EVelaXMLImportError);
}

TEST_P(VelaXMLTablesTest, FieldValuesAreDecodedByEncodingBinaryModeAndCodePage) {
  CreateShop();
  const std::string dir = FDir.string();
  std::ofstream(FDir / "logo.bin", std::ios::binary) << std::string("\x89PNG\0\x01", 6);
  std::ofstream(FDir / "name.txt", std::ios::binary) << "M\xFCller";
  IPtr<TFileProcessor> processor(new TFileProcessor((FDir / "doc.xml").string()));
  struct TCase {
    const char* Field;
    std::string Element;
    const char* Expected;
  } cases[] = {
      {"name", Text("name", "TcO8bGxlcg==", "base64"), "Müller"},
      {"name", Text("name", "TfxsbGVy", "base64", " velaxmlcodepage=\"1252\""), "Müller"},
      {"name", Text("name", "4dfc6c6c6572", "hex", " velaxmlcodepage=\"1252\""), "Müller"},
      {"name",
       Text("name", EncodeXMLFieldValue("Zlib packed", xdeBase64Compressed), "base64compressed"),
       "Zlib packed"},
      {"name", Text("name", "a &amp; b"), "a & b"},
      {"logo", Text("logo", "01FE00", "hex"), "0x01FE00"},
      {"logo", Text("logo", "logo.bin", "text", " velaxmldatabinarymode=\"file\""),
       "0x89504E470001"},
      {"name",
       Text("name", "name.txt", "text", " velaxmldatabinarymode=\"file\" velaxmlcodepage=\"1252\""),
       "Müller"},
      {"name", Text("name", ""), ""},
      {"amount", Text("amount", ""), "<null>"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Element);
    Import(Doc("<customers><customer>" + c.Element + "</customer></customers>"), nullptr,
           processor.get());
    EXPECT_EQ(Rows("customers", {c.Field}).back(), c.Expected);
  }

  struct TRefused {
    std::string Element;
    const char* Message;
  } refused[] = {
      {Text("name", "../outside.txt", "text", " velaxmldatabinarymode=\"file\""),
       "customers: record 1: Invalid value for field 'name': file value '../outside.txt' is "
       "not a path inside the document's folder"},
      {Text("name", "12345678901234567890123456789012345678901"),
       "customers: record 1: Invalid value for field 'name': text of 41 characters exceeds the "
       "size 40"},
      {Text("active", "maybe"),
       "customers: record 1: Invalid value for field 'active': 'maybe' is not a valid XML "
       "Boolean"},
  };
  const int64_t before = CountRows("customers");
  for (const TRefused& r : refused) {
    SCOPED_TRACE(r.Element);
    try {
      Import(Doc("<customers><customer>" + r.Element + "</customer></customers>"), nullptr,
             processor.get());
      ADD_FAILURE() << "not refused";
    } catch (const EVelaXMLImportError& e) {
      EXPECT_EQ(e.Message(), r.Message);
    }
  }
  EXPECT_EQ(CountRows("customers"), before);
}

TEST_P(VelaXMLTablesTest, ChildRecordsGoIntoTheDetailTableWithTheParentsId) {
  CreateShop();
  Import(
      Doc("<customers keyfields=\"custno\">"
          "<customer custno=\"1\"><contacts count=\"2\">"
          "<contact name=\"Anna\"/><contact>" +
          Text("name", "Bert") +
          "</contact></contacts>"
          "<unknownchildren><x>" +
          Text("y", "ignored") +
          "</x></unknownchildren></customer>"
          "<customer custno=\"2\"><contacts>" +
          Text("name", "Carl") + "</contacts></customer></customers>"));
  const auto ids = RowIds("customers");
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(Rows("contacts", {"customers_id", "name"}),
            (TLines{std::to_string(ids[0]) + "|Anna", std::to_string(ids[0]) + "|Bert",
                    std::to_string(ids[1]) + "|Carl"}));

  // A child table that does not refer to the parent's table fails the part.
  try {
    Import(Doc("<customers><customer custno=\"3\"><notes>" + Text("text", "x") +
               "</notes></customer></customers>"));
    ADD_FAILURE() << "not refused";
  } catch (const EVelaXMLImportError& e) {
    EXPECT_EQ(e.Message(),
              "customers: record 1: table 'notes' has no column referring to table 'customers'");
  }
  EXPECT_EQ(CountRows("customers"), 2);
}

TEST_P(VelaXMLTablesTest, RecordCommandsDeleteAndSynchronise) {
  CreateShop();
  std::string rows;
  for (const char* no : {"1", "2", "3", "4", "5"})
    rows += std::string("<customer custno=\"") + no + "\">" +
            Text("name", std::string(no) == "2" ? "Old Ltd" : "Cust" + std::string(no)) +
            "<contacts><contact name=\"A\"/><contact name=\"B\"/></contacts></customer>";
  Import(Doc("<customers keyfields=\"custno\">" + rows + "</customers>"));
  ASSERT_EQ(CountRows("contacts"), 10);

  auto c = Import(
      Doc("<customers keyfields=\"custno\">"
          "<customer velaxml_command=\"delete\" custno=\"1\"/>"
          "<customer velaxml_command=\"deleterecords\" filterfield=\"name\" filtertype=\"like\" "
          "filtervalue=\"old%\"/></customers>"));
  EXPECT_EQ(c->GetPartByIndent("customers")->GetDeletedCount(), 2);
  EXPECT_EQ(Rows("customers", {"custno"}), (TLines{"3", "4", "5"}));

  // "sync": the named and the written records stay, the others of the part go.
  c =
      Import(Doc("<customers keyfields=\"custno\"><customer velaxml_command=\"sync\" custno=\"3\"/>"
                 "<customer custno=\"6\">" +
                 Text("name", "New") + "</customer></customers>"));
  EXPECT_EQ(Rows("customers", {"custno"}), (TLines{"3", "6"}));
  EXPECT_EQ(c->GetPartByIndent("customers")->GetDeletedCount(), 2);

  // "syncexisting" inside a child part: only that parent's other details go.
  Import(
      Doc("<customers keyfields=\"custno\"><customer custno=\"3\">"
          "<contacts velaxml_command=\"syncexisting\" keyfields=\"name\">"
          "<contact name=\"B\"/><contact name=\"Z\"/></contacts></customer></customers>"));
  const int64_t id3 = RowIds("customers", {{"custno", Variant("3")}})[0];
  auto contactsOf3 = RowIds("contacts", {{"customers_id", Variant(id3)}});
  ASSERT_EQ(contactsOf3.size(), 1u);
  EXPECT_EQ(VarToStr(RowValue("contacts", "name", contactsOf3[0])), "B");
  EXPECT_EQ(CountRows("contacts"), 9);

  // "syncexisting" on the part: the rows name records to keep; unknown rows add nothing.
  Import(
      Doc("<customers velaxml_command=\"syncexisting\" keyfields=\"custno\">"
          "<customer custno=\"6\"/><customer custno=\"99\"/></customers>"));
  EXPECT_EQ(Rows("customers", {"custno", "name"}), (TLines{"6|New"}));

  try {
    Import(
        Doc("<customers><customer velaxml_command=\"deleterecords\" filterfield=\"name\" "
            "filtertype=\"~\" filtervalue=\"x\"/></customers>"));
    ADD_FAILURE() << "not refused";
  } catch (const EVelaXMLImportError& e) {
    EXPECT_EQ(e.Message(), "customers: record 1: deleterecords: unknown comparison '~'");
  }
}

// The records a part wrote stay whatever their order: updates against the id order, runs of
// neighbouring ids, a "sync" row in between and a new record.
TEST_P(VelaXMLTablesTest, SyncKeepsEveryRecordThePartWroteInAnyOrder) {
  CreateShop();
  std::string rows;
  for (int no = 1; no <= 8; ++no)
    rows += "<customer custno=\"" + std::to_string(no) + "\"/>";
  Import(Doc("<customers keyfields=\"custno\">" + rows + "</customers>"));
  auto c =
      Import(Doc("<customers keyfields=\"custno\"><customer custno=\"5\"/><customer custno=\"4\"/>"
                 "<customer velaxml_command=\"sync\" custno=\"7\"/><customer custno=\"2\"/>"
                 "<customer custno=\"3\"/><customer custno=\"9\"/></customers>"));
  EXPECT_EQ(Rows("customers", {"custno"}), (TLines{"2", "3", "4", "5", "7", "9"}));
  EXPECT_EQ(c->GetPartByIndent("customers")->GetDeletedCount(), 3);
}

// Detail rows are read by pages too: a parent with a full page of them, one with more, one with
// none (no child part at all); each child part's count is the number of its rows.
TEST_P(VelaXMLTablesTest, ExportCountsDetailRowsAcrossPages) {
  CreateShop();
  auto customer = [&](const char* ANo, int AContacts) {
    const int64_t id = InsertRow("customers", {{"custno", Variant(ANo)}});
    if (AContacts > 0)
      Db().Connection()->ExecSQL(
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
          std::to_string(AContacts) + ") INSERT INTO contacts (customers_id, name) SELECT " +
          std::to_string(id) + ", 'C' || i FROM n");
  };
  customer("1", 1000);
  customer("2", 0);
  customer("3", 1001);
  const std::string doc = Export("customers");
  auto occurrences = [&](const std::string& AText) {
    size_t n = 0;
    for (size_t pos = doc.find(AText); pos != std::string::npos; pos = doc.find(AText, pos + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(occurrences("<contacts count=\"1000\"><row>"), 1u);
  EXPECT_EQ(occurrences("<contacts count=\"1001\"><row>"), 1u);
  EXPECT_EQ(occurrences("<contacts "), 2u);
  EXPECT_EQ(occurrences(">C1001</name>"), 1u);

  auto copy = TVelaDatabase::Open("sqlite:" + (FDir / "copy.db").string());
  CreateShop(copy.get());
  Import(doc, copy.get());
  auto contacts = [](TVelaDatabase& ADb, const char* ANo) {
    auto t = ADb.GetTableInterface();
    t->Query("customers", {"id"}, {{"custno", Variant(ANo)}});
    auto r = ADb.GetTableInterface();
    r->Query("contacts", {"name"}, {{"customers_id", t->Value(0)}});
    int64_t n = 0;
    for (; !r->Eof(); r->Next())
      ++n;
    return n;
  };
  EXPECT_EQ(contacts(*copy, "1"), 1000);
  EXPECT_EQ(contacts(*copy, "2"), 0);
  EXPECT_EQ(contacts(*copy, "3"), 1001);
}

TEST_P(VelaXMLTablesTest, AFailingRecordRollsItsPartBack) {
  CreateShop();
  try {
    Import(Doc("<articles><article>" + Text("title", "kept") +
               "</article></articles><customers keyfields=\"custno\">"
               "<customer custno=\"1\"><contacts><contact name=\"A\"/></contacts></customer>"
               "<customer custno=\"2\">" +
               Text("amount", "12,5x") + "</customer><customer custno=\"3\"/></customers>"));
    ADD_FAILURE() << "not refused";
  } catch (const EVelaXMLImportError& e) {
    EXPECT_EQ(e.Message(),
              "customers: record 2: Invalid value for field 'amount': '12,5x' is not a valid "
              "XML number");
  }
  EXPECT_EQ(CountRows("customers"), 0);
  EXPECT_EQ(CountRows("contacts"), 0);
  EXPECT_EQ(Rows("articles", {"title"}), (TLines{"kept"}));
}

TEST_P(VelaXMLTablesTest, ExportWritesChangedRowsOfThisPlace) {
  CreateShop();
  auto add = [&](const char* no, int month, Variant place) {
    InsertRow("customers", {{"custno", Variant(no)},
                            {"changedate", Variant::FromDateTime(EncodeDate(2024, month, 1))},
                            {"placeid", place}});
  };
  add("1", 1, Variant::MakeNull());
  add("2", 3, Variant::MakeNull());
  add("3", 4, Variant("{elsewhere}"));
  add("4", 5, Variant::MakeNull());
  auto changedHere = [](TFilteringWriter& w) {
    auto& p = w.Get_Params("customers");
    p.OnlyChanged = true;
    p.OnlyThisPlace = true;
    p.LastChangedDate = EncodeDate(2024, 2, 1);
    p.ProcessToDate = EncodeDate(2024, 4, 15);
  };
  EXPECT_EQ(Export("customers", nullptr, changedHere),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<velaxmldata application=\"test\" version=\"1\"><customers count=\"1\"><row>"
            "<custno velaxmldataencoding=\"text\">2</custno>"
            "<changedate velaxmldataencoding=\"text\">2024-03-01T00:00:00</changedate>"
            "</row></customers></velaxmldata>");
  const std::string other = Export("customers", nullptr, [](TFilteringWriter& w) {
    w.Get_Params("customers").OnlyThisPlace = true;
    w.Get_Params("customers").SetOption(kPlaceOption, "{elsewhere}");
  });
  EXPECT_NE(other.find("count=\"1\"><row><custno velaxmldataencoding=\"text\">3<"),
            std::string::npos)
      << other;
  const std::string filtered = Export(
      "customers", nullptr, [](TFilteringWriter& w) { w.Filter.Add().Load("custno", "in:1;4"); });
  EXPECT_NE(filtered.find("<customers count=\"2\"><row><custno velaxmldataencoding=\"text\">1<"),
            std::string::npos)
      << filtered;
  EXPECT_NE(filtered.find("<custno velaxmldataencoding=\"text\">4<"), std::string::npos);
}

TEST_P(VelaXMLTablesTest, ExportedRowsImportIntoAnEmptyDatabaseAndBack) {
  auto source = TVelaDatabase::Open("sqlite:" + (FDir / "source.db").string());
  CreateShop(source.get());
  CreateShop();
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes += static_cast<char>(i);
  const std::string longText = std::string(300, 'x') + "\nline\ttab \x01 <&> ü";
  // More rows than one page, so that paging is crossed.
  for (int i = 0; i < 1005; ++i) {
    const int64_t id = InsertRow(
        "customers",
        {{"custno", Variant(std::to_string(i))},
         {"name", i % 2 ? Variant("Müller & Co") : Variant::MakeNull()},
         {"amount", Variant(i * 0.1)},
         {"born", Variant::FromDateTime(EncodeDate(1950 + i % 50, 1 + i % 12, 1 + i % 28))},
         {"active", Variant(i % 3 == 0)},
         {"logo", i == 7 ? Variant::FromBytes(bytes) : Variant::MakeNull()},
         {"remarks", i < 3 ? Variant(longText) : Variant("")},
         {"changedate", Variant::FromDateTime(EncodeDateTime(2024, 5, 6, 7, 8, 9, 250))}},
        source.get());
    if (i % 100 == 0)
      for (const char* name : {"Anna", "Bert"})
        InsertRow("contacts", {{"customers_id", Variant(id)}, {"name", Variant(name)}},
                  source.get());
  }
  const TLines fields = {"custno", "name", "amount",  "born",
                         "active", "logo", "remarks", "changedate"};
  const TLines expected = Rows("customers", fields, source.get());
  Import(Export("customers", source.get()));
  EXPECT_EQ(Rows("customers", fields), expected);
  // The contacts follow their customers (ids differ between the databases).
  auto contactsByCustomer = [&](TVelaDatabase* db) {
    TLines lines;
    auto t = (db ? *db : Db()).GetTableInterface();
    t->Query("contacts", {"customers_id", "name"}, {});
    for (; !t->Eof(); t->Next())
      lines.push_back(CustNo(db, t->Value(0).AsInt64()) + "|" + VarToStr(t->Value(1)));
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  EXPECT_EQ(contactsByCustomer(nullptr), contactsByCustomer(source.get()));
  EXPECT_EQ(contactsByCustomer(nullptr).size(), 22u);

  auto back = TVelaDatabase::Open("sqlite:" + (FDir / "back.db").string());
  CreateShop(back.get());
  Import(Export("customers"), back.get());
  EXPECT_EQ(Rows("customers", fields, back.get()), expected);
  EXPECT_EQ(contactsByCustomer(back.get()), contactsByCustomer(source.get()));
}

VELA_INSTANTIATE_DB_TEST(VelaXMLTablesTest);

}  // namespace
}  // namespace vela::test
