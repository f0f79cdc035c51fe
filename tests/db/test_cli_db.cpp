// velaimport db init / db tables, run as a user runs them.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "host/db/VelaDatabase.h"

#ifdef VELA_VELAIMPORT

namespace vela::test {
namespace {

struct TRun {
  int ExitCode = -1;
  std::string Out;
};

TRun RunVelaimport(const std::string& args) {
  std::string cmd = std::string("'") + VELA_VELAIMPORT + "' " + args + " 2>/dev/null";
  TRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
    r.Out.append(buf.data(), n);
  int status = pclose(p);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class CliDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FHome = std::filesystem::temp_directory_path() / ("vela_clidb_" + std::to_string(getpid()));
    std::filesystem::create_directories(FHome / "custom");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(FHome, ec);
  }
  std::filesystem::path FHome;
};

TEST_F(CliDbTest, InitCreatesTheDefaultDatabaseBelowHome) {
  auto r = RunVelaimport("--home '" + FHome.string() + "' db init");
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_NE(r.Out.find("dataimport_userpickupstore"), std::string::npos);
  ASSERT_TRUE(std::filesystem::exists(FHome / "vela.db"));
  auto db = TVelaDatabase::Open("sqlite:" + (FHome / "vela.db").string());
  EXPECT_TRUE(db->GetSchemaByName("businessintegration_importlog"));
}

TEST_F(CliDbTest, TablesShowsCaptionsFromTheAnnotationFile) {
  std::FILE* f = std::fopen((FHome / "custom" / "schema.ini").c_str(), "w");
  ASSERT_TRUE(f);
  std::fputs(
      "[businessintegration_importlog]\nCaption=Import log\n"
      "[businessintegration_importlog.descr]\nCaption=Description\n",
      f);
  std::fclose(f);
  std::string db = "sqlite:" + (FHome / "other.db").string();
  auto r = RunVelaimport("db tables --json --home '" + FHome.string() + "' --db '" + db + "'");
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_NE(r.Out.find("{\"name\":\"businessintegration_importlog\",\"caption\":\"Import log\""),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("{\"name\":\"descr\",\"caption\":\"Description\",\"type\":\"ftString\","
                       "\"size\":1024,\"required\":false,\"kind\":\"data\"}"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(FHome / "other.db"));
  EXPECT_FALSE(std::filesystem::exists(FHome / "vela.db"));
}

TEST_F(CliDbTest, UnknownDatabaseSchemeIsAUsageError) {
  EXPECT_EQ(RunVelaimport("--db mysql://host/db db tables").ExitCode, 2);
  EXPECT_EQ(RunVelaimport("--db 'sqlite:" + (FHome / "no" / "dir" / "x.db").string() + "' db init")
                .ExitCode,
            1);
}

}  // namespace
}  // namespace vela::test

#endif
