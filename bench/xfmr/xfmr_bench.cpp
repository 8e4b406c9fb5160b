// The worker's in-process extraction over a transformer-shaped model against a
// bare ONNX Runtime session running the very same batches.
//
// Per title, Extract runs through the worker's keyword model while a thin
// client wrapper records every batch it sends to the engine (the title alone,
// the title's candidates, the prompts its cache misses). The recorded batches
// are then tokenized and padded outside the clock and run through a bare
// session with the engine's session settings. The ratio of the two times is
// what the worker adds around the model: normalisation, segmentation,
// candidates, tokenization, pooling, scoring and joining.
//
// With --compare, a second worker on another model (an int8 form of the same
// encoder) extracts each title right after the first, so the two times per
// request share the machine's load.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/driver/latency_stats.h"
#include "bench/driver/titles.h"
#include "embedcore/ort_api.h"
#include "embedcore/token_batch.h"
#include "keywords/keyword_model.h"
#include "tokenizers/tokenizer.h"

namespace {

namespace ort = quirvel::ort;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: quirvel-bench-xfmr --model <model.onnx> --vocab <vocab.txt> [--profile N] [--titles <file>]\n"
    "                          [--count N] [--max-len N] [--no-baseline] [--compare <other.onnx>]\n";

struct Options {
  std::string model;
  std::string vocab;
  std::uint32_t profile = 0;
  std::string titles = QUIRVEL_XFMR_DEFAULT_TITLES;
  std::size_t count = 50;
  std::size_t max_len = 24;  // the worker's default "max_len"
  bool baseline = true;
  std::string compare;  // a second model the worker runs on the same titles
};

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One engine call as the worker made it.
struct RecordedBatch {
  std::vector<std::string> texts;
  std::int32_t max_length = 0;
};

// Passes every call through to the worker's own client, keeping a copy of
// each batch and the time spent inside the engine. The copy costs
// microseconds against model runs of milliseconds.
class RecordingClient : public quirvel::EmbeddingClient {
 public:
  explicit RecordingClient(std::unique_ptr<quirvel::EmbeddingClient> inner) : inner_(std::move(inner)) {}
  bool IsReady() const override { return inner_->IsReady(); }
  std::int32_t Dimension() const override { return inner_->Dimension(); }
  std::string LastError() const override { return inner_->LastError(); }
  std::vector<quirvel::Embedding> EmbedTexts(const std::vector<std::string>& texts,
                                             std::int32_t max_length) override {
    if (!recording_) return inner_->EmbedTexts(texts, max_length);
    batches_.push_back({texts, max_length});
    const Clock::time_point start = Clock::now();
    std::vector<quirvel::Embedding> rows = inner_->EmbedTexts(texts, max_length);
    engine_ms_ += MillisecondsSince(start);
    return rows;
  }
  void SetRecording(bool on) { recording_ = on; }
  std::vector<RecordedBatch> TakeBatches() { return std::exchange(batches_, {}); }
  double TakeEngineMilliseconds() { return std::exchange(engine_ms_, 0.0); }

 private:
  std::unique_ptr<quirvel::EmbeddingClient> inner_;
  std::vector<RecordedBatch> batches_;
  double engine_ms_ = 0;
  bool recording_ = false;
};

std::string NextValue(int argc, char** argv, int& i) {
  if (i + 1 >= argc) throw std::runtime_error(std::string("missing value after ") + argv[i]);
  return argv[++i];
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--model")
      o.model = NextValue(argc, argv, i);
    else if (arg == "--vocab")
      o.vocab = NextValue(argc, argv, i);
    else if (arg == "--profile")
      o.profile = static_cast<std::uint32_t>(std::stoul(NextValue(argc, argv, i)));
    else if (arg == "--titles")
      o.titles = NextValue(argc, argv, i);
    else if (arg == "--count")
      o.count = std::stoul(NextValue(argc, argv, i));
    else if (arg == "--compare")
      o.compare = NextValue(argc, argv, i);
    else if (arg == "--max-len")
      o.max_len = std::stoul(NextValue(argc, argv, i));
    else if (arg == "--no-baseline")
      o.baseline = false;
    else
      throw std::runtime_error("unknown option: " + arg);
  }
  if (o.model.empty() || o.vocab.empty()) throw std::runtime_error("--model and --vocab are required");
  if (o.count == 0) throw std::runtime_error("--count must be at least 1");
  return o;
}

