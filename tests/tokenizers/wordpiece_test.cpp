// WordPiece: the word splitter and greedy longest-match lookup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

using Words = std::vector<std::string>;

struct SplitCase {
  const char* name;
  std::string text;
  Words expected;
};

class SplitWordsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitWordsTest, SplitsIntoWords) { EXPECT_EQ(SplitWords(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitWordsTest,
    ::testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"LowerCasesAsciiRuns", "iPhone15 Pro", {"iphone15", "pro"}},
        SplitCase{"PunctuationAndChinese", "256GB/黑色", {"256gb", "/", "黑", "色"}},
        SplitCase{"TabAndLineFeedSeparate", "a\tb\nc\rd\ve\ff  g", {"a", "b", "c", "d", "e", "f", "g"}},
        SplitCase{"ControlByteSeparatesAndVanishes", "a\x01" "b\x7F" "c", {"a", "b", "c"}},
        SplitCase{"AccentedCapitalStandsAloneUnchanged", "ÀBc", {"À", "bc"}},
        SplitCase{"AccentedLetterSplitsWord", "café", {"caf", "é"}},
        SplitCase{"EveryPunctuationAlone", "a,b!!", {"a", ",", "b", "!", "!"}},
        SplitCase{"StrayHighBytesVanish", "a\x80" "b\xE4", {"a", "b"}},
        SplitCase{"FourByteCharacterAlone", "x\xF0\x9F\x98\x80y", {"x", "\xF0\x9F\x98\x80", "y"}}),
    [](const auto& info) { return std::string(info.param.name); });

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

const Tokenizer& Vocab() {
  // ids are line numbers
  static const Tokenizer tokenizer = LoadFromVocabLines("[PAD]\n[UNK]\n[CLS]\n[SEP]\nun\n##aff\n##able\n" +
                                                        Repeat("x", 100) + "\n##x\n" + Repeat("黑", 100) +
                                                        "\n##黑\nx\n");
  return tokenizer;
}

struct PieceCase {
  const char* name;
  std::string word;
  Ids expected;
};

class EncodeWordPieceTest : public ::testing::TestWithParam<PieceCase> {};

TEST_P(EncodeWordPieceTest, GivesTheIds) { EXPECT_EQ(Vocab().EncodeWordPiece(GetParam().word), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Words, EncodeWordPieceTest,
    ::testing::Values(
        PieceCase{"LongestMatchFirst", "unaffable", {4, 5, 6}},
        PieceCase{"EmptyWordIsUnknown", "", {1}},
        PieceCase{"HundredCharactersLookedUp", Repeat("x", 100), {7}},
        PieceCase{"HundredOneCharactersUnknown", Repeat("x", 101), {1}},
        PieceCase{"HundredChineseCharactersCountAsCharacters", Repeat("黑", 100), {9}},
        PieceCase{"HundredOneChineseCharactersUnknown", Repeat("黑", 101), {1}},
        PieceCase{"ContinuationPieces", "xxx", {11, 8, 8}},
        PieceCase{"NoPrefixOnFirstPiece", "黑黑", {1}},
        PieceCase{"PartialMatchDropsFoundPieces", "unaffablez", {1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeWordPieceTest, MissingMiddlePieceGivesOneUnknown) {
  const Tokenizer tokenizer = LoadFromVocabLines("[UNK]\nun\n##able\n");
  EXPECT_EQ(tokenizer.EncodeWordPiece("unaffable"), (Ids{0}));
}

TEST(EncodeWordPieceTest, PrefixAndLimitComeFromTheFile) {
  const Tokenizer tokenizer = LoadFromJson(R"({"model": {"type": "WordPiece", "continuing_subword_prefix": "@@",
      "max_input_chars_per_word": 3, "vocab": {"[UNK]": 0, "ab": 1, "@@c": 2, "##c": 3, "@@d": 4, "abcd": 5}}})");
  EXPECT_EQ(tokenizer.EncodeWordPiece("abc"), (Ids{1, 2}));
  EXPECT_EQ(tokenizer.EncodeWordPiece("abcd"), (Ids{0})) << "a whole word in the vocabulary is still too long";
  EXPECT_EQ(tokenizer.encode("AB-abc", 0), (Ids{101, 1, 0, 1, 2, 102}));
}

// Appending keeps the ids before the word, also when a part of it is missing.
TEST(EncodeWordPieceTest, AppendingKeepsTheIdsBefore) {
  const struct {
    const char* word;
    Ids expected;
  } cases[] = {{"x", {42, 11}}, {"xxx", {42, 11, 8, 8}}, {"unaffablez", {42, 1}}, {"", {42, 1}}};
  for (const auto& c : cases) {
    Ids ids{42};
    Vocab().AppendWordPiece(c.word, ids);
    EXPECT_EQ(ids, c.expected) << c.word;
  }
}

TEST(EncodeWordPieceTest, NegativeWordLimitMakesEveryWordUnknown) {
  const Tokenizer tokenizer =
      LoadFromJson(R"({"model": {"type": "WordPiece", "max_input_chars_per_word": -1, "vocab": {"a": 7}}})");
  EXPECT_EQ(tokenizer.EncodeWordPiece("a"), (Ids{100}));
}

}  // namespace
}  // namespace quirvel::test
