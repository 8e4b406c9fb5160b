#include "tools/modelgen/test_models.h"

#include <stdexcept>

#include "tools/modelgen/graph_builder.h"

namespace quirvel::modelgen {
namespace {

constexpr std::int32_t kFloat = onnx::TensorProto_DataType_FLOAT;
constexpr std::int32_t kInt64 = onnx::TensorProto_DataType_INT64;

// Values shared by the output builders of one model.
struct Graph {
  GraphBuilder builder;
  const TestModelLayout& layout;
  std::string tokens;        // [B, L, H] float
  std::string mask_float;    // [B, L] float
  std::string axis1;         // constant [1]
  std::string axis2;         // constant [2]
};

std::string CastToFloat(GraphBuilder& b, const std::string& input) {
  const std::string out = b.Node("Cast", {input});
  SetIntAttribute(b.LastNode(), "to", kFloat);
  return out;
}

std::string ReduceSum(GraphBuilder& b, const std::string& input, const std::string& axes, bool keep,
                      const std::string& output = "") {
  const std::string out = b.Node("ReduceSum", {input, axes}, output);
  SetIntAttribute(b.LastNode(), "keepdims", keep ? 1 : 0);
  return out;
}

std::vector<float> SpreadWeights(std::int64_t features, std::int64_t width) {
  std::vector<float> weights(static_cast<std::size_t>(features * width), 0.0f);
  for (std::int64_t h = 0; h < width; ++h) weights[static_cast<std::size_t>((h % features) * width + h)] = 1.0f;
  return weights;
}

void BuildTokenVectors(Graph& g) {
  GraphBuilder& b = g.builder;
  std::vector<std::string> features = {"input_ids", "attention_mask"};
  if (g.layout.position_ids) features.push_back("position_ids");
  if (g.layout.token_type_ids) features.push_back("token_type_ids");
  std::vector<std::string> columns;
  for (const std::string& input : features) columns.push_back(b.Node("Unsqueeze", {CastToFloat(b, input), g.axis2}));
  const std::string stacked = b.Node("Concat", columns);
  SetIntAttribute(b.LastNode(), "axis", 2);
  const auto count = static_cast<std::int64_t>(features.size());
  const std::string weights = b.FloatConstant(SpreadWeights(count, g.layout.width), {count, g.layout.width});
  g.tokens = b.Node("MatMul", {stacked, weights});
  g.mask_float = CastToFloat(b, "attention_mask");
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

void AddSentence(Graph& g, const OutputRequest& out, bool symbolic) {
  GraphBuilder& b = g.builder;
  const std::string mask3 = b.Node("Unsqueeze", {g.mask_float, g.axis2});
  const std::string sum = ReduceSum(b, b.Node("Mul", {g.tokens, mask3}), g.axis1, false);
  const std::string count = ReduceSum(b, g.mask_float, g.axis1, true);
  const std::string mean = b.Node("Div", {sum, count}, symbolic ? "" : out.name);
  if (symbolic) b.Node("Identity", {HideWidth(b, mean)}, out.name);
  b.AddOutput(out.name, kFloat, {Symbolic("batch"), symbolic ? Symbolic("hidden") : Fixed(g.layout.width)});
}

void AddTokens(Graph& g, const OutputRequest& out, Dim seq, Dim hidden) {
  g.builder.Node("Identity", {g.tokens}, out.name);
  g.builder.AddOutput(out.name, kFloat, {Symbolic("batch"), seq, hidden});
}

void AddDoubledTokens(Graph& g, const OutputRequest& out) {
  g.builder.Node("Concat", {g.tokens, g.tokens}, out.name);
  SetIntAttribute(g.builder.LastNode(), "axis", 1);
  g.builder.AddOutput(out.name, kFloat, {Symbolic("batch"), Symbolic("seq2"), Fixed(g.layout.width)});
}

void AddScores(Graph& g, const OutputRequest& out) {
  GraphBuilder& b = g.builder;
  ReduceSum(b, b.Node("Mul", {CastToFloat(b, "input_ids"), g.mask_float}), g.axis1, false, out.name);
  b.AddOutput(out.name, kFloat, {Symbolic("batch")});
}

void AddInt64(Graph& g, const OutputRequest& out) {
  ReduceSum(g.builder, "input_ids", g.axis1, true, out.name);
  g.builder.AddOutput(out.name, kInt64, {Symbolic("batch"), Fixed(1)});
}

void AddGatherOutOfBounds(Graph& g, const OutputRequest& out) {
  GraphBuilder& b = g.builder;
  const std::vector<float> table(static_cast<std::size_t>(4 * g.layout.width), 0.5f);
  const std::string rows = b.Node("Gather", {b.FloatConstant(table, {4, g.layout.width}), "input_ids"});
  ReduceSum(b, rows, g.axis1, false, out.name);
  b.AddOutput(out.name, kFloat, {Symbolic("batch"), Fixed(g.layout.width)});
}

std::int64_t FixedLength(const std::string& kind) {
  try {
    return std::stoll(kind.substr(kind.find(':') + 1));
  } catch (const std::exception&) {
    throw std::runtime_error("bad fixed length in output kind: " + kind);
  }
}

void AddOutput(Graph& g, const OutputRequest& out) {
  const Dim width = Fixed(g.layout.width);
  if (out.kind == "sentence") return AddSentence(g, out, false);
  if (out.kind == "sentence-symbolic") return AddSentence(g, out, true);
  if (out.kind == "tokens") return AddTokens(g, out, Symbolic("seq"), width);
  if (out.kind.rfind("tokens-fixed:", 0) == 0) return AddTokens(g, out, Fixed(FixedLength(out.kind)), width);
  if (out.kind == "tokens-doubled") return AddDoubledTokens(g, out);
  if (out.kind == "scores") return AddScores(g, out);
  if (out.kind == "int64") return AddInt64(g, out);
  if (out.kind == "gather-oob") return AddGatherOutOfBounds(g, out);
  throw std::runtime_error("unknown output kind: " + out.kind);
}

void AddInputs(Graph& g) {
  const std::vector<Dim> shape = {Symbolic("batch"), Symbolic("seq")};
  g.builder.AddInput("input_ids", kInt64, shape);
  g.builder.AddInput("attention_mask", kInt64, shape);
  if (g.layout.token_type_ids) g.builder.AddInput("token_type_ids", kInt64, shape);
  if (g.layout.position_ids) g.builder.AddInput("position_ids", kInt64, shape);
}

}  // namespace

void WriteTestModel(const TestModelLayout& layout, const std::string& path) {
  if (layout.width < 1) throw std::runtime_error("width must be at least 1");
  if (layout.outputs.empty()) throw std::runtime_error("a model needs at least one output");
  Graph g{GraphBuilder(), layout, "", "", "", ""};
  g.axis1 = g.builder.Int64Constant({1});
  g.axis2 = g.builder.Int64Constant({2});
  AddInputs(g);
  BuildTokenVectors(g);
  for (const OutputRequest& out : layout.outputs) AddOutput(g, out);
  g.builder.Save(path);
}

}  // namespace quirvel::modelgen
