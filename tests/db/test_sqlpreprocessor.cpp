// The SQL pre-processor on real databases: a master table with a detail query whose parameter
// takes the master record's value, into VelaXML; and VelaXML written back into a table by key.
#include <gtest/gtest.h>

#include <algorithm>

#include "DbTestSupport.h"
#include "TestData.h"
#include "VelaXMLTestSupport.h"
#include "components/_SQLDataSetImportPreProcessor.h"
#include "platform/ado/ADODB.h"
#include "rtl/FileUtils.h"

namespace vela::test {
namespace {

const char* const kTables[] = {
    "CREATE TABLE address (id INTEGER PRIMARY KEY, name VARCHAR(40), country VARCHAR(2))",
    "CREATE TABLE orders (orderno VARCHAR(10) PRIMARY KEY, addrid INTEGER, total DOUBLE "
    "PRECISION)",
    "INSERT INTO address VALUES (1, 'anna', 'DE')",
    "INSERT INTO address VALUES (2, 'bob', 'XX')",
    "INSERT INTO address VALUES (3, 'cleo', 'AT')",
    "INSERT INTO orders VALUES ('A-2', 1, 2.5)",
    "INSERT INTO orders VALUES ('A-1', 1, 10)",
    "INSERT INTO orders VALUES ('C-1', 3, 7)",
};

const char* const kConfig =
    "[VelaXML]\nPartName=ADDRESS\nItemName=ADDR\n[DB]\nTableName=address\nCONNECTION\n"
    "[Mapping]\nid=id\nname=name\n[FilterExpressionsImport]\ncountry=<>XX\n"
    "[DetailParts]\nOrders=\n[Orders_VelaXML]\nPartName=ORDERS\nItemName=ORDER\n"
    "[Orders_DB]\nQuery=SELECT orderno, total FROM orders WHERE addrid = :id ORDER BY orderno\n"
    "[Orders_Mapping]\norderno=no\ntotal=total\n@Parent:name=customer\n";

const char* const kExpected =
    "<velaxmldata application=DB2VelaXML; version=1>\n"
    " <ADDRESS count=3>\n"
    "  <ADDR>\n   id=1\n   name=anna\n"
    "   <ORDERS count=2>\n"
    "    <ORDER>\n     no=A-1\n     total=10\n     customer=anna\n"
    "    <ORDER>\n     no=A-2\n     total=2.5\n     customer=anna\n"
    "  <ADDR>\n   id=3\n   name=cleo\n"
    "   <ORDERS count=1>\n"
    "    <ORDER>\n     no=C-1\n     total=7\n     customer=cleo\n";

std::string Convert(TSQLDataSetImportPreProcessor& p, const std::string& config) {
  return PreConvertTranscript(p, config);
}

class SQLPreProcessorTest : public DbTest {
 protected:
  void Fill() {
    auto conn = Db(false).Connection();
    for (const char* sql : kTables)
      conn->ExecSQL(sql);
  }
};

TEST_P(SQLPreProcessorTest, MasterAndDetailQueryIntoVelaXML) {
  Fill();
  IPtr<TSQLDataSetImportPreProcessor> p(new TSQLDataSetImportPreProcessor);
  p->SetDatabase(&Db(false));
  EXPECT_EQ(Convert(*p, StringReplace(kConfig, "CONNECTION\n", "", 0)), kExpected);

  std::string error;
  IPtr<IStringListData> tables;
  ASSERT_TRUE(
      p->Do_RetreiveTableList(kConfig, xmpRAW, nullptr, xmpRAW, vxcImport, tables, error, ""))
      << error;
  std::vector<std::string> names;
  for (int i = 0; i < tables->Get_Count(); ++i)
    names.push_back(tables->Get_Item(i));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"address", "orders"}));

  EXPECT_EQ(Convert(*p, "[VelaXML]\nPartName=X\n[DB]\n"),
            "failed: Exception: [DB]: neither \"TableName\" nor \"Query\" is given");
}

TEST_P(SQLPreProcessorTest, VelaXMLIntoATableByKeyWithSynchronisation) {
  Fill();
  IPtr<TSQLDataSetImportPreProcessor> p(new TSQLDataSetImportPreProcessor);
  p->SetDatabase(&Db(false));
  TMemIniFile config;
  config.SetText(
      "[VelaXML]\nPartName=ADDRESS\nItemName=ADDR\n[DB]\nTableName=address\n"
      "[Mapping]\nid=id\nname=name\ncountry=country\n[ProcessingOptions]\nkeyfields=id\n");
  {
    auto settings = TDataSetTableSettings::CreateInstance(p.get(), "", pemExportSAXWriter, nullptr);
    settings->SetConfig(&config);
    IPtr<TCustomProcessorVelaXMLWriter> w =
        CreateXMLWriterOf<TDataSetProcessorVelaXMLWriter>(p.get(), nullptr, false, nullptr);
    w->AssignToDataTableSettings(*settings);
    auto row = [&](const char* id, const char* name) {
      TXMLDataStore attrs;
      attrs.Add("id", id);
      TXMLDataStoreContainer c;
      c.Add(attrs);
      w->StartElement("ADDR", &c, xdeNone, xdeNone, xbhInline, 0);
      w->StartElement("name", nullptr, xdeText, xdeNone, xbhInline, 0);
      w->Characters(Variant::FromBytes(name));
      w->EndElement("name");
      w->EndElement("ADDR");
    };
    w->StartElement("ADDRESS", nullptr, xdeNone, xdeNone, xbhInline, 0);
    row("2", "Bob");
    row("4", "dora");
    w->EndElement("ADDRESS");
    TXMLDataStore sync;
    sync.Add("velaxml_command", "syncexisting");
    TXMLDataStoreContainer c;
    c.Add(sync);
    w->StartElement("ADDRESS", &c, xdeNone, xdeNone, xbhInline, 0);
    row("1", "ignored");
    row("2", "ignored");
    row("4", "ignored");
    w->EndElement("ADDRESS");
  }
  auto conn = Db(false).Connection();
  TDbStatement& st = conn->Prepare("SELECT id, name, country FROM address ORDER BY id");
  std::string rows;
  for (st.Execute(); st.Next();)
    rows += std::string(st.ColumnText(0)) + ":" + std::string(st.ColumnText(1)) + ":" +
            std::string(st.ColumnText(2)) + "\n";
  EXPECT_EQ(rows, "1:anna:DE\n2:Bob:XX\n4:dora:\n");
}

