// A table exchanged through VelaXML: exported from SQLite by the table part handler into a
// document, next to `sqlite3 -csv` dumping the same table, then the document imported into an
// empty table through the import execution and the table part handler, next to the sqlite3
// shell's `.import` of the same rows as CSV. All four run in the same process run.
//
//   vela_bench_velaxml_exchange [rows] [workdir] [details per row] [runs]
//
// Builds WORKDIR/exchange_ROWS_DETAILS.db once with the sqlite3 shell: a table "items" (integer,
// texts, a float, a date) and, with DETAILS > 0, a detail table "lines" with DETAILS records per
// item, exported nested inside their items and imported back as child records. The four steps
// run RUNS times (default 3) in turn; each figure is the median of its runs. Prints wall and CPU
// seconds (user + sys; the shell's from its child process), records per second of each, the
// ratios to the shell by wall time (what a user waits for: the import parses on a second core)
// and by CPU time (the work done), and the peak resident memory of each of the two VelaXML phases
// (the process's high-water mark, reset before each phase). Checks that the imported tables hold
// the exported rows (counts, sums and a sample of whole rows).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/db/DbConnection.h"
#include "host/db/VelaDatabase.h"
#include "host/velaxml/VelaXMLImportContainer.h"
#include "host/velaxml/VelaXMLWriter.h"
#include "plugins/_VelaXMLImportExecute.h"
#include "rtl/Streams.h"

using namespace vela;
namespace fs = std::filesystem;

namespace {

struct TClock {
  std::chrono::steady_clock::time_point Wall = std::chrono::steady_clock::now();
  double Cpu = CpuSeconds(RUSAGE_SELF);
  double Children = CpuSeconds(RUSAGE_CHILDREN);

  static double CpuSeconds(int AWho) {
    rusage u{};
    getrusage(AWho, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  }
  double WallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Wall).count();
  }
  double CpuSelf() const { return CpuSeconds(RUSAGE_SELF) - Cpu; }
  double CpuChildren() const { return CpuSeconds(RUSAGE_CHILDREN) - Children; }
};

// The process's resident high-water mark in MiB (VmHWM); ResetPeak starts a new one, so that
// each phase reports its own peak.
double PeakMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

int Shell(const std::string& ACommand) {
  const int rc = std::system(ACommand.c_str());
  if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, ACommand.c_str());
  return rc;
}

