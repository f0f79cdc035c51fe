// velaimport card convert, run as a process: formats by option and extension, exit codes and
// error texts. Skipped when the velaimport executable has not been built next to the tests.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "CardTestSupport.h"
#include "rtl/SysUtils.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

std::filesystem::path Velaimport() {
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  return exe.parent_path().parent_path() / "apps" / "velaimport" / "velaimport";
}

struct TRun {
  int Code = -1;
  std::string Output;  // stdout and stderr
};

TRun RunCli(const std::string& args) {
  TRun r;
  std::string cmd = Velaimport().string() + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    r.Output.append(buf, n);
  int status = pclose(p);
  r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class CardCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(Velaimport())) GTEST_SKIP() << "velaimport not built";
    // One folder per test: ctest runs the tests of this fixture in parallel.
    FDir = std::filesystem::temp_directory_path() /
           (std::string("vela_card_cli_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(FDir);
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string Path(const char* name) const { return (FDir / name).string(); }
  std::filesystem::path FDir;
};

TEST_F(CardCli, ConvertsBetweenVersionsAndLdif) {
  std::string input = SharedSample("vcard/gammu_se-1.vcf");
  TRun r = RunCli("card convert " + input + " " + Path("out.vcf"));
  ASSERT_EQ(r.Code, 0) << r.Output;
  TVCard v30;
  v30.LoadFromFile(Path("out.vcf"));
  EXPECT_EQ(v30.VCardVersion(), vcv30);
  EXPECT_EQ(VCardAt(v30, 0).AdrWorkCity, "Saint Martin d'H\xC3\xA8res");
  EXPECT_EQ(VCardAt(v30, 0).Email3, "Yves.Laurent@ujf-grenoble.fr");

  r = RunCli("card convert " + Path("out.vcf") + " " + Path("out.ldif") + " --json");
  ASSERT_EQ(r.Code, 0) << r.Output;
  EXPECT_NE(r.Output.find("{\"result\":true,\"contacts\":1,"), std::string::npos) << r.Output;
  std::string ldif = ReadBytes(Path("out.ldif"));
  EXPECT_EQ(ldif.rfind("version: 1\r\ndn: Yves Laurent\r\n", 0), 0u) << ldif;
  EXPECT_NE(ldif.find("mail: Yvalb.Laurent@free.fr\r\n"), std::string::npos);

  r = RunCli("card convert " + Path("out.ldif") + " " + Path("back.txt") + " --to vcard21");
  ASSERT_EQ(r.Code, 0) << r.Output;
  TVCard v21;
  v21.LoadFromFile(Path("back.txt"));
  EXPECT_EQ(v21.VCardVersion(), vcv21);
  EXPECT_EQ(Trim(VCardAt(v21, 0).LastName), "Laurent");
}

TEST_F(CardCli, UsageErrorsAndFailuresNameTheFile) {
  TRun missing = RunCli("card convert " + Path("none.vcf") + " " + Path("x.vcf"));
  EXPECT_EQ(missing.Code, 2);
  EXPECT_NE(missing.Output.find("none.vcf"), std::string::npos) << missing.Output;

  std::ofstream(Path("in.vcf")) << "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n";
  TRun ext = RunCli("card convert " + Path("in.vcf") + " " + Path("x.txt"));
  EXPECT_EQ(ext.Code, 2);
  EXPECT_NE(ext.Output.find("x.txt"), std::string::npos);

  TRun badTo = RunCli("card convert " + Path("in.vcf") + " " + Path("x.vcf") + " --to pdf");
  EXPECT_EQ(badTo.Code, 2);

  TRun unwritable = RunCli("card convert " + Path("in.vcf") + " " + Path("no/such/dir/x.vcf"));
  EXPECT_EQ(unwritable.Code, 1);
  EXPECT_NE(unwritable.Output.find("no/such/dir/x.vcf"), std::string::npos) << unwritable.Output;
}

}  // namespace
