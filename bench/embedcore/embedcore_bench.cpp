// Engine overhead: batches of title candidates through embedcore_embed_texts
// (tokenize, pad, run, pool, normalise) against the same pre-tokenized batches
// through a bare session Run on the same model. The time ratio of the two is
// what the engine adds around the model.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "embedcore/embedcore.h"
#include "embedcore/ort_api.h"
#include "embedcore/token_batch.h"
#include "host/utf8.h"
#include "tokenizers/tokenizer.h"

namespace {

constexpr std::int32_t kMaxLength = 64;
const std::string kModel = std::string(EMBEDCORE_BENCH_MODEL_DIR) + "/model.onnx";
const std::string kVocab = std::string(EMBEDCORE_BENCH_MODEL_DIR) + "/vocab.txt";

std::vector<std::string> LoadTitles() {
  std::vector<std::string> titles;
  std::ifstream in(EMBEDCORE_BENCH_TITLES);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) titles.push_back(line);
  }
  if (titles.empty()) titles = {"无线蓝牙耳机 运动跑步 超长续航", "不锈钢保温杯 500ml 大容量", "儿童积木玩具 益智拼装"};
  return titles;
}

// Candidate-like texts: each title, then windows of 2 to 4 of its characters.
std::vector<std::string> Candidates(std::size_t wanted) {
  std::vector<std::string> out;
  for (const std::string& title : LoadTitles()) {
    const std::vector<std::string> chars = quirvel::SplitUtf8Chars(title);
    out.push_back(title);
    for (std::size_t i = 0; i + 4 <= chars.size() && out.size() < wanted; i += 3) {
      out.push_back(chars[i] + chars[i + 1] + (i % 2 ? chars[i + 2] + chars[i + 3] : ""));
    }
    if (out.size() >= wanted) break;
  }
  return out;
}

std::vector<std::string> Batch(std::size_t size) { return Candidates(size); }

void BM_EngineEmbed(benchmark::State& state) {
  const std::vector<std::string> texts = Batch(static_cast<std::size_t>(state.range(0)));
  std::vector<const char*> pointers;
  for (const std::string& text : texts) pointers.push_back(text.c_str());
  embedcore_options options{};
  options.model_path = kModel.c_str();
  options.tokenizer_path = kVocab.c_str();
  options.normalize = 1;
  embedcore_engine* engine = embedcore_create(&options);
  const std::int32_t dimension = embedcore_dimension(engine);
  if (dimension < 1) {
    state.SkipWithError(embedcore_last_error(engine) ? embedcore_last_error(engine) : "engine not ready");
    embedcore_destroy(engine);
    return;
  }
  std::vector<float> output(texts.size() * static_cast<std::size_t>(dimension));
  for (auto _ : state) {
    const std::int32_t ok = embedcore_embed_texts(engine, pointers.data(), static_cast<std::int32_t>(pointers.size()),
                                                  kMaxLength, output.data(), static_cast<std::int32_t>(output.size()),
                                                  nullptr, nullptr);
    if (!ok) state.SkipWithError("embed failed");
    benchmark::DoNotOptimize(output.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
  embedcore_destroy(engine);
}

void BM_BareSessionRun(benchmark::State& state) {
  namespace ort = quirvel::ort;
  const std::vector<std::string> texts = Batch(static_cast<std::size_t>(state.range(0)));
  const quirvel::Tokenizer tokenizer(kVocab);
  std::vector<std::vector<std::int64_t>> ids;
  for (const std::string& text : texts) ids.push_back(tokenizer.encode(text, kMaxLength));
  quirvel::PaddedBatch batch = quirvel::BuildPaddedBatch(ids, tokenizer.padding_id());

  const ort::Env env = ort::CreateEnv(ort::ORT_LOGGING_LEVEL_ERROR, "bench");
  const ort::SessionOptions options = ort::CreateSessionOptions();
  ort::Check(ort::Api().SetSessionExecutionMode(options.get(), ort::ORT_SEQUENTIAL));
  ort::Check(ort::Api().SetSessionGraphOptimizationLevel(options.get(), ort::ORT_ENABLE_ALL));
  const ort::Session session = ort::CreateSession(env.get(), kModel, options.get());
  const ort::MemoryInfo memory = ort::CreateCpuMemoryInfo();
  const std::int64_t shape[2] = {batch.batch, batch.length};
  const ort::Value input_ids =
      ort::WrapInt64Tensor(memory.get(), batch.input_ids.data(), batch.input_ids.size(), shape, 2);
  const ort::Value mask =
      ort::WrapInt64Tensor(memory.get(), batch.attention_mask.data(), batch.attention_mask.size(), shape, 2);
  const char* input_names[] = {"input_ids", "attention_mask"};
  const OrtValue* inputs[] = {input_ids.get(), mask.get()};
  const char* output_name = "sentence_embedding";
  for (auto _ : state) {
    OrtValue* raw = nullptr;
    ort::Check(ort::Api().Run(session.get(), nullptr, input_names, inputs, 2, &output_name, 1, &raw));
    const ort::Value output(raw);
    benchmark::DoNotOptimize(ort::FloatData(raw));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}

BENCHMARK(BM_EngineEmbed)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareSessionRun)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
