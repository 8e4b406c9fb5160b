// Titles per second for each tokenizer kind, and the load time of each real
// tokenizer file. Every benchmark skips itself when the shared data is absent.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tokenizers/tokenizer.h"

namespace {

const std::string kDataDir = QUIRVEL_BENCH_SHARED_DATA;
const std::string kBertVocab = kDataDir + "/tokenizers/bert-base-chinese/vocab.txt";
const std::string kBertJson = kDataDir + "/tokenizers/bert-base-chinese/tokenizer.json";
const std::string kQwenJson = kDataDir + "/tokenizers/qwen3/tokenizer.json";
constexpr std::int32_t kMaxLength = 512;

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

const std::vector<std::string>& Titles() {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> all;
    for (const char* file : {"tw.txt", "cn.txt", "tw_market_simplified.txt", "no_cjk.txt"}) {
      std::ifstream stream(kDataDir + "/titles/" + file, std::ios::binary);
      for (std::string line; std::getline(stream, line);) all.push_back(line);
    }
    return all;
  }();
  return titles;
}

// No Unigram file of real size exists; this one reuses the BERT pieces, each both
// as a word start (meta-space prefixed) and as a continuation, with rank-ordered
// scores, so the lattice sees a realistic vocabulary size and piece lengths.
std::string WriteUnigramFromBertVocab() {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("qrv_bench_unigram_" + std::to_string(getpid()) + ".json")).string();
  std::ifstream vocab(kBertVocab, std::ios::binary);
  std::ofstream out(path, std::ios::binary);
  out << R"({"model": {"type": "Unigram", "vocab": [["<s>", 0], ["<pad>", 0], ["</s>", 0], ["<unk>", 0])";
  int rank = 0;
  for (std::string token; std::getline(vocab, token); ++rank) {
    if (token.empty() || token[0] == '[' || token.find_first_of("\"\\") != std::string::npos) continue;
    const bool continuation = token.rfind("##", 0) == 0;
    const std::string piece = continuation ? token.substr(2) : "\xE2\x96\x81" + token;
    out << ", [\"" << piece << "\", " << -1.0 - rank * 0.0005 << "]";
  }
  out << "]}}";
  return path;
}

const quirvel::Tokenizer* Loaded(const std::string& path) {
  if (!Exists(path)) return nullptr;
  static std::vector<std::pair<std::string, std::unique_ptr<quirvel::Tokenizer>>> cache;
  for (const auto& [cached_path, tokenizer] : cache) {
    if (cached_path == path) return tokenizer.get();
  }
  cache.emplace_back(path, std::make_unique<quirvel::Tokenizer>(path));
  return cache.back().second.get();
}

void EncodeTitles(benchmark::State& state, const quirvel::Tokenizer* tokenizer) {
  if (tokenizer == nullptr || Titles().empty()) {
    state.SkipWithError("shared tokenizer or title data absent");
    return;
  }
  std::size_t ids = 0;
  for (auto _ : state) {
    for (const auto& title : Titles()) {
      const auto encoded = tokenizer->encode(title, kMaxLength);
      ids += encoded.size();
      benchmark::DoNotOptimize(encoded.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * Titles().size()));
  state.counters["ids_per_title"] =
      static_cast<double>(ids) / static_cast<double>(state.iterations() * Titles().size());
}

void BM_TitlesWordPieceVocabTxt(benchmark::State& state) { EncodeTitles(state, Loaded(kBertVocab)); }
void BM_TitlesWordPieceJson(benchmark::State& state) { EncodeTitles(state, Loaded(kBertJson)); }
void BM_TitlesBpeQwen3(benchmark::State& state) { EncodeTitles(state, Loaded(kQwenJson)); }

void BM_TitlesUnigramSynthetic(benchmark::State& state) {
  if (!Exists(kBertVocab)) {
    state.SkipWithError("shared tokenizer data absent");
    return;
  }
  static const std::string path = WriteUnigramFromBertVocab();
  EncodeTitles(state, Loaded(path));
}

void LoadFile(benchmark::State& state, const std::string& path) {
  if (!Exists(path)) {
    state.SkipWithError("shared tokenizer data absent");
    return;
  }
  for (auto _ : state) {
    const quirvel::Tokenizer tokenizer(path);
    benchmark::DoNotOptimize(tokenizer.vocabulary_size());
  }
}

void BM_LoadBertVocabTxt(benchmark::State& state) { LoadFile(state, kBertVocab); }
void BM_LoadBertJson(benchmark::State& state) { LoadFile(state, kBertJson); }
void BM_LoadQwen3Json(benchmark::State& state) { LoadFile(state, kQwenJson); }

BENCHMARK(BM_TitlesWordPieceVocabTxt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitlesWordPieceJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitlesBpeQwen3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitlesUnigramSynthetic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBertVocabTxt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBertJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadQwen3Json)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
