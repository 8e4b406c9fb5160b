#include "embedcore/token_batch.h"

#include <algorithm>
#include <cmath>

namespace quirvel {
namespace {

std::size_t LongestLength(const TokenIdRows::const_iterator first, const TokenIdRows::const_iterator last) {
  std::size_t longest = 0;
  for (auto row = first; row != last; ++row) longest = std::max(longest, row->size());
  return longest;
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
  return BuildPaddedBatch(ids.begin(), ids.end(), padding_id);
}

PaddedBatch BuildPaddedBatch(TokenIdRows::const_iterator first, TokenIdRows::const_iterator last,
                             std::int64_t padding_id) {
  PaddedBatch batch;
  const auto rows = static_cast<std::size_t>(last - first);
  const std::size_t length = LongestLength(first, last);
  batch.batch = static_cast<std::int64_t>(rows);
  batch.length = static_cast<std::int64_t>(length);
  batch.input_ids.assign(rows * length, padding_id);
  batch.attention_mask.assign(rows * length, 0);
  batch.token_type_ids.assign(rows * length, 0);
  batch.position_ids.resize(rows * length);
  for (std::size_t b = 0; b < rows; ++b) {
    const std::vector<std::int64_t>& text = first[static_cast<std::ptrdiff_t>(b)];
    std::copy(text.begin(), text.end(), batch.input_ids.begin() + b * length);
    std::fill_n(batch.attention_mask.begin() + b * length, text.size(), 1);
    for (std::size_t t = 0; t < length; ++t)
      batch.position_ids[b * length + t] = static_cast<std::int64_t>(t);
  }
  return batch;
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
