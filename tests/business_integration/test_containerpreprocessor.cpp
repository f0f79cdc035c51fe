// The data container pre-processor: JSON and form containers read through their content objects
// into in-memory tables and written as VelaXML, the field types of the configuration, the value
// conversions, and the refusals of configurations and bodies that cannot be read.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TestData.h"
#include "VelaXMLTestSupport.h"
#include "business_integration/_BIContainerDataSetImportPreProcessor.h"
#include "business_integration/_dmBusinessIntegration.h"
#include "host/velaxml/XMLValues.h"
#include "platform/indy/MultipartFormData.h"
#include "rtl/Encoders.h"
#include "rtl/MemDataSet.h"

namespace vela {
namespace {

using TProcessor = TBIContainerSOAPDataSetImportPreProcessor;

std::string ReadFile(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The container's document as transcript lines, or "failed: " and the message.
std::string Convert(const std::string& AContentType, const std::string& ABody,
                    const std::string& AConfig) {
  IPtr<TProcessor> p = LoadDataContainer(AContentType, ABody);
  return test::PreConvertTranscript(*p, AConfig);
}

// A document with a line break between elements (not around the CDATA of a value), as the
// documentation shows it.
std::string BreakLines(const std::string& ADocument) {
  std::string text;
  for (size_t i = 0; i < ADocument.size(); ++i) {
    text += ADocument[i];
    if (ADocument[i] == '>' && i + 1 < ADocument.size() && ADocument[i + 1] == '<' &&
        ADocument.compare(i + 1, 9, "<![CDATA[") != 0 &&
        (i < 2 || ADocument.compare(i - 2, 3, "]]>") != 0))
      text += '\n';
  }
  return text;
}

// The transcript of a document with the parts given.
std::string Doc(const std::string& AParts) {
  return "<velaxmldata application=DB2VelaXML; version=1>\n" + AParts;
}

// A master table "ROWS"/"ROW" with the mapping lines given.
std::string RowsConfig(const std::string& AMapping, const std::string& AMore = {}) {
  return "[VelaXML]\nPartName=ROWS\nItemName=ROW\n[Mapping]\n" + AMapping + "\n" + AMore;
}

// The example of the documentation: the golden document, and the documentation shows all three
// files as they are.
TEST(ContainerPreProcessor, OrderWithNestedPositionsMatchesTheGoldenDocument) {
  std::vector<std::string> files;
  for (const char* name : {"order.json", "order.ini", "order.xml", "../../../docs/containers.md"}) {
    const std::string path = test::DataFile(std::string("containers/") + name);
    ASSERT_DATA_FILE(path);
    files.push_back(ReadFile(path));
  }
  IPtr<TProcessor> p = LoadDataContainer("application/json; charset=utf-8", files[0]);
  auto out = std::make_unique<TMemoryStream>();
  TMemoryStream& data = *out;
  IPtr<IDataStream> stream = NewDataStream(out.release(), true);
  std::string error;
  bool user = false;
  ASSERT_TRUE(p->Do_PreConvert(nullptr, stream.get(), files[1], xmpRAW, xmpRAW, nullptr, nullptr,
                               pemImportTransformXML, nullptr, false, nullptr, error, user))
      << error;
  EXPECT_EQ(BreakLines(std::string(data.Memory(), static_cast<size_t>(data.Size()))) + "\n",
            files[2]);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_NE(files[3].find(files[i]), std::string::npos) << "the documentation lacks file " << i;
}

TEST(ContainerPreProcessor, RecordsPerContainer) {
  struct TCase {
    const char* Type;
    std::string Body;
    std::string Expected;
  } cases[] = {
      {"application/json", R"([{"a":"x"},{"a":"y"},{"a":"z"}])",
       " <ROWS count=3>\n  <ROW>\n   A=x\n  <ROW>\n   A=y\n  <ROW>\n   A=z\n"},
      {"application/json", R"({"a":"x"})", " <ROWS count=1>\n  <ROW>\n   A=x\n"},
      // An item that is no object has no values.
      {"application/json", R"([{"a":"x"},7])",
       " <ROWS count=2>\n  <ROW>\n   A=x\n  <ROW>\n   A=\n"},
      {"application/x-www-form-urlencoded", "a=1&b=2", " <ROWS count=1>\n  <ROW>\n   A=1\n"},
      {"multipart/form-data",
       "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--XyZ\r\n"
       "Content-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--XyZ--\r\n",
       " <ROWS count=1>\n  <ROW>\n   A=1\n"},
      {"multipart/form-data; boundary=XyZ",
       "preamble\r\n--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nv\r\n--XyZ--\r\n",
       " <ROWS count=1>\n  <ROW>\n   A=v\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Body);
    EXPECT_EQ(Convert(c.Type, c.Body, RowsConfig("a=A")), Doc(c.Expected));
  }
}

TEST(ContainerPreProcessor, ContentFieldsCarryTheWholeBody) {
  const std::string body = R"({"a": 1, "b": "x"})";
  const std::string compact = R"({"a":1,"b":"x"})";
  IPtr<TProcessor> p = LoadDataContainer("application/json", body);
  const std::string doc = test::PreConvertTranscript(
      *p, RowsConfig("@container_content_text=T\n@container_content_b64=B64\n"
                     "@container_content_bin=BIN\n@container_content_html=H"));
  EXPECT_EQ(doc,
            Doc(" <ROWS count=1>\n  <ROW>\n   T=a: 1\r\nb: x\n   B64=" + Base64EncodeMime(compact) +
                "\n   BIN=" + compact + "\n   H=a:&nbsp;<b>1</b><br>b:&nbsp;<b>x</b>\n"));
}

// Keeps the field definitions of the master table it creates.
class TRecordingProcessor : public TProcessor {
 public:
  std::vector<TDataFieldDef> MasterFields;
  std::unique_ptr<TDataSet> CreateDataSet(const std::string& ATableName, const std::string& AQuery,
                                          const std::string& AInFile, const TStringList& AMapping,
                                          const TFieldSplitting& ASplitting,
                                          TXMLPreProcessorFunction AFunction,
                                          const std::string& APrefix,
                                          TDataSetTableSettings& ASettings) override {
    auto ds = TProcessor::CreateDataSet(ATableName, AQuery, AInFile, AMapping, ASplitting,
                                        AFunction, APrefix, ASettings);
    if (APrefix.empty()) MasterFields = ds->FieldDefs();
    return ds;
  }
};

TEST(ContainerPreProcessor, FieldTypesFromTheConfiguration) {
  IPtr<TRecordingProcessor> p(new TRecordingProcessor());
  p->SetContentType("application/json");
  p->ContentData()->Load(R"({"when":"2026-03-02T10:15:30","day":"2026-03-02T10:15:30",
      "at":"10:15:30","sum":"2.5","pic":"aGVsbG8=","note":12,"plain":"p"})",
                         "");
  const std::string doc = test::PreConvertTranscript(
      *p, RowsConfig("plain=PLAIN\nwhen=WHEN\nday=DAY\nat=AT\nsum=SUM\npic=PIC\nnote=NOTE\n"
                     "@container_content_bin=RAW\n@container_content_text=TEXT\n"
                     "@container_content_x=X\n=EMPTY\n@Parent:id=ID\nplain=AGAIN",
                     "[DataFormats]\nWHEN=DateTime\nDAY=Date\nAT=Time\nSUM=Float\nPIC=Blob\n"
                     "NOTE=Memo\nTEXT=String\n"));
  std::string fields;
  for (const TDataFieldDef& def : p->MasterFields)
    fields += def.Name + ":" + FieldTypeName(def.DataType) + ":" + std::to_string(def.Size) + " ";
  EXPECT_EQ(fields,
            "plain:ftString:250 when:ftDateTime:0 day:ftDate:0 at:ftTime:0 sum:ftFloat:0 "
            "pic:ftBlob:0 note:ftMemo:0 @container_content_bin:ftBlob:0 "
            "@container_content_text:ftString:250 @container_content_x:ftMemo:0 ");
  // ISO 8601 texts that the system's date format does not read go through the XML parser.
  EXPECT_NE(doc.find("   WHEN=2026-03-02T10:15:30\n   DAY=2026-03-02\n   AT=10:15:30\n"
                     "   SUM=2.5\n   PIC=hello\n   NOTE=12\n"),
            std::string::npos)
      << doc;
}

TEST(ContainerPreProcessor, AssignsValuesByFieldType) {
  TProcessor p;
  TMemDataSet ds;
  for (TFieldType type : {ftInteger, ftLargeint, ftFloat, ftDate, ftDateTime, ftBlob, ftMemo})
    ds.AddFieldDef(FieldTypeName(type), type);
  ds.Open();
  ds.Append();
  struct TCase {
    int Field;
    Variant Value;
    std::string Expected;  // the field's text afterwards
  } cases[] = {
      {0, Variant("42"), "42"},
      {0, Variant("forty-two"), "0"},
      {0, Variant(2.0), "2"},
      {1, Variant("9000000000"), "9000000000"},
      {2, Variant("1.25"), "1.25"},
      {2, Variant("1,25"), "1.25"},  // the system's format refuses it, the XML number reads it
      {3, Variant("2026/03/02"), "2026/03/02"},
      {3, Variant("2026-03-02T23:59:00Z"), "2026/03/02"},
      {4, Variant::FromDateTime(EncodeDate(2026, 3, 2)), "2026/03/02"},
      {5, Variant("aGVsbG8="), "hello"},
      {5, Variant::FromBytes("raw"), "raw"},
      {6, Variant(12), "12"},
      {6, Null(), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ds.Fields(c.Field).FieldName() + " <- case " + std::to_string(&c - cases));
    p.AssignFieldValue(ds.Fields(c.Field), c.Value);
    const TField& field = ds.Fields(c.Field);
    if (field.DataType() == ftBlob) {
      const Variant::Bytes bytes = field.AsBytes();
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.Expected);
    } else {
      EXPECT_EQ(field.AsString(), c.Expected);
    }
  }
  // Values that do not convert raise; the record loader then cancels the record.
  EXPECT_THROW(p.AssignFieldValue(ds.Fields(5), Variant("not base64!")), Exception);
  EXPECT_THROW(p.AssignFieldValue(ds.Fields(2), Variant("abc")), EConvertError);
  EXPECT_THROW(p.AssignFieldValue(ds.Fields(3), Variant("someday")), EConvertError);
}

TEST(ContainerPreProcessor, DetailsByContentPathAndByTheMastersRecord) {
  const std::string orders =
      R"([{"no":"A1","customer":{"name":"Anna"},"items":[{"sku":"T1"},{"sku":"T2"}]},)"
      R"({"no":"B2","customer":{"name":"Bruno"},"items":[]},{"no":"C3"}])";
  const std::string config =
      RowsConfig("no=NO",
                 "[DetailParts]\nItems=\nCustomer=\n"
                 "[Items_VelaXML]\nPartName=ITEMS\nItemName=ITEM\n[Items_DB]\nQuery=items\n"
                 "[Items_Mapping]\nsku=SKU\n@Parent:no=NO\n"
                 "[Customer_VelaXML]\nPartName=CUSTOMER\nItemName=C\n"
                 "[Customer_Mapping]\ncustomer.name=NAME\n");
  EXPECT_EQ(Convert("application/json", orders, config),
            Doc(" <ROWS count=3>\n  <ROW>\n   NO=A1\n"
                "   <ITEMS count=2>\n    <ITEM>\n     SKU=T1\n     NO=A1\n"
                "    <ITEM>\n     SKU=T2\n     NO=A1\n"
                "   <CUSTOMER count=1>\n    <C>\n     NAME=Anna\n"
                "  <ROW>\n   NO=B2\n   <ITEMS count=0>\n"
                "   <CUSTOMER count=1>\n    <C>\n     NAME=Bruno\n"
                "  <ROW>\n   NO=C3\n   <ITEMS count=0>\n"
                "   <CUSTOMER count=1>\n    <C>\n     NAME=\n"));
  // A detail written as a part of its own reads the path from the container's top: an object
  // has it, an array has no record there.
  const std::string after =
      RowsConfig("no=NO",
                 "[DetailParts]\nItems=\n[Items_VelaXML]\nPartName=ITEMS\nItemName=ITEM\n"
                 "[Items_ProcessingOptions]\ndetailmode=3\n[Items_DB]\nQuery=items\n"
                 "[Items_Mapping]\nsku=SKU\n");
  EXPECT_EQ(Convert("application/json", R"({"no":"A1","items":[{"sku":"T1"}]})", after),
            Doc(" <ROWS count=1>\n  <ROW>\n   NO=A1\n <ITEMS count=1 detailmode=3>\n  <ITEM>\n"
                "   SKU=T1\n"));
  EXPECT_EQ(Convert("application/json", orders, after),
            Doc(" <ROWS count=3>\n  <ROW>\n   NO=A1\n  <ROW>\n   NO=B2\n  <ROW>\n   NO=C3\n"
                " <ITEMS count=0 detailmode=3>\n"));
}

TEST(ContainerPreProcessor, RefusedConfigurations) {
  struct TCase {
    const char* Type;
    const char* Body;
    std::string Config;
    std::string Error;
  } cases[] = {
      {"application/json", "{}", RowsConfig("a=A", "[DataFormats]\nA=Decimal\n"),
       "failed: EVelaXMLImportError: [DataFormats] A: unknown data format \"Decimal\" (known: "
       "String, Date, Time, "
       "DateTime, Float, Blob, Memo)"},
      {"application/json", "{}",
       RowsConfig("a=A",
                  "[DetailParts]\nP=\n[P_VelaXML]\nPartName=P\n[P_Mapping]\nb=B\n"
                  "[P_DataFormats]\nB=date\n"),
       "failed: EVelaXMLImportError: [P_DataFormats] B: unknown data format \"date\" (known: "
       "String, Date, Time, "
       "DateTime, Float, Blob, Memo)"},
      {"application/x-www-form-urlencoded", "a=1",
       RowsConfig("a=A", "[DetailParts]\nP=\n[P_VelaXML]\nPartName=P\n[P_DB]\nQuery=items\n"),
       "failed: EVelaXMLImportError: [P_DB] Query: the form container "
       "(application/x-www-form-urlencoded) has no nested parts, so a detail table cannot name a "
       "content path (\"items\"); leave it empty to read the form's values"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Config);
    EXPECT_EQ(Convert(c.Type, c.Body, c.Config), c.Error);
  }
}

TEST(ContainerPreProcessor, BodiesThatDoNotReadGiveOneError) {
  struct TCase {
    const char* Type;
    std::string Body;
    std::string Error;
  } cases[] = {
      {"application/json", "{\"a\": [1, 2}", "EJsonParserException: JSON 1:"},
      {"application/json", "", "EJsonParserException: JSON 1:1"},
      {"multipart/form-data",
       "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--XyZ\r\nContent-Dis",
       "EMultipartFormDataError: "},
      {"multipart/form-data", "a=1", "EMultipartFormDataError: multipart/form-data: the body"},
      {"text/csv", "a;b\n1;2\n", "EConvertError: the content type \"text/csv\" is not a data"},
  };
  TdmBusinessIntegration dm(nullptr);
  IBIContainerConverter& converter = dm;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Body);
    auto out = std::make_unique<TMemoryStream>();
    IPtr<IDataStream> stream = NewDataStream(out.release(), true);
    std::string error, text;
    EXPECT_FALSE(
        converter.Do_ConvertContainer(c.Type, c.Body, RowsConfig("a=A"), stream.get(), error));
    EXPECT_EQ(error.rfind(c.Error, 0), 0u) << error;
    EXPECT_EQ(stream->Get_Size(), 0);
    EXPECT_FALSE(converter.Do_ShowContainer(c.Type, c.Body, false, text, error));
    EXPECT_EQ(error.rfind(c.Error, 0), 0u) << error;
  }
  std::string text, error;
  EXPECT_TRUE(converter.Do_ShowContainer("application/x-www-form-urlencoded; charset=ISO-8859-1",
                                         "name=J\xf6rg", true, text, error))
      << error;
  EXPECT_EQ(text, "name:&nbsp;<b>J\xc3\xb6rg</b>");
}

