// String list hot paths: parsing delimited text and looking up name=value pairs.
#include <benchmark/benchmark.h>

#include <string>

#include "rtl/Classes.h"

namespace {

// One CSV-like record of n fields, some quoted with doubled quotes inside.
std::string Record(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) {
    if (i > 0) s += ',';
    if (i % 3 == 0)
      s += "\"field " + std::to_string(i) + " with \"\"quotes\"\", and comma\"";
    else
      s += "value" + std::to_string(i);
  }
  return s;
}

void BM_DelimitedTextParse(benchmark::State& state) {
  const std::string text = Record(static_cast<int>(state.range(0)));
  vela::TStringList list;
  list.SetStrictDelimiter(state.range(1) != 0);
  for (auto _ : state) {
    list.SetDelimitedText(text);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_DelimitedTextParse)->Args({10, 0})->Args({1000, 0})->Args({1000, 1});

void BM_DelimitedTextWrite(benchmark::State& state) {
  vela::TStringList list;
  list.SetDelimitedText(Record(static_cast<int>(state.range(0))));
  for (auto _ : state)
    benchmark::DoNotOptimize(list.DelimitedText());
}
BENCHMARK(BM_DelimitedTextWrite)->Arg(1000);

// Values lookup in a list of n settings, hitting names spread over the list (any case).
void BM_ValuesLookup(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  vela::TStringList list;
  for (int i = 0; i < n; ++i)
    list.Add("SettingName" + std::to_string(i) + "=value " + std::to_string(i));
  std::string names[4];
  for (int k = 0; k < 4; ++k)
    names[k] = "settingname" + std::to_string((n - 1) * k / 3);
  int k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(list.Values(names[k]));
    k = (k + 1) & 3;
  }
}
BENCHMARK(BM_ValuesLookup)->Arg(16)->Arg(256)->Arg(4096);

}  // namespace
