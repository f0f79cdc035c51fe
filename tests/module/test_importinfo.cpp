#include <gtest/gtest.h>

#include "module/_XMLPreProcessorImportInfo.h"

namespace vela {
namespace {

TEST(XMLPreProcessorImportInfo, UntouchedRecordsAreExported) {
  TXMLPreProcessorImportInfo info;
  for (int r : {-1, 0, 1, 5, 1000000})
    EXPECT_TRUE(info.IsExportRecord(r)) << r;
}

TEST(XMLPreProcessorImportInfo, SingleRecordOnlyAffectsItself) {
  TXMLPreProcessorImportInfo info;
  info.SetRecordExportable(5, false);
  EXPECT_FALSE(info.IsExportRecord(5));
  EXPECT_TRUE(info.IsExportRecord(4));
  EXPECT_TRUE(info.IsExportRecord(6));
  // Through the interface as the pre-processor sees it.
  info.SetFreeOnRelease(false);  // on the stack: references must not free it
  IPtr<IXMLPreProcessorImportInfo> intf(&info);
  EXPECT_FALSE(intf->Get_IsExportRecord(5));
  EXPECT_TRUE(intf->Get_IsExportRecord(6));
}

TEST(XMLPreProcessorImportInfo, TwiceNotExportableKeepsOneEntryAndIsReversible) {
  TXMLPreProcessorImportInfo info;
  info.SetRecordExportable(7, false);
  info.SetRecordExportable(7, false);
  EXPECT_EQ(info.IgnoreList(), std::vector<int32_t>{7});
  info.SetRecordExportable(7, true);
  EXPECT_TRUE(info.IsExportRecord(7));
  EXPECT_TRUE(info.IgnoreList().empty());
}

struct RangeCase {
  int from, to;
  bool exportable;
  std::vector<int32_t> before, after;
};

class ImportInfoRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ImportInfoRange, SetAllExportabel) {
  const auto& c = GetParam();
  TXMLPreProcessorImportInfo info;
  for (int r : c.before)
    info.SetRecordExportable(r, false);
  info.SetAllExportabel(c.from, c.to, c.exportable);
  EXPECT_EQ(info.IgnoreList(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportInfoRange,
    ::testing::Values(RangeCase{3, 1, false, {}, {}},                   // reversed range: nothing
                      RangeCase{3, 1, true, {2}, {2}},                  // reversed range: nothing
                      RangeCase{0, 3, false, {}, {0, 1, 2, 3}},         // clear all
                      RangeCase{1, 2, false, {0, 2, 9}, {0, 1, 2, 9}},  // no duplicates
                      RangeCase{0, 4, true, {0, 2, 4, 5}, {5}},  // select all, bounds included
                      RangeCase{2, 2, true, {1, 2, 3}, {1, 3}}),
    [](const ::testing::TestParamInfo<RangeCase>& info) {
      return "Case" + std::to_string(info.index);
    });

}  // namespace
}  // namespace vela