std::vector<std::string> ChooseTitles(const Options& o) {
  std::vector<std::string> titles;
  if (std::ifstream(o.titles).good()) {
    titles = quirvel::bench::LoadTitles(o.titles);
  } else {
    std::cerr << "titles file not found (" << o.titles << "): using the built-in titles\n";
    titles = quirvel::bench::BuiltInTitles();
  }
  if (titles.size() > o.count) titles.resize(o.count);
  return titles;
}

// The keyword model the worker builds, with the recorder slipped in front of
// its engine client.
struct WorkerSide {
  quirvel::KeywordModelPtr model;
  RecordingClient* recorder = nullptr;
};

WorkerSide CreateWorkerSide(const Options& o, const std::string& model_path) {
  quirvel::KeywordModelConfig config;
  config.model_path = model_path;
  config.tokenizer_path = o.vocab;
  config.profile = o.profile;
  WorkerSide side{quirvel::CreateKeywordModel(config), nullptr};
  if (!quirvel::IsModelReady(side.model.get())) {
    throw std::runtime_error("the worker's model is not ready: " + quirvel::ModelLastError(side.model.get()));
  }
  auto recorder = std::make_unique<RecordingClient>(std::move(side.model->client));
  side.recorder = recorder.get();
  side.model->client = std::move(recorder);
  return side;
}

// A bare session with the engine's own settings, fed pre-padded batches.
class BareSession {
 public:
  explicit BareSession(const std::string& model_path)
      : env_(ort::CreateEnv(ort::ORT_LOGGING_LEVEL_ERROR, "xfmr-bench")),
        options_(ort::CreateSessionOptions()) {
    const ort::Functions& api = ort::Api();
    ort::Check(api.SetIntraOpNumThreads(options_.get(), 0));
    ort::Check(api.SetInterOpNumThreads(options_.get(), 0));
    ort::Check(api.SetSessionExecutionMode(options_.get(), ort::ORT_SEQUENTIAL));
    ort::Check(api.SetSessionGraphOptimizationLevel(options_.get(), ort::ORT_ENABLE_ALL));
    session_ = ort::CreateSession(env_.get(), model_path, options_.get());
    ReadNames();
  }

  void Run(quirvel::PaddedBatch& batch) const {
    const std::int64_t shape[2] = {batch.batch, batch.length};
    std::vector<ort::Value> values;
    std::vector<const OrtValue*> raw;
    for (const std::string& name : input_names_) {
      std::vector<std::int64_t>& buffer = InputBuffer(batch, name);
      values.push_back(ort::WrapInt64Tensor(memory_.get(), buffer.data(), buffer.size(), shape, 2));
      raw.push_back(values.back().get());
    }
    const char* output = output_name_.c_str();
    OrtValue* result = nullptr;
    ort::Check(ort::Api().Run(session_.get(), nullptr, input_pointers_.data(), raw.data(), raw.size(),
                              &output, 1, &result));
    const ort::Value owned(result);
  }

 private:
  static std::vector<std::int64_t>& InputBuffer(quirvel::PaddedBatch& batch, const std::string& name) {
    if (name == "input_ids") return batch.input_ids;
    if (name == "attention_mask") return batch.attention_mask;
    if (name == "token_type_ids") return batch.token_type_ids;
    if (name == "position_ids") return batch.position_ids;
    throw std::runtime_error("the model wants an input the worker never feeds: " + name);
  }

  void ReadNames() {
    OrtAllocator* allocator = ort::DefaultAllocator();
    for (std::size_t i = 0; i < ort::InputCount(session_.get()); ++i) {
      input_names_.emplace_back(ort::InputName(session_.get(), i, allocator).get());
    }
    for (const std::string& name : input_names_) input_pointers_.push_back(name.c_str());
    output_name_ = ort::OutputName(session_.get(), 0, allocator).get();
  }

  ort::Env env_;
  ort::SessionOptions options_;
  ort::Session session_;
  ort::MemoryInfo memory_ = ort::CreateCpuMemoryInfo();
  std::vector<std::string> input_names_;
  std::vector<const char*> input_pointers_;
  std::string output_name_;
};

