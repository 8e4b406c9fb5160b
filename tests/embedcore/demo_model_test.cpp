// The demo model and its vocabulary, as the README's walk-through uses them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "embedcore/embedcore.h"
#include "embedcore/onnx_embedding_core.h"

namespace {

const std::string kDir = EMBEDCORE_DEMO_MODEL_DIR;

std::vector<std::string> VocabularyLines() {
  std::ifstream in(kDir + "/vocab.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DemoModelTest, VocabularyHasBertSpecialIds) {
  const std::vector<std::string> lines = VocabularyLines();
  ASSERT_GT(lines.size(), 1000u);
  EXPECT_EQ(lines[0], "[PAD]");
  EXPECT_EQ(lines[100], "[UNK]");
  EXPECT_EQ(lines[101], "[CLS]");
  EXPECT_EQ(lines[102], "[SEP]");
}

float Dot(const float* a, const float* b, int n) {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

TEST(DemoModelTest, TextsSharingCharactersAreCloserThanUnrelatedOnes) {
  const std::string model = kDir + "/model.onnx";
  const std::string vocab = kDir + "/vocab.txt";
  embedcore_options options{};
  options.model_path = model.c_str();
  options.tokenizer_path = vocab.c_str();
  embedcore_engine* engine = embedcore_create(&options);
  const int dimension = embedcore_dimension(engine);
  ASSERT_EQ(dimension, 256) << embedcore_last_error(engine);
  const char* texts[] = {"黑色手机", "黑色手机壳", "不锈钢保温杯"};
  std::vector<float> rows(3 * 256);
  ASSERT_EQ(embedcore_embed_texts(engine, texts, 3, 0, rows.data(), 3 * 256, nullptr, nullptr), 1)
      << embedcore_last_error(engine);
  EXPECT_NEAR(Dot(rows.data(), rows.data(), dimension), 1.0f, 1e-5f);
  EXPECT_GT(Dot(rows.data(), rows.data() + 256, dimension), Dot(rows.data(), rows.data() + 512, dimension) + 0.3f);
  embedcore_destroy(engine);
}

// A lookup-and-mean model states a run cost far above a transformer's, so a
// call's texts share few runs; each text still gets its own row, the same as
// when every length runs alone but for the last bits that the order of the
// padded sums can move.
TEST(DemoModelTest, StatesAHighRunCostAndTextsSharingRunsKeepTheirRows) {
  const std::vector<std::string> texts = {"手机", "黑色手机壳", "不锈钢保温杯保冷保温大容量", "杯", "黑色手机",
                                          "户外运动防水透气登山鞋男款", "保温杯"};
  quirvel::OnnxEmbeddingCore shared;
  quirvel::OnnxEmbeddingCore one_per_length;
  quirvel::CoreOptions options;
  shared.initialize(kDir + "/model.onnx", kDir + "/vocab.txt", options);
  options.run_cost_tokens = 0;
  one_per_length.initialize(kDir + "/model.onnx", kDir + "/vocab.txt", options);
  EXPECT_GT(shared.run_cost_tokens(), 10 * quirvel::kDefaultRunCostTokens);
  const auto rows = shared.embed(texts, 0);
  const auto expected = one_per_length.embed(texts, 0);
  ASSERT_EQ(rows.size(), texts.size()) << shared.last_error();
  ASSERT_EQ(expected.size(), texts.size()) << one_per_length.last_error();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    ASSERT_EQ(rows[i].size(), expected[i].size()) << texts[i];
    for (std::size_t j = 0; j < rows[i].size(); ++j) ASSERT_NEAR(rows[i][j], expected[i][j], 1e-6f) << texts[i];
  }
}

}  // namespace
