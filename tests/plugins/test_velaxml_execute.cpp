// VelaXML import and export execution against part handlers that record what they are asked:
// the order of the handler calls, records and nested child records with their fields, skipped
// parts, attribute overrides, every failure path, post-processing actions, wildcards,
// pre-processors, and the export's frame, file name macros and temporary files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "PartHandlerDouble.h"
#include "TestData.h"
#include "host/GlobalFunctions.h"
#include "host/MainInterface.h"
#include "plugins/_VelaXMLExportExecute.h"
#include "plugins/_VelaXMLImportExecute.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoders.h"

namespace vela::test {
namespace {

namespace fs = std::filesystem;

std::string StoreText(const TXMLDataStore& AStore) {
  std::string text;
  for (int i = 0; i < AStore.Count(); ++i) {
    const TXMLDataStoreItem& item = AStore.GetItem(i);
    if (i) text += ";";
    text += item.Name() + "=" + item.Value();
    if (item.DataEncoding() != xdeNone)
      text += std::string("[") + XMLDataEncodingToStr(item.DataEncoding()) + "/" +
              std::to_string(item.CodePage()) + "]";
  }
  return text;
}

struct THandlerSetup {
  bool BeginOk = true;
  int FailAtItem = -1;  // ImportItem number (from 1) that returns false
  std::string ErrorText;
};

class TRecordingHandler : public TPartHandlerDouble {
 public:
  TRecordingHandler(std::string AIdent, std::vector<std::string>& ALog, THandlerSetup ASetup)
      : TPartHandlerDouble(std::move(AIdent)), FLog(ALog), FSetup(std::move(ASetup)) {}
  bool ImportItem(const std::string& AName, TXMLDataStore& AStore) override {
    FLog.push_back("item " + AName + " <" + AStore.ParentName() + "> " + StoreText(AStore));
    return ++FItems != FSetup.FailAtItem;
  }
  void EndPartTag(const std::string& AName) override { FLog.push_back("endtag " + AName); }
  bool BeginPart(TXMLDataStore& AAttrs, IXMLImportProcessor* AProcessor) override {
    std::string publisher;
    for (const auto& value : StringListDataToVector(AProcessor->Get_Publisher().get()))
      publisher += value + ",";
    FLog.push_back("begin " + FIdent + " " + StoreText(AAttrs) + " | " + publisher +
                   AProcessor->Get_Application() + "/" + std::to_string(AProcessor->Get_Version()));
    FItems = 0;
    return FSetup.BeginOk;
  }
  void EndPart() override { FLog.push_back("end " + FIdent); }
  std::string GetLastErrorText() override { return FSetup.ErrorText; }
  void EndItem(const std::string& AName) override { FLog.push_back("enditem " + AName); }
  bool CanExport() override { return FIdent != "noexport"; }
  bool ExportPart(IVelaXMLWriter* AWriter, bool) override {
    FLog.push_back("export " + FIdent);
    AWriter->StartElement(FIdent, nullptr, xdeNone, xdeNone, xbhInline, 0);
    AWriter->EndElement(FIdent);
    return true;
  }

 private:
  std::vector<std::string>& FLog;
  THandlerSetup FSetup;
  int FItems = 0;
};

// Handlers for "customers", "orders", "noexport" and "b"; every other part is unknown.
class TRecordingContainer : public TInterfacedObject, public IVelaXMLPartHandlerContainer {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLPartHandlerContainer)

 public:
  TRecordingContainer(std::vector<std::string>& ALog, THandlerSetup ASetup)
      : FLog(ALog), FSetup(std::move(ASetup)) {}
  int32_t GetPartCount() override { return 4; }
  IPtr<IXMLImportPartHandler> GetPart(int32_t) override { return nullptr; }
  IPtr<IXMLImportPartHandler> GetPartByIndent(const std::string& AIdent) override {
    for (const char* known : {"customers", "orders", "noexport", "b"})
      if (AIdent == known)
        return IPtr<IXMLImportPartHandler>(new TRecordingHandler(AIdent, FLog, FSetup));
    return nullptr;
  }

