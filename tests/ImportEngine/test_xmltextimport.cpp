// Data schemas: the one-line schema file form, loading with its quirks, links across files,
// AutoAddFields.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "ImportEngine/_XMLTextImport.h"
#include "TestData.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

using namespace textschema;

void LoadText(TDataSchemas& schemas, const std::string& text) {
  TStringStream s(text);
  schemas.LoadSchemasFromStream(s);
}

constexpr const char* kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";

// Two schemas covering every part of the file form.
void BuildSample(TDataSchemas& schemas) {
  TDataSchema* a = schemas.Add();
  a->SetSchemaName("addr");
  a->SetDescr("Adressen");
  a->SetFileExt(".csv");
  a->SetSeparatedFile(true);
  a->SetFieldSeparator(";");
  a->SetUID("{X}");
  TImportFieldDef* name = a->FieldsDef().Add();
  TImportFieldDef* born = a->FieldsDef().Add();
  for (auto [f, n, d, t] :
       {std::tuple{name, "name", "Name", idtString}, {born, "born", "Born", idtDate}}) {
    f->SetFieldName(n);
    f->SetDescr(d);
    f->SetDataType(t);
  }
  born->SetDateFormat("dd.mm.yyyy");

  TDataSchema* b = schemas.Add();
  b->SetSchemaName("sub");
  b->SetHasSettings(false);
  b->SetFirstRowIsHeader(true);
  TImportFieldDef* code = b->FieldsDef().Add();
  code->SetFieldName("code");
  code->SetStartOffset(1);
  code->SetLength(3);
  code->SetDataType(idtFloat);
  code->SetFloatFormat({3, U','});

  TSubSchemaLink* link = a->SubSchemaLinks().Add();
  link->SetField(name);
  link->SetFieldValue("A");
  link->SetDataSchema(b);
}

TEST(DataSchemas, SavesTheExactOneLineForm) {
  TDataSchemas schemas;
  BuildSample(schemas);
  const std::string expected =
      std::string(kDecl) +
      "<dataschemas><schema name=\"addr\" descr=\"Adressen\" fext=\"&#46;csv\" type=\"s\"  "
      "fs=\"&#59;\"  qo=\"&quot;\"  hs=\"1\" fih=\"0\" cfe=\"1\" uffd=\"1\" fur=\"1\" "
      "uid=\"&#123;X&#125;\" fgn=\"\"><dataformats><idtDate fmtstr=\"yyyymmdd\" /><idtFloat "
      "prec=\"2\" decsep=\"&#0;\" /></dataformats><fields><name descr=\"Name\" "
      "dt=\"idtString\" /><born descr=\"Born\" dt=\"idtDate\"><dataformats><idtDate "
      "fmtstr=\"dd&#46;mm&#46;yyyy\" /></dataformats></born></fields><subschemalinks><link "
      "fld=\"0\" fldval=\"A\" ds=\"1\" /></subschemalinks></schema><schema name=\"sub\" "
      "descr=\"\" fext=\"\" type=\"f\"  hs=\"0\" fih=\"1\" cfe=\"1\" uffd=\"1\" fur=\"1\" "
      "uid=\"\" fgn=\"\"><dataformats><idtDate fmtstr=\"yyyymmdd\" /><idtFloat prec=\"2\" "
      "decsep=\"&#0;\" /></dataformats><fields><code descr=\"\" so=\"1\" ln=\"3\" "
      "dt=\"idtFloat\"><dataformats><idtFloat prec=\"3\" decsep=\"&#44;\" "
      "/></dataformats></code></fields><subschemalinks></subschemalinks></schema></dataschemas>";
  EXPECT_EQ(schemas.SchemasToText(), expected);
}

// The saved text reads back into the same schemas: saving them again gives the same text, the
// links point at the loaded objects, and delimited fields read back without columns.
TEST(DataSchemas, RoundTripKeepsEverything) {
  TDataSchemas saved;
  BuildSample(saved);
  TStringStream stream;
  saved.SaveSchemasToStream(stream);

  TDataSchemas loaded;
  loaded.LoadSchemasFromStream(stream);
  EXPECT_EQ(loaded.SchemasToText(), saved.SchemasToText());
  TDataSchema* a = loaded.SchemaByName("addr");
  ASSERT_TRUE(a && loaded.SchemaByName("sub"));
  EXPECT_EQ(loaded.SchemaByFileExt(".csv"), a);
  EXPECT_EQ(loaded.SchemaByName("ADDR"), nullptr);
  EXPECT_TRUE(a->HasPreDefinedFields());
  EXPECT_EQ(a->FieldsDef().Items(0)->StartOffset(), -1);
  ASSERT_EQ(a->SubSchemaLinks().Count(), 1);
  EXPECT_EQ(a->SubSchemaLinks().Items(0)->DataSchema(), loaded.SchemaByName("sub"));
  EXPECT_EQ(a->SubSchemaLinks().Items(0)->Field(), a->FieldsDef().Items(0));
  // A field without its own formats uses the schema's.
  EXPECT_EQ(a->FieldsDef().ByName("name")->DateFormat(), "yyyymmdd");
  EXPECT_EQ(a->FieldsDef().ByName("born")->DateFormat(), "dd.mm.yyyy");
}

