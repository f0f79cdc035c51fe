// The module's script bindings: the vocabulary from the declaration data, var parameters coming
// back as results, the two Get_FunctionSet methods, argument errors that name the method, and the
// variable DataimportModule for as long as the main data module lives.
#include <gtest/gtest.h>

#include "host/PluginLoader.h"
#include "module/_ExtFuncDataImportDefRTTIFunctions.h"
#include "plugins/_ExtFuncDataImportIntf.h"
#include "rtl/SysUtils.h"

namespace vela {
namespace {

// Progress: the handle is twice the record count; from record 5 on the user has cancelled.
class THostDouble : public TInterfacedObject, public IXMLPreProcessorHost {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessorHost)
 public:
  bool Do_PreviewData(IXMLPreProcessorPreviewDataSource*,
                      IPtr<IXMLPreProcessorImportInfo>& AImportInfo) noexcept override {
    AImportInfo = nullptr;
    return true;
  }
  void Do_ProgressStart(int32_t ARecordCount, int32_t& AProgressHandle) noexcept override {
    AProgressHandle = ARecordCount * 2;
  }
  void Do_Progress(int32_t, int32_t ARecNo, int32_t, bool& AAborted) noexcept override {
    AAborted = AAborted || ARecNo >= 5;
  }
  void Do_ProgressEnd(int32_t AProgressHandle) noexcept override { Ended = AProgressHandle; }
  int32_t Ended = -1;
};

class TPreProcDouble : public TInterfacedObject, public IXMLPreProcessor {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessor)
 public:
  bool Do_PreConvert(IDataStream* AInData, IDataStream* AOutData, const std::string& Params,
                     TXMLPreProcessorFmt, TXMLPreProcessorFmt, IMainInterface*,
                     IXMLPreProcessorHost*, TXMLPreProcessorFunction, IVelaXMLPartHandlerContainer*,
                     bool, INamedVariantListData* AOptions, std::string& ErrorMessage,
                     bool& AUserMessageError) noexcept override {
    // Copies the input behind the parameter text and the option "x".
    std::string data(static_cast<size_t>(AInData->Get_Size()), '\0');
    AInData->Read(data.data(), AInData->Get_Size());
    const std::string out = Params + ":" + data + ":" + AOptions->ValueByName("x").AsString();
    AOutData->Write(out.data(), static_cast<int64_t>(out.size()));
    ErrorMessage = "converted";
    AUserMessageError = true;
    return true;
  }
  IPtr<IStringListData> Get_ValidFileExt() noexcept override { return NewStringListData({".x"}); }
  std::string Get_Caption() noexcept override { return "double"; }
  bool Get_CanUseByUser() noexcept override { return true; }
  TXMLPreProcessorFunctionSet Get_FunctionSet() noexcept override { return {pemExportSAXWriter}; }
  TVelaXLPreProcessorOptionSet Get_Options() noexcept override {
    return {ppoHasFixedFieldList, ppoSupportsDataPreview};
  }
  bool Get_FieldList(const std::string& AParams, TXMLPreProcessorFmt AParamsFmt, IDataStream*,
                     TXMLPreProcessorFmt, bool, IPtr<IStringListData>& AFieldList,
                     std::string& ErrorMessage, const std::string&) noexcept override {
    AFieldList = NewStringListData({AParams, IntToStr(AParamsFmt)});
    ErrorMessage = "none";
    return true;
  }
  bool Do_ConfigureXMLWriter(IVelaXMLWriter*, const std::string&, TXMLPreProcessorFmt,
                             std::string&) noexcept override {
    return false;
  }
  TConverterConfigType Get_ConverterConfigType() noexcept override { return vxpCSV; }
};

class TInstanceDouble : public TInterfacedObject, public IVelaXMLPreProcessorInstance {
  VELA_INTERFACES(TInterfacedObject, IVelaXMLPreProcessorInstance)
 public:
  TXMLPreProcessorFunctionSet Get_FunctionSet() override {
    return {pemImportTransformXML, pemExportTransformXML};
  }
  IPtr<IXMLPreProcessor> Do_CreatePreProc() override {
    return MakeIntf<TPreProcDouble, IXMLPreProcessor>();
  }
};

class ScriptBindings : public ::testing::Test {
 protected:
  void SetUp() override {
    FHost = IPtr<THostDouble>(new THostDouble);
    auto& e = FEngine;
    e.SetGlobalObject("host", IPtr<IInterface>(static_cast<IXMLPreProcessorHost*>(FHost.get())),
                      e.FindClass("DIXMLPreProcessorHost"));
    e.SetGlobalObject("inst", MakeIntf<TInstanceDouble, IInterface>(),
                      e.FindClass("DIVelaXMLPreProcessorInstance"));
  }
  std::vector<Variant> Run(const std::string& text) { return FEngine.DoText(text, "test"); }
  // The error of a script that must fail.
  std::string Error(const std::string& text) {
    try {
      Run(text);
    } catch (const EScriptError& e) {
      return e.Message();
    }
    return "(no error)";
  }

