// Rows from graphs with the input and output signatures of the public exports,
// against vectors worked out from the token ids. With the test vocabulary,
// "a b" is [CLS]=101 a=103 b=104 [SEP]=102 and "c" is [CLS] c=105 [SEP].
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "embedcore/onnx_embedding_core.h"
#include "model_paths.h"

namespace quirvel {
namespace {

using Rows = std::vector<std::vector<float>>;

const std::vector<std::vector<std::int64_t>> kIds = {{101, 103, 104, 102}, {101, 105, 102}};
const std::vector<std::string> kTexts = {"a b", "c"};

// The generator's token vector: column h holds feature h mod F of the token,
// the features being the id, the mask (1), then the position or the type (0).
std::vector<float> TokenVector(std::int64_t id, std::int64_t third, std::size_t width) {
  const float features[] = {static_cast<float>(id), 1.0f, static_cast<float>(third)};
  std::vector<float> row(width);
  for (std::size_t h = 0; h < width; ++h) row[h] = features[h % 3];
  return row;
}

std::vector<float> MeanVector(const std::vector<std::int64_t>& ids, bool positions, std::size_t width) {
  std::vector<float> sum(width, 0.0f);
  for (std::size_t t = 0; t < ids.size(); ++t) {
    const std::vector<float> token = TokenVector(ids[t], positions ? static_cast<std::int64_t>(t) : 0, width);
    for (std::size_t h = 0; h < width; ++h) sum[h] += token[h];
  }
  for (float& value : sum) value /= static_cast<float>(ids.size());
  return sum;
}

// The expected width is given, as the profiles' own (1024, 768) fit no test model.
Rows EmbedRaw(const std::string& model, std::uint32_t profile, OutputMode mode, std::size_t width) {
  OnnxEmbeddingCore core;
  CoreOptions options;
  options.profile = profile;
  options.output_mode = mode;
  options.normalize = false;
  options.expected_dimension = static_cast<std::int32_t>(width);
  core.initialize(test::TestModel(model), test::TestVocab(), options);
  EXPECT_TRUE(core.is_ready()) << model << ": " << core.last_error();
  const Rows rows = core.embed(kTexts, 16);
  EXPECT_EQ(rows.size(), kTexts.size()) << model << ": " << core.last_error();
  return rows;
}

struct PoolingCase {
  const char* label;
  const char* model;
  std::uint32_t profile;
  OutputMode mode;
  std::size_t width;
  bool positions;  // the model reads position_ids (decoders) rather than token types
};

void PrintTo(const PoolingCase& c, std::ostream* os) { *os << c.label; }

class ExportPoolingTest : public ::testing::TestWithParam<PoolingCase> {};

std::vector<float> Expected(const PoolingCase& c, const std::vector<std::int64_t>& ids) {
  if (c.mode == OutputMode::FirstToken) return TokenVector(ids.front(), 0, c.width);
  if (c.mode == OutputMode::LastToken) {
    return TokenVector(ids.back(), c.positions ? static_cast<std::int64_t>(ids.size() - 1) : 0, c.width);
  }
  return MeanVector(ids, c.positions, c.width);
}

// The second text is padded: a last-token row read at the padded length, or a
// mean over the padding, would differ from the expected row.
TEST_P(ExportPoolingTest, RowsFollowTheTokenVectors) {
  const PoolingCase& c = GetParam();
  const Rows rows = EmbedRaw(c.model, c.profile, c.mode, c.width);
  ASSERT_EQ(rows.size(), kIds.size());
  for (std::size_t b = 0; b < kIds.size(); ++b) EXPECT_EQ(rows[b], Expected(c, kIds[b])) << "text " << b;
}

INSTANTIATE_TEST_SUITE_P(
    Exports, ExportPoolingTest,
    ::testing::Values(PoolingCase{"optimum mean by default", "optimum", 1, OutputMode::Auto, 8, false},
                      PoolingCase{"optimum first token", "optimum", 1, OutputMode::FirstToken, 8, false},
                      PoolingCase{"optimum last token", "optimum", 6, OutputMode::LastToken, 8, false},
                      PoolingCase{"float16 output widened", "optimum_fp16", 0, OutputMode::Auto, 8, false},
                      PoolingCase{"external data", "optimum_external", 0, OutputMode::FirstToken, 8, false},
                      PoolingCase{"decoder with empty past", "decoder", 6, OutputMode::Auto, 1024, true},
                      PoolingCase{"decoder last token", "decoder", 6, OutputMode::LastToken, 1024, true},
                      PoolingCase{"float16 decoder with float16 past", "decoder_fp16", 6, OutputMode::Auto,
                                  1024, true}),
    [](const ::testing::TestParamInfo<PoolingCase>& info) { return "case" + std::to_string(info.index); });

// The pooled heads are the masked means of 6-wide token vectors: the row is the
// head's, not a pooling of the 8-wide token output.
TEST(ExportHeadsTest, PooledHeadsGiveTheirOwnRows) {
  for (const char* model : {"st_pair", "three_heads"}) {
    for (std::uint32_t profile : {0u, 4u}) {
      const Rows rows = EmbedRaw(model, profile, OutputMode::Auto, 6);
      ASSERT_EQ(rows.size(), kIds.size());
      const bool types = std::string(model) == "st_pair";
      for (std::size_t b = 0; b < kIds.size(); ++b) {
        std::vector<float> expected = MeanVector(kIds[b], false, 6);
        if (!types) {
          // Without token types the features are the id and the mask alone.
          for (std::size_t h = 0; h < 6; ++h)
            expected[h] = h % 2 == 0 ? MeanVector(kIds[b], false, 1)[0] : 1.0f;
        }
        EXPECT_EQ(rows[b], expected) << model << " profile " << profile << " text " << b;
      }
    }
  }
}

TEST(ExportHeadsTest, SubBatchesGiveTheRowsOfOneRun) {
  const std::vector<std::string> texts = {"a", "a b c d e", "b c", "e", "a b c", "d d d d d d d"};
  OnnxEmbeddingCore whole;
  OnnxEmbeddingCore split;
  CoreOptions options;
  options.normalize = false;
  whole.initialize(test::TestModel("decoder"), test::TestVocab(), options);
  options.token_budget = 12;  // two or three texts per run, one for the longest
  split.initialize(test::TestModel("decoder"), test::TestVocab(), options);
  const Rows one_run = whole.embed(texts, 16);
  const Rows sub_batched = split.embed(texts, 16);
  ASSERT_EQ(one_run.size(), texts.size()) << whole.last_error();
  EXPECT_EQ(sub_batched, one_run);
}

// The run holding "a" fails while the others succeed: the call gives no rows
// at all rather than rows that no longer line up with its texts, and the
// next call works.
TEST(ExportHeadsTest, AFailingRunFailsTheWholeCall) {
  OnnxEmbeddingCore core;
  CoreOptions options;
  options.run_cost_tokens = 0;  // one run per length
  core.initialize(test::TestModel("fails_on_a"), test::TestVocab(), options);
  ASSERT_TRUE(core.is_ready()) << core.last_error();
  EXPECT_TRUE(core.embed({"b c d", "a", "b"}, 16).empty());
  EXPECT_FALSE(core.last_error().empty());
  EXPECT_EQ(core.embed({"b c d", "c", "b"}, 16).size(), 3u) << core.last_error();
}

}  // namespace
}  // namespace quirvel
