#include "embedcore/onnx_embedding_core.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "embedcore/ort_api.h"
#include "tokenizers/tokenizer.h"

namespace quirvel {
namespace detail {

// A decoder's key/value cache input: fed empty (past length 0) on every run.
struct CacheInput {
  std::string name;
  ort::ONNXTensorElementDataType element_type = ort::ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT;
  std::vector<std::int64_t> dims;  // declared; axis 0 is the batch
  std::size_t past_axis = 0;
};

// Members are destroyed bottom-up: lock, strings, tokenizer, session, session
// options, environment — the environment must outlive everything made from it.
struct CoreState {
  ort::Env env;
  ort::SessionOptions session_options;
  ort::Session session;
  std::unique_ptr<Tokenizer> tokenizer;
  // As the caller gave them, with the profile's dimension in place of none
  // and, once the model is loaded, the run cost it states in place of none.
  CoreOptions options;
  // The mode the selection works towards: the caller's, else the profile's,
  // and it may settle an open one.
  OutputMode mode = OutputMode::Auto;
  OutputKind kind = OutputKind::SentenceEmbedding;
  std::string output_name;
  std::uint64_t output_index = 0;
  bool has_token_type_ids = false;
  bool has_position_ids = false;
  std::vector<CacheInput> cache_inputs;
  // Set when the first 3D output was taken as mean-of-tokens only because the
  // caller left the mode open: a named pooled output met later still wins.
  bool mode_from_first_3d = false;
  // Read without the lock by is_ready() and dimension() while embed() rewrites it.
  std::atomic<std::int32_t> dimension{0};
  std::string message;
  std::mutex lock;
};

}  // namespace detail

namespace {

using detail::CoreState;
using Rows = std::vector<std::vector<float>>;
constexpr std::int64_t kFallbackDimension = 768;

bool IsTokenKind(OutputKind kind) {
  return kind == OutputKind::MeanTokens || kind == OutputKind::FirstToken || kind == OutputKind::LastToken;
}

bool IsAutoOr(OutputMode mode, OutputMode other) { return mode == OutputMode::Auto || mode == other; }

std::string ProfilePrefix(const CoreState& s) {
  return std::string("profile ") + ProfileName(s.options.profile);
}

bool IsReady(const CoreState& s) { return s.session && s.tokenizer && s.dimension.load() > 0; }

std::int32_t ToDimension(std::int64_t value) {
  if (value > std::numeric_limits<std::int32_t>::max()) {
    throw std::runtime_error("embedding dimension is too large: " + std::to_string(value));
  }
  return static_cast<std::int32_t>(value);
}

// The declared shape may be symbolic (-1): fall back to the commonest width.
std::int64_t DeclaredDimension(const std::vector<std::int64_t>& dims) {
  if (dims.size() >= 2 && dims[1] >= 1) return dims[1];
  if (dims.size() >= 3 && dims[2] >= 1) return dims[2];
  return kFallbackDimension;
}

// float16 rows are widened to float32; reading an int64 or double tensor as
// floats would give garbage rows.
void RequireFloat(const ort::TensorShape& shape, const std::string& name) {
  if (shape.element_type == ort::ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT) return;
  if (shape.element_type == ort::ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT16) return;
  throw std::runtime_error("embedding output " + name + " has element type " +
                           ort::TensorTypeName(shape.element_type) +
                           ", expected tensor(float) or tensor(float16)");
}

void CreateRuntimeObjects(CoreState& s) {
  s.env = ort::CreateEnv(ort::ORT_LOGGING_LEVEL_ERROR, "OnnxEmbeddingCore");
  ort::Check(ort::Api().SetLanguageProjection(s.env.get(), ort::ORT_PROJECTION_CPLUSPLUS));
  s.session_options = ort::CreateSessionOptions();
}

void CopyOptions(CoreState& s, const CoreOptions& options) {
  s.options = options;
  if (s.options.expected_dimension < 1)
    s.options.expected_dimension = DefaultExpectedDimension(options.profile);
  s.mode = options.output_mode == OutputMode::Auto ? DefaultOutputMode(options.profile) : options.output_mode;
}

// One thread per worker is the setting for several workers sharing the cores:
// a pool thread that spins while it waits for work takes a core from the
// neighbouring worker, so with one thread nothing spins.
void ConfigureThreads(const CoreState& s, OrtSessionOptions* options) {
  const ort::Functions& api = ort::Api();
  ort::Check(api.SetIntraOpNumThreads(options, s.options.intra_op_threads));
  ort::Check(api.SetInterOpNumThreads(options, s.options.inter_op_threads));
  if (s.options.intra_op_threads != 1) return;
  ort::Check(api.AddSessionConfigEntry(options, "session.intra_op.allow_spinning", "0"));
  ort::Check(api.AddSessionConfigEntry(options, "session.inter_op.allow_spinning", "0"));
}

void ConfigureSessionOptions(CoreState& s) {
  const ort::Functions& api = ort::Api();
  OrtSessionOptions* options = s.session_options.get();
  ConfigureThreads(s, options);
  ort::Check(api.SetSessionExecutionMode(options, ort::ORT_SEQUENTIAL));
  ort::Check(api.SetSessionGraphOptimizationLevel(options, ort::ORT_ENABLE_ALL));
}

constexpr const char kCachePrefix[] = "past_key_values.";

// The past-length axis is the one the export leaves symbolic besides the batch
// (axis 0); with none or several, an empty past cannot be shaped.
detail::CacheInput DescribeCacheInput(const OrtSession* session, std::size_t index, const std::string& name) {
  const ort::TensorShape shape = ort::InputShape(session, index);
  detail::CacheInput input{name, shape.element_type, shape.dims, 0};
  std::size_t symbolic = 0;
  for (std::size_t axis = 1; axis < shape.dims.size(); ++axis) {
    if (shape.dims[axis] >= 0) continue;
    input.past_axis = axis;
    ++symbolic;
  }
  if (symbolic != 1) throw std::runtime_error("cannot tell the past-length axis of model input " + name);
  return input;
}

void DiscoverInputs(CoreState& s, OrtAllocator* allocator) {
  const std::size_t count = ort::InputCount(s.session.get());
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = ort::InputName(s.session.get(), i, allocator).get();
    if (name == "token_type_ids") s.has_token_type_ids = true;
    if (name == "position_ids") s.has_position_ids = true;
    if (name.rfind(kCachePrefix, 0) == 0)
      s.cache_inputs.push_back(DescribeCacheInput(s.session.get(), i, name));
  }
}

void Select(CoreState& s, const std::string& name, std::size_t index, OutputKind kind) {
  s.output_name = name;
  s.output_index = index;
  s.kind = kind;
}

OutputKind LastHiddenStateKind(const CoreState& s) {
  if (s.mode == OutputMode::FirstToken) return OutputKind::FirstToken;
  if (s.mode == OutputMode::Auto && s.tokenizer->plain_vocabulary()) return OutputKind::FirstToken;
  if (s.mode == OutputMode::LastToken) return OutputKind::LastToken;
  return OutputKind::MeanTokens;
}

// One output against the selection rules, in their order; true ends the scan.
// A named pooled output: taken, and the scan ends, when the mode asks for it
// or was only switched to mean-of-tokens by an earlier 3D output (the
// sentence-transformers exports list token_embeddings first).
bool SelectPooled(CoreState& s, const std::string& name, std::size_t index, OutputKind kind,
                  OutputMode mode) {
  Select(s, name, index, kind);
  if (IsAutoOr(s.mode, mode)) return true;
  if (!s.mode_from_first_3d) return false;
  s.mode = mode;
  s.mode_from_first_3d = false;
  return true;
}

bool ApplySelectionRules(CoreState& s, OutputMode requested, const std::string& name, std::size_t rank,
                         std::size_t index) {
  if (name == "sentence_embedding" &&
      SelectPooled(s, name, index, OutputKind::SentenceEmbedding, OutputMode::SentenceEmbedding)) {
    return true;
  }
  if (name == "dense_vecs" && SelectPooled(s, name, index, OutputKind::DenseVecs, OutputMode::DenseVecs)) {
    return true;
  }
  if (IsAutoOr(s.mode, OutputMode::SentenceEmbedding) && s.output_name.empty() && rank == 2) {
    Select(s, name, index, OutputKind::SentenceEmbedding);
  }
  if (requested == OutputMode::Auto && s.output_name.empty() && rank == 3) {
    Select(s, name, index, OutputKind::MeanTokens);
    s.mode = OutputMode::MeanTokens;
    s.mode_from_first_3d = true;
  }
  if (name == "last_hidden_state") Select(s, name, index, LastHiddenStateKind(s));
  return false;
}

void SelectOutput(CoreState& s, OutputMode requested, OrtAllocator* allocator) {
  const std::size_t count = ort::OutputCount(s.session.get());
  for (std::size_t j = 0; j < count; ++j) {
    const std::string name = ort::OutputName(s.session.get(), j, allocator).get();
    const std::size_t rank = ort::OutputShape(s.session.get(), j).dims.size();
    if (ApplySelectionRules(s, requested, name, rank, j)) return;
  }
}

bool TokenModeMismatch(const CoreState& s) {
  return (s.mode == OutputMode::MeanTokens && s.kind != OutputKind::MeanTokens) ||
         (s.mode == OutputMode::FirstToken && s.kind != OutputKind::FirstToken) ||
         (s.mode == OutputMode::LastToken && s.kind != OutputKind::LastToken);
}

void CheckSelection(const CoreState& s) {
  const bool none = s.output_name.empty();
  if (s.mode == OutputMode::SentenceEmbedding && (none || s.kind != OutputKind::SentenceEmbedding)) {
    throw std::runtime_error(ProfilePrefix(s) + " requires a 2D sentence embedding output");
  }
  if (s.mode == OutputMode::DenseVecs && s.output_name != "dense_vecs") {
    throw std::runtime_error(ProfilePrefix(s) + " requires dense_vecs output");
  }
  if (TokenModeMismatch(s))
    throw std::runtime_error(ProfilePrefix(s) + " requires a 3D token embedding output");
  if (none) throw std::runtime_error(ProfilePrefix(s) + " has no supported embedding output");
}

void ReadDeclaredDimension(CoreState& s) {
  const ort::TensorShape shape = ort::OutputShape(s.session.get(), s.output_index);
  RequireFloat(shape, s.output_name);
  const std::int32_t dimension = ToDimension(DeclaredDimension(shape.dims));
  s.dimension = dimension;
  if (s.options.expected_dimension > 0 && dimension != s.options.expected_dimension) {
    throw std::runtime_error("unexpected embedding dimension for " + ProfilePrefix(s) + ": got " +
                             std::to_string(dimension) + ", expected " +
                             std::to_string(s.options.expected_dimension));
  }
}

TokenIdRows EncodeAll(const Tokenizer& tokenizer, const std::vector<std::string>& texts,
                      std::int32_t max_length) {
  std::vector<std::vector<std::int64_t>> ids;
  ids.reserve(texts.size());
  for (const std::string& text : texts) ids.push_back(tokenizer.encode(text, max_length));
  return ids;
}

// Input tensors over the batch's own buffers, in the order the model expects them named.
struct ModelInputs {
  std::vector<const char*> names;
  std::vector<ort::Value> values;
  std::vector<const OrtValue*> raw;

