// Output selection and the initialisation checks, against generated models.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "embedcore/onnx_embedding_core.h"
#include "model_paths.h"

namespace quirvel {
namespace {

struct SelectionCase {
  const char* label;
  const char* model;
  std::uint32_t profile;
  OutputMode mode;
  std::int32_t expected_dimension;
  // Either the error message or the selection and dimension.
  const char* error;
  OutputKind kind;
  const char* output;
  std::int32_t dimension;
};

void PrintTo(const SelectionCase& c, std::ostream* os) { *os << c.label; }

class CoreSelectionTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(CoreSelectionTest, SelectsOrExplains) {
  const SelectionCase& c = GetParam();
  OnnxEmbeddingCore core;
  CoreOptions options;
  options.profile = c.profile;
  options.output_mode = c.mode;
  options.expected_dimension = c.expected_dimension;
  core.initialize(test::TestModel(c.model), test::TestVocab(), options);
  if (c.error != nullptr) {
    EXPECT_FALSE(core.is_ready());
    EXPECT_EQ(core.last_error(), c.error);
    EXPECT_EQ(core.dimension(), 0);
    return;
  }
  ASSERT_TRUE(core.is_ready()) << core.last_error();
  EXPECT_EQ(core.output_kind(), c.kind);
  EXPECT_EQ(core.output_name(), c.output);
  EXPECT_EQ(core.dimension(), c.dimension);
}

constexpr OutputKind kAny = OutputKind::SentenceEmbedding;

INSTANTIATE_TEST_SUITE_P(
    Rules, CoreSelectionTest,
    ::testing::Values(
        SelectionCase{"2D sentence_embedding, profile 5", "sentence768", 5, OutputMode::Auto, 0, nullptr,
                      OutputKind::SentenceEmbedding, "sentence_embedding", 768},
        SelectionCase{"3D output, profile 1, mode left 0: mean-pooled", "hidden", 1, OutputMode::Auto, 4,
                      nullptr, OutputKind::MeanTokens, "last_hidden_state", 4},
        SelectionCase{"explicit first token", "hidden", 0, OutputMode::FirstToken, 0, nullptr,
                      OutputKind::FirstToken, "last_hidden_state", 4},
        SelectionCase{"explicit last token", "hidden", 0, OutputMode::LastToken, 0, nullptr,
                      OutputKind::LastToken, "last_hidden_state", 4},
        SelectionCase{"last_hidden_state after a 2D output, vocab.txt: first token", "pooled_then_hidden", 0,
                      OutputMode::Auto, 0, nullptr, OutputKind::FirstToken, "last_hidden_state", 4},
        SelectionCase{"bge-m3 takes dense_vecs after sentence_embedding", "sentence_and_dense", 4,
                      OutputMode::Auto, 4, nullptr, OutputKind::DenseVecs, "dense_vecs", 4},
        SelectionCase{"auto stops at sentence_embedding", "sentence_and_dense", 0, OutputMode::Auto, 0,
                      nullptr, OutputKind::SentenceEmbedding, "sentence_embedding", 4},
        SelectionCase{"bge-m3 without dense_vecs", "sentence4", 4, OutputMode::Auto, 0,
                      "profile bge-m3 requires dense_vecs output", kAny, "", 0},
        SelectionCase{"bge-m3, 3D output switches to mean", "hidden_plain", 4, OutputMode::Auto, 4, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 4},
        SelectionCase{"bge-m3, 3D output, default dimension", "hidden_plain", 4, OutputMode::Auto, 0,
                      "unexpected embedding dimension for profile bge-m3: got 4, expected 1024", kAny, "", 0},
        SelectionCase{"profile 1 with a 2D output of 768", "sentence768", 1, OutputMode::SentenceEmbedding, 0,
                      "unexpected embedding dimension for profile bge-large-zh-v1.5: got 768, expected 1024",
                      kAny, "", 0},
        SelectionCase{"profile 1 default mode with a 2D output", "sentence768", 1, OutputMode::Auto, 0,
                      "profile bge-large-zh-v1.5 requires a 3D token embedding output", kAny, "", 0},
        SelectionCase{"sentence mode with only a 3D output", "hidden", 0, OutputMode::SentenceEmbedding, 0,
                      "profile auto requires a 2D sentence embedding output", kAny, "", 0},
        SelectionCase{"mean mode with only a 2D output", "sentence4", 2, OutputMode::MeanTokens, 4,
                      "profile gte-large-zh requires a 3D token embedding output", kAny, "", 0},
        SelectionCase{"no 2D or 3D output", "scores", 0, OutputMode::Auto, 0,
                      "profile auto has no supported embedding output", kAny, "", 0},
        SelectionCase{
            "int64 output", "int64", 0, OutputMode::Auto, 0,
            "embedding output sentence_embedding has element type tensor(int64), expected tensor(float) or "
            "tensor(float16)",
            kAny, "", 0},
        SelectionCase{"fixed second dimension 512", "fixed512", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 512},
        SelectionCase{"fixed 512 against 1024", "fixed512", 0, OutputMode::Auto, 1024,
                      "unexpected embedding dimension for profile auto: got 512, expected 1024", kAny, "", 0},
        SelectionCase{"symbolic width falls back to 768", "symbolic_width", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::SentenceEmbedding, "sentence_embedding", 768},
        // The public export signatures: a pooled head (6 wide) named after the
        // token output (8 wide) replaces the mean-of-tokens guess.
        SelectionCase{"sentence-transformers pair, auto", "st_pair", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::SentenceEmbedding, "sentence_embedding", 6},
        SelectionCase{"sentence-transformers pair, bge-m3", "st_pair", 4, OutputMode::Auto, 6, nullptr,
                      OutputKind::SentenceEmbedding, "sentence_embedding", 6},
        SelectionCase{"sentence-transformers pair, gte-multilingual-base", "st_pair", 3, OutputMode::Auto, 6,
                      nullptr, OutputKind::SentenceEmbedding, "sentence_embedding", 6},
        SelectionCase{"sentence-transformers pair, bge-large-zh-v1.5", "st_pair", 1, OutputMode::Auto, 6,
                      nullptr, OutputKind::SentenceEmbedding, "sentence_embedding", 6},
        SelectionCase{"sentence-transformers pair, explicit sentence mode", "st_pair", 0,
                      OutputMode::SentenceEmbedding, 0, nullptr, OutputKind::SentenceEmbedding,
                      "sentence_embedding", 6},
        SelectionCase{"pooled output listed first, auto", "st_pair_reversed", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::SentenceEmbedding, "sentence_embedding", 6},
        SelectionCase{"three heads, auto", "three_heads", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::DenseVecs, "dense_vecs", 6},
        SelectionCase{"three heads, bge-m3", "three_heads", 4, OutputMode::Auto, 6, nullptr,
                      OutputKind::DenseVecs, "dense_vecs", 6},
        SelectionCase{"optimum, bge-large-zh-v1.5 default: mean", "optimum", 1, OutputMode::Auto, 8, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 8},
        SelectionCase{"optimum, explicit first token", "optimum", 1, OutputMode::FirstToken, 8, nullptr,
                      OutputKind::FirstToken, "last_hidden_state", 8},
        SelectionCase{"decoder with cache inputs, auto", "decoder", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 1024},
        SelectionCase{"decoder with cache inputs, qwen3", "decoder", 6, OutputMode::Auto, 0, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 1024},
        SelectionCase{"decoder, explicit last token", "decoder", 6, OutputMode::LastToken, 0, nullptr,
                      OutputKind::LastToken, "last_hidden_state", 1024},
        SelectionCase{"float16 decoder, qwen3", "decoder_fp16", 6, OutputMode::Auto, 0, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 1024},
        SelectionCase{"float16 output", "optimum_fp16", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 8},
        SelectionCase{"weights in external data", "optimum_external", 0, OutputMode::Auto, 0, nullptr,
                      OutputKind::MeanTokens, "last_hidden_state", 8}),
    [](const ::testing::TestParamInfo<SelectionCase>& info) { return "case" + std::to_string(info.index); });

TEST(CoreInitializationTest, TokenizerFailureKeepsItsMessage) {
  OnnxEmbeddingCore core;
  const std::string missing = std::string(test::kTestDataDir) + "/embedcore/missing_vocab.txt";
  core.initialize(test::TestModel("sentence4"), missing, CoreOptions{});
  EXPECT_FALSE(core.is_ready());
  EXPECT_EQ(core.last_error(), "failed to open vocab: " + missing);
}

TEST(CoreInitializationTest, InvalidUtf8ModelPath) {
  OnnxEmbeddingCore core;
  core.initialize("/tmp/\xFF\xFE.onnx", test::TestVocab(), CoreOptions{});
  EXPECT_FALSE(core.is_ready());
  EXPECT_EQ(core.last_error(), "invalid UTF-8 path");
}

TEST(CoreInitializationTest, MissingModelReportsTheLibraryMessage) {
  OnnxEmbeddingCore core;
  core.initialize("/nonexistent/model.onnx", test::TestVocab(), CoreOptions{});
  EXPECT_FALSE(core.is_ready());
  EXPECT_NE(core.last_error().find("/nonexistent/model.onnx"), std::string::npos) << core.last_error();
}

struct RunCostCase {
  const char* model;
  std::optional<std::int64_t> option;
  std::int64_t expected;
};

void PrintTo(const RunCostCase& c, std::ostream* os) {
  *os << c.model << (c.option ? " with an explicit run cost" : "");
}

class CoreRunCostTest : public ::testing::TestWithParam<RunCostCase> {};

TEST_P(CoreRunCostTest, TakesTheCallersElseTheModelsElseTheDefault) {
  const RunCostCase& c = GetParam();
  OnnxEmbeddingCore core;
  CoreOptions options;
  options.run_cost_tokens = c.option;
  core.initialize(test::TestModel(c.model), test::TestVocab(), options);
  ASSERT_TRUE(core.is_ready()) << core.last_error();
  EXPECT_EQ(core.run_cost_tokens(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CoreRunCostTest,
    ::testing::Values(RunCostCase{"sentence4", std::nullopt, kDefaultRunCostTokens},
                      RunCostCase{"run_cost_40", std::nullopt, 40}, RunCostCase{"run_cost_0", std::nullopt, 0},
                      RunCostCase{"run_cost_40", 7, 7}, RunCostCase{"sentence4", 0, 0},
                      // Not a plain count, or beyond any sensible one: the default.
                      RunCostCase{"run_cost_abc", std::nullopt, kDefaultRunCostTokens},
                      RunCostCase{"run_cost__5", std::nullopt, kDefaultRunCostTokens},
                      RunCostCase{"run_cost_99999999999", std::nullopt, kDefaultRunCostTokens}));

TEST(CoreInitializationTest, UninitialisedCoreSaysSo) {
  OnnxEmbeddingCore core;
  EXPECT_FALSE(core.is_ready());
  EXPECT_EQ(core.dimension(), 0);
  EXPECT_EQ(core.last_error(), "OnnxEmbeddingCore is not initialized");
  EXPECT_TRUE(core.embed({"a"}, 0).empty());
}

}  // namespace
}  // namespace quirvel
