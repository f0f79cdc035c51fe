#include <gtest/gtest.h>

#include "module/_XMLPreProcessorImportInfo.h"

namespace vela {
namespace {

TEST(XMLPreProcessorImportInfo, RecordsAreExportedUntilExcluded) {
  TXMLPreProcessorImportInfo info;
  for (int r : {-1, 0, 5, 1000000})
    EXPECT_TRUE(info.IsExportRecord(r)) << r;
  info.SetRecordExportable(5, false);
  info.SetRecordExportable(5, false);
  EXPECT_EQ(info.IgnoreList(), std::vector<int32_t>{5});  // one entry
  EXPECT_TRUE(info.IsExportRecord(4));
  EXPECT_TRUE(info.IsExportRecord(6));
  // Through the interface as the pre-processor sees it.
  info.SetFreeOnRelease(false);  // on the stack: references must not free it
  IPtr<IXMLPreProcessorImportInfo> intf(&info);
  EXPECT_FALSE(intf->Get_IsExportRecord(5));
  EXPECT_TRUE(intf->Get_IsExportRecord(6));
  info.SetRecordExportable(5, true);
  EXPECT_TRUE(info.IgnoreList().empty());
}

TEST(XMLPreProcessorImportInfo, SetAllExportabelCoversTheRangeWithItsBounds) {
  const struct {
    int from, to;
    bool exportable;
    std::vector<int32_t> before, after;
  } cases[] = {
      {3, 1, false, {}, {}},                   // reversed range: nothing
      {3, 1, true, {2}, {2}},                  // reversed range: nothing
      {0, 3, false, {}, {0, 1, 2, 3}},         // clear all
      {1, 2, false, {0, 2, 9}, {0, 1, 2, 9}},  // no duplicates
      {0, 4, true, {0, 2, 4, 5}, {5}},         // select all, bounds included
      {2, 2, true, {1, 2, 3}, {1, 3}},
  };
  for (const auto& c : cases) {
    TXMLPreProcessorImportInfo info;
    for (int r : c.before)
      info.SetRecordExportable(r, false);
    info.SetAllExportabel(c.from, c.to, c.exportable);
    EXPECT_EQ(info.IgnoreList(), c.after) << c.from << ".." << c.to << " " << c.exportable;
  }
}

}  // namespace
}  // namespace vela