std::string ShellOutput(const std::string& ACommand) {
  std::string out;
  if (FILE* p = popen(ACommand.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The seconds of each step in each run, and the peaks over all runs.
struct TTimes {
  std::vector<double> DumpWall, DumpCpu, ExportWall, ExportCpu, ShellWall, ShellCpu, ImportWall,
      ImportCpu;
  double ExportPeak = 0, ImportPeak = 0;
};

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  const size_t n = AValues.size();
  return n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
}

const char* const kPragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
const char* const kItems =
    "CREATE TABLE items (id INTEGER PRIMARY KEY, custno INTEGER, name VARCHAR(40), "
    "city VARCHAR(40), price DOUBLE PRECISION, booked DATE, note VARCHAR(200));";
const char* const kLines =
    "CREATE TABLE lines (id INTEGER PRIMARY KEY, items_id INTEGER, qty INTEGER, "
    "article VARCHAR(40)); CREATE INDEX lines_items ON lines (items_id);";

// What the checks compare between two databases: counts and sums over all rows, and whole rows
// of a sample (ids are given in export order, so the n-th row keeps its id).
std::string Fingerprint(const std::string& ADb, long ADetails) {
  std::string sql =
      "SELECT count(*), total(custno), total(price), total(length(name) + length(city) + "
      "length(note)), min(booked), max(booked) FROM items; "
      "SELECT * FROM items WHERE id % 99991 = 1;";
  if (ADetails > 0)
    sql += " SELECT count(*), total(items_id), total(qty), total(length(article)) FROM lines;";
  return ShellOutput("sqlite3 '" + ADb + "' \"" + sql + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const fs::path dir = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
  const long details = argc > 3 ? std::atol(argv[3]) : 0;
  const long runs = std::max(1L, argc > 4 ? std::atol(argv[4]) : 3);
  fs::create_directories(dir);
  const std::string tag = std::to_string(rows) + "_" + std::to_string(details);
  const std::string source = (dir / ("exchange_" + tag + ".db")).string();
  const std::string csvDir = (dir / "exchange_csv").string();
  const std::string xml = (dir / "exchange.xml").string();
  const std::string shellTarget = (dir / "exchange_shell.db").string();
  const std::string velaTarget = (dir / "exchange_vela.db").string();
  const long records = rows + rows * details;

  if (!fs::exists(source)) {
    std::string sql = std::string(kItems) +
                      " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                      std::to_string(rows) +
                      ") INSERT INTO items SELECT i, 100000 + i % 5000, 'Customer ' || i, "
                      "'City ' || (i % 97), (i % 1000) / 8.0, date('2024-01-01', '+' || (i % 365) "
                      "|| ' days'), 'note for row ' || i || ' of the benchmark' FROM n;";
    if (details > 0)
      sql += std::string(kLines) +
             " WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM " + "n WHERE i + 1 < " +
             std::to_string(rows * details) + ") INSERT INTO lines SELECT i + 1, 1 + i / " +
             std::to_string(details) + ", i % 7, 'Article ' || (i % 1234) FROM n;";
    if (Shell("sqlite3 '" + source + "' \"" + sql + "\"") != 0) return 1;
  }
  TVelaDatabaseOptions options;
  options.InitHostTables = false;
  options.SchemaFile = (dir / "exchange_schema.ini").string();

  // One run of the four steps; false when a step failed.
  TTimes t;
  int64_t bytes = 0;
  auto run = [&]() -> bool {
    for (const std::string& db : {shellTarget, velaTarget})
      for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(db + suffix);
    fs::remove_all(csvDir);
    fs::create_directories(csvDir);

    // sqlite3 -csv: the tables into CSV files.
    TClock clock;
    for (const std::string table : {"items", "lines"}) {
      if (table == "lines" && details == 0) break;
      if (Shell("sqlite3 -csv '" + source + "' 'SELECT * FROM " + table + "' > '" + csvDir + "/" +
                table + ".csv'") != 0)
        return false;
    }
    t.DumpWall.push_back(clock.WallSeconds());
    t.DumpCpu.push_back(clock.CpuChildren());

    // The table part handler's export into a VelaXML file.
    ResetPeak();
    clock = TClock();
    {
      std::unique_ptr<TVelaDatabase> db = TVelaDatabase::Open("sqlite:" + source, options);
      IPtr<TVelaXMLImportContainer> container(new TVelaXMLImportContainer(*db));
      IPtr<IXMLImportPartHandler> handler = container->GetPartByIndent("items");
      TBufferedFileStream file(xml, fmCreate);
      {
        IPtr<TVelaXMLWriter> writer(new TVelaXMLWriter(file));
        writer->StartDocument("bench");
        handler->ExportPart(writer.get(), true);
        writer->EndDocument();
      }
      file.FlushBuffer();
      bytes = file.Size();
    }
    t.ExportWall.push_back(clock.WallSeconds());
    t.ExportCpu.push_back(clock.CpuSelf());
    t.ExportPeak = std::max(t.ExportPeak, PeakMiB());

    // sqlite3 .import of the CSV files into empty tables, in one transaction as the shell does.
    {
      std::string script = std::string(kPragmas) + "\n" + kItems + "\n" + (details ? kLines : "") +
                           "\n.mode csv\n.import '" + csvDir + "/items.csv' items\n";
      if (details > 0) script += ".import '" + csvDir + "/lines.csv' lines\n";
      std::ofstream(dir / "exchange_import.sql") << script;
    }
    clock = TClock();
    if (Shell("sqlite3 '" + shellTarget + "' '.read " + (dir / "exchange_import.sql").string() +
              "' > /dev/null") != 0)
      return false;
    t.ShellWall.push_back(clock.WallSeconds());
    t.ShellCpu.push_back(clock.CpuChildren());

    // The import execution with the table part handlers into empty tables.
    if (Shell("sqlite3 '" + velaTarget + "' '" + kPragmas + kItems + (details ? kLines : "") +
              "' > /dev/null") != 0)
      return false;
    ResetPeak();
    clock = TClock();
    {
      std::unique_ptr<TVelaDatabase> db = TVelaDatabase::Open("sqlite:" + velaTarget, options);
      SetVelaXMLImportContainerFactory([&db](IMainInterface*) {
        return IPtr<IVelaXMLPartHandlerContainer>(new TVelaXMLImportContainer(*db));
      });
      IPtr<TXMLImportExecuteObj> import(new TXMLImportExecuteObj());
      import->FFileName = xml;
      import->FImportLogEnabled = false;
      try {
        import->Execute(nullptr, nullptr);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "import failed: %s\n", e.what());
        return false;
      }
      SetVelaXMLImportContainerFactory(nullptr);
    }
    t.ImportWall.push_back(clock.WallSeconds());
    t.ImportCpu.push_back(clock.CpuSelf());
    t.ImportPeak = std::max(t.ImportPeak, PeakMiB());
    return true;
  };
  for (long i = 0; i < runs; ++i)
    if (!run()) return 1;

  const std::string expected = Fingerprint(source, details);
  const bool velaSame = Fingerprint(velaTarget, details) == expected;
  const bool shellSame = Fingerprint(shellTarget, details) == expected;

  // Records per second by wall and CPU time, and the ratios to the shell's step.
  auto line = [records](const char* AName, const std::vector<double>& AWall,
                        const std::vector<double>& ACpu, const std::vector<double>* ARefWall,
                        const std::vector<double>* ARefCpu) {
    const double wall = Median(AWall), cpu = Median(ACpu);
    std::printf("%-16s %6.2f s wall %6.2f s CPU %8.0f rec/s %8.0f rec/CPU s", AName, wall, cpu,
                records / wall, records / cpu);
    if (ARefWall)
      std::printf("  ratio wall %.2f CPU %.2f", Median(*ARefWall) / wall, Median(*ARefCpu) / cpu);
    std::printf("\n");
  };
  std::printf("rows %ld, detail records %ld, document %.1f MiB, median of %ld runs\n", rows,
              rows * details, bytes / 1048576.0, runs);
  line("sqlite3 -csv", t.DumpWall, t.DumpCpu, nullptr, nullptr);
  line("VelaXML export", t.ExportWall, t.ExportCpu, &t.DumpWall, &t.DumpCpu);
  line("sqlite3 .import", t.ShellWall, t.ShellCpu, nullptr, nullptr);
  line("VelaXML import", t.ImportWall, t.ImportCpu, &t.ShellWall, &t.ShellCpu);
  std::printf("peak RSS export %.1f MiB, import %.1f MiB\n", t.ExportPeak, t.ImportPeak);
  std::printf("imported rows equal the source: VelaXML %s, .import %s\n", velaSame ? "yes" : "NO",
              shellSame ? "yes" : "NO");
  if (!velaSame)
    std::printf("expected:\n%s\ngot:\n%s\n", expected.c_str(),
                Fingerprint(velaTarget, details).c_str());
  for (const std::string& db : {shellTarget, velaTarget})
    for (const char* suffix : {"", "-wal", "-shm"})
      fs::remove(db + suffix);
  fs::remove_all(csvDir);
  fs::remove(xml);
  fs::remove(dir / "exchange_import.sql");
  return velaSame && shellSame ? 0 : 1;
}
