// The flat interface: argument checks in their order, statuses and messages, and
// rows against hand-computed values from generated models.
#include "embedcore/embedcore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model_paths.h"

namespace quirvel {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct EngineDeleter {
  void operator()(embedcore_engine* engine) const { embedcore_destroy(engine); }
};
using Engine = std::unique_ptr<embedcore_engine, EngineDeleter>;

// Options over strings that live as long as the fixture.
struct OptionsFor {
  std::string model;
  std::string vocab = test::TestVocab();
  embedcore_options options{};

  explicit OptionsFor(const std::string& model_name, std::uint32_t mode = 0, std::int32_t normalize = -1)
      : model(test::TestModel(model_name)) {
    options.output_mode = mode;
    options.normalize = normalize;
    options.model_path = model.c_str();
    options.tokenizer_path = vocab.c_str();
  }
  Engine create() const { return Engine(embedcore_create(&options)); }
};

std::string LastError(const embedcore_engine* engine) {
  const char* message = embedcore_last_error(engine);
  return message ? message : "(null)";
}

// Embeds texts into a buffer of `capacity` floats; the buffer starts at -1.
struct EmbedResult {
  std::int32_t ok = -1;
  std::int32_t count = -1;
  std::int32_t dimension = -1;
  std::vector<float> output;
};

EmbedResult Embed(embedcore_engine* engine, const std::vector<const char*>& texts, std::int32_t capacity,
                  std::int32_t max_length = 0) {
  EmbedResult r;
  r.output.assign(static_cast<std::size_t>(capacity), -1.0f);
  r.ok = embedcore_embed_texts(engine, texts.data(), static_cast<std::int32_t>(texts.size()), max_length,
                               r.output.data(), capacity, &r.count, &r.dimension);
  return r;
}

TEST(EmbedcoreCreateTest, NullOptionsGiveAHandleThatCannotEmbed) {
  Engine engine(embedcore_create(nullptr));
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_INVALID_ARGUMENT);
  EXPECT_EQ(LastError(engine.get()), "model_path and tokenizer_path are required");
  EXPECT_EQ(embedcore_dimension(engine.get()), 0);
  const EmbedResult r = Embed(engine.get(), {"a"}, 4);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(LastError(engine.get()), "invalid embedcore_embed_texts argument");
}

struct CreateCase {
  const char* label;
  std::uint32_t backend;
  std::uint32_t device;
  bool null_tokenizer;
  embedcore_status status;
  const char* message;
};

void PrintTo(const CreateCase& c, std::ostream* os) { *os << c.label; }

class EmbedcoreCreateOrderTest : public ::testing::TestWithParam<CreateCase> {};

TEST_P(EmbedcoreCreateOrderTest, ReportsTheFirstFailingCheck) {
  const CreateCase& c = GetParam();
  OptionsFor o("sentence4");
  o.options.backend = c.backend;
  o.options.device = c.device;
  if (c.null_tokenizer) o.options.tokenizer_path = nullptr;
  const Engine engine = o.create();
  EXPECT_EQ(embedcore_last_status(engine.get()), c.status) << c.label;
  EXPECT_EQ(LastError(engine.get()), c.message) << c.label;
  EXPECT_EQ(embedcore_dimension(engine.get()) > 0, c.status == EMBEDCORE_OK) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Order, EmbedcoreCreateOrderTest,
    ::testing::Values(CreateCase{"paths before GPU", 0, 1, true, EMBEDCORE_INVALID_ARGUMENT,
                                 "model_path and tokenizer_path are required"},
                      CreateCase{"GPU before backend", 1, 1, false, EMBEDCORE_DEVICE_UNAVAILABLE,
                                 "GPU device is not available in this build"},
                      CreateCase{"unsupported backend", 1, 0, false, EMBEDCORE_UNSUPPORTED_BACKEND,
                                 "unsupported EmbedCore backend"},
                      CreateCase{"automatic device runs on the CPU", 0, 2, false, EMBEDCORE_OK, "(null)"},
                      CreateCase{"unknown device has no effect", 0, 9, false, EMBEDCORE_OK, "(null)"}));

