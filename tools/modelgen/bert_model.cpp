#include "tools/modelgen/bert_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/unicode.h"
#include "tools/modelgen/demo_model.h"
#include "tools/modelgen/graph_builder.h"

namespace quirvel::modelgen {
namespace {

constexpr std::int64_t kOpsetWithLayerNorm = 17;
constexpr std::int64_t kTokenTypes = 2;
constexpr float kEmbeddingScale = 0.02f;
constexpr float kMaskedScore = -10000.0f;
constexpr std::uint32_t kFirstIdeograph = 0x4E00;
constexpr std::uint32_t kLastIdeograph = 0x9FFF;

// splitmix64: a stream that is the same on every platform, unlike the
// standard library's distributions.
class WeightStream {
 public:
  explicit WeightStream(std::uint64_t start) : state_(start) {}

  // Box-Muller over two uniforms in (0, 1]: N(0, 1).
  double Next() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    const double radius = std::sqrt(-2.0 * std::log(Uniform()));
    const double angle = 6.283185307179586 * Uniform();
    spare_ = radius * std::sin(angle);
    has_spare_ = true;
    return radius * std::cos(angle);
  }

 private:
  double Uniform() { return (static_cast<double>(NextBits() >> 11) + 1.0) / 9007199254740992.0; }

  std::uint64_t NextBits() {
    std::uint64_t x = (state_ += 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
  }

  std::uint64_t state_;
  double spare_ = 0.0;
  bool has_spare_ = false;
};

// Values shared by the builders of one model.
struct Bert {
  GraphBuilder builder{kOpsetWithLayerNorm};
  const BertShape& shape;
  WeightStream weights;
  std::string head_shape;    // [0, 0, heads, head size] for Reshape
  std::string merged_shape;  // [0, 0, hidden]
  std::string score_scale;   // sqrt(head size)
  std::string mask;          // [batch, 1, 1, seq]: 0 for tokens, kMaskedScore for padding
};

// Symmetric per-tensor int8 weights: the projection computes
// (x_q - x_zero) * w_q * x_scale * w_scale, as dynamic quantisation writes it.
std::string QuantizedLinear(Bert& m, const std::string& input, std::int64_t in, std::int64_t out,
                            double scale) {
  GraphBuilder& b = m.builder;
  const auto count = static_cast<std::size_t>(in * out);
  std::vector<float> weights(count);
  float largest = 0.0f;
  for (float& w : weights) {
    w = static_cast<float>(m.weights.Next() * scale);
    largest = std::max(largest, std::fabs(w));
  }
  const float w_scale = largest > 0.0f ? largest / 127.0f : 1.0f;
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    const long q = std::lround(weights[i] / w_scale);
    bytes[i] = static_cast<char>(static_cast<std::int8_t>(std::clamp(q, -127L, 127L)));
  }
  const std::string w_q = b.RawConstant(std::move(bytes), onnx::TensorProto_DataType_INT8, {in, out});
  const std::string w_zero = b.RawConstant(std::string(1, '\0'), onnx::TensorProto_DataType_INT8, {});
  const std::vector<std::string> x = b.MultiNode("DynamicQuantizeLinear", {input}, 3);
  const std::string product = b.Node("MatMulInteger", {x[0], w_q, x[2], w_zero});
  const std::string widened = b.Node("Cast", {product});
  SetIntAttribute(b.LastNode(), "to", onnx::TensorProto_DataType_FLOAT);
  const std::string scales = b.Node("Mul", {x[1], b.FloatConstant({w_scale}, {})});
  return b.Node("Mul", {widened, scales});
}

std::string RandomWeights(Bert& m, std::int64_t rows, std::int64_t columns, double scale) {
  const auto count = static_cast<std::size_t>(rows * columns);
  std::string bytes(count * sizeof(float), '\0');
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = static_cast<float>(m.weights.Next() * scale);
    std::memcpy(&bytes[i * sizeof(float)], &value, sizeof(float));
  }
  return m.builder.RawFloatConstant(std::move(bytes), {rows, columns});
}

std::string Filled(Bert& m, std::int64_t count, float value) {
  return m.builder.FloatConstant(std::vector<float>(static_cast<std::size_t>(count), value), {count});
}

void SetIntsAttribute(onnx::NodeProto& node, const std::string& name,
                      const std::vector<std::int64_t>& values) {
  onnx::AttributeProto* attribute = node.add_attribute();
  attribute->set_name(name);
  attribute->set_type(onnx::AttributeProto_AttributeType_INTS);
  for (std::int64_t value : values) attribute->add_ints(value);
}

