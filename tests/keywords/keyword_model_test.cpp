#include "keywords/keyword_model.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quirvel {
namespace {

class FakeClient final : public EmbeddingClient {
 public:
  FakeClient(bool ready, std::string error) : ready_(ready), error_(std::move(error)) {}
  bool IsReady() const override { return ready_; }
  std::int32_t Dimension() const override { return ready_ ? 3 : 0; }
  std::string LastError() const override { return error_; }
  std::vector<Embedding> EmbedTexts(const std::vector<std::string>& texts, std::int32_t) override {
    ++calls;
    return std::vector<Embedding>(texts.size(), Embedding{1.0f, 0.0f, 0.0f});
  }
  int calls = 0;

 private:
  bool ready_;
  std::string error_;
};

struct ErrorCase {
  const char* name;
  bool has_model;
  bool has_client;
  bool client_ready;
  std::string stored_error;
  std::string expected_error;
  bool expected_ready;
};

TEST(KeywordModelTest, LastErrorAndReadiness) {
  const ErrorCase cases[] = {
      {"null model", false, false, false, "", "JiebaKeywordModel is null", false},
      {"stored error wins", true, true, false, "load failed", "load failed", false},
      {"no client", true, false, false, "", "EmbedCore engine is not initialized", false},
      {"client not ready", true, true, false, "", "client says no", false},
      {"ready client without error", true, true, true, "", "", true},
  };
  for (const ErrorCase& c : cases) {
    JiebaKeywordModel model;
    model.last_error = c.stored_error;
    if (c.has_client) {
      model.client = std::make_unique<FakeClient>(c.client_ready, c.client_ready ? "" : "client says no");
    }
    const JiebaKeywordModel* pointer = c.has_model ? &model : nullptr;
    EXPECT_EQ(ModelLastError(pointer), c.expected_error) << c.name;
    EXPECT_EQ(IsModelReady(pointer), c.expected_ready) << c.name;
  }
}

TEST(KeywordModelTest, MetricsReadTheModel) {
  JiebaKeywordModel model;
  model.cache_hits = 5;
  model.cache_misses = 7;
  model.candidate_cache.Store("64\nx", {1.0f});
  model.client = std::make_unique<FakeClient>(true, "");
  EXPECT_EQ(CandidateCacheHits(&model), 5u);
  EXPECT_EQ(CandidateCacheMisses(&model), 7u);
  EXPECT_EQ(CandidateCacheSize(&model), 1u);
  EXPECT_EQ(ModelDimension(&model), 3);
  model.client.reset();
  EXPECT_EQ(ModelDimension(&model), 0);
  EXPECT_EQ(CandidateCacheHits(nullptr) + CandidateCacheMisses(nullptr) + CandidateCacheSize(nullptr), 0u);
  EXPECT_EQ(ModelDimension(nullptr), 0);
}

TEST(KeywordModelTest, CreateCopiesTheConfigurationAndKeepsTheLoadError) {
  KeywordModelConfig config;
  config.model_path = "/nonexistent/model.onnx";
  config.tokenizer_path = "/nonexistent/tokenizer.json";
  config.profile = 2;
  config.rank_mode = RankMode::Embedding;
  config.title_max_length = 100;
  config.candidate_max_length = 32;
  config.candidate_cache = true;
  config.candidate_cache_capacity = 7;
  KeywordModelPtr model = CreateKeywordModel(config);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->model_path, config.model_path);
  EXPECT_EQ(model->tokenizer_path, config.tokenizer_path);
  EXPECT_EQ(model->profile, 2u);
  EXPECT_EQ(model->rank_mode, RankMode::Embedding);
  EXPECT_EQ(model->title_max_length, 100);
  EXPECT_EQ(model->candidate_max_length, 32);
  EXPECT_TRUE(model->candidate_cache_enabled);
  EXPECT_EQ(model->candidate_cache.capacity(), 7u);
  EXPECT_EQ(model->prompt_cache.capacity(), kPromptCacheCapacity);
  EXPECT_FALSE(IsModelReady(model.get()));
  ASSERT_NE(model->client, nullptr);
  EXPECT_FALSE(ModelLastError(model.get()).empty());
  EXPECT_EQ(model->last_error, model->client->LastError());
  DestroyKeywordModel(std::move(model));
}

struct FallbackCase {
  const char* name;
  bool has_model;
  bool client_ready;
};

// ASCII titles keep the test away from the dictionaries and the script tables.
TEST(ExtractTest, WithoutARankingTheKeywordTextIsTheHeadOfTheTitle) {
  const FallbackCase cases[] = {{"null model", false, false}, {"client not ready", true, false}};
  for (const FallbackCase& c : cases) {
    JiebaKeywordModel model;
    auto client = std::make_unique<FakeClient>(c.client_ready, "not loaded");
    FakeClient* fake = client.get();
    model.client = std::move(client);
    const ExtractionResult result = Extract(c.has_model ? &model : nullptr, "ABCDEFGHIJ klm", 4);
    EXPECT_EQ(result.input_title, "ABCDEFGHIJ klm") << c.name;
    EXPECT_EQ(result.keyword_text, "ABCD") << c.name;
    EXPECT_EQ(result.keyword_length, 4u) << c.name;
    EXPECT_TRUE(result.ranked.empty()) << c.name;
    ASSERT_EQ(result.segments.size(), 2u) << c.name;
    EXPECT_EQ(result.segments[1].text, "klm") << c.name;
    EXPECT_EQ(fake->calls, 0) << c.name;
  }
}

TEST(ExtractTest, BudgetLargerThanTheTitleKeepsTheWholeTitle) {
  const ExtractionResult result = Extract(nullptr, "USB-C 60W", 24);
  EXPECT_EQ(result.keyword_text, "USB-C 60W");
  EXPECT_EQ(result.keyword_length, 9u);
}

struct RankedCase {
  const char* name;
  RankMode mode;
  std::size_t ranked_count;
};

// Every text gets the same vector, so the ranking keeps candidate order and
// the joins decide the keyword text.
TEST(ExtractTest, AReadyClientRanksAndJoins) {
  const RankedCase cases[] = {{"embedding mode ranks tokens", RankMode::Embedding, 3},
                              {"default mode ranks tokens and phrases", RankMode::Default, 6}};
  for (const RankedCase& c : cases) {
    JiebaKeywordModel model;
    model.rank_mode = c.mode;
    model.client = std::make_unique<FakeClient>(true, "");
    const ExtractionResult result = Extract(&model, "iPhone15 Pro 256GB", 12);
    EXPECT_EQ(result.ranked.size(), c.ranked_count) << c.name;
    EXPECT_EQ(result.keyword_text, "iPhone15 Pro") << c.name;
    EXPECT_EQ(result.keyword_length, 12u) << c.name;
  }
}

}  // namespace
}  // namespace quirvel
