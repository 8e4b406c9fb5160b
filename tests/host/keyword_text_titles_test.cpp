// The reply's keyword text on whole titles, through the demo model: a golden
// file of replies for short titles of our own, and a sweep over real seller
// titles checking that every character of the keywords belongs to a chosen
// keyword and that the keywords are as long as "len".
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "conversion/script_conversion.h"
#include "host/keyword_text.h"
#include "host/request_loop.h"
#include "host/resources.h"
#include "host/utf8.h"
#include "host/word_join.h"
#include "keywords/keyword_model.h"
#include "test_paths.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;

const fs::path kTitlesFile = fs::path(test::kTestDataDir) / "host" / "keyword_text_titles.txt";
const fs::path kGoldenFile = fs::path(test::kTestDataDir) / "host" / "keyword_text_replies.golden.jsonl";
constexpr std::int32_t kBudgets[] = {24, 12};

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// The demo model with the build's resources, as the worker's start-up would
// set them.
class DemoModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetOpenccConfigPath(std::string(test::kOpenccShareDir) + "/tw2sp.json"));
    SetHostOpenccResourceDir(test::kOpenccShareDir);
    SetJiebaDictDir(test::kJiebaDictDir);
  }
  void TearDown() override { DestroyKeywordModel(std::move(model_)); }

  void LoadModel(bool candidate_cache) {
    KeywordModelConfig config;
    config.model_path = QUIRVEL_DEMO_MODEL;
    config.tokenizer_path = QUIRVEL_DEMO_VOCAB;
    config.candidate_cache = candidate_cache;
    model_ = CreateKeywordModel(config);
    ASSERT_TRUE(IsModelReady(model_.get())) << ModelLastError(model_.get());
  }

  std::string Reply(const std::string& title, std::int32_t max_len) {
    const Json request = {{"id", "g"}, {"type", "extract"}, {"title", title}, {"max_len", max_len}};
    return HandleExtract("g", model_.get(), request).dump();
  }

  KeywordModelPtr model_;
};

// The request characters that stand, somewhere in this title, where the
// normalized title has a given character.
std::map<std::string, std::set<std::string>> InputCharsByNormalized(const ExtractionResult& result) {
  const std::vector<std::string> input = SplitUtf8Chars(result.input_title);
  const std::vector<std::string> normalized = SplitUtf8Chars(result.normalized_title);
  std::map<std::string, std::set<std::string>> by_normalized;
  for (std::size_t i = 0; i < input.size() && i < normalized.size(); ++i)
    by_normalized[normalized[i]].insert(input[i]);
  return by_normalized;
}

// Empty when every character of the rebuilt text is a chosen keyword's own
// character in the request's script, or one of the join's blanks.
std::string StrayCharacters(const ExtractionResult& result, const std::string& rebuilt) {
  if (result.chosen.empty()) return {};
  std::string joined;
  for (std::size_t index : result.chosen) AppendJoined(joined, result.ranked.at(index).text);
  if (joined != result.keyword_text)
    return "model text " + result.keyword_text + " is not its keywords " + joined;
  if (CountUtf8Chars(result.input_title) != CountUtf8Chars(result.normalized_title)) {
    return rebuilt == result.keyword_text ? "" : "not the model's text: " + rebuilt;
  }
  const auto by_normalized = InputCharsByNormalized(result);
  const std::vector<std::string> expected = SplitUtf8Chars(joined);
  const std::vector<std::string> got = SplitUtf8Chars(rebuilt);
  if (got.size() != expected.size()) return "length " + std::to_string(got.size()) + " for " + joined;
  std::string strays;
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool blank = expected[i] == " " && got[i] == " ";
    const auto found = by_normalized.find(expected[i]);
    if (!blank && (found == by_normalized.end() || found->second.count(got[i]) == 0)) strays += got[i];
  }
  return strays;
}

TEST_F(DemoModelTest, ShortTitlesGiveTheGoldenReplies) {
  const std::vector<std::string> titles = ReadLines(kTitlesFile);
  ASSERT_FALSE(titles.empty()) << kTitlesFile;
  LoadModel(false);
  std::string replies;
  for (const std::string& title : titles) {
    for (const std::int32_t max_len : kBudgets) {
      const ExtractionResult result = Extract(model_.get(), title, static_cast<std::size_t>(max_len));
      EXPECT_EQ(StrayCharacters(result, BuildKeywordText(result, max_len)), "") << title << " / " << max_len;
      replies += Reply(title, max_len) + "\n";
    }
  }
  if (std::getenv("QUIRVEL_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(kGoldenFile, std::ios::binary) << replies;
    GTEST_SKIP() << "wrote " << kGoldenFile;
  }
  std::ifstream golden(kGoldenFile, std::ios::binary);
  ASSERT_TRUE(golden) << kGoldenFile << " is missing; run with QUIRVEL_UPDATE_GOLDEN=1";
  std::stringstream expected;
  expected << golden.rdbuf();
  EXPECT_EQ(replies, expected.str()) << "rerun with QUIRVEL_UPDATE_GOLDEN=1 and review the diff";
}

class RealTitlesTest : public DemoModelTest, public ::testing::WithParamInterface<std::int32_t> {};

// Each reply's keywords as long as its "len" when the back-conversion keeps
// lengths; a rare Taiwanese word longer than its Simplified one may differ.
TEST_P(RealTitlesTest, KeepOnlyChosenKeywordsAndTheirLength) {
  std::vector<std::string> titles = ReadLines(fs::path(test::kSharedDataDir) / "titles" / "tw.txt");
  if (titles.empty()) GTEST_SKIP() << "no real titles under " << test::kSharedDataDir;
#ifdef QUIRVEL_SANITIZED
  // The sanitizer build runs ten times slower: every eighth title there.
  std::vector<std::string> sample;
  for (std::size_t i = 0; i < titles.size(); i += 8) sample.push_back(titles[i]);
  titles.swap(sample);
#endif
  LoadModel(false);
  const std::int32_t max_len = GetParam();
  std::size_t same_length = 0;
  for (const std::string& title : titles) {
    const ExtractionResult result = Extract(model_.get(), title, static_cast<std::size_t>(max_len));
    const std::string rebuilt = BuildKeywordText(result, max_len);
    EXPECT_EQ(StrayCharacters(result, rebuilt), "") << title << ": " << rebuilt;
    // The reply's keywords, as the extract reply carries them.
    const std::string keywords = FitToBudget(ToTraditional(rebuilt), max_len);
    if (CountUtf8Chars(keywords) == result.keyword_length) ++same_length;
  }
  EXPECT_GE(same_length * 100, titles.size() * 99)
      << same_length << " of " << titles.size() << " as long as len";
}

INSTANTIATE_TEST_SUITE_P(Budgets, RealTitlesTest, ::testing::ValuesIn(kBudgets),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                           return "MaxLen" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace quirvel
