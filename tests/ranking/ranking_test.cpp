#include "ranking/ranking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "fake_embedding_client.h"
#include "keywords/keyword_model_types.h"
#include "ranking/core_prompts.h"
#include "ranking/embedding_cache.h"

namespace quirvel {
namespace {

using test::FakeEmbeddingClient;

const std::string kTitle = "标题";

Embedding Axis(float value) { return {value, 0.0f, 0.0f, 0.0f}; }

Candidate MakeCandidate(const std::string& text, std::uint64_t start, const std::string& kind = "token") {
  return {text, start, start + text.size(), kind};
}

std::vector<std::string> TextsOf(const std::vector<RankedCandidate>& records) {
  std::vector<std::string> texts;
  for (const auto& r : records) texts.push_back(r.text);
  return texts;
}

class RankingTest : public ::testing::Test {
 protected:
  RankingTest() {
    auto owned = std::make_unique<FakeEmbeddingClient>();
    engine = owned.get();
    model.client = std::move(owned);
    model.last_error = "earlier";
    engine->vectors[kTitle] = Axis(1.0f);
  }

  // A candidate whose title similarity (and, with the prompts on the same
  // axis, every similarity) is exactly `value`.
  void Place(const std::string& text, float value) { engine->vectors[text] = Axis(value); }

  void SetPrompts(float core, float category, float attribute, float marketing) {
    engine->vectors[std::string(kCorePrompt) + kTitle] = Axis(core);
    engine->vectors[std::string(kCategoryPrompt) + kTitle] = Axis(category);
    engine->vectors[std::string(kAttributePrompt) + kTitle] = Axis(attribute);
    engine->vectors[std::string(kMarketingPrompt)] = Axis(marketing);
  }

  std::vector<RankedCandidate> Rank(const std::vector<Candidate>& candidates) {
    return RankCandidateList(model, kTitle, candidates);
  }