std::vector<quirvel::PaddedBatch> PadBatches(const quirvel::Tokenizer& tokenizer,
                                             const std::vector<RecordedBatch>& recorded) {
  std::vector<quirvel::PaddedBatch> padded;
  for (const RecordedBatch& batch : recorded) {
    std::vector<std::vector<std::int64_t>> ids;
    for (const std::string& text : batch.texts) ids.push_back(tokenizer.encode(text, batch.max_length));
    padded.push_back(quirvel::BuildPaddedBatch(ids, tokenizer.padding_id()));
  }
  return padded;
}

double TimeBare(const BareSession& session, std::vector<quirvel::PaddedBatch>& batches) {
  const Clock::time_point start = Clock::now();
  for (quirvel::PaddedBatch& batch : batches) {
    if (batch.length > 0) session.Run(batch);
  }
  return MillisecondsSince(start);
}

// What one request cost and what it sent to the model.
struct Sample {
  double worker_ms = 0;
  double engine_ms = 0;  // inside the engine's embed calls: tokenize, pad, run, pool
  double bare_ms = 0;
  double compare_ms = 0;  // the worker on the --compare model
  std::size_t batches = 0;
  std::size_t texts = 0;
  std::size_t padded_tokens = 0;
};

struct Run {
  std::vector<Sample> samples;
  bool baseline = false;
  bool compare = false;
};

void CountBatches(const std::vector<quirvel::PaddedBatch>& batches, Sample& sample) {
  sample.batches = batches.size();
  for (const quirvel::PaddedBatch& batch : batches) {
    sample.texts += static_cast<std::size_t>(batch.batch);
    sample.padded_tokens += static_cast<std::size_t>(batch.batch * batch.length);
  }
}

// Builds the Jieba segmenter and runs each session once, so no request pays
// for a first call.
void WarmUp(WorkerSide& worker, const BareSession* bare, const quirvel::Tokenizer& tokenizer) {
  quirvel::Extract(nullptr, "预热", 24);
  worker.model->client->EmbedTexts({"预热文本"}, 64);
  if (bare == nullptr) return;
  std::vector<quirvel::PaddedBatch> batches = PadBatches(tokenizer, {{{"预热文本"}, 64}});
  TimeBare(*bare, batches);
}

double TimeExtract(WorkerSide& worker, const std::string& title, std::size_t max_len) {
  const Clock::time_point start = Clock::now();
  const quirvel::ExtractionResult result = quirvel::Extract(worker.model.get(), title, max_len);
  const double ms = MillisecondsSince(start);
  if (result.ranked.empty())
    std::cerr << "no ranking for: " << title << " (" << worker.model->last_error << ")\n";
  return ms;
}

// Title by title, the worker, the bare session, then the worker on the
// compared model, so a change in the machine's load falls on all alike.
Run Measure(const Options& o, const std::vector<std::string>& titles) {
  WorkerSide worker = CreateWorkerSide(o, o.model);
  const quirvel::Tokenizer tokenizer(o.vocab);
  const std::unique_ptr<BareSession> bare = o.baseline ? std::make_unique<BareSession>(o.model) : nullptr;
  WarmUp(worker, bare.get(), tokenizer);
  std::unique_ptr<WorkerSide> other;
  if (!o.compare.empty()) {
    other = std::make_unique<WorkerSide>(CreateWorkerSide(o, o.compare));
    WarmUp(*other, nullptr, tokenizer);
  }
  worker.recorder->SetRecording(true);
  Run run{{}, o.baseline, other != nullptr};
  for (const std::string& title : titles) {
    Sample sample;
    const Clock::time_point start = Clock::now();
    const quirvel::ExtractionResult result = quirvel::Extract(worker.model.get(), title, o.max_len);
    sample.worker_ms = MillisecondsSince(start);
    sample.engine_ms = worker.recorder->TakeEngineMilliseconds();
    if (result.ranked.empty())
      std::cerr << "no ranking for: " << title << " (" << worker.model->last_error << ")\n";
    std::vector<quirvel::PaddedBatch> batches = PadBatches(tokenizer, worker.recorder->TakeBatches());
    CountBatches(batches, sample);
    if (bare) sample.bare_ms = TimeBare(*bare, batches);
    if (other) sample.compare_ms = TimeExtract(*other, title, o.max_len);
    run.samples.push_back(sample);
  }
  return run;
}

