// A SQLite table converted into a VelaXML document by the SQL dataset pre-processor (the class
// velasql.vxp hands out), next to `sqlite3 -csv` dumping the same table in the same run.
//
//   vela_bench_preconvert [rows] [workdir]
//
// Builds WORKDIR/preconvert_ROWS.db once (10 columns: integers, texts, a float, a date; made by
// the sqlite3 shell), dumps it with `sqlite3 -csv` into a file, converts it into a VelaXML file,
// and prints rows per second of both and this process's peak resident memory (getrusage: the
// dump runs in a child process and does not count). Run once per table size: the peak of one
// process is what is compared between sizes.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "components/_SQLDataSetImportPreProcessor.h"
#include "host/InterfacedData.h"
#include "host/db/VelaDatabase.h"
#include "rtl/Streams.h"

using namespace vela;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Shell(const std::string& command) {
  const int rc = std::system(command.c_str());
  if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, command.c_str());
  return rc;
}

const char* const kConfig =
    "[VelaXML]\nPartName=ROWS\nItemName=ROW\n[DB]\nTableName=t\n"
    "[Mapping]\nid=id\ncustno=custno\nname=name\nstreet=street\ncity=city\nzip=zip\n"
    "qty=qty\nprice=price\nbooked=booked\nnote=note\n";

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const std::filesystem::path dir =
      argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
  std::filesystem::create_directories(dir);
  const std::string db = (dir / ("preconvert_" + std::to_string(rows) + ".db")).string();
  const std::string csv = (dir / "preconvert.csv").string();
  const std::string xml = (dir / "preconvert.xml").string();

  if (!std::filesystem::exists(db)) {
    const std::string sql =
        "CREATE TABLE t (id INTEGER PRIMARY KEY, custno INTEGER, name VARCHAR(40), street "
        "VARCHAR(60), city VARCHAR(40), zip VARCHAR(10), qty INTEGER, price DOUBLE PRECISION, "
        "booked DATE, note VARCHAR(200)); "
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(rows) +
        ") INSERT INTO t SELECT i, 100000 + i % 5000, 'Customer ' || i, 'Main Street ' || "
        "(i % 300), 'City ' || (i % 97), printf('%05d', i % 99999), i % 17, (i % 1000) / 8.0, "
        "date('2024-01-01', '+' || (i % 365) || ' days'), 'note for row ' || i || ' of the "
        "benchmark' FROM n;";
    if (Shell("sqlite3 '" + db + "' \"" + sql + "\"") != 0) return 1;
  }

  auto start = std::chrono::steady_clock::now();
  if (Shell("sqlite3 -csv '" + db + "' 'SELECT * FROM t' > '" + csv + "'") != 0) return 1;
  const double csvSeconds = Seconds(start);

  TVelaDatabaseOptions options;
  options.InitHostTables = false;
  options.SchemaFile = (dir / "schema.ini").string();
  std::unique_ptr<TVelaDatabase> database = TVelaDatabase::Open("sqlite:" + db, options);
  IPtr<TSQLDataSetImportPreProcessor> p(new TSQLDataSetImportPreProcessor);
  p->SetDatabase(database.get());
  start = std::chrono::steady_clock::now();
  int64_t bytes = 0;
  {
    IPtr<IDataStream> out = NewDataStream(new TFileStream(xml, fmCreate), true);
    std::string error;
    bool user = false;
    if (!p->Do_PreConvert(nullptr, out.get(), kConfig, xmpRAW, xmpRAW, nullptr, nullptr,
                          pemImportTransformXML, nullptr, false, nullptr, error, user)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    bytes = out->Get_Size();
  }
  const double xmlSeconds = Seconds(start);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double csvRate = rows / csvSeconds, xmlRate = rows / xmlSeconds;
  std::printf("rows %ld\n", rows);
  std::printf("sqlite3 -csv   %8.2f s  %10.0f rows/s  %8.1f MiB\n", csvSeconds, csvRate,
              std::filesystem::file_size(csv) / 1048576.0);
  std::printf("preconvert     %8.2f s  %10.0f rows/s  %8.1f MiB\n", xmlSeconds, xmlRate,
              bytes / 1048576.0);
  std::printf("ratio          %8.2f\n", xmlRate / csvRate);
  std::printf("peak RSS       %8.1f MiB\n", usage.ru_maxrss / 1024.0);
  std::filesystem::remove(csv);
  std::filesystem::remove(xml);
  return 0;
}
