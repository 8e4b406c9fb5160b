// The padded model inputs of one batch and the pooling of the model's outputs
// into one row per text. Pure functions, so the numbers can be checked by hand.
#pragma once

#include <cstdint>
#include <vector>

namespace quirvel {

// The kind of model output the core reads rows from.
enum class OutputKind : std::uint32_t {
  SentenceEmbedding = 0,
  DenseVecs = 1,
  MeanTokens = 2,
  FirstToken = 3,
  LastToken = 4,
};

// Four row-major batch x length buffers: every text padded to the longest one.
struct PaddedBatch {
  std::int64_t batch = 0;
  std::int64_t length = 0;
  std::vector<std::int64_t> input_ids;
  std::vector<std::int64_t> attention_mask;
  std::vector<std::int64_t> token_type_ids;
  std::vector<std::int64_t> position_ids;
};

// The token ids of each text of a batch, in order.
using TokenIdRows = std::vector<std::vector<std::int64_t>>;

PaddedBatch BuildPaddedBatch(const TokenIdRows& ids, std::int64_t padding_id);
// The texts [first, last) of a longer list, without copying their ids first.
PaddedBatch BuildPaddedBatch(TokenIdRows::const_iterator first, TokenIdRows::const_iterator last,
                             std::int64_t padding_id);

// The token vectors of one text: tokens x hidden floats, and its mask row.
struct TokenRows {
  const float* data = nullptr;
  std::int64_t tokens = 0;
  std::int64_t hidden = 0;
  const std::int64_t* mask = nullptr;
  std::int64_t mask_length = 0;  // the padded batch length
};

// Pools one text's token vectors as MeanTokens, FirstToken or LastToken.
std::vector<float> PoolTokens(OutputKind kind, const TokenRows& rows);

// Divides by the Euclidean length, never by less than 1e-12 (a zero row stays zero).
void L2Normalize(std::vector<float>& row);

}  // namespace quirvel