VELA_INSTANTIATE_DB_TEST(SQLPreProcessorTest);

// The same conversion over an ODBC data source (the SQLite ODBC driver).
TEST(SQLPreProcessorOdbc, ConnectionNamesAnOdbcSource) {
  TTempDir dir("sqlpre_odbc");
  const std::string connection = "Provider=SQLite;Data Source=" + dir.File("shop.db");
  TADOConnection conn;
  conn.ConnectionString = connection;
  for (const char* sql : kTables)
    conn.ExecSQL(sql);
  IPtr<TSQLDataSetImportPreProcessor> p(new TSQLDataSetImportPreProcessor);
  EXPECT_EQ(Convert(*p, StringReplace(kConfig, "CONNECTION", "Connection=" + connection, 0)),
            kExpected);
}

}  // namespace
}  // namespace vela::test

namespace vela::test {
namespace {

TEST_P(SQLPreProcessorTest, TreeTableNestsEachLevelInItsParentRow) {
  auto conn = Db(false).Connection();
  conn->ExecSQL("CREATE TABLE cat (id INTEGER PRIMARY KEY, parentid INTEGER, name VARCHAR(20))");
  for (const char* sql :
       {"INSERT INTO cat VALUES (1, 0, 'root')", "INSERT INTO cat VALUES (2, 1, 'a')",
        "INSERT INTO cat VALUES (3, 2, 'a1')", "INSERT INTO cat VALUES (4, 0, 'b')"})
    conn->ExecSQL(sql);
  IPtr<TSQLDataSetImportPreProcessor> p(new TSQLDataSetImportPreProcessor);
  p->SetDatabase(&Db(false));
  EXPECT_EQ(Convert(*p,
                    "[VelaXML]\nPartName=CAT\nItemName=NODE\n[DB]\n"
                    "Query=SELECT id, name FROM cat WHERE parentid = :id ORDER BY id\n"
                    "[Mapping]\nname=name\n[ProcessingOptions]\ntreemode=1\n"
                    "[TreeRootParams]\nid=0\n"),
            "<velaxmldata application=DB2VelaXML; version=1>\n"
            " <CAT count=2 treemode=1>\n"
            "  <NODE>\n   name=root\n"
            "   <CAT count=1 treemode=1>\n"
            "    <NODE>\n     name=a\n"
            "     <CAT count=1 treemode=1>\n"
            "      <NODE>\n       name=a1\n"
            "       <CAT count=0 treemode=1>\n"
            "  <NODE>\n   name=b\n"
            "   <CAT count=0 treemode=1>\n");
}

TEST_P(SQLPreProcessorTest, OnlyChangedReadsSinceTheStoredDateAndLeavesTheStoreToTheHost) {
  auto conn = Db(false).Connection();
  conn->ExecSQL("CREATE TABLE item (id INTEGER PRIMARY KEY, changed TIMESTAMP)");
  conn->ExecSQL("INSERT INTO item VALUES (1, '2020-01-01 10:00:00')");
  conn->ExecSQL("INSERT INTO item VALUES (2, '2030-01-01 10:00:00')");
  TTempDir store("sqlpre_store");
  const std::string config =
      "[VelaXML]\nPartName=ITEM\nUID=items\nStorePath=" + store.Path.string() +
      "\n[DB]\nOnlyChanged=1\nUpdateLastChanged=1\nLastChangedParamName=since\n"
      "Query=SELECT id FROM item WHERE changed > :since ORDER BY id\n[Mapping]\nid=id\n";
  IPtr<TSQLDataSetImportPreProcessor> p(new TSQLDataSetImportPreProcessor);
  p->SetDatabase(&Db(false));
  const std::string first = Convert(*p, config);
  EXPECT_NE(first.find("id=1\n"), std::string::npos) << first;
  EXPECT_NE(first.find("<velaxmlpostprocess command=WriteINIFileValue runtype=success>"),
            std::string::npos)
      << first;
  // The run itself writes no store: the host does, after a successful import.
  EXPECT_FALSE(vela::FileExists(store.File("items.store")));
  TMemIniFile stored(store.File("items.store"));
  stored.WriteDateTime("DB", "LastChangedDate", EncodeDateTime(2025, 1, 1, 0, 0, 0, 0));
  stored.UpdateFile();
  const std::string second = Convert(*p, config);
  EXPECT_EQ(second.find("id=1\n"), std::string::npos) << second;
  EXPECT_NE(second.find("id=2\n"), std::string::npos) << second;
}

}  // namespace
}  // namespace vela::test
