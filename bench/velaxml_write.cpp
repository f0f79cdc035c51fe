// The VelaXML writer producing one part of ROWS rows of 10 text fields into a file, next to the
// same values written as CSV through a plain 64 KiB output buffer; then the SAX layer reading
// that document next to expat driven directly with the same work (count elements, sum text
// bytes), both from the file in 64 KiB blocks. Prints wall and CPU seconds, MB/s of each one's
// output (or input), the ratios and the process's peak resident memory.
//
//   vela_bench_velaxml [ROWS] [WORKDIR]      (defaults: 1000000 and the temporary folder)
#include <expat.h>
#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "host/velaxml/VelaXMLWriter.h"
#include "platform/sax/SAXReader.h"
#include "rtl/Streams.h"

namespace {

constexpr int kFields = 10;

struct TTimes {
  double Wall, Cpu;
};

template <class F>
TTimes Measure(F&& Body) {
  const auto w0 = std::chrono::steady_clock::now();
  const std::clock_t c0 = std::clock();
  Body();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count(),
          static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC};
}

// The value of field f in row r: "Value <r> of field <f>", every third with non-ASCII letters
// and an ampersand. Returns the length written into Buf.
size_t MakeValue(char* Buf, int r, int f) {
  char* p = Buf;
  for (const char* s = "Value "; *s;)
    *p++ = *s++;
  p = std::to_chars(p, p + 16, r).ptr;
  for (const char* s = " of field "; *s;)
    *p++ = *s++;
  *p++ = static_cast<char>('0' + f);
  if (f % 3 == 0)
    for (const char* s = " M\xC3\xBCller & S\xC3\xB6hne"; *s;)
      *p++ = *s++;
  return static_cast<size_t>(p - Buf);
}

const std::string kFieldNames[kFields] = {"custno", "name",  "street", "zip",  "city",
                                          "phone",  "email", "status", "note", "changed"};

void WriteVelaXML(const std::string& Path, int Rows) {
  vela::TFileStream file(Path, vela::fmCreate);
  vela::IPtr<vela::TVelaXMLWriter> w(new vela::TVelaXMLWriter(file));
  const std::string part = "customers", row = "customer";
  char buf[64];
  w->StartDocument("bench");
  w->StartElement(part, nullptr, vela::xdeNone, vela::xdeNone, vela::xbhInline, 0);
  for (int r = 0; r < Rows; ++r) {
    w->StartElement(row, nullptr, vela::xdeNone, vela::xdeNone, vela::xbhInline, 0);
    for (int f = 0; f < kFields; ++f) {
      w->StartElement(kFieldNames[f], nullptr, vela::xdeText, vela::xdeNone, vela::xbhInline, 0);
      w->Characters(vela::Variant(std::string_view(buf, MakeValue(buf, r, f))));
      w->EndElement(kFieldNames[f]);
    }
    w->EndElement(row);
  }
  w->EndElement(part);
  w->EndDocument();
}

void WriteCSV(const std::string& Path, int Rows) {
  std::FILE* out = std::fopen(Path.c_str(), "wb");
  std::string line;
  char buf[64];
  static char block[64 * 1024];
  std::setvbuf(out, block, _IOFBF, sizeof block);
  for (int f = 0; f < kFields; ++f)
    std::fputs((kFieldNames[f] + (f + 1 < kFields ? ";" : "\n")).c_str(), out);
  for (int r = 0; r < Rows; ++r) {
    for (int f = 0; f < kFields; ++f) {
      std::fwrite(buf, 1, MakeValue(buf, r, f), out);
      std::fputc(f + 1 < kFields ? ';' : '\n', out);
    }
  }
  std::fclose(out);
}

struct TCounts {
  int64_t Elements = 0, TextBytes = 0;
};

class TCounter : public vela::TSAXContentHandler {
 public:
  TCounts C;
  void StartElement(std::string_view, const vela::TSAXAttributes&) override { ++C.Elements; }
  void Characters(std::string_view Text) override {
    C.TextBytes += static_cast<int64_t>(Text.size());
  }
};

TCounts ReadSAX(const std::string& Path) {
  TCounter c;
  vela::TSAXReader(c).ParseFile(Path);
  return c.C;
}

TCounts ReadExpat(const std::string& Path) {
  TCounts c;
  std::FILE* in = std::fopen(Path.c_str(), "rb");
  XML_Parser p = XML_ParserCreate(nullptr);
  XML_SetUserData(p, &c);
  XML_SetElementHandler(
      p, [](void* ud, const XML_Char*, const XML_Char**) { ++static_cast<TCounts*>(ud)->Elements; },
      [](void*, const XML_Char*) {});
  XML_SetCharacterDataHandler(
      p, [](void* ud, const XML_Char*, int len) { static_cast<TCounts*>(ud)->TextBytes += len; });
  for (;;) {
    void* buf = XML_GetBuffer(p, 64 * 1024);
    const size_t n = std::fread(buf, 1, 64 * 1024, in);
    if (XML_ParseBuffer(p, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
      std::fprintf(stderr, "expat: %s\n", XML_ErrorString(XML_GetErrorCode(p)));
      std::exit(1);
    }
    if (n == 0) break;
  }
  XML_ParserFree(p);
  std::fclose(in);
  return c;
}

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void Report(const char* What, const TTimes& T, uintmax_t Bytes) {
  std::printf("%-22s wall %7.2f s  CPU %7.2f s  %8.1f MB/s (CPU)\n", What, T.Wall, T.Cpu,
              static_cast<double>(Bytes) / 1e6 / T.Cpu);
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::filesystem::path dir =
      argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
  const std::string xml = (dir / "vela_bench_velaxml.xml").string();
  const std::string csv = (dir / "vela_bench_velaxml.csv").string();

  const TTimes tx = Measure([&] { WriteVelaXML(xml, rows); });
  const long peakWrite = PeakKiB();
  const TTimes tc = Measure([&] { WriteCSV(csv, rows); });
  const uintmax_t xmlSize = std::filesystem::file_size(xml),
                  csvSize = std::filesystem::file_size(csv);
  TCounts a, b;
  const TTimes ts = Measure([&] { a = ReadSAX(xml); });
  const TTimes te = Measure([&] { b = ReadExpat(xml); });
  if (a.Elements != b.Elements || a.TextBytes != b.TextBytes) {
    std::fprintf(stderr, "the readers disagree\n");
    return 1;
  }

  std::printf("%d rows of %d text fields: VelaXML %.1f MB, CSV %.1f MB\n", rows, kFields,
              static_cast<double>(xmlSize) / 1e6, static_cast<double>(csvSize) / 1e6);
  Report("VelaXML writer", tx, xmlSize);
  Report("CSV, buffered output", tc, csvSize);
  std::printf("writer/CSV: %.2f in MB/s, %.2f in rows/s\n",
              (static_cast<double>(xmlSize) / tx.Cpu) / (static_cast<double>(csvSize) / tc.Cpu),
              tc.Cpu / tx.Cpu);
  Report("SAX layer read", ts, xmlSize);
  Report("expat direct read", te, xmlSize);
  std::printf("SAX layer/expat: %.2f\n", te.Cpu / ts.Cpu);
  std::printf("peak RSS after writing %ld KiB, at the end %ld KiB\n", peakWrite, PeakKiB());
  std::filesystem::remove(xml);
  std::filesystem::remove(csv);
  return 0;
}
