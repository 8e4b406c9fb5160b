#include "embedcore/profiles.h"

#include <gtest/gtest.h>

#include <ostream>

namespace quirvel {
namespace {

struct DetectCase {
  const char* model;
  const char* tokenizer;
  std::uint32_t expected;
};

void PrintTo(const DetectCase& c, std::ostream* os) { *os << (c.model ? c.model : "null") << " " << (c.tokenizer ? c.tokenizer : "null"); }

class DetectProfileTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(DetectProfileTest, PicksTheFirstMatchingGroup) {
  const DetectCase& c = GetParam();
  EXPECT_EQ(DetectProfile(c.model, c.tokenizer), c.expected)
      << (c.model ? c.model : "(null)") << " / " << (c.tokenizer ? c.tokenizer : "(null)");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DetectProfileTest,
    ::testing::Values(DetectCase{"/models/BGE-M3/model.onnx", "/any/tokenizer.json", kProfileBgeM3},
                      DetectCase{"/m/qwen3_embedding/model.onnx", "/t/bge-m3/tok.json", kProfileQwen3Embedding06B},
                      DetectCase{"/m/plain/model.onnx", "/t/vocab.txt", kProfileAuto},
                      DetectCase{nullptr, "/t/gte-large-zh/vocab.txt", kProfileGteLargeZh},
                      DetectCase{"/m/bge-large-zh/model.onnx", nullptr, kProfileBgeLargeZhV15},
                      DetectCase{"/m/bge-m3+bge-large-zh/x.onnx", "", kProfileBgeM3},
                      DetectCase{"/m/DMetaSoul/x.onnx", "", kProfileDmetaEmbeddingZh},
                      DetectCase{"/m/gte-multilingual/x.onnx", "", kProfileGteMultilingualBase},
                      DetectCase{"/m/模型/BGE-M3/x.onnx", "", kProfileBgeM3},
                      // Only ASCII letters are lower-cased; the join inserts a blank between the paths.
                      DetectCase{"/m/bge-", "m3/tok.json", kProfileAuto},
                      DetectCase{nullptr, nullptr, kProfileAuto}));

struct ProfileDefaultsCase {
  std::uint32_t profile;
  const char* name;
  OutputMode mode;
  std::int32_t dimension;
};

void PrintTo(const ProfileDefaultsCase& c, std::ostream* os) { *os << c.profile; }

class ProfileDefaultsTest : public ::testing::TestWithParam<ProfileDefaultsCase> {};

TEST_P(ProfileDefaultsTest, NameModeAndDimension) {
  const ProfileDefaultsCase& c = GetParam();
  EXPECT_STREQ(ProfileName(c.profile), c.name);
  EXPECT_EQ(DefaultOutputMode(c.profile), c.mode);
  EXPECT_EQ(DefaultExpectedDimension(c.profile), c.dimension);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileDefaultsTest,
    ::testing::Values(ProfileDefaultsCase{0, "auto", OutputMode::Auto, 0},
                      ProfileDefaultsCase{1, "bge-large-zh-v1.5", OutputMode::FirstToken, 1024},
                      ProfileDefaultsCase{2, "gte-large-zh", OutputMode::MeanTokens, 1024},
                      ProfileDefaultsCase{3, "gte-multilingual-base", OutputMode::SentenceEmbedding, 768},
                      ProfileDefaultsCase{4, "bge-m3", OutputMode::DenseVecs, 1024},
                      ProfileDefaultsCase{5, "dmeta-embedding-zh", OutputMode::SentenceEmbedding, 768},
                      ProfileDefaultsCase{6, "qwen3-embedding-0.6b", OutputMode::LastToken, 1024},
                      ProfileDefaultsCase{7, "auto", OutputMode::Auto, 0},
                      ProfileDefaultsCase{0xFFFFFFFFu, "auto", OutputMode::Auto, 0}));

}  // namespace
}  // namespace quirvel
