// The engine-backed client over small generated models whose rows can be
// worked out by hand: with the test vocabulary "a" is [CLS]=101, a=103,
// [SEP]=102, and the "sentence" model's row is (mean id, 1, mean id, 1).
#include <gtest/gtest.h>

#include <cmath>

#include "keywords/keyword_model_types.h"
#include "ranking/embedding_client.h"
#include "ranking/ranking.h"
#include "test_paths.h"

namespace quirvel {
namespace {

std::unique_ptr<EmbeddingClient> ClientFor(const std::string& model, bool normalize = true) {
  EmbeddingClientConfig config;
  config.model_path = std::string(RANKING_TEST_MODEL_DIR) + "/" + model + ".onnx";
  config.tokenizer_path = std::string(test::kTestDataDir) + "/embedcore/vocab.txt";
  config.normalize = normalize;
  return CreateEmbeddingClient(config);
}

float Norm(const Embedding& v) { return std::sqrt(Similarity(v, v)); }

TEST(EmbeddingClientModelTest, ReadyClientEmbedsOneUnitRowPerText) {
  const auto client = ClientFor("sentence4");
  ASSERT_TRUE(client->IsReady()) << client->LastError();
  EXPECT_EQ(client->Dimension(), 4);
  const auto rows = client->EmbedTexts({"a", "b c", "黑色"}, 16);
  ASSERT_EQ(rows.size(), 3u) << client->LastError();
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 4u);
    EXPECT_NEAR(Norm(row), 1.0f, 1e-5f);
  }
  EXPECT_EQ(client->EmbedText("a", 16), rows[0]);
  EXPECT_EQ(client->LastError(), "");
}

TEST(EmbeddingClientModelTest, NormalisationOffIsPassedAsNegative) {
  const auto client = ClientFor("sentence4", false);
  ASSERT_TRUE(client->IsReady()) << client->LastError();
  EXPECT_EQ(client->EmbedText("a", 16), (Embedding{102.0f, 1.0f, 102.0f, 1.0f}));
}

TEST(EmbeddingClientModelTest, EngineRefusalGivesNothingAndKeepsTheReason) {
  const auto client = ClientFor("runtime_failure");
  ASSERT_TRUE(client->IsReady()) << client->LastError();
  EXPECT_TRUE(client->EmbedTexts({"a", "b"}, 16).empty());
  EXPECT_FALSE(client->LastError().empty());
  EXPECT_TRUE(client->EmbedText("a", 16).empty());
  EXPECT_TRUE(client->IsReady());  // a failed batch does not spoil the engine
}

// 2048 rows of 2^20 floats are more than the engine's 32-bit capacity can
// describe: the client refuses the batch instead of letting the size wrap.
TEST(EmbeddingClientModelTest, BatchBeyondThirtyTwoBitCapacityIsRefused) {
  const auto client = ClientFor("wide");
  ASSERT_TRUE(client->IsReady()) << client->LastError();
  ASSERT_EQ(client->Dimension(), 1 << 20);
  EXPECT_TRUE(client->EmbedTexts(std::vector<std::string>(2048, "a"), 16).empty());
  EXPECT_EQ(client->LastError(), "embedding batch is too large for one engine call");
  EXPECT_EQ(client->EmbedText("a", 16).size(), std::size_t{1} << 20);
  EXPECT_EQ(client->LastError(), "");
}

TEST(EmbeddingClientModelTest, RanksEveryCandidateThroughTheEngine) {
  for (RankMode mode : {RankMode::Default, RankMode::Embedding}) {
    JiebaKeywordModel model;
    model.rank_mode = mode;
    model.candidate_cache_enabled = true;
    model.client = ClientFor("sentence4");
    ASSERT_TRUE(model.client->IsReady()) << model.client->LastError();
    const std::vector<Candidate> candidates = {
        {"a", 0, 1, "token"}, {"b", 2, 3, "token"}, {"a b", 0, 3, "phrase2"}};
    const auto ranked = RankCandidateList(model, "a b", candidates);
    EXPECT_EQ(ranked.size(), 3u) << model.last_error;
    EXPECT_EQ(model.last_error, "");
    EXPECT_EQ(model.candidate_cache.size(), 3u);
  }
}

}  // namespace
}  // namespace quirvel
