#include <gtest/gtest.h>
#include <shapefil.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ImportEngine/QImport2ASCII.h"
#include "ImportEngine/QImport2DBF.h"
#include "ImportEngine/QImport2XML.h"
#include "ImportEngine/test_qimport_recorder.h"
#include "TestData.h"

namespace vela::test {
namespace {

using TRows = std::vector<std::vector<std::pair<std::string, std::string>>>;

// Runs a component and collects its rows (name, value).
TRows Collect(TQImport2& Importer, int StopAfter = -1) {
  TRows rows;
  Importer.OnUserDefinedImport = [&](TQImport2*, const TQImportRow& Row) {
    auto& r = rows.emplace_back();
    for (const TQImportCol& c : Row)
      r.emplace_back(c.Name, c.Value);
  };
  Importer.OnImportCancel = [&](TQImport2*, bool& Continue) {
    Continue = StopAfter < 0 || static_cast<int>(rows.size()) < StopAfter;
  };
  Importer.Execute();
  return rows;
}

// A row as "name=value|name=value...", in column order.
std::string Row(const TRows& Rows, size_t Row) {
  if (Row >= Rows.size()) return "<no row>";
  std::string out;
  for (const auto& [n, v] : Rows[Row])
    out += (out.empty() ? "" : "|") + n + "=" + v;
  return out;
}

std::string Field(const TRows& Rows, size_t Row, std::string_view Name) {
  if (Row >= Rows.size()) return "<no row>";
  for (const auto& [n, v] : Rows[Row])
    if (n == Name) return v;
  return "<missing>";
}

std::string Shared(std::string_view Name) {
  return SampleFile("dbf/" + std::string(Name));
}

// --- dBase ---------------------------------------------------------------------------------

// A table with every type shapelib writes, one deleted record, Latin-1 text in code page 1252
// (language driver 0x57) or without language driver.
std::string WriteDbf(const TTempDir& Dir, const char* CodePage) {
  std::string path = Dir.File(CodePage ? "typed.dbf" : "plain.dbf");
  DBFHandle h = DBFCreateEx(path.c_str(), CodePage ? CodePage : "");
  EXPECT_NE(h, nullptr);
  DBFAddField(h, "NAME", FTString, 20, 0);
  DBFAddField(h, "QTY", FTInteger, 6, 0);
  DBFAddField(h, "PRICE", FTDouble, 10, 2);
  DBFAddNativeFieldType(h, "PAID", 'L', 1, 0);
  DBFAddNativeFieldType(h, "SINCE", 'D', 8, 0);
  const char* names[] = {"M\xFCller", "deleted", "Smith"};  // "Müller" in cp1252
  for (int r = 0; r < 3; ++r) {
    DBFWriteStringAttribute(h, r, 0, names[r]);
    char date[] = "20240229";
    for (int f = 1; f < 5 && r == 2; ++f)
      DBFWriteNULLAttribute(h, r, f);
    if (r == 2) continue;
    DBFWriteIntegerAttribute(h, r, 1, 5 + r);
    DBFWriteDoubleAttribute(h, r, 2, 1234.5);
    DBFWriteLogicalAttribute(h, r, 3, 'T');
    DBFWriteAttributeDirectly(h, r, 4, date);
  }
  DBFMarkRecordDeleted(h, 1, 1);
  DBFClose(h);
  return path;
}

TEST(QImport2DBF, TypedValuesInTheFormatSettingsAndDeletedRecordsSkipped) {
  FormatSettingsGuard de(FormatSettingsFor("de"));
  TTempDir dir("qimport_dbf");
  TQImport2DBF dbf;
  dbf.FileName = WriteDbf(dir, "LDID/87");
  TRows rows = Collect(dbf);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Row(rows, 0), "NAME=Müller|QTY=5|PRICE=1234,50|PAID=True|SINCE=29.02.2024");
  EXPECT_EQ(Row(rows, 1), "NAME=Smith|QTY=|PRICE=|PAID=|SINCE=");  // NULL of every type: empty
}

// FoxPro's binary integer, date-time and currency fields, written as raw records.
TEST(QImport2DBF, BinaryFoxProFields) {
  FormatSettingsGuard de(FormatSettingsFor("de"));
  TTempDir dir("qimport_dbf_bin");
  std::string path = dir.File("bin.dbf");
  DBFHandle h = DBFCreate(path.c_str());
  ASSERT_NE(h, nullptr);
  DBFAddNativeFieldType(h, "COUNT", 'I', 4, 0);
  DBFAddNativeFieldType(h, "STAMP", 'T', 8, 0);
  DBFAddNativeFieldType(h, "PRICE", 'Y', 8, 4);
  DBFAddNativeFieldType(h, "RATE", 'O', 8, 0);
  auto le = [](unsigned char* p, uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
      p[i] = static_cast<unsigned char>(v >> (8 * i));
  };
  unsigned char raw[1 + 4 + 8 + 8 + 8] = {' '};
  le(raw + 1, static_cast<uint32_t>(-7), 4);
  le(raw + 5, 2460370, 4);  // Julian day of 2024-02-29
  le(raw + 9, (13 * 3600 + 45 * 60 + 30) * 1000, 4);
  le(raw + 13, static_cast<uint64_t>(-123450), 8);  // -12.345
  // -2.5 as dBase 7 stores it: big-endian with every bit inverted.
  const unsigned char rate[8] = {0x3F, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::memcpy(raw + 21, rate, 8);
  DBFWriteTuple(h, 0, raw);
  DBFClose(h);
  TQImport2DBF dbf;
  dbf.FileName = path;
  TRows rows = Collect(dbf);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Row(rows, 0), "COUNT=-7|STAMP=29.02.2024 13:45:30|PRICE=-12,345|RATE=-2,5");
}

TEST(QImport2DBF, ConfiguredCodePageWhenTheFileNamesNone) {
  TTempDir dir("qimport_dbf_cp");
  TQImport2DBF dbf;
  dbf.FileName = WriteDbf(dir, nullptr);
  dbf.CodePage = 1251;  // 0xFC is "ь" there
  TRows rows = Collect(dbf);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Field(rows, 0, "NAME"), "Mьller");
}

