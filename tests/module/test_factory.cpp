// The pre-processor factory with the real libraries of tests/module/libs.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "module/_VelaXMLPreProcessorFactory.h"
#include "rtl/FileUtils.h"

namespace vela {
namespace {

const std::string kPluginDir = VELA_TEST_PLUGIN_DIR;

TEST(VelaXMLPreProcessorFactory, ScanListsOnlyUsableLibraries) {
  TVelaXMLPreProcessorFactory factory(kPluginDir);
  // version1, version3, noproc and notalib are left out.
  ASSERT_EQ(factory.Count(), 1);
  EXPECT_TRUE(factory.Loaded());
  const auto& item = factory.GetItem(0);
  EXPECT_EQ(item.FileName, "goodpre.vxp");
  EXPECT_EQ(item.Path, IncludeTrailingPathDelimiter(kPluginDir));
  EXPECT_TRUE(item.CanUseByUser);
  EXPECT_EQ(item.Functions,
            (TXMLPreProcessorFunctionSet{pemImportTransformXML, pemExportSAXWriter}));
  EXPECT_EQ(item.ValidFileExt, ".txt\r\n.csv\r\n");
  EXPECT_EQ(item.Caption, "Test pre-processor");
  EXPECT_THROW(factory.GetItem(1), EListError);
}

TEST(VelaXMLPreProcessorFactory, LookupIgnoresCaseAndCachesTheInstance) {
  TVelaXMLPreProcessorFactory factory(kPluginDir);
  EXPECT_EQ(factory.IndexByName("GOODPRE.VXP"), 0);
  EXPECT_EQ(factory.IndexByName("goodpre.vxp"), 0);
  IPtr<IVelaXMLPreProcessorInstance> a, b;
  ASSERT_TRUE(factory.GetInstance("GoodPre.VXP", a));
  ASSERT_TRUE(factory.GetInstance("goodpre.vxp", b));
  EXPECT_EQ(a.get(), b.get());
  auto preProc = a->Do_CreatePreProc();
  ASSERT_TRUE(preProc);
  EXPECT_EQ(preProc->Get_ConverterConfigType(), vxpCSV);
}

TEST(VelaXMLPreProcessorFactory, UnknownAndRefusedNamesGiveFalseAndNil) {
  TVelaXMLPreProcessorFactory factory(kPluginDir);
  for (const char* name : {"unknown.vxp", "version1.vxp", "version3.vxp", "noproc.vxp",
                           "notalib.vxp", "", "../plugins/GoodPre.vxp", "./GoodPre.vxp"}) {
    SCOPED_TRACE(name);
    IPtr<IVelaXMLPreProcessorInstance> instance =
        MakeIntf<TVelaXMLPreProcessorInstance, IVelaXMLPreProcessorInstance>("x");
    EXPECT_FALSE(factory.GetInstance(name, instance));
    EXPECT_FALSE(instance);
    if (*name) {
      EXPECT_EQ(factory.IndexByName(name), -1);
    }
  }
}

TEST(VelaXMLPreProcessorFactory, PlainLibraryNames) {
  EXPECT_TRUE(IsPlainLibraryName("GoodPre.vxp"));
  EXPECT_TRUE(IsPlainLibraryName("a.b.vxp"));
  for (const char* bad : {"", "../a.vxp", "a/../b.vxp", "/abs.vxp", "dir\\a.vxp", "..\\a.vxp",
                          "sub/a.vxp", "..", "a..vxp"})
    EXPECT_FALSE(IsPlainLibraryName(bad)) << bad;
}

TEST(VelaXMLPreProcessorFactory, MissingOrEmptyFolderIsAnEmptyCompleteScan) {
  const std::string empty = CreateTempFolder({}, "vxpempty");
  for (const std::string& folder : {empty, empty + "/missing"}) {
    TVelaXMLPreProcessorFactory factory(folder);
    EXPECT_EQ(factory.Count(), 0);
    EXPECT_TRUE(factory.Loaded());
    IPtr<IVelaXMLPreProcessorInstance> instance;
    EXPECT_FALSE(factory.GetInstance("goodpre.vxp", instance));
  }
  ::rmdir(empty.c_str());
}

TEST(VelaXMLPreProcessorFactory, FailedListingFallsBackToUncachedInstances) {
  int listings = 0;
  TVelaXMLPreProcessorFactory factory(kPluginDir,
                                      [&](const std::string&) -> std::vector<std::string> {
                                        ++listings;
                                        throw EInOutError("listing failed");
                                      });
  IPtr<IVelaXMLPreProcessorInstance> a, b;
  // The file name is taken as it is (the folder is case-sensitive).
  ASSERT_TRUE(factory.GetInstance("GoodPre.vxp", a));
  EXPECT_FALSE(factory.Loaded());
  ASSERT_TRUE(factory.GetInstance("GoodPre.vxp", b));
  EXPECT_NE(a.get(), b.get());
  EXPECT_TRUE(a->Do_CreatePreProc());
  // Load errors come from the instance, not from GetInstance.
  IPtr<IVelaXMLPreProcessorInstance> v3;
  ASSERT_TRUE(factory.GetInstance("version3.vxp", v3));
  EXPECT_THROW(v3->Do_CreatePreProc(), EWrongPreConverterVersion);
  IPtr<IVelaXMLPreProcessorInstance> none;
  EXPECT_FALSE(factory.GetInstance("absent.vxp", none));
  EXPECT_FALSE(factory.GetInstance("../libs/GoodPre.vxp", none));
  EXPECT_FALSE(none);
  EXPECT_EQ(factory.Count(), 0);
  // Each call tried the scan again.
  EXPECT_GE(listings, 5);
}

TEST(VelaXMLPreProcessorFactory, ConcurrentFirstCallersShareOneScan) {
  std::atomic<int> listings{0};
  TVelaXMLPreProcessorFactory factory(kPluginDir, [&](const std::string& folder) {
    ++listings;
    // Long enough that the other callers arrive while the scan runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return GetFileList(folder, "*.vxp");
  });
  std::vector<std::thread> threads;
  std::atomic<int> found{0};
  for (int i = 0; i < 6; ++i)
    threads.emplace_back([&] {
      if (factory.IndexByName("goodpre.vxp") == 0) ++found;
    });
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(found.load(), 6);
  EXPECT_EQ(factory.Count(), 1);
  EXPECT_EQ(listings.load(), 1);
}

TEST(VelaXMLPreProcessorFactory, SingletonIsCreatedOnceAndFreed) {
  FreePreProcessorFactory();
  EXPECT_FALSE(PreProcessorFactoryAssigned());
  auto& a = PreProcessorFactory();
  auto& b = PreProcessorFactory();
  EXPECT_EQ(&a, &b);
  EXPECT_TRUE(PreProcessorFactoryAssigned());
  // Below the application folder.
  EXPECT_EQ(a.PluginFolder(),
            IncludeTrailingPathDelimiter(GetApplicationFolder()) + "custom/plugins/");
  FreePreProcessorFactory();
  EXPECT_FALSE(PreProcessorFactoryAssigned());
}

}  // namespace
}  // namespace vela
