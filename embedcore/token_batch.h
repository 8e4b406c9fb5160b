// The padded model inputs of one batch, the plan that cuts one engine call into
// model runs, and the pooling of the model's outputs into one row per text. Pure
// functions, so the numbers can be checked by hand.
#pragma once

#include <cstddef>
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

// The texts of one model run, as positions in the engine call's list of texts.
using SubBatch = std::vector<std::size_t>;

PaddedBatch BuildPaddedBatch(const TokenIdRows& ids, std::int64_t padding_id);
// The texts `members` of a longer list, in that order, without copying their ids first.
PaddedBatch BuildPaddedBatch(const TokenIdRows& ids, const SubBatch& members, std::int64_t padding_id);

// Far above an ordinary title's candidates (a few thousand tokens), far below
// what exhausts memory on a bge-large-sized model.
inline constexpr std::int64_t kDefaultTokenBudget = 8192;
// Each run streams every weight of the model once, which costs about what a
// dozen more tokens inside a larger run cost (on a BERT shape of 512 or 1024
// wide). On real titles this cuts a request's three calls into about seven
// runs holding 6% padding, where one run per call held 49%.
inline constexpr std::int64_t kDefaultRunCostTokens = 12;

// What cutting one engine call into model runs costs and may not exceed.
struct SubBatchLimits {
  // Texts x padded length per run; a text longer than this runs alone.
  std::int64_t token_budget = kDefaultTokenBudget;
  // What one more run costs, in padded tokens.
  std::int64_t run_cost_tokens = kDefaultRunCostTokens;
};

// The number of ids of each text.
std::vector<std::size_t> TokenCounts(const TokenIdRows& ids);

// Orders the texts by token count (ties in input order) and cuts that order into
// the runs that pad least: the sum over runs of texts x longest text, plus
// run_cost_tokens per run, is the smallest any cut of the order gives within the
// budget. Empty texts ride with the shortest non-empty ones; a call whose texts
// are all empty gets no runs.
std::vector<SubBatch> PlanSubBatches(const std::vector<std::size_t>& lengths, const SubBatchLimits& limits);

// The padded positions the plan sends through the model (texts x longest text, summed over runs).
std::size_t PaddedTokens(const std::vector<std::size_t>& lengths, const std::vector<SubBatch>& plan);

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
