// Records per second through the import core (processor and record buffer: mapping, value
// conversion, the write through TClientSQL) into SQLite, next to the same inserts done directly
// with TClientSQL. The engine feeds prepared records from memory, so no file is read; the
// difference between the two is what the core costs per record.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "ImportEngine/_BaseDataImportEngine.h"
#include "host/db/ClientSQL.h"
#include "host/db/DbConnection.h"
#include "host/db/HostTables.h"
#include "host/db/VelaDatabase.h"
#include "plugins/_ImportObject.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"

namespace vela {
namespace {

constexpr int kRecords = 20000;

struct TBenchField {
  const char* Name;
  TFieldType Type;
  int Size;
  TImportDataType DataType;
};
const TBenchField kFields[] = {
    {"name", ftString, 40, idtText},       {"age", ftInteger, 0, idtInteger},
    {"amount", ftFloat, 0, idtFloat},      {"birthday", ftDate, 0, idtDate},
    {"note", ftString, 80, idtText},       {"big", ftLargeint, 0, idtText},
    {"stamp", ftDateTime, 0, idtDateTime}, {"code", ftString, 20, idtText},
};
constexpr int kFieldCount = sizeof(kFields) / sizeof(kFields[0]);

// The text of field f of record i, as an engine would read it.
std::string Text(int i, int f) {
  std::string s;
  switch (f) {
    case 0:
      s.append("Name ").append(std::to_string(i));
      break;
    case 1:
      s = std::to_string(i % 100);
      break;
    case 2:
      s.append(std::to_string(i)).append(".25");
      break;
    case 3:
      s.append("2024/").append(std::to_string(i % 12 + 1)).append("/");
      s.append(std::to_string(i % 28 + 1));
      break;
    case 4:
      s.append("A note about record ").append(std::to_string(i));
      break;
    case 5:
      s = std::to_string(1000000LL * i);
      break;
    case 6:
      s.append("2024/03/05 ").append(std::to_string(i % 24)).append(":15:30");
      break;
    default:
      s.append("C").append(std::to_string(i % 997));
  }
  return s;
}

class TMemoryEngine : public TBaseDataImportEngine {
  VELA_IMPORT_ENGINE_CLASS(TMemoryEngine)
  explicit TMemoryEngine(TObject* AOwner = nullptr) : TBaseDataImportEngine(AOwner) {
    AddFormat("{9B3E7C51-0D2A-4F61-8E4B-5A7C2D9E1F03}", "Memory", ".mem", nullptr, false, false,
              false, true, true);
    FTexts.reserve(static_cast<size_t>(kRecords) * kFieldCount);
    for (int i = 0; i < kRecords; ++i)
      for (int f = 0; f < kFieldCount; ++f)
        FTexts.push_back(Text(i, f));
  }

 protected:
  bool DoImport() override {
    size_t k = 0;
    for (int i = 0; i < kRecords; ++i) {
      bool abort = false;
      DoStartRecord(abort);
      if (abort) break;
      for (int f = 0; f < kFieldCount; ++f)
        SetValue(kFields[f].Name, FTexts[k++], kFields[f].DataType);
      DoPostRecord();
    }
    return true;
  }

 private:
  std::vector<std::string> FTexts;
};

struct TBenchDb {
  std::filesystem::path Dir;
  std::unique_ptr<TVelaDatabase> Db;

  TBenchDb() {
    Dir = std::filesystem::temp_directory_path() / ("vela_bench_core_" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    TVelaDatabaseOptions o;
    o.SchemaFile = (Dir / "schema.ini").string();
    o.InitHostTables = false;
    Db = TVelaDatabase::Open("sqlite:" + (Dir / "bench.db").string(), o);
    THostTableDef def{"person", {}};
    for (const auto& f : kFields)
      def.Fields.push_back({f.Name, f.Type, f.Size, false, {}});
    {
      auto conn = Db->Connection();
      conn->ExecSQL(CreateTableSQL(*conn, def));
    }
    Db->RefreshSchema();
  }
  ~TBenchDb() {
    Db.reset();
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }
  void Empty() {
    auto conn = Db->Connection();
    conn->ExecSQL("DELETE FROM person");
  }
};

// The whole import core: engine callbacks, mapping, conversion and the write, one transaction.
void BM_CoreImportSQLite(benchmark::State& state) {
  TBenchDb bench;
  TMemoryEngine engine;
  IPtr<TImportObject> obj(new TImportObject(*bench.Db));
  obj->DataProcessor().RegisterEngine(IPtr<IDataImportEngine>(&engine));
  obj->SetEngineIndex(0);
  obj->SetFormatIndex(0);
  obj->SetDestSchema(bench.Db->GetSchemaByName("person"));
  std::vector<std::string> assignments;
  for (const auto& f : kFields)
    assignments.push_back(std::string(f.Name) + "=" + f.Name);
  for (auto _ : state) {
    state.PauseTiming();
    bench.Empty();
    obj->Set_FieldAssignments(NewStringListData(assignments));
    obj->Set_ImportMode(DimCleanCopy);
    obj->Set_UseTransactions(true);
    state.ResumeTiming();
    if (!obj->Do_Execute(nullptr)) state.SkipWithError("import failed");
  }
  int32_t ins = 0, upd = 0;
  obj->Do_QueryImportResult(ins, upd);
  if (ins != kRecords) state.SkipWithError("not every record was inserted");
  state.SetItemsProcessed(state.iterations() * kRecords);
}

// The database insert alone: the same values, already converted, through TClientSQL.
void BM_ClientSQLInsertSameRecords(benchmark::State& state) {
  TBenchDb bench;
  std::vector<Variant> values;
  values.reserve(static_cast<size_t>(kRecords) * kFieldCount);
  for (int i = 0; i < kRecords; ++i) {
    values.emplace_back(Text(i, 0));
    values.emplace_back(int64_t{i % 100});
    values.emplace_back(StrToFloat(Text(i, 2)));
    values.push_back(Variant::FromDateTime(StrToDate(Text(i, 3))));
    values.emplace_back(Text(i, 4));
    values.emplace_back(int64_t{1000000LL * i});
    values.push_back(Variant::FromDateTime(StrToDateTime(Text(i, 6))));
    values.emplace_back(Text(i, 7));
  }
  TClientSQL sql(*bench.Db);
  sql.SetSchemaName("person");
  std::vector<TClientSQLField*> fields;
  for (const auto& f : kFields)
    fields.push_back(&sql.FieldByName(f.Name));
  for (auto _ : state) {
    state.PauseTiming();
    bench.Empty();
    state.ResumeTiming();
    bench.Db->StartTransaction();
    size_t k = 0;
    for (int i = 0; i < kRecords; ++i) {
      for (TClientSQLField* f : fields)
        f->SetValue(values[k++]);
      benchmark::DoNotOptimize(sql.Execute());
    }
    bench.Db->Commit();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

BENCHMARK(BM_CoreImportSQLite)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientSQLInsertSameRecords)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vela
