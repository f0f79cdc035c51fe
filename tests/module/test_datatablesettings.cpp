// TDataTableSettings: which sections a master and a detail table read, the fallbacks and
// derived values, the lookup export modes, and the store file that remembers the last run.
#include <gtest/gtest.h>

#include "TestData.h"
#include "components/_DataTableSettings.h"
#include "rtl/FileUtils.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

std::unique_ptr<TMemIniFile> Ini(std::string_view text) {
  auto ini = std::make_unique<TMemIniFile>();
  ini->SetText(text);
  return ini;
}

std::unique_ptr<TDataTableSettings> Load(TMemIniFile& AConfig,
                                         TXMLPreProcessorFunction AFunction = pemImportTransformXML,
                                         bool ADetails = true) {
  auto s = TDataTableSettings::CreateInstance(nullptr, "", AFunction, nullptr);
  s->SetConfig(&AConfig);
  if (ADetails) s->LoadDetails();
  return s;
}

TEST(DataTableSettings, MasterAndDetailReadTheirOwnPrefixedSections) {
  auto ini =
      Ini("[VelaXML]\nPartName=ADDRESS\n"
          "[Mapping]\nNAME=name1\n"
          "[FilterExpressionsImport]\nCOUNTRY==DE\n"
          "[ProcessingOptions]\nkeyfields=ID\n"
          "[DetailParts]\nOrders=1\nNotes=1\n"
          "[Orders_VelaXML]\nPartName=ORDER\nItemName=ORDERROW\n"
          "[Orders_Mapping]\nORDERNO=no\n"
          "[Orders_FilterExpressionsImport]\nSTATE=notempty\nTOTAL=>=100\n"
          "[Orders_ProcessingOptions]\nkeylocatemode=2\nkeyfields=ORDERNO\ndetailmode=3\n"
          "[Notes_VelaXML]\nPartName=NOTE\n");
  auto master = Load(*ini);

  EXPECT_TRUE(master->IsMaster());
  EXPECT_EQ(master->XMLRowName(), "ADDRESS_item");
  EXPECT_EQ(master->Mapping().Values("name"), "name1");
  EXPECT_EQ(master->FilterExpressions().Count(), 1);
  EXPECT_EQ(master->RecordLocateMode(), rlmKeyFields);  // keyfields without keylocatemode
  EXPECT_EQ(master->DetailMode(), dmMaster);
  ASSERT_EQ(master->DetailDataTablesCount(), 2);

  TDataTableSettings& orders = master->GetDetailDataTables(0);
  EXPECT_FALSE(orders.IsMaster());
  EXPECT_EQ(orders.Parent(), master.get());
  EXPECT_EQ(orders.XMLPartName(), "ORDER");
  EXPECT_EQ(orders.XMLRowName(), "ORDERROW");
  EXPECT_EQ(orders.Mapping().Count(), 1);
  EXPECT_EQ(orders.Mapping().Names(0), "ORDERNO");
  EXPECT_EQ(orders.FilterExpressions().Count(), 2);
  EXPECT_EQ(orders.FilterExpressions().GetItem(1).Index(), -1);
  EXPECT_EQ(orders.RecordLocateMode(), rlmFirstRecordOnly);  // keylocatemode wins over keyfields
  EXPECT_EQ(orders.DetailMode(), dmAfterMaster);
  EXPECT_EQ(master->GetDetailDataTables(1).DetailMode(), dmSubDetail);  // the default

  // Found by the VelaXML part name, not by the "DetailParts" name.
  EXPECT_EQ(master->GetDetailDataTableByPartName("ORDER"), &orders);
  EXPECT_EQ(master->GetDetailDataTableByPartName("Orders"), nullptr);
  EXPECT_EQ(master->GetDetailDataTableByPartName("order"), nullptr);
}

TEST(DataTableSettings, ConstantValuesFallBackToTheUnsuffixedSectionOnImportOnly) {
  const char* text = "[VelaXML]\nPartName=P\n[ConstantValues]\nSOURCE=shop\n";
  auto ini = Ini(text);
  EXPECT_EQ(Load(*ini, pemImportTransformXML)->ConstValues().Values("SOURCE"), "shop");
  EXPECT_EQ(Load(*ini, pemExportTransformXML)->ConstValues().Count(), 0);

  auto both = Ini(std::string(text) + "[ConstantValuesExport]\nSOURCE=erp\n");
  EXPECT_EQ(Load(*both, pemExportSAXWriter)->ConstValues().Values("SOURCE"), "erp");
  EXPECT_EQ(Load(*both, pemImportTransformXML)->ConstValues().Values("SOURCE"), "shop");
}

TEST(DataTableSettings, MissingPartNameIsRefused) {
  auto ini = Ini("[VelaXML]\nItemName=x\n[DetailParts]\nD=1\n[D_VelaXML]\nPartName=\n");
  EXPECT_EQ(RaisedText([&] { Load(*ini); }),
            "Exception: PartName for VelaXML not found in configuration!");

  auto detail = Ini("[VelaXML]\nPartName=M\n[DetailParts]\nD=1\n");
  EXPECT_EQ(RaisedText([&] { Load(*detail); }),
            "Exception: PartName for VelaXML not found in configuration!");
}