TEST(DataSchemas, EuroSignAndLongDescriptionThroughAFile) {
  test::TTempDir dir("tic");
  TDataSchemas saved;
  TDataSchema* s = saved.Add();
  s->SetSchemaName("money");
  s->SetDescr("Preis € <netto> & 'brutto'");
  TDataSchema* longOne = saved.Add();
  std::string longDescr;
  for (int i = 0; i < 30; ++i)
    longDescr += "Field " + std::to_string(i % 10) + "xyz";  // 10 characters each
  ASSERT_EQ(longDescr.size(), 300u);
  longOne->SetDescr(longDescr);
  TImportFieldDef* f = s->FieldsDef().Add();
  f->SetFieldName("Straße");  // element names are not escaped
  const std::string file = dir.File("money.tic");
  saved.SaveSchemasToFile(file);

  TMemoryStream raw;
  raw.LoadFromFile(file);
  const std::string bytes(raw.Memory(), static_cast<size_t>(raw.Size()));
  EXPECT_EQ(bytes.find('\n'), std::string::npos);  // one line
  EXPECT_NE(bytes.find("&#8364;"), std::string::npos);
  EXPECT_NE(bytes.find("<Stra\xDF\x65 "), std::string::npos);  // ANSI code page
  EXPECT_EQ(bytes.rfind(kDecl, 0), 0u);                        // no BOM

  TDataSchemas loaded;
  loaded.LoadSchemasFromFile(file);
  ASSERT_EQ(loaded.Count(), 2);
  // References above 255 read back as text, not as the character.
  EXPECT_EQ(loaded.Items(0)->Descr(), "Preis &#8364; <netto> & 'brutto'");
  EXPECT_EQ(loaded.Items(1)->Descr(), longDescr);
  EXPECT_EQ(loaded.Items(0)->FieldsDef().Items(0)->FieldName(), "Straße");
}

TEST(DataSchemas, AttributeQuirksOnLoad) {
  TDataSchemas schemas;
  LoadText(schemas, std::string(kDecl) +
                        "<dataschemas><schema name=\"q\" type=\"s\" fs=\"|\" qo=\"'x\" hs=\"yes\" "
                        "fih=\"1\"><fields><f so=\"abc\" ln=\"7\" dt=\"idtinteger\" /><g "
                        "dt=\"idtInteger\" /></fields><subschemalinks><link fld=\"zz\" /></"
                        "subschemalinks></schema><schema name=\"fixed\" type=\"S\" fs=\";\" "
                        "qo=\"'\"></schema></dataschemas>");
  ASSERT_EQ(schemas.Count(), 2);
  // The quote is the first character of qo; only "1" is true, an absent flag is false; type
  // names match exactly; "S" is not "s".
  const TDataSchema* q = schemas.Items(0);
  EXPECT_EQ(std::tuple(q->QuoteChar(), q->FieldSeparator(), q->HasSettings(), q->FirstRowIsHeader(),
                       q->CheckFileExt()),
            std::tuple(U'\'', "|", false, true, false));
  const TImportFieldsDef& f = q->FieldsDef();
  EXPECT_EQ(std::tuple(f.Items(0)->StartOffset(), f.Items(0)->Length(), f.Items(0)->DataType(),
                       f.Items(1)->DataType(), q->SubSchemaLinks().Items(0)->FieldIndex()),
            std::tuple(-1, 7, idtUnknown, idtInteger, -1));
  const TDataSchema* fixed = schemas.Items(1);
  EXPECT_EQ(std::tuple(fixed->SeparatedFile(), fixed->FieldSeparator(), fixed->QuoteChar(),
                       fixed->HasPreDefinedFields()),
            std::tuple(false, "", U'"', false));
}

TEST(DataSchemas, BadPrecisionEndsTheLoad) {
  TDataSchemas schemas;
  EXPECT_THROW(LoadText(schemas, std::string(kDecl) +
                                     "<dataschemas><schema name=\"p\"><dataformats><idtFloat "
                                     "prec=\"two\" decsep=\",\" /></dataformats></schema>"
                                     "</dataschemas>"),
               EConvertError);
}

TEST(DataSchemas, InvalidFormatMessage) {
  for (const char* text : {"", "just text", "<dataschemas/>", "<a></a>"}) {
    TDataSchemas schemas;
    try {
      LoadText(schemas, text);
      ADD_FAILURE() << "no exception for: " << text;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), "Exception");
      EXPECT_EQ(e.Message(), "Can't load ImportSchemas: invalid format!");
    }
  }
}