// Weights of scale 1/sqrt(in) keep each projection near unit variance, so
// attention and feed-forward outputs weigh as much as the residual and the
// rows depend on the text; at BERT's initial 0.02 the first token's row would
// be almost the same for every input.
std::string Linear(Bert& m, const std::string& input, std::int64_t in, std::int64_t out) {
  GraphBuilder& b = m.builder;
  const double scale = 1.0 / std::sqrt(static_cast<double>(in));
  const std::string product = m.shape.int8 ? QuantizedLinear(m, input, in, out, scale)
                                           : b.Node("MatMul", {input, RandomWeights(m, in, out, scale)});
  return b.Node("Add", {product, Filled(m, out, 0.0f)});
}

std::string LayerNorm(Bert& m, const std::string& input) {
  const std::int64_t hidden = m.shape.hidden;
  const std::string out =
      m.builder.Node("LayerNormalization", {input, Filled(m, hidden, 1.0f), Filled(m, hidden, 0.0f)});
  SetIntAttribute(m.builder.LastNode(), "axis", -1);
  return out;
}

std::string Transpose(Bert& m, const std::string& input, const std::vector<std::int64_t>& perm) {
  const std::string out = m.builder.Node("Transpose", {input});
  SetIntsAttribute(m.builder.LastNode(), "perm", perm);
  return out;
}

// [batch, seq, hidden] -> [batch, heads, seq, head size], or with perm
// {0, 2, 3, 1} the keys' [batch, heads, head size, seq].
std::string SplitHeads(Bert& m, const std::string& input, const std::vector<std::int64_t>& perm) {
  return Transpose(m, m.builder.Node("Reshape", {input, m.head_shape}), perm);
}

std::string SelfAttention(Bert& m, const std::string& x) {
  GraphBuilder& b = m.builder;
  const std::int64_t hidden = m.shape.hidden;
  const std::string query = SplitHeads(m, Linear(m, x, hidden, hidden), {0, 2, 1, 3});
  const std::string key = SplitHeads(m, Linear(m, x, hidden, hidden), {0, 2, 3, 1});
  const std::string value = SplitHeads(m, Linear(m, x, hidden, hidden), {0, 2, 1, 3});
  const std::string scores = b.Node("Div", {b.Node("MatMul", {query, key}), m.score_scale});
  const std::string probabilities = b.Node("Softmax", {b.Node("Add", {scores, m.mask})});
  SetIntAttribute(b.LastNode(), "axis", -1);
  const std::string context = Transpose(m, b.Node("MatMul", {probabilities, value}), {0, 2, 1, 3});
  const std::string attended = Linear(m, b.Node("Reshape", {context, m.merged_shape}), hidden, hidden);
  return LayerNorm(m, b.Node("Add", {attended, x}));
}

// The exact (erf) form of GELU, as BERT checkpoints export it.
std::string Gelu(Bert& m, const std::string& x) {
  GraphBuilder& b = m.builder;
  const std::string erf = b.Node("Erf", {b.Node("Div", {x, Filled(m, 1, std::sqrt(2.0f))})});
  const std::string half_x = b.Node("Mul", {x, Filled(m, 1, 0.5f)});
  return b.Node("Mul", {half_x, b.Node("Add", {erf, Filled(m, 1, 1.0f)})});
}

std::string FeedForward(Bert& m, const std::string& x) {
  const BertShape& s = m.shape;
  const std::string inner = Gelu(m, Linear(m, x, s.hidden, s.feed_forward));
  const std::string out = Linear(m, inner, s.feed_forward, s.hidden);
  return LayerNorm(m, m.builder.Node("Add", {out, x}));
}

// The first seq rows of the position table, so positions need no input.
std::string PositionVectors(Bert& m) {
  GraphBuilder& b = m.builder;
  const std::string table = RandomWeights(m, m.shape.max_positions, m.shape.hidden, kEmbeddingScale);
  const std::string seq = b.Node("Gather", {b.Node("Shape", {"input_ids"}), b.Int64Constant({1})});
  const std::string zero = b.Int64Constant({0});
  return b.Node("Slice", {table, zero, seq, zero});
}

std::string Embeddings(Bert& m) {
  GraphBuilder& b = m.builder;
  const std::string words =
      b.Node("Gather", {RandomWeights(m, m.shape.vocab, m.shape.hidden, kEmbeddingScale), "input_ids"});
  const std::string positions = PositionVectors(m);
  const std::string types =
      b.Node("Gather", {RandomWeights(m, kTokenTypes, m.shape.hidden, kEmbeddingScale), "token_type_ids"});
  return LayerNorm(m, b.Node("Add", {b.Node("Add", {words, positions}), types}));
}