// The public dBase samples are golden cases: every row of NAME.dbf, as "name=value|..." lines,
// compared with tests/data/dbf/NAME.expected (VELA_UPDATE_GOLDEN=1 rewrites them). They pin
// Cyrillic by the language driver 0xC9, dBase III and IV memos, FoxPro integers, dates, empty
// date-times and a missing memo block; the configured code page only counts where a file names
// none.
TEST(QImport2DBF, SharedSamplesAreGoldenCases) {
  FormatSettingsGuard en(FormatSettingsFor("en"));
  int files = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(VELA_SAMPLES_DIR "/dbf", ec)) {
    if (entry.path().extension() != ".dbf") continue;
    SCOPED_TRACE(entry.path().string());
    ++files;
    TQImport2DBF dbf;
    dbf.FileName = entry.path().string();
    dbf.CodePage = 1252;
    const TRows rows = Collect(dbf);
    std::string text;
    for (size_t i = 0; i < rows.size(); ++i)
      text += Row(rows, i) + "\n";
    const std::string expected =
        VELA_TEST_DATA_DIR "/dbf/" + entry.path().stem().string() + ".expected";
    if (const char* update = std::getenv("VELA_UPDATE_GOLDEN"); update && *update == '1') {
      std::ofstream(expected, std::ios::binary) << text;
      continue;
    }
    std::ifstream in(expected, std::ios::binary);
    EXPECT_TRUE(in) << "missing test data file: " << expected;
    EXPECT_EQ(text, std::string(std::istreambuf_iterator<char>(in), {}));
  }
  EXPECT_GE(files, 6) << "dBase samples missing in " VELA_SAMPLES_DIR "/dbf";
}

TEST(QImport2DBF, MissingMemoFileNamesTheField) {
  TTempDir dir("qimport_dbf_memo");
  std::filesystem::copy_file(Shared("infused_dbase_8b.dbf"), dir.File("nomemo.dbf"));
  TQImport2DBF dbf;
  dbf.FileName = dir.File("nomemo.dbf");
  try {
    Collect(dbf);
    FAIL() << "no error";
  } catch (const EQImportError& e) {
    EXPECT_NE(std::string(e.Message()).find("'MEMO'"), std::string::npos) << e.Message();
  }
}

TEST(QImport2DBF, UnreadableFileRaises) {
  TQImport2DBF dbf;
  dbf.FileName = "does-not-exist.dbf";
  EXPECT_THROW(Collect(dbf), EQImportError);
}

// --- Map ------------------------------------------------------------------------------------

TEST(QImport2, MapChoosesColumnsByNameOrNumber) {
  TTempDir dir("qimport_map");
  dir.Write("m.txt", "id;name;city\n1;Ann;Rome\n2;Bob;Oslo\n");
  TQImport2ASCII txt;
  txt.FileName = dir.File("m.txt");
  txt.Map.AddStrings({"Town=CITY", "Nr=1", "Unused="});
  TRows rows = Collect(txt);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Row(rows, 1), "Town=Oslo|Nr=2");

  txt.Map.Clear();
  txt.Map.Add("Town=country");
  EXPECT_THROW(Collect(txt), EQImportError);
}

