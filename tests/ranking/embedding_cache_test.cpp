#include "ranking/embedding_cache.h"

#include <gtest/gtest.h>

#include "fake_embedding_client.h"

namespace quirvel {
namespace {

using test::FakeEmbeddingClient;

struct KeyCase {
  std::string text;
  std::int32_t max_length;
  std::string key;
};

class CacheKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(CacheKeyTest, IsDecimalLimitLineFeedText) {
  EXPECT_EQ(EmbeddingCacheKey(GetParam().text, GetParam().max_length), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(Keys, CacheKeyTest,
                         ::testing::Values(KeyCase{"abc", 64, "64\nabc"}, KeyCase{"abc", 128, "128\nabc"},
                                           KeyCase{"", 0, "0\n"}, KeyCase{"手机", -1, "-1\n手机"},
                                           KeyCase{"a\nb", 7, "7\na\nb"}));

class CachedEmbedTest : public ::testing::Test {
 protected:
  std::vector<Embedding> Embed(const std::vector<std::string>& texts, std::int32_t max_length) {
    return CachedEmbedTexts(engine, cache, texts, max_length, &counters);
  }

  FakeEmbeddingClient engine;
  EmbeddingCache cache;
  std::uint64_t hits = 0;
  std::uint64_t misses = 0;
  CacheCounters counters{hits, misses};
};

TEST_F(CachedEmbedTest, SameTextWithTwoLimitsKeepsTwoEntries) {
  const auto at64 = Embed({"耳机"}, 64);
  const auto at128 = Embed({"耳机"}, 128);
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache.count("64\n耳机"), 1u);
  EXPECT_EQ(cache.count("128\n耳机"), 1u);
  EXPECT_EQ(engine.calls.size(), 2u);
  EXPECT_NE(at64, at128);
  EXPECT_EQ(misses, 2u);
}

TEST_F(CachedEmbedTest, FullyCachedListMakesNoEngineCallAndCountsOnlyHits) {
  const auto first = Embed({"a", "b", "c"}, 64);
  const auto second = Embed({"c", "a", "b"}, 64);
  EXPECT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(hits, 3u);
  EXPECT_EQ(misses, 3u);
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[0], first[2]);
  EXPECT_EQ(second[1], first[0]);
  EXPECT_EQ(second[2], first[1]);
}

TEST_F(CachedEmbedTest, OnlyMissesGoToTheEngineInOneBatchAndResultsKeepInputOrder) {
  Embed({"b"}, 64);
  const auto mixed = Embed({"a", "b", "c"}, 64);
  ASSERT_EQ(engine.calls.size(), 2u);
  EXPECT_EQ(engine.calls[1].texts, (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(engine.calls[1].max_length, 64);
  ASSERT_EQ(mixed.size(), 3u);
  EXPECT_EQ(mixed[0], cache.at("64\na"));
  EXPECT_EQ(mixed[1], cache.at("64\nb"));
  EXPECT_EQ(mixed[2], cache.at("64\nc"));
  EXPECT_EQ(hits, 1u);
  EXPECT_EQ(misses, 3u);
}

TEST_F(CachedEmbedTest, FailedBatchStoresNothingButKeepsTheMissCount) {
  Embed({"kept"}, 64);
  engine.rows_for_call[1] = 2;  // three misses, two rows
  const auto result = Embed({"x", "kept", "y", "z"}, 64);
  EXPECT_TRUE(result.empty());
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(misses, 1u + 3u);
  EXPECT_EQ(hits, 1u);
}

TEST_F(CachedEmbedTest, RepeatedUncachedTextIsCountedAndSentTwiceButStoredOnce) {
  const auto result = Embed({"同", "同"}, 64);
  ASSERT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(engine.calls[0].texts.size(), 2u);
  EXPECT_EQ(misses, 2u);
  EXPECT_EQ(cache.size(), 1u);
  ASSERT_EQ(result.size(), 2u);
  EXPECT_EQ(result[0], result[1]);
}

TEST_F(CachedEmbedTest, WithoutCountersNothingIsCounted) {
  CachedEmbedTexts(engine, cache, {"p"}, 128, nullptr);
  const auto again = CachedEmbedTexts(engine, cache, {"p"}, 128, nullptr);
  EXPECT_EQ(engine.calls.size(), 1u);
  EXPECT_EQ(again.size(), 1u);
  EXPECT_EQ(hits + misses, 0u);
}

struct BoundCase {
  const char* name;
  std::size_t capacity;
  std::vector<std::vector<std::string>> batches;
  std::vector<std::string> kept;  // the texts still cached at the end
};

// Past its capacity the least recently used entry leaves; every batch is
// still answered whole.
TEST(BoundedCacheTest, KeepsTheMostRecentlyUsedEntries) {
  const BoundCase cases[] = {
      {"Unbounded", 0, {{"a"}, {"b"}, {"c"}, {"d"}}, {"a", "b", "c", "d"}},
      {"OldestLeavesFirst", 2, {{"a"}, {"b"}, {"c"}}, {"b", "c"}},
      {"AHitMakesAnEntryRecent", 2, {{"a"}, {"b"}, {"a"}, {"c"}}, {"a", "c"}},
      {"BatchLargerThanTheCapacity", 2, {{"a", "b", "c"}}, {"b", "c"}},
      {"HitsAndMissesInOneBatch", 3, {{"a", "b", "c"}, {"d", "a"}}, {"a", "c", "d"}},
  };
  for (const BoundCase& c : cases) {
    FakeEmbeddingClient engine;
    EmbeddingCache cache(c.capacity);
    for (const auto& batch : c.batches) {
      const auto vectors = CachedEmbedTexts(engine, cache, batch, 64, nullptr);
      ASSERT_EQ(vectors.size(), batch.size()) << c.name;
      for (std::size_t i = 0; i < batch.size(); ++i)
        EXPECT_EQ(vectors[i], engine.VectorFor(batch[i], 64)) << c.name;
    }
    EXPECT_EQ(cache.size(), c.kept.size()) << c.name;
    for (const std::string& text : c.kept)
      EXPECT_EQ(cache.count(EmbeddingCacheKey(text, 64)), 1u) << c.name << ": " << text;
  }
}

TEST(EmbedTextTest, RejectedTextGivesAnEmptyVector) {
  FakeEmbeddingClient engine;
  engine.rows_for_call[0] = 0;
  EXPECT_TRUE(engine.EmbedText("坏", 16).empty());
  EXPECT_EQ(engine.EmbedText("好", 16).size(), 4u);
}

}  // namespace
}  // namespace quirvel
