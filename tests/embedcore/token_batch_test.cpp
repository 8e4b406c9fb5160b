#include "embedcore/token_batch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>

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