 private:
  std::vector<std::string>& FLog;
  THandlerSetup FSetup;
};

class VelaXMLExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override { UseHandlers({}); }
  void TearDown() override {
    SetVelaXMLImportContainerFactory(nullptr);
    TVelaGlobalFunctions::Instance().Unregister("RecordArgs");
  }
  void UseHandlers(THandlerSetup ASetup) {
    SetVelaXMLImportContainerFactory([this, ASetup](IMainInterface*) {
      return IPtr<IVelaXMLPartHandlerContainer>(new TRecordingContainer(FLog, ASetup));
    });
  }
  // Imports a document held in memory.
  void Import(const std::string& ADocument, IPtr<IXMLPreProcessor> APreProcessor = nullptr,
              const std::string& AParam = {}) {
    IPtr<TXMLImportExecuteObj> obj(new TXMLImportExecuteObj());
    obj->FBinData = ADocument;
    obj->FPreProcessorIntf = APreProcessor;
    obj->FPreProcessorParam = AParam;
    obj->FPreProcessorParamFmt = xmpRAW;
    for (const auto& [name, value] : FOverrides)
      obj->AddPartVarOverride(name, value);
    obj->Execute(FMain.get(), nullptr);
  }
  std::string WriteFile(const std::string& AName, const std::string& AText) {
    std::ofstream(FDir.File(AName), std::ios::binary) << AText;
    return FDir.File(AName);
  }

  TTempDir FDir{"vela_vxexec"};
  IPtr<IMainInterface> FMain{new TVelaMainInterface(FDir.Path.string())};
  std::vector<std::string> FLog;
  std::vector<std::pair<std::string, std::string>> FOverrides;
};

TEST_F(VelaXMLExecuteTest, RecordsChildRecordsAndSkippedPartsReachTheHandlersInDocumentOrder) {
  Import(
      "<velaxmldata application=\"shop\" version=\"7\"><publisher name=\"A\" id=\"1\"/>"
      "<unknown><customers><row/></customers></unknown>"
      "<customers mode=\"x\"><row id=\"1\"><name velaxmldataencoding=\"text\">Ann</name> noise "
      "<city velaxmldataencoding=\"base64\" velaxmlcodepage=\"abc\">Q29s</city>"
      "<orders><row><item velaxmldataencoding=\"text\" velaxmlcodepage=\"1252\">Bolts</item>"
      "<pos><n velaxmldataencoding=\"text\">1</n></pos></row></orders></row>"
      "<trailer/></customers></velaxmldata>");
  const std::vector<std::string> expected = {
      "begin customers mode=x | A,1,shop/7",
      "item row <> id=1;name=Ann[text/0];city=Q29s[base64/0]",
      "item orders <row> ",
      "item row <orders> item=Bolts[text/1252]",
      "item pos <row> n=1[text/0]",
      "enditem row",
      "item trailer <> ",
      "enditem trailer",
      "end customers"};
  EXPECT_EQ(FLog, expected);
}

TEST_F(VelaXMLExecuteTest, PartAttributeOverridesReplaceAndExtendThePartsAttributes) {
  FOverrides = {{"mode", "sync"}, {"keyfields", "name"}};
  Import("<velaxmldata><customers mode=\"x\" a=\"1\"/></velaxmldata>");
  ASSERT_FALSE(FLog.empty());
  EXPECT_EQ(FLog[0], "begin customers mode=sync;a=1;keyfields=name | /0");
}

