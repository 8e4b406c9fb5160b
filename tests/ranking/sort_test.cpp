#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ranking/ranking.h"

namespace quirvel {
namespace {

RankedCandidate Record(float score, std::uint64_t start, std::string text = "") {
  RankedCandidate r;
  r.score = score;
  r.start = start;
  r.text = std::move(text);
  return r;
}

std::vector<std::string> TextsOf(const std::vector<RankedCandidate>& records) {
  std::vector<std::string> texts;
  for (const auto& r : records) texts.push_back(r.text);
  return texts;
}

TEST(RanksBeforeTest, ComparesScoreBeyondToleranceElseStart) {
  const struct {
    float score_a;
    std::uint64_t start_a;
    float score_b;
    std::uint64_t start_b;
    bool a_first;
  } cases[] = {
      {0.9f, 50, 0.1f, 0, true},        // clearly higher score
      {0.1f, 0, 0.9f, 50, false},       // clearly lower score
      {0.25006f, 9, 0.25f, 2, false},   // near tie: later start loses
      {0.25f, 2, 0.25006f, 9, true},    // near tie: earlier start wins
      {0.5f, 3, 0.5f, 3, false},        // full tie: neither first
      {-0.3f, 1, -0.30005f, 0, false},  // near tie below zero
      {0.2502f, 9, 0.25f, 2, true},     // 0.0002 apart is beyond tolerance
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RanksBefore(Record(c.score_a, c.start_a), Record(c.score_b, c.start_b)), c.a_first)
        << c.score_a << "@" << c.start_a << " vs " << c.score_b << "@" << c.start_b;
  }
}

// Scores that are clearly apart in groups, with jitter far below the tolerance
// inside a group: the order is then a plain total order the result must match.
TEST(SortRankedTest, MatchesGroupThenStartOrderAndKeepsFullTiesStable) {
  std::mt19937 random(7);
  const float groups[] = {0.1f, 0.5f, 0.9f, -0.2f};
  std::vector<RankedCandidate> records;
  for (int i = 0; i < 500; ++i) {
    const float base = groups[random() % 4];
    const float jitter = static_cast<float>(random() % 3) * 0.00001f;
    records.push_back(Record(base + jitter, random() % 20, std::to_string(i)));
    records.back().title_similarity = base;  // the group, kept for the oracle
  }
  auto expected = records;
  std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
    if (a.title_similarity != b.title_similarity) return a.title_similarity > b.title_similarity;
    return a.start < b.start;
  });
  SortRanked(records);
  EXPECT_EQ(TextsOf(records), TextsOf(expected));
}

// Neighbours within the tolerance but ends far apart make the ordering
// intransitive; the sort must still return every record exactly once.
TEST(SortRankedTest, NearTieChainsKeepEveryRecord) {
  for (std::size_t n : {0u, 1u, 2u, 17u, 1000u}) {
    std::vector<RankedCandidate> records;
    for (std::size_t i = 0; i < n; ++i)
      records.push_back(
          Record(0.5f + static_cast<float>(i % 97) * 0.00007f, (i * 7919) % 101, std::to_string(i)));
    auto before = TextsOf(records);
    SortRanked(records);
    auto after = TextsOf(records);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before) << n;
  }
}

}  // namespace
}  // namespace quirvel