TEST(EmbedcoreCreateTest, NotReadyBackendGivesItsMessage) {
  OptionsFor o("scores");
  const Engine engine = o.create();
  EXPECT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_NOT_READY);
  EXPECT_EQ(LastError(engine.get()), "profile auto has no supported embedding output");
  EXPECT_EQ(embedcore_dimension(engine.get()), 0);
}

TEST(EmbedcoreCreateTest, ProfileIsDetectedFromThePaths) {
  // A copy of a model without dense_vecs in a directory named BGE-M3 gets the
  // bge-m3 profile, whose default mode needs dense_vecs.
  const std::filesystem::path dir = std::filesystem::path(test::kBinaryDir) / "embedcore_detect" / "BGE-M3";
  std::filesystem::create_directories(dir);
  const std::string model = (dir / "model.onnx").string();
  std::filesystem::copy_file(test::TestModel("sentence4"), model,
                             std::filesystem::copy_options::overwrite_existing);
  OptionsFor o("sentence4");
  o.options.model_path = model.c_str();
  const Engine engine = o.create();
  EXPECT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_NOT_READY);
  EXPECT_EQ(LastError(engine.get()), "profile bge-m3 requires dense_vecs output");
  o.options.profile = 5;  // an explicit profile is not replaced by detection
  const Engine explicit_profile = o.create();
  EXPECT_EQ(LastError(explicit_profile.get()),
            "unexpected embedding dimension for profile dmeta-embedding-zh: got 4, expected 768");
}

TEST(EmbedcoreEmbedTest, NullEngineClearsOutPointersAndFails) {
  std::int32_t count = 7;
  std::int32_t dimension = 7;
  float output[4];
  const char* texts[] = {"a"};
  EXPECT_EQ(embedcore_embed_texts(nullptr, texts, 1, 0, output, 4, &count, &dimension), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(dimension, 0);
  EXPECT_EQ(embedcore_last_error(nullptr), nullptr);
}

struct ArgumentCase {
  const char* label;
  bool null_texts;
  std::int32_t count;
  bool null_output;
  std::int32_t capacity;
  const char* message;
  std::int32_t out_dimension;
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.label; }

class EmbedcoreArgumentTest : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(EmbedcoreArgumentTest, FailsWithInvalidArgument) {
  const ArgumentCase& c = GetParam();
  OptionsFor o("sentence4");
  const Engine engine = o.create();
  ASSERT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_OK) << LastError(engine.get());
  const char* texts[] = {"a", "b", "c"};
  std::vector<float> output(16, -1.0f);
  std::int32_t count = 7;
  std::int32_t dimension = 7;
  const std::int32_t ok =
      embedcore_embed_texts(engine.get(), c.null_texts ? nullptr : texts, c.count, 0,
                            c.null_output ? nullptr : output.data(), c.capacity, &count, &dimension);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_INVALID_ARGUMENT);
  EXPECT_EQ(LastError(engine.get()), c.message);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(dimension, c.out_dimension);
  EXPECT_THAT(output, ElementsAreArray(std::vector<float>(16, -1.0f)));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, EmbedcoreArgumentTest,
    ::testing::Values(
        ArgumentCase{"zero texts", false, 0, false, 16, "invalid embedcore_embed_texts argument", 0},
        ArgumentCase{"null texts", true, 1, false, 16, "invalid embedcore_embed_texts argument", 0},
        ArgumentCase{"null output", false, 1, true, 16, "invalid embedcore_embed_texts argument", 0},
        ArgumentCase{"zero capacity", false, 1, false, 0, "invalid embedcore_embed_texts argument", 0},
        ArgumentCase{"one float less", false, 3, false, 11, "output buffer capacity is insufficient", 4},
        // 2^30 texts of width 4 are 2^32 floats: a 32-bit product would wrap to 0
        // and let the engine read past the texts array.
        ArgumentCase{"product beyond 32 bits", false, 1 << 30, false, 16,
                     "output buffer capacity is insufficient", 4}));

