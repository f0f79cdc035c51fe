// TVelaXMLPreProcessorInstance against real libraries built for the tests.
#include <gtest/gtest.h>

#include <memory>

#include "module/_VelaXMLPreProcessorInstance.h"
#include "rtl/RtlTestSupport.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

std::string PluginFile(const std::string& name) {
  return std::string(VELA_TEST_PLUGIN_DIR) + "/" + name;
}

TEST(VelaXMLPreProcessorInstance, GoodLibraryLoadsOnDemandAndCreatesIndependentPreProcessors) {
  auto* impl = new TVelaXMLPreProcessorInstance(PluginFile("GoodPre.vxp"));
  IPtr<IVelaXMLPreProcessorInstance> instance(impl);
  EXPECT_FALSE(impl->Loaded());
  auto a = instance->Do_CreatePreProc();
  auto b = instance->Do_CreatePreProc();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->Get_Caption(), "Test pre-processor");
  EXPECT_EQ(instance->Get_FunctionSet(),
            (TXMLPreProcessorFunctionSet{pemImportTransformXML, pemExportSAXWriter}));
  // A pre-processor from the library works through the interface.
  std::string error;
  bool userMsg = true;
  EXPECT_FALSE(a->Do_PreConvert(nullptr, nullptr, "", xmpFile, xmpRAW, nullptr, nullptr,
                                pemImportTransformXML, nullptr, false, nullptr, error, userMsg));
  EXPECT_EQ(error, "Exception: no parameters");
}

TEST(VelaXMLPreProcessorInstance, UnloadableLibraryRaisesLoadError) {
  for (const char* name : {"notalib.vxp", "absent.vxp"}) {
    TVelaXMLPreProcessorInstance instance(PluginFile(name));
    const std::string expected =
        "Exception: Can't load pre-processor dll '" + PluginFile(name) + "'!";
    EXPECT_EQ(RaisedText([&] { instance.Do_CreatePreProc(); }), expected);
    EXPECT_EQ(RaisedText([&] { instance.Get_FunctionSet(); }), expected);
    EXPECT_FALSE(instance.Loaded());
  }
}

TEST(VelaXMLPreProcessorInstance, MissingXMLPreProcFailsOnceThenYieldsNil) {
  TVelaXMLPreProcessorInstance instance(PluginFile("noproc.vxp"));
  EXPECT_EQ(
      RaisedText([&] { instance.Do_CreatePreProc(); }),
      "Exception: Error: DLL-Export 'XMLPreProc' not found in '" + PluginFile("noproc.vxp") + "'!");
  // The library stays loaded and is not tried again.
  EXPECT_TRUE(instance.Loaded());
  IPtr<IXMLPreProcessor> p;
  EXPECT_NO_THROW(p = instance.Do_CreatePreProc());
  EXPECT_FALSE(p);
  EXPECT_NO_THROW(EXPECT_TRUE(instance.Get_FunctionSet().IsEmpty()));
}

TEST(VelaXMLPreProcessorInstance, WrongVersionsRaiseTheirOwnClassOnce) {
  for (const char* name : {"version1.vxp", "version3.vxp"}) {
    TVelaXMLPreProcessorInstance instance(PluginFile(name));
    EXPECT_EQ(RaisedText([&] { instance.Do_CreatePreProc(); }),
              "EWrongPreConverterVersion: Error: Pre-Processor '" + PluginFile(name) +
                  "' has invalid version!");
    EXPECT_FALSE(instance.Do_CreatePreProc());
  }
}

// The SDK example built on the pre-processing core: its conversion, and the user message of an
// exception raised in the library, both through the core's interface methods.
TEST(VelaXMLPreProcessorInstance, LibraryOnTheCoreConvertsAndReportsItsErrors) {
  IPtr<IVelaXMLPreProcessorInstance> instance(new TVelaXMLPreProcessorInstance(VELA_KEYVALUE_VXP));
  auto p = instance->Do_CreatePreProc();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Get_Caption(), "Key/value pre-processor on the core");
  struct TCase {
    std::string Config, Output, Error;
    bool UserMessage;
  };
  for (const TCase& c : std::initializer_list<TCase>{
           {"[KeyValue]\nPartName=settings\nSeparator=:",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<velaxmldata application=\"Key/value "
            "pre-processor on the core\" version=\"1\"><settings><row><name "
            "velaxmldataencoding=\"text\">a</name><value "
            "velaxmldataencoding=\"text\">1=2</value></row></settings></velaxmldata>",
            "", false},
           {"[KeyValue]\nSeparator=", "",
            "EVelaUserMessageException: The separator must not be empty", true}}) {
    auto in = std::make_unique<TStringStream>("a:1=2\nno separator\n");
    auto out = std::make_unique<TStringStream>();
    TStringStream* written = out.get();
    IPtr<IDataStream> inData = NewDataStream(in.release(), true);
    IPtr<IDataStream> outData = NewDataStream(out.release(), true);
    std::string error = "stale";
    bool userMessage = !c.UserMessage;
    EXPECT_EQ(
        p->Do_PreConvert(inData.get(), outData.get(), c.Config, xmpRAW, xmpRAW, nullptr, nullptr,
                         pemImportTransformXML, nullptr, false, nullptr, error, userMessage),
        c.Error.empty());
    EXPECT_EQ(error, c.Error);
    EXPECT_EQ(userMessage, c.UserMessage);
    EXPECT_EQ(written->DataString(), c.Output);
  }
}

}  // namespace
}  // namespace vela