TEST_F(VelaXMLExecuteTest, FailuresRaiseTheirErrorAndCloseTheOpenPartOnce) {
  const struct {
    const char* Name;
    THandlerSetup Setup;
    const char* Document;
    const char* Class;    // expected exception class; "" for success
    const char* Message;  // expected message (prefix for parser errors)
    int EndParts;
  } cases[] = {
      {"refused part",
       {false, -1, "no access"},
       "<velaxmldata><customers/></velaxmldata>",
       "EVelaXMLImportError",
       "no access",
       1},
      {"refused part without text",
       {false, -1, ""},
       "<velaxmldata><customers/></velaxmldata>",
       "EAbort",
       "",
       1},
      {"refused record",
       {true, 2, "bad row"},
       "<velaxmldata><customers><row/><row/><row/></customers></velaxmldata>",
       "EVelaXMLImportError",
       "bad row",
       1},
      {"debug attribute",
       {},
       "<velaxmldata><customers DebugVelaXMLImportException=\"1\"><row/></customers></velaxmldata>",
       "EVelaXMLImportErrorTest",
       "VelaXML Import Error Test Exception for debug purpose.",
       1},
      {"broken document",
       {},
       "<velaxmldata><customers><row></customers></velaxmldata>",
       "EVelaXMLParserError",
       "mismatched tag at line 1 column ",
       1},
      {"unknown redirection",
       {},
       "<velaxmldata><velaxmldestination handler=\"other\"/><customers/></velaxmldata>",
       "EVelaXMLImportError",
       "Unknown Import-Redirect-Handler: 'other'!",
       0},
      {"other XML",
       {},
       "<html><customers/></html>",
       "EVelaXMLImportError",
       "The document is no VelaXML document: its root element is 'html', not 'velaxmldata'",
       0},
      {"post-processing text not in its encoding",
       {},
       "<velaxmldata><customers/><velaxmlpostprocess velaxmldataencoding=\"hex\">zz"
       "</velaxmlpostprocess></velaxmldata>",
       "EVelaXMLImportError",
       "Invalid parameters of a velaxmlpostprocess element: ",
       1},
      {"empty redirection handler",
       {},
       "<velaxmldata><velaxmldestination handler=\"\"/><customers/></velaxmldata>",
       "",
       "",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FLog.clear();
    UseHandlers(c.Setup);
    std::string cls, message;
    try {
      Import(c.Document);
    } catch (const Exception& E) {
      cls = E.ClassName();
      message = E.what();
    }
    EXPECT_EQ(cls, c.Class);
    EXPECT_EQ(message.substr(0, std::string(c.Message).size()), c.Message);
    EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "end customers"), c.EndParts);
  }
}

TEST_F(VelaXMLExecuteTest, PostProcessingActionsRunByRunTypeWithTheirDecodedParameters) {
  std::vector<std::string> calls;
  TVelaGlobalFunctions::Instance().Register("RecordArgs", {}, [&](const std::vector<Variant>& a) {
    std::string line;
    for (const auto& v : a)
      line += VarToStr(v) + "|";
    calls.push_back(line);
    return Variant(true);
  });
  const std::string actions =
      "<velaxmlpostprocess command=\"RecordArgs\">$IMPORTFILENAME$-x\nsecond</velaxmlpostprocess>"
      "<velaxmlpostprocess command=\"RecordArgs\" runtype=\"error\">failed</velaxmlpostprocess>"
      "<velaxmlpostprocess command=\"RecordArgs\" runtype=\"success\" "
      "velaxmldataencoding=\"base64\">" +
      Base64Encode("ok\nlines") + "</velaxmlpostprocess>";
  const struct {
    const char* Name;
    THandlerSetup Setup;
    std::vector<std::string> Calls;
  } cases[] = {
      {"success", {}, {"-x|second|", "ok|lines|"}},
      {"failure", {true, 1, "bad"}, {"-x|second|", "failed|"}},
      {"cancel", {false, -1, ""}, {"-x|second|", "ok|lines|"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    calls.clear();
    UseHandlers(c.Setup);
    try {
      Import("<velaxmldata>" + actions + "<customers><row/></customers></velaxmldata>");
    } catch (const std::exception&) {
    }
    EXPECT_EQ(calls, c.Calls);
  }

  // A system script is unknown to this host: an error unless the action ignores errors, and it
  // replaces no success.
  UseHandlers({});
  try {
    Import(
        "<velaxmldata><velaxmlpostprocess systemscriptmethode=\"Run\" "
        "systemscriptcontext=\"Ctx\"/></velaxmldata>");
    ADD_FAILURE() << "the unknown system script was not reported";
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(),
                 "PostProcessAction failed, systemscript 'Run' not found on context 'Ctx'");
  }
  EXPECT_NO_THROW(
      Import("<velaxmldata><velaxmlpostprocess systemscriptmethode=\"Run\" "
             "ignoreerror=\"1\"/></velaxmldata>"));

  // A system script of the application folder gets the parameter lines as a table.
  fs::create_directories(FDir.Path / "custom/scripts");
  std::ofstream(FDir.File("custom/scripts/post.lua"))
      << "function Done(p) local f = assert(io.open('done.txt', 'w')) f:write(p.a .. p.b) "
         "f:close() end";
  Import(
      "<velaxmldata><velaxmlpostprocess systemscriptmethode=\"Done\" "
      "systemscriptcontext=\"post\">a=1\nb=$IMPORTFILENAME$x</velaxmlpostprocess></velaxmldata>");
  std::ifstream done(FDir.File("done.txt"));
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(done)), {}), "1x");
}

