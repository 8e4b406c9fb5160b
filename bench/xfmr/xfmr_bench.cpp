// The worker's in-process extraction over a transformer-shaped model against a
// bare ONNX Runtime session running the very same batches.
//
// Per title, Extract runs through the worker's keyword model while a thin
// client wrapper records every batch it sends to the engine (the title alone,
// the title's candidates, the prompts its cache misses). The recorded batches
// are then tokenized and padded outside the clock and run through a bare
// session with the engine's session settings, twice side by side: each call
// as one run padded to its longest text, and as the engine cuts it (texts
// ordered by length, runs chosen by PlanSubBatches). The ratio of the worker's
// time to the bare runs is what the worker adds around the model:
// normalisation, segmentation, candidates, tokenization, pooling, scoring and
// joining; the two bare times and their padded tokens show what the
// length-ordered runs save.
//
// With --compare, a second worker on another model (an int8 form of the same
// encoder) extracts each title right after the first, so the two times per
// request share the machine's load.
//
// With --keyword-check, a second keyword model on the same model runs every
// engine call as one padded run, and the keyword texts of the two are
// compared: where they differ, the report tells whether two candidates' scores
// lay within float rounding of each other (a near tie that the rounding of a
// different padding may flip).
#include <algorithm>
#include <chrono>
#include <cmath>
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
#include "embedcore/onnx_embedding_core.h"
#include "embedcore/ort_api.h"
#include "embedcore/token_batch.h"
#include "keywords/keyword_model.h"
#include "tokenizers/tokenizer.h"
#include "tools/options/tool_options.h"

namespace {

namespace ort = quirvel::ort;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: quirvel-bench-xfmr --model <model.onnx> --vocab <vocab.txt> [--profile N] [--titles <file>]\n"
    "                          [--count N] [--max-len N] [--no-baseline] [--compare <other.onnx>]\n"
    "                          [--threads N] [--keyword-check]\n";

struct Options {
  std::string model;
  std::string vocab;
  std::uint32_t profile = 0;
  std::string titles = QUIRVEL_XFMR_DEFAULT_TITLES;
  std::size_t count = 50;
  std::size_t max_len = 24;  // the worker's default "max_len"
  bool baseline = true;
  std::string compare;       // a second model the worker runs on the same titles
  std::int32_t threads = 0;  // intra-op threads of the worker and the bare session, 0 = ONNX Runtime's
  bool keyword_check = false;
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

Options ParseOptions(const std::vector<std::string>& args) {
  using quirvel::cli::ParseInteger;
  Options o;
  quirvel::cli::OptionParser parser;
  parser.Value("--model", [&](auto&, auto& v) { o.model = v; })
      .Value("--vocab", [&](auto&, auto& v) { o.vocab = v; })
      .Value("--profile", [&](auto& k, auto& v) { o.profile = ParseInteger<std::uint32_t>(k, v); })
      .Value("--titles", [&](auto&, auto& v) { o.titles = v; })
      .Value("--count", [&](auto& k, auto& v) { o.count = ParseInteger<std::size_t>(k, v, 1); })
      .Value("--compare", [&](auto&, auto& v) { o.compare = v; })
      .Value("--max-len", [&](auto& k, auto& v) { o.max_len = ParseInteger<std::size_t>(k, v); })
      .Switch("--no-baseline", [&] { o.baseline = false; })
      .Value("--threads", [&](auto& k, auto& v) { o.threads = ParseInteger<std::int32_t>(k, v, 0); })
      .Switch("--keyword-check", [&] { o.keyword_check = true; })
      .Parse(args);
  if (o.model.empty() || o.vocab.empty()) throw std::runtime_error("--model and --vocab are required");
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
  config.intra_op_threads = o.threads;
  WorkerSide side{quirvel::CreateKeywordModel(config), nullptr};
  if (!quirvel::IsModelReady(side.model.get())) {
    throw std::runtime_error("the worker's model is not ready: " + quirvel::ModelLastError(side.model.get()));
  }
  auto recorder = std::make_unique<RecordingClient>(std::move(side.model->client));
  side.recorder = recorder.get();
  side.model->client = std::move(recorder);
  return side;
}

// The engine's core behind the keyword model's client interface, with limits of
// its own: a run cost beyond any padding makes every call one padded run.
class CoreClient : public quirvel::EmbeddingClient {
 public:
  CoreClient(const Options& o, const quirvel::CoreOptions& options) {
    core_.initialize(o.model, o.vocab, options);
  }
  bool IsReady() const override { return core_.is_ready(); }
  std::int32_t Dimension() const override { return core_.dimension(); }
  std::string LastError() const override { return core_.last_error(); }
  std::vector<quirvel::Embedding> EmbedTexts(const std::vector<std::string>& texts,
                                             std::int32_t max_length) override {
    std::vector<quirvel::Embedding> rows = core_.embed(texts, max_length);
    if (rows.size() != texts.size()) rows.clear();
    return rows;
  }

