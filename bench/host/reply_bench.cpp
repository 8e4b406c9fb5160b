// What "detail" and "top" cost per extract request: the reply built from the
// same extractions without and with them (and under --keep-request-characters),
// beside one whole extraction for scale.
//
//   reply_bench [--benchmark_filter=...]
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "host/request_loop.h"
#include "host/resources.h"
#include "keywords/keyword_model.h"

namespace quirvel {
namespace {

constexpr std::int32_t kMaxLen = 24;
constexpr std::size_t kTitles = 200;

// The first titles of the real ones, or a few of our own without them.
std::vector<std::string> Titles() {
  std::vector<std::string> titles;
  std::ifstream in(REPLY_BENCH_TITLES);
  for (std::string line; titles.size() < kTitles && std::getline(in, line);) {
    if (!line.empty()) titles.push_back(line);
  }
  if (titles.empty())
    titles = {"《台灣製造》無線藍牙耳機 降噪", "Apple iPhone 15 Pro 手機殼 透明 防摔",
              "後背包 防潑水 大容量"};
  return titles;
}

// The demo model and one extraction per title, made once.
struct Extractions {
  KeywordModelPtr model;
  std::vector<ExtractionResult> results;

  Extractions() {
    SetOpenccConfigPath(std::string(REPLY_BENCH_OPENCC_DIR) + "/tw2sp.json");
    SetHostOpenccResourceDir(REPLY_BENCH_OPENCC_DIR);
    SetJiebaDictDir(REPLY_BENCH_JIEBA_DIR);
    KeywordModelConfig config;
    config.model_path = REPLY_BENCH_MODEL_DIR "/model.onnx";
    config.tokenizer_path = REPLY_BENCH_MODEL_DIR "/vocab.txt";
    model = CreateKeywordModel(config);
    if (!IsModelReady(model.get())) throw std::runtime_error(ModelLastError(model.get()));
    for (const std::string& title : Titles()) results.push_back(Extract(model.get(), title, kMaxLen));
  }
};

const Extractions& Shared() {
  static const Extractions extractions;
  return extractions;
}

// One reply per iteration, written as the worker writes it.
void BM_ExtractReply(benchmark::State& state, ExtractReplyAsk ask, ReplyOptions options) {
  const Extractions& shared = Shared();
  std::size_t next = 0;
  for (auto _ : state) {
    const std::string line =
        BuildExtractReply("b", shared.model.get(), shared.results[next], ask, options).dump();
    benchmark::DoNotOptimize(line.data());
    next = (next + 1) % shared.results.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
constexpr ReplyOptions kSeller{BackConversion::SellerScript};
constexpr ReplyOptions kEverything{BackConversion::Everything};
constexpr ReplyOptions kKeep{BackConversion::OutsideRequestCharacters};
BENCHMARK_CAPTURE(BM_ExtractReply, plain, ExtractReplyAsk{kMaxLen, false, 0}, kSeller)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractReply, detail, ExtractReplyAsk{kMaxLen, true, 0}, kSeller)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractReply, detail_top5, ExtractReplyAsk{kMaxLen, true, 5}, kSeller)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractReply, everything, ExtractReplyAsk{kMaxLen, false, 0}, kEverything)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractReply, keep, ExtractReplyAsk{kMaxLen, false, 0}, kKeep)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractReply, keep_detail_top5, ExtractReplyAsk{kMaxLen, true, 5}, kKeep)
    ->Unit(benchmark::kMicrosecond);

// The whole request for scale: normalisation, segmentation, ranking and reply.
void BM_WholeExtractRequest(benchmark::State& state) {
  const Extractions& shared = Shared();
  std::size_t next = 0;
  for (auto _ : state) {
    const ExtractionResult result = Extract(shared.model.get(), shared.results[next].input_title, kMaxLen);
    benchmark::DoNotOptimize(BuildExtractReply("b", shared.model.get(), result, {kMaxLen, false, 0}).dump());
    next = (next + 1) % shared.results.size();
  }
}
BENCHMARK(BM_WholeExtractRequest)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quirvel

BENCHMARK_MAIN();