TEST_F(VelaXMLExecuteTest, WildcardImportsEveryFileAndNamesEachBrokenOne) {
  WriteFile("a.xml", "<velaxmldata><customers><row/></customers></velaxmldata>");
  WriteFile("b.xml", "<velaxmldata><customers><row>");
  WriteFile("c.xml", "<velaxmldata><customers><row/></customers></velaxmldata>");
  WriteFile("d.txt", "not a document");
  try {
    RunXMLImport(FMain.get(), FDir.File("*.xml"), {}, {}, xmpFile, nullptr, true, nullptr);
    ADD_FAILURE() << "the broken file was not reported";
  } catch (const EVelaXMLImportError& E) {
    const std::string message = E.what();
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_TRUE(message.ends_with(" on file '" + FDir.File("b.xml") + "'")) << message;
  }
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "end customers"), 3);  // b's part was closed too
  EXPECT_EQ(std::count(FLog.begin(), FLog.end(), "enditem row"), 2);

  FLog.clear();
  EXPECT_NO_THROW(
      RunXMLImport(FMain.get(), FDir.File("*.none"), {}, {}, xmpFile, nullptr, true, nullptr));
  EXPECT_TRUE(FLog.empty());
}

// Turns "name,name" into a document with one empty part per name; fails as configured.
class TListPreProcessor : public TInterfacedObject, public IXMLPreProcessor {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessor)

 public:
  bool Do_PreConvert(IDataStream* AInData, IDataStream* AOutData, const std::string& Params,
                     TXMLPreProcessorFmt AInFmt, TXMLPreProcessorFmt, IMainInterface*,
                     IXMLPreProcessorHost*, TXMLPreProcessorFunction AFunction,
                     IVelaXMLPartHandlerContainer*, bool, INamedVariantListData*,
                     std::string& ErrorMessage, bool& AUserMessageError) noexcept override {
    if (Params.starts_with("fail:")) {
      ErrorMessage = Params.substr(5);
      AUserMessageError = true;
      return false;
    }
    std::string input(static_cast<size_t>(AInData->Get_Size()), '\0');
    AInData->Read(input.data(), static_cast<int64_t>(input.size()));
    std::string doc = "<velaxmldata>";
    for (const auto& name : SplitString(input, ","))
      doc += "<" + name + " from=\"" + (AInFmt == xmpRAW ? "raw" : "file") + "\"/>";
    doc += "</velaxmldata>";
    AOutData->Write(doc.data(), static_cast<int64_t>(doc.size()));
    return AFunction == pemImportTransformXML;
  }
  IPtr<IStringListData> Get_ValidFileExt() noexcept override { return NewStringListData(); }
  std::string Get_Caption() noexcept override { return {}; }
  bool Get_CanUseByUser() noexcept override { return true; }
  TXMLPreProcessorFunctionSet Get_FunctionSet() noexcept override {
    return {pemImportTransformXML};
  }
  TVelaXLPreProcessorOptionSet Get_Options() noexcept override { return {}; }
  bool Get_FieldList(const std::string&, TXMLPreProcessorFmt, IDataStream*, TXMLPreProcessorFmt,
                     bool, IPtr<IStringListData>&, std::string&,
                     const std::string&) noexcept override {
    return false;
  }
  bool Do_ConfigureXMLWriter(IVelaXMLWriter*, const std::string&, TXMLPreProcessorFmt,
                             std::string&) noexcept override {
    return true;
  }
  TConverterConfigType Get_ConverterConfigType() noexcept override { return {}; }

 private:
  static std::vector<std::string> SplitString(const std::string& s, const std::string& sep) {
    std::vector<std::string> parts;
    size_t start = 0, pos;
    while ((pos = s.find(sep, start)) != std::string::npos) {
      parts.push_back(s.substr(start, pos - start));
      start = pos + sep.size();
    }
    parts.push_back(s.substr(start));
    return parts;
  }
};