TEST(EmbedcoreEmbedTest, NullItemFailsBeforeTheModelRuns) {
  OptionsFor o("sentence4");
  const Engine engine = o.create();
  const EmbedResult r = Embed(engine.get(), {"a", "b", nullptr}, 12);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(LastError(engine.get()), "texts_utf8 contains null item");
  EXPECT_THAT(r.output, ElementsAreArray(std::vector<float>(12, -1.0f)));
}

TEST(EmbedcoreEmbedTest, ExactCapacitySucceedsAndClearsAnEarlierError) {
  OptionsFor o("sentence4");
  const Engine engine = o.create();
  EXPECT_EQ(Embed(engine.get(), {"a", "b c"}, 7).ok, 0);
  ASSERT_NE(embedcore_last_error(engine.get()), nullptr);
  const EmbedResult r = Embed(engine.get(), {"a", "b c"}, 8);
  EXPECT_EQ(r.ok, 1);
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.dimension, 4);
  EXPECT_EQ(embedcore_last_error(engine.get()), nullptr);
  EXPECT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_OK);
  // Features (id, mask) spread over width 4; masked means of [101 103 102] and [101 104 105 102].
  EXPECT_THAT(r.output, ElementsAre(102, 1, 102, 1, 103, 1, 103, 1));
}

TEST(EmbedcoreEmbedTest, NormalisedRowsHaveUnitLength) {
  OptionsFor o("sentence4", 0, 0);
  const Engine engine = o.create();
  const EmbedResult r = Embed(engine.get(), {"a"}, 4);
  ASSERT_EQ(r.ok, 1) << LastError(engine.get());
  const float norm = std::sqrt(2.0f * 102.0f * 102.0f + 2.0f);
  EXPECT_THAT(r.output, ElementsAre(102 / norm, 1 / norm, 102 / norm, 1 / norm));
}

// Token features are (id, mask, position, token type) with both optional inputs.
struct PoolingCase {
  const char* label;
  std::uint32_t mode;
  std::vector<float> expected;  // rows of "a", "a b c", "a b" (3, 5 and 4 ids)
};

void PrintTo(const PoolingCase& c, std::ostream* os) { *os << c.label; }

class EmbedcorePoolingTest : public ::testing::TestWithParam<PoolingCase> {};

TEST_P(EmbedcorePoolingTest, RowsMatchHandComputedValues) {
  const PoolingCase& c = GetParam();
  OptionsFor o("hidden", c.mode);
  const Engine engine = o.create();
  ASSERT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_OK) << LastError(engine.get());
  const EmbedResult r = Embed(engine.get(), {"a", "a b c", "a b"}, 12);
  ASSERT_EQ(r.ok, 1) << LastError(engine.get());
  EXPECT_THAT(r.output, ElementsAreArray(c.expected)) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EmbedcorePoolingTest,
    ::testing::Values(PoolingCase{"first token", 3, {101, 1, 0, 0, 101, 1, 0, 0, 101, 1, 0, 0}},
                      PoolingCase{"last attended token", 5, {102, 1, 2, 0, 102, 1, 4, 0, 102, 1, 3, 0}},
                      PoolingCase{
                          "mean over the mask", 2, {102, 1, 1, 0, 103, 1, 2, 0, 102.5f, 1, 1.5f, 0}}));

TEST(EmbedcoreEmbedTest, ModelWithoutOptionalInputsGetsOnlyIdsAndMask) {
  OptionsFor o("hidden_plain", 3);
  const Engine engine = o.create();
  const EmbedResult r = Embed(engine.get(), {"b"}, 4);
  ASSERT_EQ(r.ok, 1) << LastError(engine.get());
  EXPECT_THAT(r.output, ElementsAre(101, 1, 101, 1));
}

struct MaxLengthCase {
  std::int32_t max_length;
  std::int32_t default_max_length;
  float last_position;
};

void PrintTo(const MaxLengthCase& c, std::ostream* os) { *os << c.max_length << "/" << c.default_max_length; }