 private:
  quirvel::OnnxEmbeddingCore core_;
};

quirvel::KeywordModelPtr CreateOneRunModel(const Options& o) {
  quirvel::KeywordModelConfig config;
  config.model_path = o.model;
  config.tokenizer_path = o.vocab;
  config.profile = o.profile;
  quirvel::KeywordModelPtr model = quirvel::CreateKeywordModel(config);
  quirvel::CoreOptions options;
  options.profile = o.profile;
  options.intra_op_threads = o.threads;
  options.run_cost_tokens = std::int64_t{1} << 40;
  model->client = std::make_unique<CoreClient>(o, options);
  if (!model->client->IsReady()) throw std::runtime_error("one-run model: " + model->client->LastError());
  return model;
}

// Scores closer than this are a tie that float rounding may order either way.
constexpr float kRoundingTie = 1e-5f;

// Where two rankings of one title first part, whether their two candidates
// scored within rounding of each other; the largest difference in score any
// candidate has between the two.
struct KeywordCheck {
  std::size_t titles = 0;
  std::size_t differing = 0;
  std::size_t differing_at_a_tie = 0;
  float largest_score_difference = 0.0f;
};

float ScoreOf(const std::vector<quirvel::RankedCandidate>& ranked, const std::string& text) {
  for (const quirvel::RankedCandidate& candidate : ranked) {
    if (candidate.text == text) return candidate.score;
  }
  return 0.0f;
}

bool PartAtATie(const quirvel::ExtractionResult& ordered, const quirvel::ExtractionResult& one_run) {
  const std::size_t count = std::min(ordered.ranked.size(), one_run.ranked.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& a = ordered.ranked[i].text;
    const std::string& b = one_run.ranked[i].text;
    if (a == b) continue;
    return std::abs(ScoreOf(ordered.ranked, a) - ScoreOf(ordered.ranked, b)) < kRoundingTie;
  }
  return false;
}

void CompareKeywords(const quirvel::ExtractionResult& ordered, const quirvel::ExtractionResult& one_run,
                     KeywordCheck& check) {
  ++check.titles;
  for (const quirvel::RankedCandidate& candidate : ordered.ranked) {
    const float difference = std::abs(candidate.score - ScoreOf(one_run.ranked, candidate.text));
    check.largest_score_difference = std::max(check.largest_score_difference, difference);
  }
  if (ordered.keyword_text == one_run.keyword_text) return;
  ++check.differing;
  if (PartAtATie(ordered, one_run)) ++check.differing_at_a_tie;
}

// A bare session with the engine's own settings, fed pre-padded batches.
class BareSession {
 public:
  BareSession(const std::string& model_path, std::int32_t threads)
      : env_(ort::CreateEnv(ort::ORT_LOGGING_LEVEL_ERROR, "xfmr-bench")),
        options_(ort::CreateSessionOptions()) {
    const ort::Functions& api = ort::Api();
    ort::Check(api.SetIntraOpNumThreads(options_.get(), threads));
    ort::Check(api.SetInterOpNumThreads(options_.get(), 0));
    if (threads == 1) {
      ort::Check(api.AddSessionConfigEntry(options_.get(), "session.intra_op.allow_spinning", "0"));
    }
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

// The model runs of one request, and the real (unpadded) tokens they hold.
struct PaddedRuns {
  std::vector<quirvel::PaddedBatch> runs;
  std::size_t real_tokens = 0;
};

quirvel::TokenIdRows Encode(const quirvel::Tokenizer& tokenizer, const RecordedBatch& batch) {
  quirvel::TokenIdRows ids;
  for (const std::string& text : batch.texts) ids.push_back(tokenizer.encode(text, batch.max_length));
  return ids;
}

// Runs and padded tokens of one request's calls at several run costs: the
// policy's trade between padding and the number of runs.
constexpr std::int64_t kSweptRunCosts[] = {0, 4, 8, 12, 16, 24, 32, 64};
constexpr std::size_t kSweepSize = sizeof(kSweptRunCosts) / sizeof(kSweptRunCosts[0]);

struct SweepPoint {
  std::size_t runs = 0;
  std::size_t padded_tokens = 0;
};

void Sweep(const quirvel::Tokenizer& tokenizer, const std::vector<RecordedBatch>& recorded,
           std::vector<SweepPoint>& points) {
  points.resize(kSweepSize);
  for (const RecordedBatch& batch : recorded) {
    const std::vector<std::size_t> lengths = quirvel::TokenCounts(Encode(tokenizer, batch));
    for (std::size_t i = 0; i < kSweepSize; ++i) {
      const quirvel::SubBatchLimits limits{quirvel::kDefaultTokenBudget, kSweptRunCosts[i]};
      const std::vector<quirvel::SubBatch> plan = quirvel::PlanSubBatches(lengths, limits);
      points[i].runs += plan.size();
      points[i].padded_tokens += quirvel::PaddedTokens(lengths, plan);
    }
  }
}

// Each recorded call as one padded run (ordered = false) or cut as the engine
// cuts it (ordered = true).
PaddedRuns PadBatches(const quirvel::Tokenizer& tokenizer, const std::vector<RecordedBatch>& recorded,
                      bool ordered) {
  PaddedRuns padded;
  for (const RecordedBatch& batch : recorded) {
    const quirvel::TokenIdRows ids = Encode(tokenizer, batch);
    for (const std::vector<std::int64_t>& row : ids) padded.real_tokens += row.size();
    if (!ordered) {
      padded.runs.push_back(quirvel::BuildPaddedBatch(ids, tokenizer.padding_id()));
      continue;
    }
    for (const quirvel::SubBatch& run :
         quirvel::PlanSubBatches(quirvel::TokenCounts(ids), quirvel::SubBatchLimits{}))
      padded.runs.push_back(quirvel::BuildPaddedBatch(ids, run, tokenizer.padding_id()));
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
  double engine_ms = 0;        // inside the engine's embed calls: tokenize, pad, run, pool
  double bare_ms = 0;          // one padded run per engine call
  double bare_ordered_ms = 0;  // the engine's length-ordered runs
  double compare_ms = 0;       // the worker on the --compare model
  std::size_t batches = 0;
  std::size_t texts = 0;
  std::size_t real_tokens = 0;
  std::size_t padded_tokens = 0;          // one padded run per engine call
  std::size_t ordered_padded_tokens = 0;  // the engine's length-ordered runs
  std::size_t ordered_runs = 0;
};

struct Run {
  std::vector<Sample> samples;
  bool baseline = false;
  bool compare = false;
  bool keyword_check = false;
  KeywordCheck keywords;
  std::vector<SweepPoint> sweep;  // summed over the requests
};

std::size_t PaddedTokenCount(const PaddedRuns& padded) {
  std::size_t tokens = 0;
  for (const quirvel::PaddedBatch& run : padded.runs)
    tokens += static_cast<std::size_t>(run.batch * run.length);
  return tokens;
}

void CountBatches(const PaddedRuns& one_run, const PaddedRuns& ordered, Sample& sample) {
  sample.batches = one_run.runs.size();
  for (const quirvel::PaddedBatch& batch : one_run.runs)
    sample.texts += static_cast<std::size_t>(batch.batch);
  sample.real_tokens = one_run.real_tokens;
  sample.padded_tokens = PaddedTokenCount(one_run);
  sample.ordered_padded_tokens = PaddedTokenCount(ordered);
  sample.ordered_runs = ordered.runs.size();
}

// Builds the Jieba segmenter and runs each session once, so no request pays
// for a first call.
void WarmUp(WorkerSide& worker, const BareSession* bare, const quirvel::Tokenizer& tokenizer) {
  quirvel::Extract(nullptr, "预热", 24);
  worker.model->client->EmbedTexts({"预热文本"}, 64);
  if (bare == nullptr) return;
  PaddedRuns padded = PadBatches(tokenizer, {{{"预热文本"}, 64}}, false);
  TimeBare(*bare, padded.runs);
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
  const std::unique_ptr<BareSession> bare =
      o.baseline ? std::make_unique<BareSession>(o.model, o.threads) : nullptr;
  WarmUp(worker, bare.get(), tokenizer);
  std::unique_ptr<WorkerSide> other;
  if (!o.compare.empty()) {
    other = std::make_unique<WorkerSide>(CreateWorkerSide(o, o.compare));
    WarmUp(*other, nullptr, tokenizer);
  }
  const quirvel::KeywordModelPtr one_run_model = o.keyword_check ? CreateOneRunModel(o) : nullptr;
  worker.recorder->SetRecording(true);
  Run run{{}, o.baseline, other != nullptr, o.keyword_check, {}, {}};
  for (const std::string& title : titles) {
    Sample sample;
    const Clock::time_point start = Clock::now();
    const quirvel::ExtractionResult result = quirvel::Extract(worker.model.get(), title, o.max_len);
    sample.worker_ms = MillisecondsSince(start);
    sample.engine_ms = worker.recorder->TakeEngineMilliseconds();
    if (result.ranked.empty())
      std::cerr << "no ranking for: " << title << " (" << worker.model->last_error << ")\n";
    const std::vector<RecordedBatch> recorded = worker.recorder->TakeBatches();
    PaddedRuns one_run = PadBatches(tokenizer, recorded, false);
    PaddedRuns ordered = PadBatches(tokenizer, recorded, true);
    CountBatches(one_run, ordered, sample);
    Sweep(tokenizer, recorded, run.sweep);
    if (bare) sample.bare_ms = TimeBare(*bare, one_run.runs);
    if (bare) sample.bare_ordered_ms = TimeBare(*bare, ordered.runs);
    if (other) sample.compare_ms = TimeExtract(*other, title, o.max_len);
    if (one_run_model)
      CompareKeywords(result, quirvel::Extract(one_run_model.get(), title, o.max_len), run.keywords);
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

// The worker against the bare session running the very runs the engine ran.
void PrintRatios(const Run& run) {
  const std::vector<double> worker = Column(run, &Sample::worker_ms);
  const std::vector<double> bare = Column(run, &Sample::bare_ordered_ms);
  std::vector<double> ratios;
  for (std::size_t i = 0; i < worker.size(); ++i) ratios.push_back(bare[i] > 0 ? worker[i] / bare[i] : 0);
  std::printf("worker / bare: total %.3f, median of per-request ratios %.3f, p95 %.3f\n",
              Sum(worker) / Sum(bare), quirvel::bench::Percentile(ratios, 50),
              quirvel::bench::Percentile(ratios, 95));
  const std::vector<double> engine = Column(run, &Sample::engine_ms);
  std::printf("engine calls / bare: total %.3f\n", Sum(engine) / Sum(bare));
  std::printf("bare, length-ordered runs / one padded run: total %.3f\n",
              Sum(bare) / Sum(Column(run, &Sample::bare_ms)));
}

void PrintSweep(const Run& run) {
  const double real = Sum(Column(run, &Sample::real_tokens));
  const double n = static_cast<double>(run.samples.size());
  std::printf("run cost (tokens):    ");
  for (std::int64_t cost : kSweptRunCosts) std::printf(" %7lld", static_cast<long long>(cost));
  std::printf("\nruns per request:     ");
  for (const SweepPoint& point : run.sweep) std::printf(" %7.2f", static_cast<double>(point.runs) / n);
  std::printf("\npadded / real tokens: ");
  for (const SweepPoint& point : run.sweep)
    std::printf(" %7.3f", static_cast<double>(point.padded_tokens) / real);
  std::printf("\n");
}

void PrintKeywordCheck(const KeywordCheck& check) {
  std::printf(
      "keyword texts, length-ordered runs against one padded run: %zu of %zu titles differ, "
      "%zu of them where two scores lie within %g; largest score difference %.3g\n",
      check.differing, check.titles, check.differing_at_a_tie, static_cast<double>(kRoundingTie),
      static_cast<double>(check.largest_score_difference));
}

void PrintReport(const Options& o, const Run& run) {
  const double n = static_cast<double>(run.samples.size());
  std::printf("model %s\nvocab %s\nprofile %u, threads %d, %zu titles, max_len %zu\n", o.model.c_str(),
              o.vocab.c_str(), o.profile, o.threads, run.samples.size(), o.max_len);
  const double real = Sum(Column(run, &Sample::real_tokens));
  const double one_run = Sum(Column(run, &Sample::padded_tokens));
  const double ordered = Sum(Column(run, &Sample::ordered_padded_tokens));
  std::printf("per request: %.2f engine calls, %.1f texts, %.0f real tokens on average\n",
              Sum(Column(run, &Sample::batches)) / n, Sum(Column(run, &Sample::texts)) / n, real / n);
  std::printf("one padded run per call:  %.2f runs, %.0f padded tokens, padded / real %.3f\n",
              Sum(Column(run, &Sample::batches)) / n, one_run / n, one_run / real);
  std::printf("length-ordered runs:      %.2f runs, %.0f padded tokens, padded / real %.3f\n",
              Sum(Column(run, &Sample::ordered_runs)) / n, ordered / n, ordered / real);
  std::printf("%-22s %10s %10s %10s %10s %10s\n", "ms per request", "median", "p95", "mean", "min", "max");
  PrintLatencyRow("worker (Extract)", Column(run, &Sample::worker_ms));
  PrintLatencyRow("  in engine calls", Column(run, &Sample::engine_ms));
  PrintLatencyRow("  outside the engine",
                  Difference(Column(run, &Sample::worker_ms), Column(run, &Sample::engine_ms)));
  if (run.compare) PrintLatencyRow("worker, compared model", Column(run, &Sample::compare_ms));
  if (run.baseline) PrintLatencyRow("bare, one padded run", Column(run, &Sample::bare_ms));
  if (run.baseline) PrintLatencyRow("bare, length-ordered", Column(run, &Sample::bare_ordered_ms));
  if (run.baseline) PrintRatios(run);
  if (run.compare) PrintComparison(o, run);
  if (!run.sweep.empty()) PrintSweep(run);
  if (run.keyword_check) PrintKeywordCheck(run.keywords);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    const std::vector<std::string> titles = ChooseTitles(options);
    PrintReport(options, Measure(options, titles));
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "quirvel-bench-xfmr: " << error.what() << "\n" << kUsage;
    return 2;
  }
}
