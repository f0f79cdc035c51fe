// End-to-end benchmark of the card library: generates a file of vCard 3.0 contacts (folded
// notes, escaped values, several TEL/EMAIL/ADR lines), parses it and reports contacts per second
// and peak memory, next to python3-vobject parsing the same file when it is installed.
//
//   build/bench/vela_bench_vcard [contacts=100000] [workdir=/tmp]
// VELA_BENCH_NO_PEER=1 leaves out the python3-vobject run.
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "vcard/VCard.h"
#include "vcard/VCardItem.h"

namespace {

void Generate(const std::string& path, int count) {
  std::ofstream out(path, std::ios::binary);
  std::string note;
  for (int i = 0; i < 6; ++i)
    note += "Notiz mit Komma\\, Semikolon\\; und Zeilenumbruch\\n Zeile " + std::to_string(i) + " ";
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    std::string noteLine = "NOTE:" + note + n;
    out << "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    out << "UID:contact-" << n << "\r\n";
    out << "FN:Vorname" << n << " Nachname" << n << "\r\n";
    out << "N:Nachname" << n << ";Vorname" << n << ";Zweit;Dr.;\r\n";
    out << "ORG:Firma " << n << "\\, GmbH & Co. KG\r\n";
    out << "EMAIL;TYPE=INTERNET,HOME:privat" << n << "@example.com\r\n";
    out << "EMAIL;TYPE=INTERNET,WORK:arbeit" << n << "@example.com\r\n";
    out << "TEL;TYPE=HOME,VOICE:+49 30 " << n << "\r\n";
    out << "TEL;TYPE=WORK,VOICE:+49 40 " << n << "\r\n";
    out << "TEL;TYPE=HOME,CELL,VOICE:+49 170 " << n << "\r\n";
    out << "ADR;TYPE=HOME:;;Hauptstrasse " << n << ";Berlin;;10115;Deutschland\r\n";
    out << "ADR;TYPE=WORK:;Haus B;Industrieweg " << n << "\\, Tor 3;Hamburg;;20095;Deutschland\r\n";
    // Fold the note at 75 characters as a 3.0 writer does.
    for (size_t pos = 0; pos < noteLine.size(); pos += 74) {
      if (pos) out << ' ';
      out << noteLine.substr(pos, pos ? 74 : 75) << "\r\n";
      if (!pos) pos += 1;
    }
    out << "END:VCARD\r\n";
  }
}

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

const char* kVobjectScript = R"PY(
import sys, time, resource, vobject
start = time.time()
cpu = time.process_time()
n = 0
with open(sys.argv[1], encoding='utf-8', newline='') as f:
    for card in vobject.readComponents(f):
        n += 1
elapsed = time.time() - start
cpu = time.process_time() - cpu
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(f"{n} {elapsed:.3f} {cpu:.3f} {peak}")
)PY";

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  std::filesystem::path dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
  std::string file = (dir / "vela_bench_contacts.vcf").string();
  Generate(file, count);
  auto size = std::filesystem::file_size(file);
  long rssBefore = PeakRssKiB();

  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  vela::TVCard card;
  card.LoadFromFile(file);
  double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  long rssAfter = PeakRssKiB();
  // A spot check that the parse is real.
  auto& last = dynamic_cast<vela::TVCardItem&>(card.Items()[card.Count() - 1]);
  if (card.Count() != count || last.TelHomeCellular.empty() || last.Notes.IsEmpty()) {
    std::cerr << "parse check failed\n";
    return 1;
  }

  std::printf("file: %d contacts, %.1f MiB\n", count, size / 1048576.0);
  // Contacts per second by CPU time: wall time on a shared machine says little.
  std::printf("%-18s %10s %10s %16s %10s\n", "parser", "wall s", "cpu s", "contacts/cpu-s",
              "peak MiB");
  std::printf("%-18s %10.3f %10.3f %16.0f %10.1f\n", "VelaCard", seconds, cpu, count / cpu,
              rssAfter / 1024.0);
  (void)rssBefore;

  if (std::getenv("VELA_BENCH_NO_PEER")) {
    // only our own parser
  } else if (std::system("/usr/bin/python3 -c 'import vobject' >/dev/null 2>&1") == 0) {
    std::string script = (dir / "vela_bench_vobject.py").string();
    std::ofstream(script) << kVobjectScript;
    std::string cmd = "/usr/bin/python3 " + script + " " + file;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      int n = 0;
      double secs = 0;
      double cpuSecs = 0;
      long peak = 0;
      if (std::fscanf(p, "%d %lf %lf %ld", &n, &secs, &cpuSecs, &peak) == 4)
        std::printf("%-18s %10.3f %10.3f %16.0f %10.1f\n", "python3-vobject", secs, cpuSecs,
                    n / cpuSecs, peak / 1024.0);
      pclose(p);
    }
    std::filesystem::remove(script);
  } else {
    std::printf("python3-vobject not installed: no comparison\n");
  }
  std::filesystem::remove(file);
  return 0;
}