  void add(const char* name, ort::Value value) {
    names.push_back(name);
    raw.push_back(value.get());
    values.push_back(std::move(value));
  }
};

ModelInputs WrapInputs(const CoreState& s, PaddedBatch& batch, const OrtMemoryInfo* memory) {
  const std::int64_t shape[2] = {batch.batch, batch.length};
  auto wrap = [&](std::vector<std::int64_t>& buffer) {
    return ort::WrapInt64Tensor(memory, buffer.data(), buffer.size(), shape, 2);
  };
  ModelInputs inputs;
  inputs.add("input_ids", wrap(batch.input_ids));
  inputs.add("attention_mask", wrap(batch.attention_mask));
  if (s.has_token_type_ids) inputs.add("token_type_ids", wrap(batch.token_type_ids));
  if (s.has_position_ids) inputs.add("position_ids", wrap(batch.position_ids));
  for (const detail::CacheInput& cache : s.cache_inputs) {
    std::vector<std::int64_t> dims = cache.dims;
    dims[0] = batch.batch;
    dims[cache.past_axis] = 0;
    inputs.add(cache.name.c_str(), ort::EmptyTensor(memory, cache.element_type, dims.data(), dims.size()));
  }
  return inputs;
}

ort::Value RunModel(const CoreState& s, const ModelInputs& inputs) {
  const char* output_name = s.output_name.c_str();
  OrtValue* output = nullptr;
  ort::Check(ort::Api().Run(s.session.get(), nullptr, inputs.names.data(), inputs.raw.data(),
                            inputs.raw.size(), &output_name, 1, &output));
  return ort::Value(output);
}

bool IsPositiveDimension(std::int64_t value) {
  return value >= 1 && value <= std::numeric_limits<std::int32_t>::max();
}

// A token output whose length differs from the padded batch would not line up
// with the attention mask, so it is refused rather than read out of bounds.
bool ValidTokenShape(const std::vector<std::int64_t>& dims, const PaddedBatch& batch) {
  return dims.size() == 3 && dims[0] == batch.batch && dims[1] >= 1 && IsPositiveDimension(dims[2]) &&
         dims[1] == batch.length;
}

bool ValidSentenceShape(const std::vector<std::int64_t>& dims, const PaddedBatch& batch) {
  return dims.size() == 2 && dims[0] == batch.batch && IsPositiveDimension(dims[1]);
}

void FinishRow(const CoreState& s, std::vector<float> row, Rows& rows) {
  if (s.options.normalize) L2Normalize(row);
  rows.push_back(std::move(row));
}

void ReadTokenRows(CoreState& s, const PaddedBatch& batch, const std::vector<std::int64_t>& dims,
                   const float* data, Rows& rows) {
  if (!ValidTokenShape(dims, batch)) {
    s.message = "unexpected GTE token embedding output shape";
    return;
  }
  const std::int64_t tokens = dims[1];
  const std::int64_t hidden = dims[2];
  s.dimension = static_cast<std::int32_t>(hidden);
  for (std::int64_t b = 0; b < batch.batch; ++b) {
    const TokenRows text{data + b * tokens * hidden, tokens, hidden,
                         batch.attention_mask.data() + b * batch.length, batch.length};
    FinishRow(s, PoolTokens(s.kind, text), rows);
  }
}

void ReadSentenceRows(CoreState& s, const PaddedBatch& batch, const std::vector<std::int64_t>& dims,
                      const float* data, Rows& rows) {
  if (!ValidSentenceShape(dims, batch)) {
    s.message = "unexpected GTE sentence embedding output shape";
    return;
  }
  const std::int64_t width = dims[1];
  s.dimension = static_cast<std::int32_t>(width);
  for (std::int64_t b = 0; b < batch.batch; ++b) {
    FinishRow(s, std::vector<float>(data + b * width, data + (b + 1) * width), rows);
  }
}

std::size_t ElementCount(const std::vector<std::int64_t>& dims) {
  std::size_t count = 1;
  for (std::int64_t dim : dims) count *= static_cast<std::size_t>(dim < 0 ? 0 : dim);
  return count;
}

// The output's floats: read in place, or widened from float16 into `widened`.
const float* OutputFloats(OrtValue* output, const ort::TensorShape& shape, std::vector<float>& widened) {
  if (shape.element_type != ort::ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT16) return ort::FloatData(output);
  const std::uint16_t* halves = ort::Float16Data(output);
  widened.resize(ElementCount(shape.dims));
  for (std::size_t i = 0; i < widened.size(); ++i) widened[i] = ort::Float16ToFloat(halves[i]);
  return widened.data();
}

// One model run over the texts `members`; appends their rows in that order.
void RunSubBatch(CoreState& s, const TokenIdRows& ids, const SubBatch& members, Rows& rows) {
  PaddedBatch batch = BuildPaddedBatch(ids, members, s.tokenizer->padding_id());
  const ort::MemoryInfo memory = ort::CreateCpuMemoryInfo();
  const ModelInputs inputs = WrapInputs(s, batch, memory.get());
  const ort::Value output = RunModel(s, inputs);
  const ort::TensorShape shape = ort::ValueShape(output.get());
  RequireFloat(shape, s.output_name);
  std::vector<float> widened;
  const float* data = OutputFloats(output.get(), shape, widened);
  if (IsTokenKind(s.kind)) {
    ReadTokenRows(s, batch, shape.dims, data, rows);
  } else {
    ReadSentenceRows(s, batch, shape.dims, data, rows);
  }
}

// The caller's run cost, else the model's, else the transformer figure.
std::int64_t RunCost(const CoreState& s) { return s.options.run_cost_tokens.value_or(kDefaultRunCostTokens); }

// Texts of like length run together and each run is padded to its own longest
// text, so the model computes few padding positions; the rows go back into the
// order of the texts. Any run that gives fewer rows than texts fails the whole
// call: the caller sees no rows and the message of that run.
void RunBatch(CoreState& s, const std::vector<std::string>& texts, std::int32_t max_length, Rows& rows) {
  const TokenIdRows ids = EncodeAll(*s.tokenizer, texts, max_length);
  const std::vector<SubBatch> plan =
      PlanSubBatches(TokenCounts(ids), SubBatchLimits{s.options.token_budget, RunCost(s)});
  if (plan.empty()) return;  // every text encodes to no ids
  Rows ordered(ids.size());
  for (const SubBatch& run : plan) {
    Rows run_rows;
    RunSubBatch(s, ids, run, run_rows);
    if (run_rows.size() != run.size()) return;
    for (std::size_t i = 0; i < run.size(); ++i) ordered[run[i]] = std::move(run_rows[i]);
  }
  rows = std::move(ordered);
}

constexpr const char* kProbeText = "测试 test";
constexpr std::int32_t kProbeMaxLength = 16;
constexpr const char* kProbeFailure = "model cannot embed a test text: ";

// A session can load and still be unable to run (an input the worker does not
// feed, an operator that fails on any input): one short text before the worker
// says it is ready turns that into a start-up failure instead of a fallback
// answer for every title. The declared dimension stays what the caller sees.
void ProbeModel(CoreState& s) {
  const std::int32_t declared = s.dimension.load();
  Rows rows;
  try {
    RunBatch(s, {kProbeText}, kProbeMaxLength, rows);
  } catch (const std::exception& error) {
    throw std::runtime_error(std::string(kProbeFailure) + error.what());
  }
  if (rows.size() != 1) {
    throw std::runtime_error(std::string(kProbeFailure) +
                             (s.message.empty() ? "it encodes to no tokens" : s.message));
  }
  s.dimension = declared;
}

// The run cost the model states, when it is a plain decimal count of at most
// nine digits: far above any fixed cost of a run, far below where the plan's
// sums could overflow. Anything else is ignored, as the figure only decides
// how texts share runs, never what a text's row is.
std::optional<std::int64_t> StatedRunCost(const OrtSession* session) {
  const ort::OwnedName value = ort::CustomMetadata(session, kRunCostMetadataKey, ort::DefaultAllocator());
  if (!value) return std::nullopt;
  const std::string text = value.get();
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoll(text);
}

void LoadModel(CoreState& s, const std::string& model_path, const std::string& tokenizer_path,
               OutputMode requested) {
  s.tokenizer = std::make_unique<Tokenizer>(tokenizer_path);
  ConfigureSessionOptions(s);
  s.session = ort::CreateSession(s.env.get(), model_path, s.session_options.get());
  OrtAllocator* allocator = ort::DefaultAllocator();
  DiscoverInputs(s, allocator);
  SelectOutput(s, requested, allocator);
  CheckSelection(s);
  ReadDeclaredDimension(s);
  if (!s.options.run_cost_tokens) s.options.run_cost_tokens = StatedRunCost(s.session.get());
  ProbeModel(s);
}

}  // namespace

