#include "embedcore/token_batch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <ostream>
#include <random>
#include <vector>

namespace quirvel {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(BuildPaddedBatchTest, PadsToTheLongestTextAndNumbersEveryPosition) {
  const PaddedBatch batch = BuildPaddedBatch({{11, 12, 13}, {21, 22, 23, 24, 25}, {31, 32, 33, 34}}, -7);
  EXPECT_EQ(batch.batch, 3);
  EXPECT_EQ(batch.length, 5);
  EXPECT_THAT(batch.input_ids,
              ElementsAre(11, 12, 13, -7, -7, 21, 22, 23, 24, 25, 31, 32, 33, 34, -7));
  EXPECT_THAT(batch.attention_mask, ElementsAre(1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0));
  EXPECT_THAT(batch.token_type_ids, ElementsAreArray(std::vector<std::int64_t>(15, 0)));
  EXPECT_THAT(batch.position_ids, ElementsAre(0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2, 3, 4));
}

TEST(BuildPaddedBatchTest, EmptySequencesGiveLengthZero) {
  const PaddedBatch batch = BuildPaddedBatch({{}, {}}, 0);
  EXPECT_EQ(batch.length, 0);
  EXPECT_TRUE(batch.input_ids.empty());
}

TEST(BuildPaddedBatchTest, MembersComeInTheOrderGivenAndPadToTheirOwnLongest) {
  const PaddedBatch batch = BuildPaddedBatch({{11, 12, 13, 14, 15}, {21}, {31, 32}}, {2, 1}, 0);
  EXPECT_EQ(batch.batch, 2);
  EXPECT_EQ(batch.length, 2);
  EXPECT_THAT(batch.input_ids, ElementsAre(31, 32, 21, 0));
  EXPECT_THAT(batch.attention_mask, ElementsAre(1, 1, 1, 0));
}

struct PlanCase {
  const char* label;
  std::vector<std::size_t> lengths;
  SubBatchLimits limits;
  std::vector<SubBatch> expected;
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.label; }

class PlanSubBatchesTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanSubBatchesTest, CutsTheLengthOrderAsExpected) {
  const PlanCase& c = GetParam();
  EXPECT_EQ(PlanSubBatches(c.lengths, c.limits), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanSubBatchesTest,
    ::testing::Values(
        PlanCase{"free runs: one per length, ties in input order", {5, 3, 5, 3}, {100, 0}, {{1, 3}, {0, 2}}},
        PlanCase{"dear runs: one run for all", {2, 9, 2, 9}, {100, 1000}, {{0, 2, 1, 3}}},
        PlanCase{"padding 2 x 1 is cheaper than a run of 3", {4, 5, 5}, {100, 3}, {{0, 1, 2}}},
        PlanCase{"padding 2 x 2 is dearer than a run of 3", {4, 4, 6, 6}, {100, 3}, {{0, 1}, {2, 3}}},
        PlanCase{"the budget splits equal texts", {4, 4, 4, 4}, {8, 1000}, {{0, 1}, {2, 3}}},
        PlanCase{"a text over the budget runs alone", {20, 3, 3}, {10, 1000}, {{1, 2}, {0}}},
        PlanCase{"empty texts join the shortest", {0, 5, 0, 7}, {100, 0}, {{0, 2, 1}, {3}}},
        PlanCase{"empty texts join a run even over the budget", {0, 0, 0, 5}, {6, 0}, {{0, 1, 2, 3}}},
        PlanCase{"only empty texts: no run", {0, 0}, {100, 0}, {}},
        PlanCase{"no texts: no run", {}, {100, 0}, {}}));

// Every cut of the ordered texts into consecutive runs, tried one by one.
std::int64_t CheapestCutByHand(const std::vector<std::size_t>& sorted, const SubBatchLimits& limits) {
  std::int64_t best = std::numeric_limits<std::int64_t>::max();
  const std::size_t gaps = sorted.size() - 1;
  for (std::size_t cuts = 0; cuts < (std::size_t{1} << gaps); ++cuts) {
    std::int64_t cost = 0;
    std::size_t begin = 0;
    bool fits = true;
    for (std::size_t end = 1; end <= sorted.size(); ++end) {
      if (end < sorted.size() && (cuts & (std::size_t{1} << (end - 1))) == 0) continue;
      const auto padded = static_cast<std::int64_t>((end - begin) * sorted[end - 1]);
      fits = fits && (end - begin == 1 || padded <= limits.token_budget);
      cost += padded + limits.run_cost_tokens;
      begin = end;
    }
    if (fits) best = std::min(best, cost);
  }
  return best;
}

TEST(PlanSubBatchesTest, FindsTheCheapestCutAndCoversEveryTextOnce) {
  std::mt19937 random_state(7);
  std::uniform_int_distribution<std::size_t> length(1, 30);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<std::size_t> lengths(1 + trial % 10);
    for (std::size_t& l : lengths) l = length(random_state);
    const SubBatchLimits limits{40 + trial % 60, trial % 40};
    const std::vector<SubBatch> plan = PlanSubBatches(lengths, limits);
    std::vector<int> seen(lengths.size(), 0);
    for (const SubBatch& run : plan) {
      for (std::size_t member : run) ++seen[member];
    }
    EXPECT_THAT(seen, ::testing::Each(1)) << "trial " << trial;
    std::vector<std::size_t> sorted = lengths;
    std::sort(sorted.begin(), sorted.end());
    const auto cost = static_cast<std::int64_t>(PaddedTokens(lengths, plan)) +
                      static_cast<std::int64_t>(plan.size()) * limits.run_cost_tokens;
    EXPECT_EQ(cost, CheapestCutByHand(sorted, limits)) << "trial " << trial;
  }
}