TEST(DataTableSettings, GlobalFlagsAreReadFromTheConfigurationEachTime) {
  auto ini = Ini("[VelaXML]\nPartName=P\n[DB]\nOnlyChanged=1\nLastChangedParamName=since\n");
  auto s = Load(*ini);
  EXPECT_TRUE(s->OnlyChanged());
  EXPECT_FALSE(s->OnlyThisPlace());
  EXPECT_EQ(s->LastChangedParamName(), "since");
  ini->WriteString("DB", "OnlyThisPlace", "1");
  ini->WriteString("Settings", "ImportPreview", "1");
  EXPECT_TRUE(s->OnlyThisPlace());
  EXPECT_TRUE(s->ImportPreview());
}

TEST(DataTableSettings, BinaryOptionsAndAttachmentFolder) {
  test::TTempDir dir("vela_settings");
  const std::string root = dir.Path.string();
  SetApplicationFolder(root);
  auto ini =
      Ini("[VelaXML]\nPartName=P\n"
          "[ProcessingOptions]\nbinaryhandlingmode=file\nsourcebinaryencoding=base64\n"
          "binaryattachementpath=$app$/att/sub\n"
          "[DetailParts]\nD=1\n[D_VelaXML]\nPartName=D\n"
          "[D_ProcessingOptions]\nbinaryhandlingmode=1\n");
  auto s = TDataTableSettings::CreateInstance(nullptr, "", pemImportTransformXML, nullptr);
  s->SetInFile(root + "/in/orders.csv");
  s->SetConfig(ini.get());
  s->LoadDetails();
  EXPECT_EQ(s->BinaryHandlingMode(), xbhFile);
  EXPECT_EQ(s->SourceBinaryDataEncoding(), xdeBase64);
  EXPECT_EQ(s->BinaryAttachementPath(), root + "/att/sub/");
  EXPECT_TRUE(DirectoryExists(root + "/att/sub"));
  // A detail without a folder takes its master's input file's folder.
  EXPECT_EQ(s->GetDetailDataTables(0).InFile(), root + "/in/orders.csv");
  EXPECT_EQ(s->GetDetailDataTables(0).BinaryAttachementPath(), root + "/in/");
  SetApplicationFolder("");
}

TEST(DataTableSettings, LookupExportModes) {
  auto ini =
      Ini("[VelaXML]\nPartName=P\n"
          "[LookupFieldMode]\nCountry=3\nGroup=nosuchmode\nOwner=1\n"
          "[LookupFieldMode_Owner]\nLookupFieldName=LOGIN\n");
  auto s = Load(*ini);
  struct {
    const char* field;
    bool found;
    int mode;
    const char* custom;
  } cases[] = {{"Country", true, 3, "keep"},
               {"Group", true, 0, "keep"},
               {"Owner", true, 1, "LOGIN"},
               {"country", false, 9, "keep"}};  // names compare exactly
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    auto mode = static_cast<TLookupFieldValueMode>(9);
    std::string custom = "keep";
    EXPECT_EQ(s->LookupExportModes().QueryExportMode(c.field, mode, custom), c.found);
    EXPECT_EQ(static_cast<int>(mode), c.mode);
    EXPECT_EQ(custom, c.custom);
  }

  auto twice = Ini("[VelaXML]\nPartName=P\n[LookupFieldMode]\nA=1\nA=2\n");
  EXPECT_THROW(Load(*twice), EListError);
}

TEST(DataTableSettings, StoreFileIsWrittenOnlyWhenSomethingWasWritten) {
  test::TTempDir dir("vela_settings");
  const std::string root = dir.Path.string();
  const std::string config = "[VelaXML]\nPartName=P\nUID=shop/orders\nStorePath=" + root +
                             "/store\n[DetailParts]\nD=1\n[D_VelaXML]\nPartName=D\n";
  const std::string file = root + "/store/shop_orders.store";
  auto ini = Ini(config);
  {
    auto s = Load(*ini);
    EXPECT_EQ(s->LastChangedDate(), MinDateTime);
  }
  EXPECT_FALSE(FileExists(file));

  const TDateTime when = EncodeDateTime(2026, 12, 6, 10, 30, 0, 0);
  {
    auto s = Load(*ini);
    s->SetLastChangedDate(when);
    s->GetDetailDataTables(0).SetLastChangedDate(when + 1);
  }
  ASSERT_TRUE(FileExists(file));
  auto s = Load(*ini);
  EXPECT_EQ(s->LastChangedDate(), when);
  EXPECT_EQ(s->GetDetailDataTables(0).LastChangedDate(), when + 1);
  EXPECT_EQ(s->ConfigStore().ReadString("D_DB", "LastChangedDate", "").empty(), false);

  // Neither UID nor Application: the store lives in memory only.
  auto anon = Ini("[VelaXML]\nPartName=P\nStorePath=" + root + "/anon\n");
  {
    auto a = Load(*anon);
    a->SetLastChangedDate(when);
    EXPECT_TRUE(a->ConfigStore().FileName().empty());
  }
  EXPECT_FALSE(DirectoryExists(root + "/anon"));
}

}  // namespace
}  // namespace vela
