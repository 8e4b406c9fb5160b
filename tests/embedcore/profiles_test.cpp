#include "embedcore/profiles.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

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

// A model's canonical name selects it wherever a user may write it: on the
// command line and in the name of the folder the model is kept in.
TEST(ProfileNamesTest, EveryCanonicalNameSelectsItsProfile) {
  for (std::uint32_t profile = kProfileBgeLargeZhV15; profile <= kProfileQwen3Embedding06B; ++profile) {
    const std::string name = ProfileName(profile);
    EXPECT_EQ(ProfileIdFromName(name), profile) << name;
    EXPECT_EQ(DetectProfile(("/models/" + name + "/model.onnx").c_str(), nullptr), profile) << name;
  }
}

// The listed names are the accepted ones, in identifier order.
TEST(OutputModeNamesTest, ListedNamesGiveTheirModes) {
  std::vector<std::string> names;
  std::istringstream listed(OutputModeNameList());
  for (std::string name; std::getline(listed >> std::ws, name, ',');) names.push_back(name);
  ASSERT_EQ(names.size(), 6u) << OutputModeNameList();
  for (std::size_t id = 0; id < names.size(); ++id) {
    EXPECT_EQ(OutputModeNamed(names[id]), static_cast<OutputMode>(id)) << names[id];
  }
  EXPECT_EQ(OutputModeNamed("Auto"), std::nullopt);
  EXPECT_EQ(OutputModeNamed(""), std::nullopt);
}

}  // namespace
}  // namespace quirvel