TEST(QImport2, CancelStopsAfterTheAnsweredRow) {
  TTempDir dir("qimport_cancel");
  dir.Write("c.txt", "a\n1\n2\n3\n4\n");
  TQImport2ASCII txt;
  txt.FileName = dir.File("c.txt");
  EXPECT_EQ(Collect(txt, 2).size(), 2u);
}

// --- delimited text ------------------------------------------------------------------------

TEST(QImport2ASCII, DetectsTheSeparatorOfTheHeaderLine) {
  const std::pair<const char*, char> cases[] = {
      {"a;b;c", ';'},  {"a,b,c", ','},       {"a\tb\tc", '\t'},
      {"a|b|c", '|'},  {"\"x;y\",b,c", ','},  // quoted separators do not count
      {"single", ';'},
  };
  for (auto [line, comma] : cases)
    EXPECT_EQ(TQImport2ASCII::DetectComma(line), comma) << line;
}

TEST(QImport2ASCII, QuotesBomCrLfAndDetection) {
  TTempDir dir("qimport_txt");
  dir.Write("q.txt",
            "\xEF\xBB\xBFName|Note|Empty\r\n"
            "\"Doe | John\"|\"said \"\"hi\"\"\r\nand left\"|\r\n"
            "\r\n"
            "Short\r\n");
  TQImport2ASCII txt;
  txt.Comma = '\0';
  txt.FileName = dir.File("q.txt");
  TRows rows = Collect(txt);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Row(rows, 0), "Name=Doe | John|Note=said \"hi\"\nand left|Empty=");
  EXPECT_EQ(Row(rows, 1), "Name=Short|Note=|Empty=");  // missing columns are empty
  EXPECT_EQ(txt.ReadColumnNames(), (std::vector<std::string>{"Name", "Note", "Empty"}));
}

// --- XML data packets ------------------------------------------------------------------------

constexpr const char* kPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="ID" fieldtype="i4"/>
<FIELD attrname="NAME" fieldtype="string" WIDTH="30"/>
<FIELD attrname="AMOUNT" fieldtype="r8"/>
<FIELD attrname="BORN" fieldtype="date"/>
<FIELD attrname="SEEN" fieldtype="dateTime"/>
<FIELD attrname="AT" fieldtype="time"/>
<FIELD attrname="OK" fieldtype="boolean"/>
</FIELDS><PARAMS/></METADATA>
<ROWDATA>
<ROW ID="1" NAME="A &amp; B &#252;" AMOUNT="12.5" BORN="20240115" SEEN="20240115T13:45:30000" AT="08:05:00000" OK="TRUE"/>
<ROW RowState="4" ID="2" OK="FALSE"/>
<ROW NAME="Three" ID="3"/>
</ROWDATA></DATAPACKET>)";

TEST(QImport2XML, FieldsAndTypedValues) {
  FormatSettingsGuard de(FormatSettingsFor("de"));
  TTempDir dir("qimport_xml");
  dir.Write("p.xml", kPacket);
  TQImport2XML xml;
  xml.FileName = dir.File("p.xml");
  EXPECT_EQ(xml.ReadColumnNames(),
            (std::vector<std::string>{"ID", "NAME", "AMOUNT", "BORN", "SEEN", "AT", "OK"}));
  EXPECT_EQ(Collect(xml, 1).size(), 1u);  // stops when cancelled
  TRows rows = Collect(xml);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Row(rows, 0),
            "ID=1|NAME=A & B ü|AMOUNT=12,5|BORN=15.01.2024|SEEN=15.01.2024 13:45:30|AT=08:05:00|"
            "OK=True");
  // Absent attributes are empty; the attributes of the third row come in another order.
  EXPECT_EQ(Row(rows, 1), "ID=2|NAME=|AMOUNT=|BORN=|SEEN=|AT=|OK=False");
  EXPECT_EQ(Row(rows, 2), "ID=3|NAME=Three|AMOUNT=|BORN=|SEEN=|AT=|OK=");
}

TEST(QImport2XML, BrokenOrForeignXmlRaises) {
  TTempDir dir("qimport_xml_bad");
  dir.Write("bad.xml", "<DATAPACKET><METADATA><FIELDS>");
  dir.Write("other.xml", "<root><item/></root>");
  TQImport2XML xml;
  for (const char* f : {"bad.xml", "other.xml"}) {
    xml.FileName = dir.File(f);
    EXPECT_THROW(Collect(xml), EQImportError) << f;
  }
}

}  // namespace
}  // namespace vela::test