  JiebaKeywordModel model;
  FakeEmbeddingClient* engine = nullptr;
};

TEST(CorePromptsTest, HaveTheirExactByteLengthsAndEndings) {
  const std::string_view colon = "：";
  const struct {
    std::string_view prompt;
    std::size_t bytes;
    bool ends_in_colon;
  } cases[] = {{kCorePrompt, 114, true},
               {kCategoryPrompt, 102, true},
               {kAttributePrompt, 138, true},
               {kMarketingPrompt, 147, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.prompt.size(), c.bytes);
    EXPECT_EQ(c.prompt.substr(c.prompt.size() - colon.size()) == colon, c.ends_in_colon);
  }
}

TEST(SimilarityTest, SumsTheCommonPrefix) {
  const struct {
    Embedding a, b;
    float expected;
  } cases[] = {{{}, {1.0f}, 0.0f},
               {{1.0f, 2.0f, 3.0f}, {4.0f, 5.0f}, 14.0f},
               {{0.5f, -0.5f}, {0.5f, 0.5f}, 0.0f},
               {{0.6f, 0.8f}, {0.6f, 0.8f}, 0.6f * 0.6f + 0.8f * 0.8f}};
  for (const auto& c : cases) EXPECT_EQ(Similarity(c.a, c.b), c.expected);
}

TEST_F(RankingTest, MissingOrUnreadyClientRanksNothingAndKeepsTheError) {
  engine->ready = false;
  EXPECT_TRUE(Rank({MakeCandidate("a", 0)}).empty());
  model.client.reset();
  EXPECT_TRUE(Rank({MakeCandidate("a", 0)}).empty());
  EXPECT_EQ(model.last_error, "earlier");
}

TEST_F(RankingTest, EmptyCandidateListMakesNoEngineCall) {
  for (RankMode mode : {RankMode::Embedding, RankMode::Default}) {
    model.rank_mode = mode;
    EXPECT_TRUE(Rank({}).empty());
    EXPECT_TRUE(RankCandidates(model, kTitle, {}).empty());
  }
  EXPECT_TRUE(engine->calls.empty());
  EXPECT_EQ(model.last_error, "earlier");
}

TEST_F(RankingTest, EmbeddingModeScoreIsTheTitleSimilarity) {
  model.rank_mode = RankMode::Embedding;
  Place("甲", 0.75f);
  Place("乙", 0.25f);
  const auto ranked = Rank({MakeCandidate("乙", 0), MakeCandidate("甲", 3)});
  ASSERT_EQ(TextsOf(ranked), (std::vector<std::string>{"甲", "乙"}));
  for (const auto& r : ranked) {
    EXPECT_EQ(r.score, r.title_similarity);
    EXPECT_EQ(r.core_similarity + r.category_similarity + r.attribute_similarity + r.marketing_similarity,
              0.0f);
  }
  EXPECT_EQ(ranked[0].title_similarity, 0.75f);
  EXPECT_EQ(engine->calls.size(), 2u);  // title, candidates; no prompts
  EXPECT_EQ(model.last_error, "earlier");
}

struct OrderCase {
  const char* name;
  std::vector<std::pair<float, std::uint64_t>> score_and_start;  // texts are "c0", "c1", ...
  std::vector<std::string> expected;
};

class TieOrderTest : public RankingTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(TieOrderTest, OrdersByScoreThenStartWithinTolerance) {
  model.rank_mode = RankMode::Embedding;
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < GetParam().score_and_start.size(); ++i) {
    const std::string text = "c" + std::to_string(i);
    Place(text, GetParam().score_and_start[i].first);
    candidates.push_back(MakeCandidate(text, GetParam().score_and_start[i].second));
  }
  EXPECT_EQ(TextsOf(Rank(candidates)), GetParam().expected);
}

// 2^-14 is within the 0.0001 tolerance, 2^-13 is beyond it.
constexpr float kNear = 0.25f + 1.0f / 16384.0f;
constexpr float kFar = 0.25f + 1.0f / 8192.0f;

INSTANTIATE_TEST_SUITE_P(
    Cases, TieOrderTest,
    ::testing::Values(
        OrderCase{"HigherScoreButLaterStartLosesWithinTolerance", {{kNear, 9}, {0.25f, 2}}, {"c1", "c0"}},
        OrderCase{"HigherScoreWinsBeyondTolerance", {{0.25f, 2}, {kFar, 9}}, {"c1", "c0"}},
        OrderCase{
            "EqualScoreAndStartKeepCandidateOrder", {{0.5f, 4}, {0.5f, 4}, {0.5f, 4}}, {"c0", "c1", "c2"}},
        OrderCase{"NearTieGroupBelowAClearWinner",
                  {{0.25f, 7}, {0.9f, 8}, {kNear, 1}, {0.1f, 0}},
                  {"c1", "c2", "c0", "c3"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ScoreCase {
  const char* name;
  float title, core, category, attribute, marketing;
  std::string kind;
  float expected;
};

class ScoreTest : public RankingTest, public ::testing::WithParamInterface<ScoreCase> {};

TEST_P(ScoreTest, WeighsThePromptsAndTheTitle) {
  const ScoreCase& c = GetParam();
  engine->vectors[kTitle] = Axis(c.title);
  SetPrompts(c.core, c.category, c.attribute, c.marketing);
  Place("候选", 1.0f);
  const auto ranked = Rank({MakeCandidate("候选", 0, c.kind)});
  ASSERT_EQ(ranked.size(), 1u);
  EXPECT_NEAR(ranked[0].score, c.expected, 1e-6);
  EXPECT_EQ(ranked[0].title_similarity, c.title);
  EXPECT_EQ(ranked[0].core_similarity, c.core);
  EXPECT_EQ(ranked[0].category_similarity, c.category);
  EXPECT_EQ(ranked[0].attribute_similarity, c.attribute);
  EXPECT_EQ(ranked[0].marketing_similarity, c.marketing);
  EXPECT_EQ(ranked[0].kind, c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScoreTest,
    ::testing::Values(ScoreCase{"Core", 0, 1, 0, 0, 0, "token", 0.35f},
                      ScoreCase{"Title", 1, 0, 0, 0, 0, "token", 0.2f},
                      ScoreCase{"Category", 0, 0, 1, 0, 0, "token", 0.25f},
                      ScoreCase{"Attribute", 0, 0, 0, 1, 0, "token", 0.15f},
                      ScoreCase{"MarketingCountsWhole", 0, 0, 0, 0, 0.5f, "token", -0.5f},
                      ScoreCase{"AllPositive", 1, 1, 1, 1, 0, "ascii_model", 0.95f},
                      ScoreCase{"Phrase4Penalised", 0.5f, 0.5f, 0.5f, 0.5f, 0.25f, "phrase4", 0.185f}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RankingTest, ScoreIsSummedInSinglePrecisionInTheFixedOrder) {
  // Summed in any other order, or in double precision, these give a different float.
  engine->vectors[kTitle] = Axis(0.1f);
  SetPrompts(0.1f, 0.1f, 0.05f, 0.1f);
  Place("候选", 1.0f);
  const auto ranked = Rank({MakeCandidate("候选", 0)});
  ASSERT_EQ(ranked.size(), 1u);
  std::uint32_t bits = 0;
  std::memcpy(&bits, &ranked[0].score, sizeof bits);
  EXPECT_EQ(bits, 0xbc4cccd0u);
}

// Dense vectors of unequal widths: every similarity of a record is the one
// Similarity gives for its pair, to the bit, over that pair's common prefix.
TEST_F(RankingTest, EachPromptSimilarityIsThatPairsSimilarity) {
  const std::vector<std::pair<std::string, Embedding>> prompts{
      {std::string(kCorePrompt) + kTitle, {0.3f, -0.7f, 0.11f, 0.9f, 0.05f}},
      {std::string(kCategoryPrompt) + kTitle, {-0.2f, 0.45f, 0.6f}},
      {std::string(kAttributePrompt) + kTitle, {0.71f, 0.13f, -0.37f, 0.29f, 0.83f, -0.5f, 0.2f}},
      {std::string(kMarketingPrompt), {0.17f, 0.19f, 0.23f, -0.29f}}};
  for (const auto& [text, vector] : prompts) engine->vectors[text] = vector;
  engine->vectors[kTitle] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
  const Embedding candidate{0.33f, -0.21f, 0.47f, 0.19f, -0.61f};
  engine->vectors["候选"] = candidate;
  const auto ranked = Rank({MakeCandidate("候选", 0)});
  ASSERT_EQ(ranked.size(), 1u);
  EXPECT_EQ(ranked[0].title_similarity, Similarity(engine->vectors[kTitle], candidate));
  const float got[] = {ranked[0].core_similarity, ranked[0].category_similarity,
                      ranked[0].attribute_similarity, ranked[0].marketing_similarity};
  for (std::size_t i = 0; i < prompts.size(); ++i) {
    EXPECT_EQ(got[i], Similarity(prompts[i].second, candidate)) << prompts[i].first;
  }
}

struct PenaltyCase {
  std::string kind;
  bool penalised;
};

class PenaltyTest : public RankingTest, public ::testing::WithParamInterface<PenaltyCase> {};

TEST_P(PenaltyTest, OnlyTheExactPhrase4KindLoses0_04) {
  SetPrompts(0.3f, 0.6f, 0.2f, 0.1f);
  Place("参照", 0.7f);
  Place("受测", 0.7f);
  const auto ranked = Rank({MakeCandidate("参照", 0, "phrase3"), MakeCandidate("受测", 20, GetParam().kind)});
  ASSERT_EQ(ranked.size(), 2u);
  const auto& reference = ranked[0].text == "参照" ? ranked[0] : ranked[1];
  const auto& tested = ranked[0].text == "受测" ? ranked[0] : ranked[1];
  const float expected = GetParam().penalised ? reference.score - 0.04f : reference.score;
  EXPECT_EQ(tested.score, expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PenaltyTest,
                         ::testing::Values(PenaltyCase{"phrase4", true}, PenaltyCase{"Phrase4", false},
                                           PenaltyCase{"phrase4 ", false}, PenaltyCase{"phrase44", false},
                                           PenaltyCase{"phrase", false}, PenaltyCase{"token", false},
                                           PenaltyCase{std::string("phrase4\0", 8), false}));

struct FailureCase {
  const char* name;
  RankMode mode;
  bool candidate_cache;
  std::vector<std::size_t> short_calls;  // which engine calls come back short
  std::size_t rows;
  std::string message;
};

class FailureTest : public RankingTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, ShortEngineResultGivesNothingAndTheErrorText) {
  model.rank_mode = GetParam().mode;
  model.candidate_cache_enabled = GetParam().candidate_cache;
  for (const std::size_t call : GetParam().short_calls) engine->rows_for_call[call] = GetParam().rows;
  const auto ranked = Rank({MakeCandidate("一", 0), MakeCandidate("二", 3), MakeCandidate("三", 6)});
  EXPECT_TRUE(ranked.empty());
  EXPECT_EQ(model.last_error, GetParam().message + "engine said no");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureTest,
    ::testing::Values(
        // The title rides in its prompts' call (0); when that call fails, the
        // title (1), the candidates (2) and the prompts (3) are embedded apart.
        FailureCase{"Title", RankMode::Default, false, {0, 1}, 0, "failed to embed title: "},
        FailureCase{"TitleEmbeddingMode", RankMode::Embedding, false, {0}, 0, "failed to embed title: "},
        FailureCase{"Candidates", RankMode::Default, false, {1}, 2, "failed to embed candidate tokens: "},
        FailureCase{"CandidatesAfterTitleApart", RankMode::Default, false, {0, 2}, 2,
                    "failed to embed candidate tokens: "},
        FailureCase{"CandidatesNone", RankMode::Embedding, false, {1}, 0, "failed to embed candidate tokens: "},
        FailureCase{"CachedCandidates", RankMode::Default, true, {1}, 1, "failed to embed candidate tokens: "},
        FailureCase{"Prompts", RankMode::Default, false, {0, 3}, 3, "failed to embed core-score prompts: "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RankingTest, EachEmbeddingUsesItsOwnLimit) {
  model.title_max_length = 100;
  model.candidate_max_length = 40;
  Rank({MakeCandidate("一", 0), MakeCandidate("二", 3)});
  ASSERT_EQ(engine->calls.size(), 2u);
  const std::vector<std::string> title_and_prompts = {
      kTitle, std::string(kCorePrompt) + kTitle, std::string(kCategoryPrompt) + kTitle,
      std::string(kAttributePrompt) + kTitle, std::string(kMarketingPrompt)};
  EXPECT_EQ(engine->calls[0].texts, title_and_prompts);
  EXPECT_EQ(engine->calls[0].max_length, 100);
  EXPECT_EQ(engine->calls[1].texts, (std::vector<std::string>{"一", "二"}));
  EXPECT_EQ(engine->calls[1].max_length, 40);
}

TEST_F(RankingTest, PromptsAreCachedWhateverTheCandidateSwitch) {
  Rank({MakeCandidate("一", 0)});
  Rank({MakeCandidate("一", 0)});
  ASSERT_EQ(engine->calls.size(), 3u);  // title with prompts, candidates; candidates
  EXPECT_EQ(model.prompt_cache.size(), 5u);
  EXPECT_TRUE(model.candidate_cache.empty());
  EXPECT_EQ(model.cache_hits + model.cache_misses, 0u);
  RankCandidateList(model, "另一个标题", {MakeCandidate("一", 0)});
  ASSERT_EQ(engine->calls.size(), 5u);
  EXPECT_EQ(engine->calls[3].texts.size(), 4u);  // the marketing prompt is already cached
  EXPECT_EQ(model.prompt_cache.size(), 9u);
}

// A catalogue meets each title once: the prompt cache keeps the marketing
// prompt and only the prompts of the most recent titles.
TEST_F(RankingTest, PromptCacheKeepsTheMarketingPromptAndRecentTitlesOnly) {
  const std::size_t titles = kPromptCacheRecentTitles + 5;
  for (std::size_t i = 0; i < titles; ++i)
    RankCandidateList(model, "标题" + std::to_string(i), {MakeCandidate("一", 0)});
  EXPECT_EQ(model.prompt_cache.size(), kPromptCacheCapacity);
  std::size_t marketing_embedded = 0;
  for (const auto& call : engine->calls)
    marketing_embedded += std::count(call.texts.begin(), call.texts.end(), std::string(kMarketingPrompt));
  EXPECT_EQ(marketing_embedded, 1u);
  const auto key = [this](std::size_t title) {
    return EmbeddingCacheKey(std::string(kCorePrompt) + "标题" + std::to_string(title),
                             model.title_max_length);
  };
  EXPECT_EQ(model.prompt_cache.count(key(titles - 1)), 1u);
  EXPECT_EQ(model.prompt_cache.count(key(titles - kPromptCacheRecentTitles)), 1u);
  EXPECT_EQ(model.prompt_cache.count(key(titles - kPromptCacheRecentTitles - 1)), 0u);
}

TEST_F(RankingTest, FullyCachedCandidatesSkipTheEngineAndRankAlike) {
  const std::vector<Candidate> candidates = {MakeCandidate("一", 0), MakeCandidate("二二", 3, "phrase4"),
                                             MakeCandidate("三", 9)};
  const auto uncached = Rank(candidates);
  model.candidate_cache_enabled = true;
  Rank(candidates);
  const std::size_t calls_before = engine->calls.size();
  const auto cached = Rank(candidates);
  EXPECT_EQ(engine->calls.size(), calls_before);  // the title and its prompts are cached too
  EXPECT_EQ(model.cache_hits, 3u);
  EXPECT_EQ(model.cache_misses, 3u);
  EXPECT_EQ(model.candidate_cache.size(), 3u);
  ASSERT_EQ(cached.size(), uncached.size());
  for (std::size_t i = 0; i < cached.size(); ++i) {
    EXPECT_EQ(cached[i].text, uncached[i].text);
    EXPECT_EQ(cached[i].score, uncached[i].score);
  }
}

TEST_F(RankingTest, SuccessLeavesTheErrorTextAlone) {
  EXPECT_EQ(Rank({MakeCandidate("一", 0)}).size(), 1u);
  EXPECT_EQ(model.last_error, "earlier");
}

TEST_F(RankingTest, RanksTheSegmentsAsTokensInEmbeddingMode) {
  model.rank_mode = RankMode::Embedding;
  Place("苹果", 0.2f);
  Place("iPhone15", 0.9f);
  Place("手机", 0.5f);
  const std::vector<Segment> segments = {{"苹果", 0}, {"iPhone15", 6}, {"手机", 14}};
  const auto ranked = RankCandidates(model, "苹果iPhone15手机", segments);
  EXPECT_EQ(TextsOf(ranked), (std::vector<std::string>{"iPhone15", "手机", "苹果"}));
  for (const auto& r : ranked) EXPECT_EQ(r.kind, "token");
  ASSERT_EQ(engine->calls.size(), 2u);
  EXPECT_EQ(engine->calls[1].texts, (std::vector<std::string>{"苹果", "iPhone15", "手机"}));
}

}  // namespace
}  // namespace quirvel
