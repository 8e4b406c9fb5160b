#include "tools/modelgen/test_models.h"

#include <map>
#include <stdexcept>

#include "tools/modelgen/graph_builder.h"
#include "tools/options/tool_options.h"

namespace quirvel::modelgen {
namespace {

constexpr std::int32_t kFloat = onnx::TensorProto_DataType_FLOAT;
constexpr std::int32_t kFloat16 = onnx::TensorProto_DataType_FLOAT16;
constexpr std::int32_t kInt64 = onnx::TensorProto_DataType_INT64;
constexpr std::int64_t kOutOfTable = 1000;

// Values shared by the output builders of one model.
struct Graph {
  GraphBuilder builder;
  const TestModelLayout& layout;
  std::map<std::int64_t, std::string> tokens;  // [B, L, W] float, by width W
  std::string mask_float;                      // [B, L] float
  std::string axis1;                           // constant [1]
  std::string axis2;                           // constant [2]
  std::string cache_check;                     // [B, 1, 1]: zero, but computed from every cache value
  std::vector<std::string> present;            // cache outputs, declared after the others as exports do
};

std::string Cast(GraphBuilder& b, const std::string& input, std::int32_t to) {
  const std::string out = b.Node("Cast", {input});
  SetIntAttribute(b.LastNode(), "to", to);
  return out;
}

std::string CastToFloat(GraphBuilder& b, const std::string& input) { return Cast(b, input, kFloat); }

std::string ReduceSum(GraphBuilder& b, const std::string& input, const std::string& axes, bool keep,
                      const std::string& output = "") {
  const std::string out = b.Node("ReduceSum", {input, axes}, output);
  SetIntAttribute(b.LastNode(), "keepdims", keep ? 1 : 0);
  return out;
}

std::vector<float> SpreadWeights(std::int64_t features, std::int64_t width) {
  std::vector<float> weights(static_cast<std::size_t>(features * width), 0.0f);
  for (std::int64_t h = 0; h < width; ++h)
    weights[static_cast<std::size_t>((h % features) * width + h)] = 1.0f;
  return weights;
}

const std::string& TokenVectors(Graph& g, std::int64_t width) {
  auto found = g.tokens.find(width);
  if (found != g.tokens.end()) return found->second;
  GraphBuilder& b = g.builder;
  std::vector<std::string> features = {"input_ids", "attention_mask"};
  if (g.layout.position_ids) features.push_back("position_ids");
  if (g.layout.token_type_ids) features.push_back("token_type_ids");
  std::vector<std::string> columns;
  for (const std::string& input : features)
    columns.push_back(b.Node("Unsqueeze", {CastToFloat(b, input), g.axis2}));
  const std::string stacked = b.Node("Concat", columns);
  SetIntAttribute(b.LastNode(), "axis", 2);
  const auto count = static_cast<std::int64_t>(features.size());
  const std::string weights = b.FloatConstant(SpreadWeights(count, width), {count, width});
  std::string tokens = b.Node("MatMul", {stacked, weights});
  if (!g.cache_check.empty()) tokens = b.Node("Add", {tokens, g.cache_check});
  return g.tokens.emplace(width, tokens).first->second;
}

// The graph output `name` from a float value: cast to half precision when the
// layout asks for it.
void Emit(Graph& g, const std::string& value, const std::string& name, const std::vector<Dim>& shape) {
  GraphBuilder& b = g.builder;
  if (g.layout.float16) {
    b.Node("Cast", {value}, name);
    SetIntAttribute(b.LastNode(), "to", kFloat16);
  } else {
    b.Node("Identity", {value}, name);
  }
  b.AddOutput(name, g.layout.float16 ? kFloat16 : kFloat, shape);
}

// Tiles by the largest mask value (1 at run time): shape inference cannot see
// through it, so the width stays unknown until the model runs.
std::string HideWidth(GraphBuilder& b, const std::string& input) {
  const std::string largest = b.Node("ReduceMax", {"attention_mask"});
  SetIntAttribute(b.LastNode(), "keepdims", 0);
  const std::string one = b.Node("Reshape", {largest, b.Int64Constant({1})});
  const std::string repeats = b.Node("Concat", {b.Int64Constant({1}), one});
  SetIntAttribute(b.LastNode(), "axis", 0);
  return b.Node("Tile", {input, repeats});
}

std::string MaskedMean(Graph& g, std::int64_t width) {
  GraphBuilder& b = g.builder;
  const std::string mask3 = b.Node("Unsqueeze", {g.mask_float, g.axis2});
  const std::string sum = ReduceSum(b, b.Node("Mul", {TokenVectors(g, width), mask3}), g.axis1, false);
  const std::string count = ReduceSum(b, g.mask_float, g.axis1, true);
  return b.Node("Div", {sum, count});
}

void AddSentence(Graph& g, const std::string& name, std::int64_t width, bool symbolic) {
  const std::string mean = MaskedMean(g, width);
  Emit(g, symbolic ? HideWidth(g.builder, mean) : mean, name,
       {Symbolic("batch"), symbolic ? Symbolic("hidden") : Fixed(width)});
}

// Gathers row 0 of a zero table for every other token and a row far outside
// it for token `id`, so only texts holding that token fail.
void AddFailsOn(Graph& g, const std::string& name, std::int64_t width, std::int64_t id) {
  GraphBuilder& b = g.builder;
  const std::string hit = b.Node("Equal", {"input_ids", b.Int64Constant({id})});
  const std::string index = b.Node("Mul", {Cast(b, hit, kInt64), b.Int64Constant({kOutOfTable})});
  const std::vector<float> table(static_cast<std::size_t>(4 * width), 0.0f);
  const std::string rows = b.Node("Gather", {b.FloatConstant(table, {4, width}), index});
  const std::string zero = ReduceSum(b, rows, g.axis1, false);
  Emit(g, b.Node("Add", {MaskedMean(g, width), zero}), name, {Symbolic("batch"), Fixed(width)});
}

void AddTokens(Graph& g, const std::string& name, std::int64_t width, Dim seq) {
  Emit(g, TokenVectors(g, width), name, {Symbolic("batch"), seq, Fixed(width)});
}

void AddTokensAfterFirst(Graph& g, const std::string& name, std::int64_t width) {
  GraphBuilder& b = g.builder;
  const std::string rest =
      b.Node("Slice", {TokenVectors(g, width), b.Int64Constant({1}), b.Int64Constant({INT64_MAX}), g.axis1});
  Emit(g, rest, name, {Symbolic("batch"), Symbolic("seq_minus_1"), Fixed(width)});
}

void AddDoubledTokens(Graph& g, const std::string& name, std::int64_t width) {
  g.builder.Node("Concat", {TokenVectors(g, width), TokenVectors(g, width)}, name);
  SetIntAttribute(g.builder.LastNode(), "axis", 1);
  g.builder.AddOutput(name, kFloat, {Symbolic("batch"), Symbolic("seq2"), Fixed(width)});
}

void AddScores(Graph& g, const std::string& name) {
  GraphBuilder& b = g.builder;
  ReduceSum(b, b.Node("Mul", {CastToFloat(b, "input_ids"), g.mask_float}), g.axis1, false, name);
  b.AddOutput(name, kFloat, {Symbolic("batch")});
}

void AddInt64(Graph& g, const std::string& name) {
  ReduceSum(g.builder, "input_ids", g.axis1, true, name);
  g.builder.AddOutput(name, kInt64, {Symbolic("batch"), Fixed(1)});
}

void AddGatherOutOfBounds(Graph& g, const std::string& name, std::int64_t width) {
  GraphBuilder& b = g.builder;
  const std::vector<float> table(static_cast<std::size_t>(4 * width), 0.5f);
  const std::string rows = b.Node("Gather", {b.FloatConstant(table, {4, width}), "input_ids"});
  ReduceSum(b, rows, g.axis1, false, name);
  b.AddOutput(name, kFloat, {Symbolic("batch"), Fixed(width)});
}

// A number inside an output kind ("tokens-fixed:512", "sentence@1024").
std::int64_t KindNumber(const std::string& text, const std::string& kind) {
  return quirvel::cli::ParseInteger<std::int64_t>("output kind " + kind, text);
}

std::int64_t AfterColon(const std::string& kind) { return KindNumber(kind.substr(kind.find(':') + 1), kind); }

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void AddOutput(Graph& g, const OutputRequest& out) {
  const std::size_t at = out.kind.find('@');
  const std::string kind = out.kind.substr(0, at);
  const std::int64_t width =
      at == std::string::npos ? g.layout.width : KindNumber(out.kind.substr(at + 1), out.kind);
  if (width < 1) throw std::runtime_error("width must be at least 1: " + out.kind);
  const std::string& name = out.name;
  if (kind == "sentence") return AddSentence(g, name, width, false);
  if (kind == "sentence-symbolic") return AddSentence(g, name, width, true);
  if (kind == "tokens") return AddTokens(g, name, width, Symbolic("seq"));
  if (StartsWith(kind, "tokens-fixed:")) return AddTokens(g, name, width, Fixed(AfterColon(kind)));
  if (kind == "tokens-doubled") return AddDoubledTokens(g, name, width);
  if (kind == "tokens-after-first") return AddTokensAfterFirst(g, name, width);
  if (kind == "scores") return AddScores(g, name);
  if (kind == "int64") return AddInt64(g, name);
  if (kind == "gather-oob") return AddGatherOutOfBounds(g, name, width);
  if (StartsWith(kind, "fails-on:")) return AddFailsOn(g, name, width, AfterColon(kind));
  throw std::runtime_error("unknown output kind: " + out.kind);
}

void AddInputs(Graph& g) {
  const std::vector<Dim> shape = {Symbolic("batch"), Symbolic("seq")};
  g.builder.AddInput("input_ids", kInt64, shape);
  g.builder.AddInput("attention_mask", kInt64, shape);
  if (g.layout.token_type_ids) g.builder.AddInput("token_type_ids", kInt64, shape);
  if (g.layout.position_ids) g.builder.AddInput("position_ids", kInt64, shape);
}

// One cache entry: the past (declared [batch, heads, past, head size]) and the
// new keys concatenated into "present.*", and its sum over the head size
// weighed by the mask [B, 1, L], which only broadcasts when the past is empty.
std::string AddCacheEntry(Graph& g, const std::string& suffix, const std::string& fresh,
                          const std::string& mask) {
  GraphBuilder& b = g.builder;
  const TestModelLayout& l = g.layout;
  const std::int32_t type = l.float16 ? kFloat16 : kFloat;
  b.AddInput("past_key_values." + suffix, type,
             {Symbolic("batch"), Fixed(l.decoder_heads), Symbolic("past_sequence_length"),
              Fixed(l.decoder_head_size)});
  const std::string present = b.Node("Concat", {"past_key_values." + suffix, fresh}, "present." + suffix);
  SetIntAttribute(b.LastNode(), "axis", 2);
  g.present.push_back(present);
  const std::string per_position = ReduceSum(b, CastToFloat(b, present), b.Int64Constant({3}), false);
  return b.Node("Mul", {per_position, mask});
}

// The new keys are the mask spread over heads and head size; the check sums
// every weighed cache entry and multiplies it by zero, so rows stay as without
// a cache while the run still needs every past to fit.
void BuildCacheCheck(Graph& g) {
  GraphBuilder& b = g.builder;
  const TestModelLayout& l = g.layout;
  const std::string mask4 = b.Node("Unsqueeze", {g.mask_float, b.Int64Constant({1, 3})});
  std::string fresh =
      b.Node("Expand", {mask4, b.Int64Constant({1, l.decoder_heads, 1, l.decoder_head_size})});
  if (l.float16) fresh = Cast(b, fresh, kFloat16);
  const std::string mask = b.Node("Unsqueeze", {g.mask_float, g.axis1});
  std::string total;
  for (std::int64_t layer = 0; layer < l.decoder_layers; ++layer) {
    for (const char* part : {".key", ".value"}) {
      const std::string entry = AddCacheEntry(g, std::to_string(layer) + part, fresh, mask);
      total = total.empty() ? entry : b.Node("Add", {total, entry});
    }
  }
  const std::string summed = ReduceSum(b, total, b.Int64Constant({1, 2}), true);
  g.cache_check = b.Node("Mul", {summed, b.FloatConstant({0.0f}, {1})});
}

}  // namespace

void WriteTestModel(const TestModelLayout& layout, const std::string& path) {
  if (layout.width < 1) throw std::runtime_error("width must be at least 1");
  if (layout.outputs.empty()) throw std::runtime_error("a model needs at least one output");
  if (layout.decoder_layers < 0 || layout.decoder_heads < 1 || layout.decoder_head_size < 1) {
    throw std::runtime_error("decoder sizes must be positive");
  }
  Graph g{GraphBuilder(), layout, {}, "", "", "", "", {}};
  g.axis1 = g.builder.Int64Constant({1});
  g.axis2 = g.builder.Int64Constant({2});
  AddInputs(g);
  g.mask_float = CastToFloat(g.builder, "attention_mask");
  if (layout.decoder_layers > 0) BuildCacheCheck(g);
  for (const OutputRequest& out : layout.outputs) AddOutput(g, out);
  const std::int32_t cache_type = layout.float16 ? kFloat16 : kFloat;
  for (const std::string& name : g.present) {
    g.builder.AddOutput(name, cache_type,
                        {Symbolic("batch"), Fixed(layout.decoder_heads), Symbolic("total_sequence_length"),
                         Fixed(layout.decoder_head_size)});
  }
  for (const auto& [key, value] : layout.metadata) g.builder.AddMetadata(key, value);
  if (layout.external_data) {
    g.builder.SaveWithExternalData(path);
  } else {
    g.builder.Save(path);
  }
}

}  // namespace quirvel::modelgen