TEST(ContainerPreProcessor, ContentTypeChoosesTheContentObject) {
  IPtr<TProcessor> p(new TProcessor());
  p->DisplayCaption = "Shop orders";
  EXPECT_EQ(p->Get_ConverterConfigType(), vxpUnknown);
  EXPECT_EQ(p->Get_RawDataDisplayFileName(), "");
  p->SetContentType("Application/JSON; charset=UTF-8");
  EXPECT_EQ(p->ContentType(), "application/json");
  EXPECT_EQ(p->Get_ConverterConfigType(), vxpBIJSONContainer);
  p->ContentData()->Load(R"( [ {"a" : 1} ] )", "UTF-8");
  EXPECT_EQ(BinaryDataToRawByteStr(p->Get_RawData().get()), R"([{"a":1}])");
  EXPECT_EQ(p->Get_RawDataDisplayFileName(), "Shop orders.json");
  TContentObject* json = p->ContentData();
  p->SetContentType("application/json");
  EXPECT_EQ(p->ContentData(), json) << "the same type keeps its content";
  p->SetContentType("application/x-www-form-urlencoded");
  EXPECT_EQ(p->Get_ConverterConfigType(), vxpBIContainer);
  p->ContentData()->Load("a=1", "");
  EXPECT_EQ(BinaryDataToRawByteStr(p->Get_RawData().get()), "a=1");
  EXPECT_EQ(p->Get_RawDataDisplayFileName(), "Shop orders.txt");
  p->SetContentType("text/csv");
  EXPECT_FALSE(p->HasContentData());
}

}  // namespace
}  // namespace vela