// Four tokens of width 2: token t is (t + 1, 10 * (t + 1)).
const float kTokens[] = {1, 10, 2, 20, 3, 30, 4, 40};

struct PoolCase {
  const char* label;
  OutputKind kind;
  std::int64_t tokens;
  std::vector<std::int64_t> mask;
  std::vector<float> expected;
};

void PrintTo(const PoolCase& c, std::ostream* os) { *os << c.label; }

class PoolTokensTest : public ::testing::TestWithParam<PoolCase> {};

TEST_P(PoolTokensTest, MatchesTheHandComputedRow) {
  const PoolCase& c = GetParam();
  const TokenRows rows{kTokens, c.tokens, 2, c.mask.data(), static_cast<std::int64_t>(c.mask.size())};
  EXPECT_THAT(PoolTokens(c.kind, rows), ElementsAreArray(c.expected)) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PoolTokensTest,
    ::testing::Values(PoolCase{"first ignores the mask", OutputKind::FirstToken, 4, {0, 0, 0, 0}, {1, 10}},
                      PoolCase{"last of four ones", OutputKind::LastToken, 4, {1, 1, 1, 1}, {4, 40}},
                      PoolCase{"last lowered to T-1", OutputKind::LastToken, 2, {1, 1, 1, 1}, {2, 20}},
                      PoolCase{"last with empty mask is position 0", OutputKind::LastToken, 4, {0, 0, 0, 0}, {1, 10}},
                      PoolCase{"last counts ones, not the last one", OutputKind::LastToken, 4, {0, 1, 0, 1}, {2, 20}},
                      PoolCase{"mean of attended", OutputKind::MeanTokens, 4, {1, 0, 1, 0}, {2, 20}},
                      PoolCase{"mean of nothing is zero", OutputKind::MeanTokens, 4, {0, 0, 0, 0}, {0, 0}}));

TEST(L2NormalizeTest, ScalesToUnitLength) {
  std::vector<float> row = {3.0f, 4.0f};
  L2Normalize(row);
  EXPECT_THAT(row, ElementsAre(0.6f, 0.8f));
}

TEST(L2NormalizeTest, ZeroRowStaysZero) {
  std::vector<float> row = {0.0f, 0.0f, 0.0f};
  L2Normalize(row);
  EXPECT_THAT(row, ElementsAre(0.0f, 0.0f, 0.0f));
  EXPECT_FALSE(std::isnan(row[0]));
}

}  // namespace
}  // namespace quirvel