  TScriptEngine FEngine;
  IPtr<THostDouble> FHost;
};

TEST(ScriptDeclarations, ParsesModesTypesAndDefaults) {
  const TDIMethodDecl m = ParseDIDeclaration(
      "function F(const A: String ;var B, C: Integer ; D: TVXCAction= vxcExport ;const E: "
      "DIStringListData=nil ; G: String= 'x'): TVXCActionSet;");
  EXPECT_TRUE(m.IsFunction);
  EXPECT_EQ(m.Name, "F");
  ASSERT_EQ(m.Params.size(), 6u);
  std::string shape;
  for (const TDIParam& p : m.Params)
    shape += p.Name + (p.IsVar() ? "&" : "") + ":" + std::to_string(static_cast<int>(p.Kind)) +
             (p.HasDefault ? "=" + p.Default : "") + " ";
  EXPECT_EQ(shape, "A:3 B&:0 C&:0 D:5=vxcExport E:7=nil G:3='x' ");
  EXPECT_EQ(m.ResultKind, TDITypeKind::Set);
  // B and C are var parameters: A alone must be given.
  EXPECT_EQ(m.RequiredArgs, 1);
  EXPECT_FALSE(ParseDIDeclaration("procedure P;").IsFunction);
  for (const char* bad : {"function F(A: Integer;", "method M;", "procedure P(A Integer);",
                          "function F: Integer; extra"})
    EXPECT_THROW(ParseDIDeclaration(bad), EScriptError) << bad;
}

// Generated from the declaration data: every class and method is registered, bound to an
// invoker, and every enumeration and set value is a global with its ordinal.
TEST_F(ScriptBindings, EveryDeclaredClassMethodAndValueIsReachable) {
  size_t methods = 0;
  for (const TDIClassDecl& c : DIClassDecls()) {
    const TScriptClass* cls = FEngine.FindClass(c.Name);
    ASSERT_NE(cls, nullptr) << c.Name;
    EXPECT_EQ(c.Name, "D" + c.InterfaceName);
    EXPECT_TRUE(cls->HasIID && cls->IID == c.IID) << c.Name;
    EXPECT_EQ(cls->Parent, FEngine.FindClass("DIInterface")) << c.Name;
    for (const TDIMethodDecl& m : c.Methods) {
      ++methods;
      EXPECT_NE(cls->FindMethod(UpperCase(m.Name)), nullptr) << c.Name << "." << m.Name;
      EXPECT_NE(FindDIInvoker(c.Name, m.Name), nullptr) << c.Name << "." << m.Name;
      for (const TDIParam& p : m.Params) {
        if (p.Kind == TDITypeKind::Object) {
          EXPECT_NE(FEngine.FindClass(p.TypeName), nullptr) << m.Declaration;
        }
      }
    }
  }
  // The module's 13 interfaces with 109 methods between them.
  EXPECT_EQ(DIClassDecls().size(), 13u);
  EXPECT_EQ(methods, 109u);
  for (const TDIEnumDecl& e : DIEnumDecls())
    for (size_t i = 0; i < e.Values.size(); ++i)
      EXPECT_EQ(Run("return " + e.Values[i])[0].AsInt64(), static_cast<int64_t>(i)) << e.Values[i];
  EXPECT_EQ(Run("return GlobalXMLPreProcVersion")[0].AsInteger(), 2);
}

TEST_F(ScriptBindings, VarParametersComeBackAsFurtherResults) {
  auto r =
      Run("local h = host:Do_ProgressStart(10, 0)\n"
          "local before = host:Do_Progress(h, 4, 10, false)\n"
          "local after = host:DO_PROGRESS(h, 5, 10)\n"  // an omitted var parameter starts empty
          "host:do_progressend(h)\n"
          "return h, before, after");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].AsInteger(), 20);
  EXPECT_FALSE(r[1].AsBoolean());
  EXPECT_TRUE(r[2].AsBoolean());
  EXPECT_EQ(FHost->Ended, 20);

  // Function result first, then the var parameters in declaration order.
  r =
      Run("local pp = inst:Do_CreatePreProc()\n"
          "local ok, list, err = pp:Get_FieldList('p', xmpRAW, nil, xmpFile, true, nil, '', '')\n"
          "return ok, table.concat(list:ToTable(), ','), err");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_TRUE(r[0].AsBoolean());
  EXPECT_EQ(r[1].AsString(), "p,1");
  EXPECT_EQ(r[2].AsString(), "none");

  // Strings become streams and option lists; the output stream is read back.
  r =
      Run("local pp = inst:Do_CreatePreProc()\n"
          "local out = NewDataStream()\n"
          "local ok, err, user = pp:Do_PreConvert('in', out, 'cfg', xmpRAW, xmpRAW, nil, nil,\n"
          "  pemImportTransformXML, nil, false, {x = 7}, '', false)\n"
          "return ok, out:AsString(), err, user");
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[1].AsString(), "cfg:in:7");
  EXPECT_EQ(r[2].AsString(), "converted");
  EXPECT_TRUE(r[3].AsBoolean());
}

