// Interoperability: a vCard 3.0 file written by the library parses in python3-vobject with the
// same names, e-mails, phones and addresses. Skipped where Debian's python3-vobject is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CardTestSupport.h"

using namespace vela;
using namespace vela::cardtest;

namespace {

const char* kPython = "/usr/bin/python3";

const char* kScript = R"PY(
import sys, vobject
data = open(sys.argv[1], encoding='utf-8', newline='').read()
for card in vobject.readComponents(data):
    n = card.n.value
    def s(v):
        return ','.join(v) if isinstance(v, list) else v
    print('N|' + s(n.family) + '|' + s(n.given) + '|' + s(n.additional))
    print('FN|' + card.fn.value)
    for e in card.contents.get('email', []):
        print('EMAIL|' + e.value)
    for t in card.contents.get('tel', []):
        print('TEL|' + t.value + '|' + ','.join(t.params.get('TYPE', [])))
    for a in card.contents.get('adr', []):
        v = a.value
        print('ADR|' + '|'.join(s(x) for x in (v.box, v.extended, v.street, v.city, v.region,
                                               v.code, v.country)))
    print('NOTE|' + (card.note.value.replace('\n', '|') if 'note' in card.contents else ''))
)PY";

std::string RunCapture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    out.append(buf, n);
  pclose(p);
  return out;
}

TEST(CardInterop, Vcard30ParsesInPythonVobject) {
  if (!std::filesystem::exists(kPython) ||
      std::system((std::string(kPython) + " -c 'import vobject' >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "python3-vobject is not installed";

  auto dir = std::filesystem::temp_directory_path() / "vela_card_interop";
  std::filesystem::create_directories(dir);
  const std::string vcf = (dir / "out.vcf").string();
  const std::string script = (dir / "read.py").string();
  std::ofstream(script) << kScript;

  TVCard card;
  card.SetFileCharset("UTF-8");
  card.SetVCardVersion(vcv30);
  auto& a = card.CreateCard();
  a.FirstName = "Jürgen";
  a.LastName = "Müller-Lüdenscheid";
  a.SecondFirstName = "Karl";
  a.Email = "juergen@example.de";
  a.Email2 = "j.mueller@firma.example";
  a.TelHomeVoice = "+49 30 1234567";
  a.TelWorkCellular = "+49 170 7654321";
  a.AdrHomeStreetAddress = "Hauptstraße 1";
  a.AdrHomeCity = "Berlin";
  a.AdrHomePostal = "10115";
  a.AdrWorkStreetAddress = "Unter den Linden 5; Hinterhaus";
  std::string longNote;  // folded inside its UTF-8 characters
  for (int i = 0; i < 12; ++i)
    longNote += "Zeile mit Umlauten äöü und Komma, ";
  a.Notes.SetText(longNote + "\r\nzweite Zeile");
  auto& b = card.CreateCard();
  b.FirstName = "Anna";
  b.LastName = "Smith; Jones";
  b.Organization = "Example, Inc.";
  b.TelWorkFax = "+1 555 0100";
  card.SaveAllToFile(vcf);

  std::string out = RunCapture(std::string(kPython) + " " + script + " " + vcf + " 2>&1");
  std::string expected =
      "N|Müller-Lüdenscheid|Jürgen|Karl\n"
      "FN|Jürgen Müller-Lüdenscheid\n"
      "EMAIL|juergen@example.de\n"
      "EMAIL|j.mueller@firma.example\n"
      "TEL|+49 30 1234567|HOME,VOICE\n"
      "TEL|+49 170 7654321|WORK,CELL,VOICE\n"
      "ADR|||Hauptstraße 1|Berlin||10115|\n"
      "ADR|||Unter den Linden 5; Hinterhaus||||\n"
      "NOTE|" +
      longNote +
      "|zweite Zeile\n"
      "N|Smith; Jones|Anna|\n"
      "FN|Anna Smith; Jones\n"
      "TEL|+1 555 0100|WORK,FAX\n"
      "NOTE|\n";
  EXPECT_EQ(out, expected);
  if (!HasFailure()) std::filesystem::remove_all(dir);
}

}  // namespace