TEST_F(VelaXMLExecuteTest, APreProcessorTurnsTheSourceIntoTheDocument) {
  IPtr<IXMLPreProcessor> pre(new TListPreProcessor());
  Import("b,customers", pre, "ok");
  EXPECT_EQ(FLog, (std::vector<std::string>{"begin b from=raw | /0", "end b",
                                            "begin customers from=raw | /0", "end customers"}));
  try {
    Import("b", pre, "fail:the source is empty");
    ADD_FAILURE();
  } catch (const EVelaXMLImportError& E) {
    EXPECT_STREQ(E.what(), "the source is empty");
    EXPECT_TRUE(E.IsUserMessage());
  }
  EXPECT_THROW(Import("b", pre, "fail:"), EAbort);

  IPtr<TXMLImportExecuteObj> obj(new TXMLImportExecuteObj());
  obj->FBinData = "<velaxmldata/>";
  obj->FPreProcessorDLL = "missing-library.vxp";
  try {
    obj->Execute(FMain.get(), nullptr);
    ADD_FAILURE();
  } catch (const EVelaXMLImportError& E) {
    EXPECT_STREQ(E.what(), "PreProcessor 'missing-library.vxp' not found!");
  }
}

TEST_F(VelaXMLExecuteTest, ExportWritesTheExportablePartsUnderTheExpandedNameAndLeavesNoTempFiles) {
  const std::string temp = FDir.File("tmp");
  fs::create_directories(temp);
  const char* savedTmp = std::getenv("TMPDIR");
  const std::string saved = savedTmp ? savedTmp : "";
  setenv("TMPDIR", temp.c_str(), 1);

  TVelaXMLExportExecuteObj exp;
  exp.FExportParts.SetText("customers\nunknown\nnoexport\nb");
  exp.FApplicationCaption = "Shop";
  exp.Execute(FMain.get(), FDir.File("out_%DATE%%NOSUCHMACRO%.xml"));
  const std::string out = FDir.File("out_" + FormatDateTime("yyyymmdd", Now()) + ".xml");
  ASSERT_TRUE(fs::exists(out));
  std::ifstream in(out);
  const std::string doc((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(doc.find("application=\"Shop\""), std::string::npos) << doc;
  EXPECT_NE(doc.find("<customers/><b/></velaxmldata>"), std::string::npos) << doc;
  EXPECT_EQ(FLog, (std::vector<std::string>{"export customers", "export b"}));
  EXPECT_EQ(VarToStr(exp.FOptions->ValueByName("OriginalDestination")), out);
  // The installation keeps its identity from one export to the next.
  const std::string source = VelaXMLDBInstanceSource(FMain.get());
  EXPECT_NE(doc.find("installation=\"" + source + "\""), std::string::npos);

  // A target that cannot be written fails with the reason, and no temporary file stays.
  TVelaXMLExportExecuteObj bad;
  bad.FExportParts.SetText("customers");
  try {
    bad.Execute(FMain.get(), FDir.File("no/such/folder/out.xml"));
    ADD_FAILURE();
  } catch (const EVelaXMLImportError& E) {
    EXPECT_NE(std::string(E.what()).find("no/such/folder/out.xml"), std::string::npos);
    EXPECT_NE(std::string(E.what()).find("No such file or directory"), std::string::npos);
  }
  EXPECT_TRUE(fs::is_empty(temp));
  if (savedTmp)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

}  // namespace
}  // namespace vela::test