OnnxEmbeddingCore::OnnxEmbeddingCore() = default;
OnnxEmbeddingCore::~OnnxEmbeddingCore() = default;

void OnnxEmbeddingCore::initialize(const std::string& model_path, const std::string& tokenizer_path,
                                   const CoreOptions& options) {
  state_.reset();
  auto state = std::make_unique<CoreState>();
  CreateRuntimeObjects(*state);  // its errors reach the caller
  state_ = std::move(state);
  CoreState& s = *state_;
  CopyOptions(s, options);
  try {
    LoadModel(s, model_path, tokenizer_path, options.output_mode);
  } catch (const std::exception& error) {
    s.message = error.what();
  } catch (...) {
    s.message = "unknown OnnxEmbeddingCore initialization error";
  }
  if (s.message.empty()) return;
  s.session.reset();
  s.tokenizer.reset();
  s.dimension = 0;
}

bool OnnxEmbeddingCore::is_ready() const { return state_ && IsReady(*state_); }

std::int32_t OnnxEmbeddingCore::dimension() const { return state_ ? state_->dimension.load() : 0; }

std::string OnnxEmbeddingCore::last_error() const {
  return state_ ? state_->message : std::string("OnnxEmbeddingCore is not initialized");
}

OutputKind OnnxEmbeddingCore::output_kind() const {
  return state_ ? state_->kind : OutputKind::SentenceEmbedding;
}

std::string OnnxEmbeddingCore::output_name() const { return state_ ? state_->output_name : std::string(); }

OutputMode OnnxEmbeddingCore::output_mode() const { return state_ ? state_->mode : OutputMode::Auto; }

std::int64_t OnnxEmbeddingCore::run_cost_tokens() const {
  return state_ ? RunCost(*state_) : kDefaultRunCostTokens;
}

Rows OnnxEmbeddingCore::embed(const std::vector<std::string>& texts, std::int32_t max_length) {
  if (!state_) return {};
  CoreState& s = *state_;
  const std::lock_guard<std::mutex> hold(s.lock);
  if (!IsReady(s) || texts.empty()) return {};
  Rows rows;
  try {
    RunBatch(s, texts, max_length, rows);
  } catch (const std::exception& error) {
    s.message = error.what();
  } catch (...) {
    s.message = "unknown GTE inference error";
  }
  return rows;
}

}  // namespace quirvel
