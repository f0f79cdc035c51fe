// The host's event log and document store, offered by the main interface, on both backends.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "DbTestSupport.h"
#include "host/DocumentStore.h"
#include "host/MainInterface.h"
#include "rtl/Exceptions.h"

namespace vela::test {
namespace {

class HostServicesTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    FMain = IPtr<TVelaMainInterface>(new TVelaMainInterface(FDir.string(), THostKind::hkServer));
    FMain->SetLogSink([this](bool isError, const std::string& text) {
      std::lock_guard lock(FLinesLock);
      FLines.push_back((isError ? "E " : "I ") + text);
    });
  }
  void TearDown() override {
    if (FMain) FMain->SetDatabase(nullptr);
    FMain = nullptr;
    DbTest::TearDown();
  }
  std::string WriteFile(const std::string& name, const std::string& content) {
    const auto path = (FDir / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  IPtr<TVelaMainInterface> FMain;
  std::mutex FLinesLock;
  std::vector<std::string> FLines;
};

TEST_P(HostServicesTest, EventLogKeepsEachMessageAsARowAndInTheHostLog) {
  auto service = Supports<IVelaEventLogService>(FMain.get());
  ASSERT_TRUE(service);
  EXPECT_FALSE(service->OpenSession("{SRC}", "Import", 1)) << "a session without a database";
  FMain->SetDatabase(&Db());
  auto session = service->OpenSession("{SRC}", "Import", 1);
  ASSERT_TRUE(session);
  session->LogMessage("Importing 2 container(s)", false, elmdtInformation);
  // Written on its own connection: the caller's transaction neither blocks nor (on PostgreSQL)
  // undoes the row.
  Db().StartTransaction();
  session->LogMessage("Missing configuration", true, elmdtError);
  if (GetParam() == TDbBackendKind::PostgreSQL)
    Db().Rollback();
  else
    Db().Commit();
  auto other = service->OpenSession("{OTHER}", "", 0);
  constexpr int kThreads = 4, kEach = 20;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int k = 0; k < kEach; ++k)
        other->LogMessage("t" + std::to_string(t), false, elmdtInformation);
      Db().ReleaseThreadConnection();
    });
  for (auto& t : threads)
    t.join();
  session->CloseSession();
  session->LogMessage("after the end", false, elmdtInformation);

  auto t = Db().GetTableInterface();
  t->Query("vela_eventlog",
           {"sessionid", "sourceid", "caption", "flags", "iserror", "displaytype", "message",
            "createdate"},
           {{"sourceid", Variant("{SRC}")}});
  std::vector<std::string> rows;
  std::string sessionId;
  for (; !t->Eof(); t->Next()) {
    sessionId = t->Value(0).AsString();
    EXPECT_FALSE(t->Value(7).IsNull());
    std::string row;
    for (int i = 1; i < 7; ++i)
      row += t->Value(i).AsString() + "|";
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());  // "False" before "True"
  EXPECT_EQ(rows, (std::vector<std::string>{"{SRC}|Import|1|False|0|Importing 2 container(s)|",
                                            "{SRC}|Import|1|True|1|Missing configuration|"}));
  EXPECT_EQ(sessionId.size(), 38u) << sessionId;
  EXPECT_EQ(RowIds("vela_eventlog", {{"sessionid", Variant(sessionId)}}).size(), 2u);
  EXPECT_EQ(CountRows("vela_eventlog"), 2 + kThreads * kEach);
  ASSERT_EQ(FLines.size(), static_cast<size_t>(2 + kThreads * kEach));
  EXPECT_EQ(FLines[0], "I Import: Importing 2 container(s)");
  EXPECT_EQ(FLines[1], "E Import: Missing configuration");
  EXPECT_EQ(FLines[2], "I t" + FLines[2].substr(3, 1)) << "no caption, no prefix";
  FMain->SetDatabase(nullptr);
  EXPECT_FALSE(service->OpenSession("{SRC}", "Import", 1));
}

TEST_P(HostServicesTest, DocumentStoreAttachesFilesInOrderAndNamesUnreadableOnes) {
  for (auto [name, isList] : {std::pair{"a.txt", false}, {"a.txt\nb.txt", true}, {"a\r\n", true}})
    EXPECT_EQ(FMain->IsFileList(name), isList) << name;
  EXPECT_EQ(TVelaDocumentStore::SplitFileList("a.txt\n\n  \r\nsub/b.txt\r\n"),
            (std::vector<std::string>{"a.txt", "sub/b.txt"}));
  EXPECT_THROW(FMain->AttachFile("t", 1, WriteFile("x.txt", "x"), ""), EDatabaseError);
  EXPECT_TRUE(FMain->AttachedFiles("t", 1).empty());

  FMain->SetDatabase(&Db());
  const std::string binary("\x00\x01\xfe\xff", 4);
  FMain->AttachFile("businessintegration_importlog", 7, WriteFile("order.json", binary), "");
  FMain->AttachFile("businessintegration_importlog", 7, WriteFile("tmp123.dat", "{}"),
                    "upload.json");
  FMain->AttachFile("businessintegration_importlog", 7, "", "nothing");
  FMain->AttachFile("businessintegration_importlog", 8, WriteFile("other.txt", ""), "");
  EXPECT_EQ(FMain->AttachedFiles("businessintegration_importlog", 7),
            (std::vector<std::string>{"order.json", "upload.json"}));
  EXPECT_EQ(FMain->AttachedFiles("businessintegration_importlog", 8),
            std::vector<std::string>{"other.txt"});
  EXPECT_TRUE(FMain->AttachedFiles("dataimport_userpickupstore", 7).empty());
  auto t = Db().GetTableInterface();
  t->Query("vela_document", {"content", "createdate"}, {{"filename", Variant("order.json")}});
  ASSERT_FALSE(t->Eof());
  const auto content = t->Value(0).GetBytes();
  EXPECT_EQ(std::string(content.begin(), content.end()), binary);
  EXPECT_FALSE(t->Value(1).IsNull());

  for (const std::string& bad : {(FDir / "missing.txt").string(), FDir.string()}) {
    try {
      FMain->AttachFile("businessintegration_importlog", 9, bad, "");
      ADD_FAILURE() << "attached " << bad;
    } catch (const EInOutError& e) {
      EXPECT_NE(e.Message().find("'" + bad + "'"), std::string::npos) << e.Message();
    }
  }
  EXPECT_EQ(CountRows("vela_document"), 3);
}

VELA_INSTANTIATE_DB_TEST(HostServicesTest);

}  // namespace
}  // namespace vela::test