void BuildAttentionMask(Bert& m) {
  GraphBuilder& b = m.builder;
  const std::string mask = b.Node("Cast", {"attention_mask"});
  SetIntAttribute(b.LastNode(), "to", onnx::TensorProto_DataType_FLOAT);
  const std::string padding = b.Node("Sub", {Filled(m, 1, 1.0f), mask});
  const std::string additive = b.Node("Mul", {padding, Filled(m, 1, kMaskedScore)});
  m.mask = b.Node("Unsqueeze", {additive, b.Int64Constant({1, 2})});
}

void BuildConstants(Bert& m) {
  const std::int64_t head_size = m.shape.hidden / m.shape.heads;
  m.head_shape = m.builder.Int64Constant({0, 0, m.shape.heads, head_size});
  m.merged_shape = m.builder.Int64Constant({0, 0, m.shape.hidden});
  m.score_scale = Filled(m, 1, std::sqrt(static_cast<float>(head_size)));
}

void AddInputsAndOutput(GraphBuilder& b, std::int64_t hidden) {
  const std::vector<Dim> shape = {Symbolic("batch"), Symbolic("seq")};
  b.AddInput("input_ids", onnx::TensorProto_DataType_INT64, shape);
  b.AddInput("attention_mask", onnx::TensorProto_DataType_INT64, shape);
  b.AddInput("token_type_ids", onnx::TensorProto_DataType_INT64, shape);
  b.AddOutput("last_hidden_state", onnx::TensorProto_DataType_FLOAT,
              {Symbolic("batch"), Symbolic("seq"), Fixed(hidden)});
}

void CheckShape(const BertShape& s) {
  if (s.hidden < 1 || s.layers < 1 || s.heads < 1 || s.feed_forward < 1 || s.vocab < 1 ||
      s.max_positions < 1) {
    throw std::runtime_error("every BERT size must be at least 1");
  }
  if (s.hidden % s.heads != 0) throw std::runtime_error("hidden size must be a multiple of the head count");
}

// Qwen3-Embedding-0.6B's sizes and vocabulary. Its layers attend causally where
// these attend both ways, which costs the same multiplications per token.
BertShape Qwen3Shape() {
  BertShape shape;
  shape.hidden = 1024;
  shape.layers = 28;
  shape.heads = 16;
  shape.feed_forward = 3072;
  shape.vocab = 151669;
  return shape;
}

}  // namespace

BertShape BertPreset(const std::string& name) {
  BertShape shape;
  if (name == "small") return shape;
  if (name == "qwen3") return Qwen3Shape();
  if (name != "large") throw std::runtime_error("unknown BERT preset: " + name);
  shape.hidden = 1024;
  shape.layers = 24;
  shape.heads = 16;
  shape.feed_forward = 4096;
  return shape;
}

void WriteBertModel(const BertShape& shape, const std::string& path) {
  CheckShape(shape);
  Bert m{GraphBuilder(kOpsetWithLayerNorm), shape, WeightStream(shape.random_state), "", "", "", ""};
  AddInputsAndOutput(m.builder, shape.hidden);
  BuildConstants(m);
  BuildAttentionMask(m);
  std::string x = Embeddings(m);
  for (std::int64_t layer = 0; layer < shape.layers; ++layer) x = FeedForward(m, SelfAttention(m, x));
  m.builder.Node("Identity", {x}, "last_hidden_state");
  m.builder.Save(path);
}

std::vector<std::string> BertVocabulary(std::int64_t size) {
  std::vector<std::string> tokens = SpecialAndAsciiTokens();
  const auto wanted = static_cast<std::size_t>(size < 0 ? 0 : size);
  if (wanted < tokens.size() || wanted - tokens.size() > kLastIdeograph - kFirstIdeograph + 1) {
    throw std::runtime_error("vocabulary size must be between " + std::to_string(tokens.size()) + " and " +
                             std::to_string(tokens.size() + kLastIdeograph - kFirstIdeograph + 1));
  }
  for (std::uint32_t c = kFirstIdeograph; tokens.size() < wanted; ++c) {
    std::string token;
    AppendUtf8(token, c);
    tokens.push_back(std::move(token));
  }
  return tokens;
}

void WriteBertVocabulary(std::int64_t size, const std::string& path) {
  const std::vector<std::string> tokens = BertVocabulary(size);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::string& token : tokens) out << token << '\n';
  if (!out) throw std::runtime_error("cannot write vocabulary: " + path);
}

}  // namespace quirvel::modelgen
