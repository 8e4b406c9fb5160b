// Cost of one script conversion of a real title. Each conversion opens and
// closes its own OpenCC converter, so this is dominated by loading the
// configuration's dictionaries, which an extract request pays three times.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "conversion/script_conversion.h"
#include "host/resources.h"

namespace {

std::vector<std::string> LoadTitles() {
  std::vector<std::string> titles;
  std::ifstream file(QUIRVEL_BENCH_TITLES);
  for (std::string line; std::getline(file, line);)
    if (!line.empty()) titles.push_back(line);
  return titles;
}

const std::vector<std::string>& Titles() {
  static const std::vector<std::string> titles = LoadTitles();
  return titles;
}

template <std::string (*Convert)(const std::string&)>
void RunOverTitles(benchmark::State& state) {
  if (Titles().empty()) {
    state.SkipWithError("real titles are absent: " QUIRVEL_BENCH_TITLES);
    return;
  }
  quirvel::SetHostOpenccResourceDir(QUIRVEL_BENCH_OPENCC_DIR);
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Convert(Titles()[next]));
    next = (next + 1) % Titles().size();
  }
}

void BM_NormalizeScript(benchmark::State& state) { RunOverTitles<quirvel::NormalizeScript>(state); }
void BM_ToTraditional(benchmark::State& state) { RunOverTitles<quirvel::ToTraditional>(state); }

BENCHMARK(BM_NormalizeScript)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToTraditional)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