TEST(DataSchemas, WithoutDeclarationTheSchemasChildrenBecomeSchemas) {
  TDataSchemas schemas;
  LoadText(schemas,
           "<dataschemas><schema name=\"x\"><dataformats></dataformats><fields><f "
           "dt=\"idtString\" /></fields><subschemalinks></subschemalinks></schema></dataschemas>");
  ASSERT_EQ(schemas.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(schemas.Items(i)->SchemaName(), "");
    EXPECT_EQ(schemas.Items(i)->FieldsDef().Count(), 0);
  }
}

TEST(DataSchemas, OwnDecimalSeparatorAndEmptyDecsep) {
  TDataSchemas schemas;
  LoadText(schemas, std::string(kDecl) +
                        "<dataschemas><schema name=\"p\"><dataformats><idtDate fmtstr=\"ddmmyy\" "
                        "/><idtFloat prec=\"3\" decsep=\"\" /></dataformats><fields><a "
                        "dt=\"idtFloat\"><dataformats><idtFloat prec=\"1\" decsep=\",.\" "
                        "/></dataformats></a></fields></schema></dataschemas>");
  const TDataSchema* p = schemas.Items(0);
  EXPECT_EQ(p->DefaultDateFormat(), "ddmmyy");
  EXPECT_EQ(p->DefaultFloatFormat(), (TImportFloatFormat{3, 0}));
  EXPECT_EQ(p->FieldsDef().Items(0)->FloatFormat(), (TImportFloatFormat{1, U','}));
}

TEST(DataSchemas, AutoAddFieldsFromTheFirstLine) {
  test::TTempDir dir("tic");
  const std::string data = dir.Write("h.csv", "Name;\"Street; No\";City  \r\nA;B;C\r\n");
  TDataSchemas schemas;
  TDataSchema* s = schemas.Add();
  s->SetSeparatedFile(true);
  s->SetFieldSeparator(";");
  s->FieldsDef().Add()->SetFieldName("old");
  s->AutoAddFields(data);
  ASSERT_EQ(s->FieldsDef().Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(s->FieldsDef().Items(i)->FieldName(), "field" + std::to_string(i + 1));
    EXPECT_EQ(s->FieldsDef().Items(i)->DataType(), idtString);
  }
  EXPECT_EQ(s->FieldsDef().Items(1)->Descr(), "Street; No");
  EXPECT_EQ(s->FieldsDef().Items(2)->Descr(), "City  ");  // the line is not trimmed

  // An empty file clears the fields.
  s->AutoAddFields(dir.Write("empty.csv", ""));
  EXPECT_EQ(s->FieldsDef().Count(), 0);
  EXPECT_THROW(s->AutoAddFields(dir.File("missing.csv")), EFOpenError);

  // Predefined fields and fixed-width schemas are left alone.
  s->FieldsDef().Add()->SetFieldName("keep");
  s->SetHasPreDefinedFields(true);
  s->AutoAddFields(data);
  EXPECT_EQ(s->FieldsDef().Items(0)->FieldName(), "keep");
  s->SetHasPreDefinedFields(false);
  s->SetSeparatedFile(false);
  s->AutoAddFields(data);
  EXPECT_EQ(s->FieldsDef().Items(0)->FieldName(), "keep");
}

// Two files share one index space for links: ds 0 in the second file is the first schema of the
// first file, ds -1 links nothing. Alone, the second file points beyond the collection.
TEST(DataSchemas, SampleFilesLoadTogether) {
  const std::string head = test::DataFile("textimport/orders_head.tic");
  const std::string items = test::DataFile("textimport/orders_items.tic");
  TDataSchemas schemas;
  schemas.LoadSchemasFromFile(head);
  schemas.LoadSchemasFromFile(items);
  ASSERT_EQ(schemas.Count(), 3);
  const TDataSchema* orders = schemas.SchemaByName("orders");
  ASSERT_NE(orders, nullptr);
  ASSERT_EQ(orders->SubSchemaLinks().Count(), 3);
  EXPECT_EQ(orders->SubSchemaLinks().Items(0)->DataSchema(), schemas.SchemaByName("orders_head"));
  EXPECT_EQ(orders->SubSchemaLinks().Items(0)->Field(), orders->FieldsDef().Items(0));
  EXPECT_EQ(orders->SubSchemaLinks().Items(1)->DataSchema(), schemas.SchemaByName("orders_items"));
  EXPECT_EQ(orders->SubSchemaLinks().Items(2)->DataSchema(), nullptr);

  TDataSchemas alone;
  EXPECT_THROW(alone.LoadSchemasFromFile(items), EListError);
}

}  // namespace
}  // namespace vela
