// TVelaXMLPreProcessorInstance against real libraries built for the tests.
#include <gtest/gtest.h>

#include "module/_VelaXMLPreProcessorInstance.h"

namespace vela {
namespace {

std::string PluginFile(const std::string& name) {
  return std::string(VELA_TEST_PLUGIN_DIR) + "/" + name;
}

// Runs f, expects an exception of type E, returns its message.
template <class E, class F>
std::string RaisedMessage(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no exception";
  return {};
}

TEST(VelaXMLPreProcessorInstance, CreateLoadsNothing) {
  TVelaXMLPreProcessorInstance instance(PluginFile("GoodPre.vxp"));
  EXPECT_FALSE(instance.Loaded());
  EXPECT_EQ(instance.FullFileName(), PluginFile("GoodPre.vxp"));
}

TEST(VelaXMLPreProcessorInstance, GoodLibraryCreatesIndependentPreProcessors) {
  auto instance = MakeIntf<TVelaXMLPreProcessorInstance, IVelaXMLPreProcessorInstance>(
      PluginFile("GoodPre.vxp"));
  auto a = instance->Do_CreatePreProc();
  auto b = instance->Do_CreatePreProc();
  ASSERT_TRUE(a);
  ASSERT_TRUE(b);
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
  a = nullptr;
  b = nullptr;
}

TEST(VelaXMLPreProcessorInstance, NotALibraryRaisesLoadError) {
  TVelaXMLPreProcessorInstance instance(PluginFile("notalib.vxp"));
  const std::string expected = "Can't load pre-processor dll '" + PluginFile("notalib.vxp") + "'!";
  EXPECT_EQ(RaisedMessage<Exception>([&] { instance.Do_CreatePreProc(); }), expected);
  EXPECT_FALSE(instance.Loaded());
}

TEST(VelaXMLPreProcessorInstance, MissingLibraryRaisesLoadError) {
  TVelaXMLPreProcessorInstance instance(PluginFile("absent.vxp"));
  EXPECT_EQ(RaisedMessage<Exception>([&] { instance.Get_FunctionSet(); }),
            "Can't load pre-processor dll '" + PluginFile("absent.vxp") + "'!");
}

TEST(VelaXMLPreProcessorInstance, MissingXMLPreProcFailsOnceThenYieldsNil) {
  TVelaXMLPreProcessorInstance instance(PluginFile("noproc.vxp"));
  EXPECT_EQ(RaisedMessage<Exception>([&] { instance.Do_CreatePreProc(); }),
            "Error: DLL-Export 'XMLPreProc' not found in '" + PluginFile("noproc.vxp") + "'!");
  // The library stays loaded and is not tried again.
  EXPECT_TRUE(instance.Loaded());
  IPtr<IXMLPreProcessor> p;
  EXPECT_NO_THROW(p = instance.Do_CreatePreProc());
  EXPECT_FALSE(p);
  EXPECT_NO_THROW(EXPECT_TRUE(instance.Get_FunctionSet().IsEmpty()));
}

TEST(VelaXMLPreProcessorInstance, WrongVersionsRaiseTheirOwnClassOnce) {
  for (const char* name : {"version1.vxp", "version3.vxp"}) {
    SCOPED_TRACE(name);
    TVelaXMLPreProcessorInstance instance(PluginFile(name));
    try {
      instance.Do_CreatePreProc();
      ADD_FAILURE() << "no exception";
    } catch (const EWrongPreConverterVersion& e) {
      EXPECT_STREQ(e.ClassName(), "EWrongPreConverterVersion");
      EXPECT_EQ(e.Message(),
                "Error: Pre-Processor '" + PluginFile(name) + "' has invalid version!");
    }
    EXPECT_FALSE(instance.Do_CreatePreProc());
  }
}

}  // namespace
}  // namespace vela
