// BERT-shaped encoders with reproducible random weights, for measuring what a real
// transformer costs the worker: word, position and token-type embeddings,
// self-attention and feed-forward layers with layer normalisation, and a
// "last_hidden_state" output [batch, seq, hidden]. The vectors mean nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quirvel::modelgen {

struct BertShape {
  std::int64_t hidden = 512;
  std::int64_t layers = 4;
  std::int64_t heads = 8;
  std::int64_t feed_forward = 2048;
  std::int64_t vocab = 21128;
  std::int64_t max_positions = 512;
  std::uint64_t random_state = 1;
  // Dynamic int8 quantisation, as the transformers.js "model_quantized.onnx"
  // files: every projection runs DynamicQuantizeLinear on its input and
  // MatMulInteger on int8 weights; inputs and outputs stay float32.
  bool int8 = false;
};

// "small" (hidden 512, 4 layers), "large" (the bge-large-zh-v1.5 shape) or
// "qwen3" (Qwen3-Embedding-0.6B's sizes); throws std::runtime_error for any other name.
BertShape BertPreset(const std::string& name);

// Throws std::runtime_error for inconsistent sizes or an unwritable path.
void WriteBertModel(const BertShape& shape, const std::string& path);

// `size` lines: [PAD]=0, [unusedN], [UNK]=100, [CLS]=101, [SEP]=102, [MASK]=103,
// printable ASCII, "##" letters and digits, then CJK ideographs from U+4E00.
std::vector<std::string> BertVocabulary(std::int64_t size);
void WriteBertVocabulary(std::int64_t size, const std::string& path);

}  // namespace quirvel::modelgen
