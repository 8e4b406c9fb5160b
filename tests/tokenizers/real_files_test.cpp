// The real tokenizer files of the supported models (skipped when the shared data
// folder is absent): special ids, sizes, and titles whose tokens spell them back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "test_paths.h"
#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

std::string SharedPath(const std::string& relative) { return std::string(kSharedDataDir) + "/" + relative; }

#define SKIP_WITHOUT(relative)                                                       \
  if (!std::filesystem::exists(SharedPath(relative))) GTEST_SKIP() << "no " << relative

std::vector<std::string> ReadTitles(const std::string& file) {
  std::vector<std::string> titles;
  std::ifstream stream(SharedPath("titles/" + file), std::ios::binary);
  for (std::string line; std::getline(stream, line);) titles.push_back(line);
  return titles;
}

std::unordered_map<std::int64_t, std::string> TokensById(const Tokenizer& tokenizer) {
  std::unordered_map<std::int64_t, std::string> tokens;
  for (const auto& [text, entry] : tokenizer.vocabulary()) tokens[entry.id] = text;
  return tokens;
}

std::vector<std::string> TokenTexts(const Tokenizer& tokenizer, const Ids& ids) {
  const auto tokens = TokensById(tokenizer);
  std::vector<std::string> texts;
  for (const std::int64_t id : ids) texts.push_back(tokens.count(id) ? tokens.at(id) : "?");
  return texts;
}

const char* const kBertVocab = "tokenizers/bert-base-chinese/vocab.txt";
const char* const kBertJson = "tokenizers/bert-base-chinese/tokenizer.json";
const char* const kQwenJson = "tokenizers/qwen3/tokenizer.json";

class BertFileTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BertFileTest, LoadsWithBertSpecialIds) {
  SKIP_WITHOUT(GetParam());
  const Tokenizer tokenizer(SharedPath(GetParam()));
  EXPECT_EQ(tokenizer.kind(), TokenizerKind::WordPiece);
  EXPECT_EQ(tokenizer.vocabulary_size(), 21128u);
  const Ids specials{tokenizer.start_id(), tokenizer.padding_id(), tokenizer.end_id(), tokenizer.unknown_id()};
  EXPECT_EQ(specials, (Ids{101, 0, 102, 100}));
  // U+2028 is a token of its own, not a line break.
  EXPECT_EQ(tokenizer.vocabulary().at("\xE2\x80\xA8").id, 343);
  EXPECT_EQ(tokenizer.vocabulary().at("##\xE2\x80\xA8").id, 13502);
}

TEST_P(BertFileTest, TitleSpellsBackInTokens) {
  SKIP_WITHOUT(GetParam());
  const Tokenizer tokenizer(SharedPath(GetParam()));
  const Ids ids = tokenizer.encode("iPhone 15 Pro 256GB 黑色", 0);
  const std::vector<std::string> expected{"[CLS]", "iphone", "15", "pro", "256", "##gb", "黑", "色", "[SEP]"};
  EXPECT_EQ(TokenTexts(tokenizer, ids), expected);
  EXPECT_EQ(ids, (Ids{101, 8210, 8115, 8376, 9745, 9673, 7946, 5682, 102}));
}

INSTANTIATE_TEST_SUITE_P(Files, BertFileTest, ::testing::Values(kBertVocab, kBertJson));

TEST(BertFileTest, VocabularyFileAndDescriptionAgreeOnEveryTitle) {
  SKIP_WITHOUT(kBertVocab);
  SKIP_WITHOUT(kBertJson);
  SKIP_WITHOUT("titles/tw.txt");
  const Tokenizer plain(SharedPath(kBertVocab));
  const Tokenizer described(SharedPath(kBertJson));
  EXPECT_TRUE(plain.plain_vocabulary());
  EXPECT_FALSE(described.plain_vocabulary());
  for (const auto& title : ReadTitles("tw.txt")) {
    ASSERT_EQ(plain.encode(title, 128), described.encode(title, 128)) << title;
  }
}

TEST(QwenFileTest, LoadsAsByteLevelBpe) {
  SKIP_WITHOUT(kQwenJson);
  const Tokenizer tokenizer(SharedPath(kQwenJson));
  EXPECT_EQ(tokenizer.kind(), TokenizerKind::BPE);
  EXPECT_EQ(tokenizer.vocabulary_size(), 151643u);  // added tokens are not in the model vocabulary
  EXPECT_EQ(tokenizer.data().merges.size(), 151387u);
  const Ids specials{tokenizer.start_id(), tokenizer.padding_id(), tokenizer.end_id(), tokenizer.unknown_id()};
  EXPECT_EQ(specials, (Ids{-1, 151643, 151643, 151643}));
}

TEST(QwenFileTest, WholeWordsMergeIntoSingleTokens) {
  SKIP_WITHOUT(kQwenJson);
  const Tokenizer tokenizer(SharedPath(kQwenJson));
  EXPECT_EQ(tokenizer.encode("Hello world", 0), (Ids{9707, 1879, 151643}));
  EXPECT_EQ(tokenizer.encode("价格:199元", 0), (Ids{97480, 25, 16, 24, 24, 23305, 151643}));
}

// Byte-level BPE loses nothing: the symbols of the ids decode to the title's bytes.
TEST(QwenFileTest, EveryTitleDecodesBackToItsBytes) {
  SKIP_WITHOUT(kQwenJson);
  SKIP_WITHOUT("titles/tw.txt");
  const Tokenizer tokenizer(SharedPath(kQwenJson));
  const auto tokens = TokensById(tokenizer);
  for (const char* file : {"tw.txt", "cn.txt", "tw_market_simplified.txt", "no_cjk.txt"}) {
    for (const auto& title : ReadTitles(file)) {
      const Ids ids = tokenizer.encode(title, 0);
      std::string symbols;
      for (std::size_t i = 0; i + 1 < ids.size(); ++i) {
        ASSERT_NE(ids[i], 151643) << title;
        symbols += tokens.at(ids[i]);
      }
      ASSERT_EQ(DecodeByteLevel(symbols), title);
    }
  }
}

}  // namespace
}  // namespace quirvel::test
