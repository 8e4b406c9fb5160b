#include "embedcore/token_batch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace quirvel {
namespace {

std::size_t LongestLength(const TokenIdRows& ids, const SubBatch& members) {
  std::size_t longest = 0;
  for (std::size_t member : members) longest = std::max(longest, ids[member].size());
  return longest;
}

SubBatch AllTexts(std::size_t count) {
  SubBatch members(count);
  std::iota(members.begin(), members.end(), std::size_t{0});
  return members;
}

// Positions by token count, ties in input order, so a plan never depends on the sort.
SubBatch OrderByLength(const std::vector<std::size_t>& lengths) {
  SubBatch order = AllTexts(lengths.size());
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return lengths[a] < lengths[b]; });
  return order;
}

// The cheapest cut of the ordered texts: best[j] is the cost of the first j of
// them, start[j] where the last run of that cut begins. The lengths are sorted,
// so a run's longest text is its last. A run ends at a non-empty text (a model
// cannot run zero positions), and holds more than one text only within the
// budget, except that the empty texts, which sort first, always join the first
// run: they have nowhere else to go.
struct Cut {
  std::vector<std::int64_t> best;
  std::vector<std::size_t> start;
};

Cut CheapestCut(const std::vector<std::size_t>& sorted, const SubBatchLimits& limits) {
  constexpr std::int64_t kUnreachable = std::numeric_limits<std::int64_t>::max();
  const std::size_t count = sorted.size();
  Cut cut{std::vector<std::int64_t>(count + 1, kUnreachable), std::vector<std::size_t>(count + 1, 0)};
  cut.best[0] = 0;
  for (std::size_t end = 1; end <= count; ++end) {
    const auto longest = static_cast<std::int64_t>(sorted[end - 1]);
    if (longest == 0) continue;
    for (std::size_t begin = end; begin-- > 0;) {
      const auto padded = static_cast<std::int64_t>(end - begin) * longest;
      if (end - begin > 1 && padded > limits.token_budget && sorted[begin] > 0) break;
      if (cut.best[begin] == kUnreachable) continue;
      const std::int64_t cost = cut.best[begin] + padded + limits.run_cost_tokens;
      if (cost <= cut.best[end]) {  // on a tie the longer run: fewer runs
        cut.best[end] = cost;
        cut.start[end] = begin;
      }
    }
  }
  return cut;
}

std::vector<SubBatch> RunsOf(const SubBatch& order, const Cut& cut) {
  std::vector<SubBatch> runs;
  for (std::size_t end = order.size(); end > 0; end = cut.start[end]) {
    const auto first = order.begin() + static_cast<std::ptrdiff_t>(cut.start[end]);
    runs.emplace_back(first, order.begin() + static_cast<std::ptrdiff_t>(end));
  }
  std::reverse(runs.begin(), runs.end());
  return runs;
}

std::vector<float> CopyToken(const TokenRows& rows, std::int64_t position) {
  const float* begin = rows.data + position * rows.hidden;
  return std::vector<float>(begin, begin + rows.hidden);
}

std::int64_t LastAttendedPosition(const TokenRows& rows) {
  const std::int64_t ones = std::count(rows.mask, rows.mask + rows.mask_length, std::int64_t{1});
  const std::int64_t position = ones > 0 ? ones - 1 : 0;
  return std::min(position, rows.tokens - 1);
}

std::vector<float> MaskedMean(const TokenRows& rows) {
  std::vector<float> sum(static_cast<std::size_t>(rows.hidden), 0.0f);
  std::int64_t attended = 0;
  const std::int64_t positions = std::min(rows.tokens, rows.mask_length);
  for (std::int64_t t = 0; t < positions; ++t) {
    if (rows.mask[t] == 0) continue;
    ++attended;
    const float* token = rows.data + t * rows.hidden;
    for (std::size_t h = 0; h < sum.size(); ++h) sum[h] += token[h];
  }
  const float divisor = static_cast<float>(attended == 0 ? 1 : attended);
  for (float& value : sum) value /= divisor;
  return sum;
}

}  // namespace

PaddedBatch BuildPaddedBatch(const TokenIdRows& ids, std::int64_t padding_id) {
  return BuildPaddedBatch(ids, AllTexts(ids.size()), padding_id);
}

PaddedBatch BuildPaddedBatch(const TokenIdRows& ids, const SubBatch& members, std::int64_t padding_id) {
  PaddedBatch batch;
  const std::size_t rows = members.size();
  const std::size_t length = LongestLength(ids, members);
  batch.batch = static_cast<std::int64_t>(rows);
  batch.length = static_cast<std::int64_t>(length);
  batch.input_ids.assign(rows * length, padding_id);
  batch.attention_mask.assign(rows * length, 0);
  batch.token_type_ids.assign(rows * length, 0);
  batch.position_ids.resize(rows * length);
  for (std::size_t b = 0; b < rows; ++b) {
    const std::vector<std::int64_t>& text = ids[members[b]];
    std::copy(text.begin(), text.end(), batch.input_ids.begin() + b * length);
    std::fill_n(batch.attention_mask.begin() + b * length, text.size(), 1);
    for (std::size_t t = 0; t < length; ++t)
      batch.position_ids[b * length + t] = static_cast<std::int64_t>(t);
  }
  return batch;
}

std::vector<std::size_t> TokenCounts(const TokenIdRows& ids) {
  std::vector<std::size_t> counts;
  counts.reserve(ids.size());
  for (const std::vector<std::int64_t>& row : ids) counts.push_back(row.size());
  return counts;
}

std::vector<SubBatch> PlanSubBatches(const std::vector<std::size_t>& lengths, const SubBatchLimits& limits) {
  const SubBatch order = OrderByLength(lengths);
  std::vector<std::size_t> sorted;
  sorted.reserve(order.size());
  for (std::size_t position : order) sorted.push_back(lengths[position]);
  if (sorted.empty() || sorted.back() == 0) return {};
  return RunsOf(order, CheapestCut(sorted, limits));
}

std::size_t PaddedTokens(const std::vector<std::size_t>& lengths, const std::vector<SubBatch>& plan) {
  std::size_t padded = 0;
  for (const SubBatch& run : plan) {
    std::size_t longest = 0;
    for (std::size_t member : run) longest = std::max(longest, lengths[member]);
    padded += run.size() * longest;
  }
  return padded;
}

std::vector<float> PoolTokens(OutputKind kind, const TokenRows& rows) {
  if (kind == OutputKind::FirstToken) return CopyToken(rows, 0);
  if (kind == OutputKind::LastToken) return CopyToken(rows, LastAttendedPosition(rows));
  return MaskedMean(rows);
}

void L2Normalize(std::vector<float>& row) {
  float sum_of_squares = 0.0f;
  for (float value : row) sum_of_squares += value * value;
  const float divisor = std::max(std::sqrt(sum_of_squares), 1e-12f);
  for (float& value : row) value /= divisor;
}

}  // namespace quirvel