class EmbedcoreMaxLengthTest : public ::testing::TestWithParam<MaxLengthCase> {};

TEST_P(EmbedcoreMaxLengthTest, TheRightLimitReachesTheTokenizer) {
  const MaxLengthCase& c = GetParam();
  OptionsFor o("hidden", 5);
  o.options.default_max_length = c.default_max_length;
  const Engine engine = o.create();
  const EmbedResult r = Embed(engine.get(), {"a b c d e a b c d e"}, 4, c.max_length);
  ASSERT_EQ(r.ok, 1) << LastError(engine.get());
  EXPECT_EQ(r.output[2], c.last_position) << c.max_length << " / " << c.default_max_length;
}

INSTANTIATE_TEST_SUITE_P(Limits, EmbedcoreMaxLengthTest,
                         ::testing::Values(MaxLengthCase{0, 0, 11}, MaxLengthCase{-1, 0, 11},
                                           MaxLengthCase{0, 4, 3}, MaxLengthCase{-3, 6, 5},
                                           MaxLengthCase{5, 4, 4}));

TEST(EmbedcoreEmbedTest, DeclaredFallbackIsRewrittenByTheFirstBatch) {
  OptionsFor o("symbolic_width");
  const Engine engine = o.create();
  EXPECT_EQ(embedcore_dimension(engine.get()), 768);
  const EmbedResult r = Embed(engine.get(), {"a"}, 768);
  ASSERT_EQ(r.ok, 1) << LastError(engine.get());
  EXPECT_EQ(r.dimension, 4);
  EXPECT_EQ(embedcore_dimension(engine.get()), 4);
  EXPECT_EQ(Embed(engine.get(), {"a", "b"}, 8).ok, 1);
}

struct FailureCase {
  const char* model;
  std::uint32_t mode;
  const char* message;  // null: the library's own message
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.model; }

class EmbedcoreRunFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(EmbedcoreRunFailureTest, FailsAndStaysUsable) {
  const FailureCase& c = GetParam();
  OptionsFor o(c.model, c.mode);
  const Engine engine = o.create();
  ASSERT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_OK) << LastError(engine.get());
  for (int attempt = 0; attempt < 2; ++attempt) {
    const EmbedResult r = Embed(engine.get(), {"a", "b c"}, 8);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_EMBED_FAILED);
    if (c.message) {
      EXPECT_EQ(LastError(engine.get()), c.message);
    }
    EXPECT_NE(embedcore_last_error(engine.get()), nullptr);
    EXPECT_GT(embedcore_dimension(engine.get()), 0);
  }
}

// The model runs on the start-up text, so the engine is ready; texts holding
// "a" make every later run fail.
INSTANTIATE_TEST_SUITE_P(Models, EmbedcoreRunFailureTest,
                         ::testing::Values(FailureCase{"fails_on_a", 0, nullptr}));

// A model whose session loads but that cannot embed even the start-up text
// gives a failed handle instead of a ready one that fails every call.
class EmbedcoreStartupRunTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(EmbedcoreStartupRunTest, FailsTheCreate) {
  const FailureCase& c = GetParam();
  OptionsFor o(c.model, c.mode);
  const Engine engine = o.create();
  EXPECT_EQ(embedcore_last_status(engine.get()), EMBEDCORE_NOT_READY);
  EXPECT_EQ(embedcore_dimension(engine.get()), 0);
  const std::string message = LastError(engine.get());
  EXPECT_EQ(message.rfind("model cannot embed a test text: ", 0), 0u) << message;
  if (c.message) {
    EXPECT_EQ(message, std::string("model cannot embed a test text: ") + c.message);
  }
  EXPECT_EQ(Embed(engine.get(), {"a"}, 8).ok, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Models, EmbedcoreStartupRunTest,
    ::testing::Values(FailureCase{"doubled", 2, "unexpected GTE token embedding output shape"},
                      FailureCase{"runtime_failure", 0, nullptr}, FailureCase{"decoder_failing", 0, nullptr}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.model); });

}  // namespace
}  // namespace quirvel
