// A shrunken BERT-shaped encoder from the model generator, run by the engine
// the way the worker runs bge-large-zh-v1.5: first-token rows, unit length.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "embedcore/embedcore.h"
#include "embedcore/onnx_embedding_core.h"

namespace {

const std::string kModel = std::string(EMBEDCORE_BERT_MODEL_DIR) + "/model.onnx";
const std::string kVocab = std::string(EMBEDCORE_BERT_MODEL_DIR) + "/vocab.txt";
constexpr int kHidden = 32;

struct EngineDeleter {
  void operator()(embedcore_engine* engine) const { embedcore_destroy(engine); }
};
using Engine = std::unique_ptr<embedcore_engine, EngineDeleter>;

const std::string kQuantizedModel = std::string(EMBEDCORE_BERT_MODEL_DIR) + "/model_quantized.onnx";

Engine CreateEngine(std::uint32_t profile, std::uint32_t output_mode, std::int32_t expected_dimension,
                    const std::string& model = kModel) {
  embedcore_options options{};
  options.profile = profile;
  options.output_mode = output_mode;
  options.expected_dimension = expected_dimension;
  options.model_path = model.c_str();
  options.tokenizer_path = kVocab.c_str();
  return Engine(embedcore_create(&options));
}

std::vector<std::vector<float>> Embed(embedcore_engine* engine, const std::vector<const char*>& texts) {
  const int count = static_cast<int>(texts.size());
  std::vector<float> flat(texts.size() * kHidden);
  if (embedcore_embed_texts(engine, texts.data(), count, 64, flat.data(), static_cast<int>(flat.size()),
                            nullptr, nullptr) != 1) {
    ADD_FAILURE() << embedcore_last_error(engine);
    return {};
  }
  std::vector<std::vector<float>> rows;
  for (int i = 0; i < count; ++i)
    rows.emplace_back(flat.begin() + i * kHidden, flat.begin() + (i + 1) * kHidden);
  return rows;
}

float Dot(const std::vector<float>& a, const std::vector<float>& b) {
  float sum = 0.0f;
  for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
  return sum;
}

struct LoadCase {
  const char* name;
  std::uint32_t profile;
  std::uint32_t output_mode;
  std::int32_t expected_dimension;
};

class BertModelLoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(BertModelLoadTest, GivesFiniteUnitRows) {
  const LoadCase& c = GetParam();
  const Engine engine = CreateEngine(c.profile, c.output_mode, c.expected_dimension);
  ASSERT_EQ(embedcore_dimension(engine.get()), kHidden) << embedcore_last_error(engine.get());
  const auto rows = Embed(engine.get(), {"一丁七", "ab 12", "丁", "[SEP] 万丈三上下"});
  ASSERT_EQ(rows.size(), 4u);
  for (const auto& row : rows) {
    for (float value : row) ASSERT_TRUE(std::isfinite(value));
    EXPECT_NEAR(Dot(row, row), 1.0f, 1e-4f);
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, BertModelLoadTest,
                         testing::Values(LoadCase{"BgeFirstToken", 1, 3, kHidden},
                                         LoadCase{"BgeProfileDefaultMode", 1, 0, kHidden},
                                         LoadCase{"Auto", 0, 0, 0}),
                         [](const testing::TestParamInfo<LoadCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(BertModelTest, ProfileDimensionStillGuardsTheShrunkenModel) {
  const Engine engine = CreateEngine(1, 3, 0);
  EXPECT_EQ(embedcore_dimension(engine.get()), 0);
  EXPECT_NE(std::string(embedcore_last_error(engine.get())).find("1024"), std::string::npos);
}

TEST(BertModelTest, DifferentTextsGiveDifferentRows) {
  const Engine engine = CreateEngine(1, 3, kHidden);
  const auto rows = Embed(engine.get(), {"一丁七", "万丈三上下", "ab"});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_LT(Dot(rows[0], rows[1]), 0.999f);
  EXPECT_LT(Dot(rows[0], rows[2]), 0.999f);
}

// Padding keys are masked out of attention, so a short text's row does not
// depend on the longer texts it is batched with.
TEST(BertModelTest, PaddingInABatchLeavesARowUnchanged) {
  const Engine engine = CreateEngine(1, 3, kHidden);
  const auto alone = Embed(engine.get(), {"丁七"});
  const auto batched = Embed(engine.get(), {"万丈三上下一丁七万丈三上下", "丁七"});
  ASSERT_EQ(alone.size(), 1u);
  ASSERT_EQ(batched.size(), 2u);
  for (int h = 0; h < kHidden; ++h) EXPECT_NEAR(alone[0][h], batched[1][h], 1e-4f) << "column " << h;
}

// The int8 graph holds the float graph's weights rounded to 127 steps, so its
// unit rows point almost the same way; a wrongly wired quantised projection
// (scales, zero points, transposed weights) gives unrelated rows.
TEST(BertModelTest, Int8FormGivesRowsCloseToTheFloatModel) {
  const Engine float_engine = CreateEngine(1, 3, kHidden);
  const Engine int8_engine = CreateEngine(1, 3, kHidden, kQuantizedModel);
  ASSERT_EQ(embedcore_dimension(int8_engine.get()), kHidden) << embedcore_last_error(int8_engine.get());
  const std::vector<const char*> texts = {"一丁七", "万丈三上下", "ab 12"};
  const auto exact = Embed(float_engine.get(), texts);
  const auto quantized = Embed(int8_engine.get(), texts);
  ASSERT_EQ(quantized.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_GT(Dot(exact[i], quantized[i]), 0.95f) << texts[i];
    EXPECT_LT(Dot(exact[i], quantized[i]), 0.999999f) << "the int8 graph computed in float: " << texts[i];
  }
}

quirvel::CoreOptions FirstTokenOptions(std::int64_t token_budget, std::int64_t run_cost_tokens) {
  quirvel::CoreOptions options;
  options.profile = 1;
  options.output_mode = quirvel::OutputMode::FirstToken;
  options.expected_dimension = kHidden;
  options.token_budget = token_budget;
  options.run_cost_tokens = run_cost_tokens;
  return options;
}

struct SubBatchCase {
  const char* name;
  std::int64_t token_budget;
  std::int64_t run_cost_tokens;
};

class BertSubBatchTest : public ::testing::TestWithParam<SubBatchCase> {};

// Runs of texts ordered by length, each padded to its own longest text, give
// the rows of one run padded to the call's longest text (a run cost beyond any
// padding), in the order of the texts: masked attention ignores padding up to
// float rounding. Lengths are mixed and repeated, so the order changes.
TEST_P(BertSubBatchTest, GivesTheRowsOfOneRunInInputOrder) {
  const SubBatchCase& c = GetParam();
  const std::vector<std::string> texts = {"一丁七", "万丈三上下一丁七万丈", "丁", "ab 12", "三上下", "七",
                                          "万丈"};
  quirvel::OnnxEmbeddingCore whole;
  whole.initialize(kModel, kVocab, FirstTokenOptions(1 << 20, 1 << 20));
  quirvel::OnnxEmbeddingCore split;
  split.initialize(kModel, kVocab, FirstTokenOptions(c.token_budget, c.run_cost_tokens));
  const auto one_run = whole.embed(texts, 64);
  const auto sub_batched = split.embed(texts, 64);
  ASSERT_EQ(one_run.size(), texts.size()) << whole.last_error();
  ASSERT_EQ(sub_batched.size(), texts.size()) << split.last_error();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    for (int h = 0; h < kHidden; ++h)
      EXPECT_NEAR(sub_batched[i][h], one_run[i][h], 1e-4f) << texts[i] << " " << h;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, BertSubBatchTest,
    ::testing::Values(SubBatchCase{"tiny_budget", 10, 24}, SubBatchCase{"one_run_per_length", 8192, 0},
                      SubBatchCase{"default_cost", 8192, quirvel::kDefaultRunCostTokens}),
    [](const ::testing::TestParamInfo<SubBatchCase>& info) { return std::string(info.param.name); });

// One intra-op thread, the setting for several workers on shared cores, turns
// off the pool's spinning through a session setting; the rows stay the same.
TEST(BertModelTest, OneThreadGivesTheRowsOfTheDefaultPool) {
  const Engine pooled = CreateEngine(1, 3, kHidden);
  embedcore_options options{};
  options.profile = 1;
  options.output_mode = 3;
  options.expected_dimension = kHidden;
  options.intra_op_threads = 1;
  options.model_path = kModel.c_str();
  options.tokenizer_path = kVocab.c_str();
  const Engine single(embedcore_create(&options));
  ASSERT_EQ(embedcore_dimension(single.get()), kHidden) << embedcore_last_error(single.get());
  const std::vector<const char*> texts = {"一丁七", "万丈三上下", "ab 12"};
  const auto expected = Embed(pooled.get(), texts);
  const auto rows = Embed(single.get(), texts);
  ASSERT_EQ(rows.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_GT(Dot(rows[i], expected[i]), 0.99999f) << texts[i];
}

}  // namespace
