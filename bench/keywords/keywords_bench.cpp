// Cost of cutting one normalised title into segments and candidates, and the
// one-time cost of loading the Jieba dictionaries.
//
//   quirvel-bench-keywords [--benchmark_filter=...]
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <cppjieba/Jieba.hpp>

#include "conversion/script_conversion.h"
#include "keywords/candidates.h"
#include "keywords/jieba_dictionary.h"
#include "keywords/segmentation.h"

namespace quirvel {
namespace {

const std::string kDictDir = QUIRVEL_BENCH_KEYWORDS_DICT;

// Every title of the shared files, normalised once up front as the worker
// would before segmenting.
const std::vector<std::string>& NormalizedTitles() {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> out;
    const std::filesystem::path dir = QUIRVEL_BENCH_KEYWORDS_TITLES;
    for (const char* name : {"tw.txt", "cn.txt", "tw_market_simplified.txt", "no_cjk.txt"}) {
      std::ifstream in(dir / name);
      for (std::string line; std::getline(in, line);) out.push_back(NormalizeScript(line));
    }
    return out;
  }();
  return titles;
}

void BM_SegmentAndBuildCandidates(benchmark::State& state) {
  const auto& titles = NormalizedTitles();
  if (titles.empty()) {
    state.SkipWithError("no titles in " QUIRVEL_BENCH_KEYWORDS_TITLES);
    return;
  }
  ::setenv("QUIRVEL_JIEBA_DICT_DIR", kDictDir.c_str(), 1);
  EnsureJieba();
  std::size_t next = 0;
  std::size_t candidates = 0;
  for (auto _ : state) {
    auto list = BuildCandidates(SegmentTitle(titles[next]));
    candidates += list.size();
    benchmark::DoNotOptimize(list.data());
    next = (next + 1) % titles.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.counters["titles"] = static_cast<double>(titles.size());
  state.counters["candidates_per_title"] =
      benchmark::Counter(static_cast<double>(candidates) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SegmentAndBuildCandidates)->Unit(benchmark::kMicrosecond);

std::string DictFile(const char* name) { return kDictDir + "/" + name; }

void BM_JiebaConstruction(benchmark::State& state) {
  for (auto _ : state) {
    cppjieba::Jieba jieba(DictFile(kJiebaMainDictFile), DictFile(kJiebaHmmModelFile),
                          DictFile(kJiebaUserDictFile), DictFile(kJiebaIdfFile),
                          DictFile(kJiebaStopWordsFile));
    benchmark::DoNotOptimize(&jieba);
  }
}
BENCHMARK(BM_JiebaConstruction)->Unit(benchmark::kMillisecond)->Iterations(5);

// The check that runs before the construction, so the two can be compared.
void BM_JiebaDictionaryCheck(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(FindJiebaDictionaryProblem(kDictDir));
}
BENCHMARK(BM_JiebaDictionaryCheck)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace quirvel

BENCHMARK_MAIN();