template <typename Field>
std::vector<double> Column(const Run& run, Field field) {
  std::vector<double> values;
  for (const Sample& sample : run.samples) values.push_back(static_cast<double>(sample.*field));
  return values;
}

double Sum(const std::vector<double>& values) {
  double total = 0;
  for (double value : values) total += value;
  return total;
}

std::vector<double> Difference(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> out;
  for (std::size_t i = 0; i < a.size(); ++i) out.push_back(a[i] - b[i]);
  return out;
}

void PrintLatencyRow(const char* name, const std::vector<double>& ms) {
  using quirvel::bench::Percentile;
  std::printf("%-22s %10.2f %10.2f %10.2f %10.2f %10.2f\n", name, Percentile(ms, 50), Percentile(ms, 95),
              quirvel::bench::Mean(ms), *std::min_element(ms.begin(), ms.end()),
              *std::max_element(ms.begin(), ms.end()));
}

void PrintComparison(const Options& o, const Run& run) {
  const std::vector<double> worker = Column(run, &Sample::worker_ms);
  const std::vector<double> other = Column(run, &Sample::compare_ms);
  std::vector<double> ratios;
  for (std::size_t i = 0; i < worker.size(); ++i) ratios.push_back(worker[i] > 0 ? other[i] / worker[i] : 0);
  std::printf("compared model %s\n", o.compare.c_str());
  std::printf(
      "compared / model (worker time per request): total %.3f, median of per-request ratios %.3f, "
      "p95 %.3f\n",
      Sum(other) / Sum(worker), quirvel::bench::Percentile(ratios, 50),
      quirvel::bench::Percentile(ratios, 95));
}

void PrintRatios(const Run& run) {
  const std::vector<double> worker = Column(run, &Sample::worker_ms);
  const std::vector<double> bare = Column(run, &Sample::bare_ms);
  std::vector<double> ratios;
  for (std::size_t i = 0; i < worker.size(); ++i) ratios.push_back(bare[i] > 0 ? worker[i] / bare[i] : 0);
  std::printf("worker / bare: total %.3f, median of per-request ratios %.3f, p95 %.3f\n",
              Sum(worker) / Sum(bare), quirvel::bench::Percentile(ratios, 50),
              quirvel::bench::Percentile(ratios, 95));
  const std::vector<double> engine = Column(run, &Sample::engine_ms);
  std::printf("engine calls / bare: total %.3f\n", Sum(engine) / Sum(bare));
}

void PrintReport(const Options& o, const Run& run) {
  const double n = static_cast<double>(run.samples.size());
  std::printf("model %s\nvocab %s\nprofile %u, %zu titles, max_len %zu\n", o.model.c_str(), o.vocab.c_str(),
              o.profile, run.samples.size(), o.max_len);
  std::printf("per request: %.2f engine calls, %.1f texts, %.0f padded tokens on average\n",
              Sum(Column(run, &Sample::batches)) / n, Sum(Column(run, &Sample::texts)) / n,
              Sum(Column(run, &Sample::padded_tokens)) / n);
  std::printf("%-22s %10s %10s %10s %10s %10s\n", "ms per request", "median", "p95", "mean", "min", "max");
  PrintLatencyRow("worker (Extract)", Column(run, &Sample::worker_ms));
  PrintLatencyRow("  in engine calls", Column(run, &Sample::engine_ms));
  PrintLatencyRow("  outside the engine",
                  Difference(Column(run, &Sample::worker_ms), Column(run, &Sample::engine_ms)));
  if (run.compare) PrintLatencyRow("worker, compared model", Column(run, &Sample::compare_ms));
  if (run.baseline) PrintLatencyRow("bare session Run", Column(run, &Sample::bare_ms));
  if (run.baseline) PrintRatios(run);
  if (run.compare) PrintComparison(o, run);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = ParseOptions(argc, argv);
    const std::vector<std::string> titles = ChooseTitles(options);
    PrintReport(options, Measure(options, titles));
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "quirvel-bench-xfmr: " << error.what() << "\n" << kUsage;
    return 2;
  }
}
