// velaimport card convert: formats by option and extension, exit codes and error texts.
#include <sys/resource.h>

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

// vCard 3.0 contacts with escapes, a folded multi-line note, non-ASCII names and every kind of
// field the conversion copies; every value differs from contact to contact.
void WriteContacts(const std::string& path, int count) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    out << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u-" << n << "\r\nCLASS:PRIVATE\r\n"
        << "N:Müller" << n << ";Jörg;Zweit;Dr.;\r\nFN:Jörg Müller" << n << "\r\n"
        << "ORG:Firma " << n << "\\, GmbH\r\nTITLE:Leitung\\; Einkauf\r\n"
        << "EMAIL;TYPE=INTERNET,HOME:p" << n << "@example.com\r\n"
        << "EMAIL;TYPE=INTERNET,WORK:w" << n << "@example.com\r\n"
        << "TEL;TYPE=HOME,VOICE:+49 30 " << n << "\r\nTEL;TYPE=WORK,FAX:+49 40 " << n << "\r\n"
        << "ADR;TYPE=WORK:;Haus B;Weg " << n << ";Hamburg;;20095;Deutschland\r\n"
        << "BDAY:19" << (10 + i % 90) << "-0" << (1 + i % 9) << "-1" << (i % 10) << "\r\n"
        << "NOTE:Zeile eins\\nZeile zwei mit Komma\\, Nummer " << n
        << " und einem Text\\, der lang genug ist\r\n  um gefaltet zu werden\r\n"
        << "END:VCARD\r\n";
  }
}

// A file many times the reader's 64 KiB block converts to vCard 2.1 and back contact by contact
// with every field equal. The peak memory stays near the 15 MiB of a small file; holding the
// contacts (about 3 KiB each in each of the two card models) took 60 MiB for this file.
TEST_F(CliCardTest, StreamsLargeFilesValueForValue) {
  const int count = 8000;
  WriteContacts(Path("in.vcf"), count);
  auto r = Velaimport({"card", "convert", Path("in.vcf"), Path("mid.vcf"), "--to", "vcard21"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
#if !defined(__SANITIZE_ADDRESS__)
  // (The sanitizers' shadow memory and quarantine would count too.)
  EXPECT_LT(usage.ru_maxrss, 40 * 1024) << "KiB at the peak";
#endif
  // In place: the output replaces the file being read.
  r = Velaimport({"card", "convert", Path("mid.vcf"), Path("mid.vcf"), "--to", "vcard30"});
  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Err, "info: 8000 contact(s) written to " + Path("mid.vcf") + "\n");

  TVCard in, out;
  TCardItemReader source(in, Path("in.vcf")), converted(out, Path("mid.vcf"));
  const int notes = in.GetFieldIndexByName("Notes");
  int read = 0;
  std::string note;
  for (auto a = source.Next(), b = converted.Next(); a || b;
       a = source.Next(), b = converted.Next(), ++read) {
    ASSERT_TRUE(a && b) << "contact " << read << " missing on one side";
    for (int f = 0; f < in.FieldCount(); ++f)
      ASSERT_EQ(VarToStr(in.GetValues(*a, f)), VarToStr(out.GetValues(*b, f)))
          << in.GetFieldNames(f) << " of contact " << read;
    note = VarToStr(out.GetValues(*b, notes));
  }
  EXPECT_EQ(read, count);
  EXPECT_EQ(note,
            "Zeile eins\r\nZeile zwei mit Komma, Nummer 7999 und einem Text, der lang genug "
            "ist um gefaltet zu werden\r\n");
}

}  // namespace
}  // namespace vela::test