TEST_F(ScriptBindings, SetsAndSameNamedMethodsOfTwoClasses) {
  auto r = Run(
      "local pp = inst:Do_CreatePreProc()\n"
      "return table.concat(inst:Get_FunctionSet(), ','), table.concat(pp:Get_FunctionSet(), ','),"
      "  table.concat(pp:Get_Options(), ','), pp:Get_ConverterConfigType() == vxpCSV");
  EXPECT_EQ(r[0].AsString(), "0,1");
  EXPECT_EQ(r[1].AsString(), std::to_string(static_cast<int>(pemExportSAXWriter)));
  EXPECT_EQ(r[2].AsString(), "0,3");
  EXPECT_TRUE(r[3].AsBoolean());
}

TEST_F(ScriptBindings, WrongArgumentsAreScriptErrorsNamingTheMethod) {
  const struct {
    const char* Script;
    const char* Error;
  } cases[] = {
      {"host:Do_Progress(1, 2)",
       "test:1: DIXMLPreProcessorHost.Do_Progress: expects at least 3 arguments, got 2"},
      {"host:Do_ProgressEnd(1, 2)",
       "test:1: DIXMLPreProcessorHost.Do_ProgressEnd: expects 1 argument, got 2"},
      {"\nhost:Do_ProgressEnd('x')",
       "test:2: DIXMLPreProcessorHost.Do_ProgressEnd: argument 1 (AProgressHandle): integer "
       "expected, got string"},
      {"host:Do_ProgressEnd(1.5)",
       "argument 1 (AProgressHandle): integer expected, got a number "
       "with a fraction"},
      {"host:Do_ProgressEnd(2^40 // 1)", "argument 1 (AProgressHandle): out of the Integer range"},
      {"host.Do_ProgressEnd(5)", "needs an object of class DIXMLPreProcessorHost"},
      {"inst.Get_FunctionSet(host)", "needs an object of class DIVelaXMLPreProcessorInstance"},
      {"inst:Do_CreatePreProc():Get_FieldList('p', 7, nil, 0, true, nil, '', '')",
       "DIXMLPreProcessor.Get_FieldList: argument 2 (AParamsFmt): 7 is no value of "
       "TXMLPreProcessorFmt"},
      {"host:Do_PreviewData(inst)",
       "argument 1 (APreviewDataSource): DIXMLPreProcessorPreviewDataSource expected, got "
       "DIVelaXMLPreProcessorInstance"},
      {"inst:Do_CreatePreProc():Do_PreConvert('a', 'b', 'c', 0, 0, nil, nil, 0, nil, false, 5)",
       "argument 11 (AOptions): DINamedVariantListData expected, got integer"},
  };
  for (const auto& c : cases) {
    const std::string error = Error(c.Script);
    EXPECT_NE(error.find(c.Error), std::string::npos) << c.Script << "\n" << error;
  }
  // The state stays usable, and pcall catches the errors.
  EXPECT_FALSE(Run("return pcall(host.Do_ProgressEnd, host)")[0].AsBoolean());
  EXPECT_EQ(Run("return host:Do_ProgressStart(3)")[0].AsInteger(), 6);
}

TEST(ScriptBindingsModule, DataimportModuleLivesWithTheMainDataModule) {
  auto mi = MakeIntf<TVelaMainInterface, IMainInterface>("/srv/app");
  TPluginLibrary library(VELA_MODULE_LIBRARY);
  library.Load();
  library.Start(mi.get());
  {
    TScriptEngine engine;
    auto r = engine.DoText(
        "return tostring(DataimportModule):match('^DIExtFuncDataImport'),"
        " DataimportModule:Get_BusinessIntgrationAvailable(),"
        " DataimportModule:Get_Engine('{00000000-0000-0000-0000-000000000000}')",
        "module");
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].AsString(), "DIExtFuncDataImport");
    EXPECT_TRUE(r[1].AsBoolean());
    EXPECT_TRUE(r[2].IsEmpty());      // no engine serves the format
    EXPECT_EQ(r[3].AsInteger(), -1);  // the var FormatIndex
  }
  library.Shutdown();
  EXPECT_FALSE(TScriptRegistry::HasGlobalScriptVar("DataimportModule"));
  TScriptEngine after;
  EXPECT_TRUE(after.DoText("return DataimportModule", "after")[0].IsEmpty());
}

}  // namespace
}  // namespace vela
