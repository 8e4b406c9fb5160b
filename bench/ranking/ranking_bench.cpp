// The ranking's own cost around the engine: similarities, scores, the sort and
// the cache lookups. The engine here hands back stored rows, so model time is
// left out; the worker-level driver measures the whole request.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>

#include "keywords/keyword_model_types.h"
#include "ranking/embedding_cache.h"
#include "ranking/ranking.h"

namespace quirvel {
namespace {

constexpr std::int32_t kDimension = 1024;  // bge-large-zh-v1.5 and most profiled models

Embedding RandomUnitVector(std::mt19937& random) {
  std::normal_distribution<float> normal;
  Embedding v(kDimension);
  for (auto& x : v) x = normal(random);
  const float norm = std::sqrt(Similarity(v, v));
  for (auto& x : v) x /= norm;
  return v;
}

// Answers every batch with stored rows, in constant time per text.
class StoredRowsClient final : public EmbeddingClient {
 public:
  StoredRowsClient() {
    std::mt19937 random(11);
    for (auto& row : rows_) row = RandomUnitVector(random);
  }
  bool IsReady() const override { return true; }
  std::int32_t Dimension() const override { return kDimension; }
  std::string LastError() const override { return ""; }
  std::vector<Embedding> EmbedTexts(const std::vector<std::string>& texts, std::int32_t) override {
    std::vector<Embedding> out;
    out.reserve(texts.size());
    for (const auto& text : texts) out.push_back(rows_[std::hash<std::string>{}(text) % rows_.size()]);
    return out;
  }

 private:
  std::array<Embedding, 64> rows_;
};

std::vector<Candidate> MakeCandidates(std::size_t count) {
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t start = 3 * (i % 40);
    candidates.push_back({"候选" + std::to_string(i), start, start + 6, i % 4 == 3 ? "phrase4" : "token"});
  }
  return candidates;
}

void BM_Similarity(benchmark::State& state) {
  std::mt19937 random(3);
  const Embedding a = RandomUnitVector(random);
  const Embedding b = RandomUnitVector(random);
  for (auto _ : state) benchmark::DoNotOptimize(Similarity(a, b));
}
BENCHMARK(BM_Similarity);

std::vector<RankedCandidate> RandomRecords(std::size_t count) {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> score(-0.2f, 0.6f);
  std::vector<RankedCandidate> records(count);
  for (std::size_t i = 0; i < records.size(); ++i) {
    records[i].score = score(random);
    records[i].start = i;
  }
  return records;
}

void BM_SortRanked(benchmark::State& state) {
  const auto records = RandomRecords(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto copy = records;
    SortRanked(copy);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_SortRanked)->Arg(40)->Arg(160)->Arg(1000);

// The library's stable sort with the same ordering, for comparison only.
void BM_StdStableSort(benchmark::State& state) {
  const auto records = RandomRecords(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto copy = records;
    std::stable_sort(copy.begin(), copy.end(), RanksBefore);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_StdStableSort)->Arg(40)->Arg(160)->Arg(1000);

// Default mode, prompts cached after the first round; the argument is the
// candidate count, the second whether the candidate cache is on.
void BM_RankCandidateList(benchmark::State& state) {
  JiebaKeywordModel model;
  model.client = std::make_unique<StoredRowsClient>();
  model.candidate_cache_enabled = state.range(1) != 0;
  const auto candidates = MakeCandidates(static_cast<std::size_t>(state.range(0)));
  const std::string title = "品牌型号无线蓝牙耳机降噪长续航";
  for (auto _ : state) benchmark::DoNotOptimize(RankCandidateList(model, title, candidates).size());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RankCandidateList)->Args({40, 0})->Args({40, 1})->Args({160, 0})->Args({160, 1});

void BM_CachedEmbedTextsAllHits(benchmark::State& state) {
  StoredRowsClient client;
  EmbeddingCache cache;
  std::uint64_t hits = 0, misses = 0;
  CacheCounters counters{hits, misses};
  std::vector<std::string> texts;
  for (const auto& c : MakeCandidates(static_cast<std::size_t>(state.range(0)))) texts.push_back(c.text);
  CachedEmbedTexts(client, cache, texts, 64, &counters);
  for (auto _ : state) benchmark::DoNotOptimize(CachedEmbedTexts(client, cache, texts, 64, &counters).size());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CachedEmbedTextsAllHits)->Arg(40)->Arg(160);

}  // namespace
}  // namespace quirvel

BENCHMARK_MAIN();
