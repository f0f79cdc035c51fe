// velaimport card convert: formats by option and extension, exit codes and error texts.
#include "cli/CliTestSupport.h"
#include "rtl/SysUtils.h"
#include "vcard/CardTestSupport.h"

namespace vela::test {
namespace {

using cardtest::OwnData;
using cardtest::ReadBytes;
using cardtest::VCardAt;

class CliCardTest : public CliHomeTest {
 protected:
  std::string Path(const char* name) const { return (FHome / name).string(); }
};

TEST_F(CliCardTest, ConvertsBetweenVersionsAndLdif) {
  std::string input = OwnData("phone_export.vcf");
  auto r = Velaimport({"card", "convert", input, Path("out.vcf")});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Err, "info: 1 contact(s) written to " + Path("out.vcf") + "\n");
  TVCard v30;
  v30.LoadFromFile(Path("out.vcf"));
  EXPECT_EQ(v30.VCardVersion(), vcv30);
  EXPECT_EQ(VCardAt(v30, 0).AdrWorkCity, "Saint-Genis-Laval");
  EXPECT_EQ(VCardAt(v30, 0).Email3, "claire.moreau@atelier.example");

  r = Velaimport({"card", "convert", Path("out.vcf"), Path("out.ldif"), "--json", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(JsonOut(r).dump(),
            R"({"result":true,"contacts":1,"skipped":0,"output":")" + Path("out.ldif") + "\"}");
  std::string ldif = ReadBytes(Path("out.ldif"));
  EXPECT_EQ(ldif.rfind("version: 1\r\ndn: Claire Moreau\r\n", 0), 0u) << ldif;
  EXPECT_TRUE(Contains(ldif, "mail: c.moreau@mail.example\r\n"));

  r = Velaimport({"card", "convert", Path("out.ldif"), Path("back.txt"), "--to", "vcard21"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  TVCard v21;
  v21.LoadFromFile(Path("back.txt"));
  EXPECT_EQ(v21.VCardVersion(), vcv21);
  EXPECT_EQ(Trim(VCardAt(v21, 0).LastName), "Moreau");
}

TEST_F(CliCardTest, UsageErrorsAndFailuresNameTheFile) {
  std::ofstream(Path("in.vcf")) << "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n";
  ExpectRuns(
      {
          {{Path("none.vcf"), Path("x.vcf")},
           2,
           "error: " + Path("none.vcf") + ": file not found\n"},
          {{Path("in.vcf"), Path("x.txt")}, 2, "error: " + Path("x.txt") + ": cannot tell"},
          {{Path("in.vcf"), Path("x.vcf"), "--to", "pdf"}, 2, "error: --to: pdf not in"},
          {{Path("in.vcf"), Path("no/such/dir/x.vcf")}, 1, "error: " + Path("no/such/dir/x.vcf")},
      },
      {"card", "convert"}, true);
}

}  // namespace
}  // namespace vela::test
