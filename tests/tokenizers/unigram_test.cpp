// Unigram: the best-score lattice search, its tolerance and tie-breaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

// Special pieces take ids 0 to 3; the pieces given follow from id 4 on.
Tokenizer UnigramWith(const std::string& pieces) {
  return LoadFromJson(R"({"model": {"type": "Unigram", "vocab": [["<s>", 0], ["<pad>", 0], ["</s>", 0],
      ["<unk>", 0])" + pieces + "]}}");
}

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

struct WordCase {
  const char* name;
  std::string pieces;  // JSON array elements, each preceded by a comma
  std::string word;
  Ids expected;
};

class EncodeUnigramWordTest : public ::testing::TestWithParam<WordCase> {};

TEST_P(EncodeUnigramWordTest, AppendsTheBestSegmentation) {
  Ids ids;
  UnigramWith(GetParam().pieces).EncodeUnigramWord(GetParam().word, 0, ids);
  EXPECT_EQ(ids, GetParam().expected);
}

const std::string kMeta = "\\u2581";

INSTANTIATE_TEST_SUITE_P(
    Words, EncodeUnigramWordTest,
    ::testing::Values(
        WordCase{"EmptyWordAddsNothing", R"(, ["\u2581", -1])", "", {}},
        WordCase{"UnknownCharactersOneIdEach", R"(, ["\u2581", -2])", "xy", {4, 3, 3}},
        WordCase{"UnknownMetaSpaceToo", R"(, ["q", -2])", "xy", {3, 3, 3}},
        WordCase{"HigherTotalWins", R"(, ["\u2581ab", -1], ["\u2581a", -0.4], ["b", -0.4])", "ab", {5, 6}},
        WordCase{"SinglePieceWinsWhenBetter", R"(, ["\u2581ab", -0.7], ["\u2581a", -0.4], ["b", -0.4])", "ab", {4}},
        WordCase{"EqualTotalsFewerPiecesWin", R"(, ["\u2581ab", -1], ["\u2581a", -0.5], ["b", -0.5])", "ab", {4}},
        WordCase{"WithinToleranceFewerPiecesWin", R"(, ["\u2581ab", -5e-9], ["\u2581a", 0], ["b", 0])", "ab", {4}},
        WordCase{"BeyondToleranceHigherWins", R"(, ["\u2581ab", -5e-8], ["\u2581a", 0], ["b", 0])", "ab", {5, 6}},
        // Node 4 is first reached by three pieces, then by two whose total is 5e-9 lower.
        WordCase{"LaterFewerPiecesReplaceWithinTolerance",
                 R"(, ["\u2581", 0], ["a", 0], ["bc", 0], ["\u2581ab", -5e-9], ["c", 0])", "abc", {7, 8}},
        WordCase{"LaterFewerPiecesLoseBeyondTolerance",
                 R"(, ["\u2581", 0], ["a", 0], ["bc", 0], ["\u2581ab", -5e-8], ["c", 0])", "abc", {4, 5, 6}},
        WordCase{"FullTieKeepsFirstTried", R"(, ["\u2581", -1], ["ab", -1], ["\u2581a", -1], ["b", -1])", "ab",
                 {4, 5}},
        WordCase{"PieceOfSixtyFourCharactersUsed",
                 R"(, ["\u2581)" + Repeat("x", 63) + R"(", 0], ["x", -1], ["\u2581", -1])", Repeat("x", 63), {4}},
        WordCase{"PieceOfSixtyFiveCharactersNeverUsed",
                 R"(, ["\u2581)" + Repeat("x", 64) + R"(", 0], ["\u2581)" + Repeat("x", 63) + R"(", 0], ["x", -1])",
                 Repeat("x", 64), {5, 6}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeUnigramWordTest, StopsAtTheLimitAndKeepsEarlierIds) {
  const Tokenizer tokenizer = UnigramWith(R"(, ["\u2581", -1])");
  Ids ids{0};
  tokenizer.EncodeUnigramWord("xyz", 3, ids);
  EXPECT_EQ(ids, (Ids{0, 4}));
}

TEST(SegmentUnigramTest, EmptyTextGivesNoIds) { EXPECT_TRUE(UnigramWith("").SegmentUnigram("").empty()); }

TEST(SegmentUnigramTest, NoMetaSpaceIsAdded) {
  EXPECT_EQ(UnigramWith(R"(, ["ab", -1], ["\u2581ab", 0])").SegmentUnigram("ab"), (Ids{4}));
}

TEST(SegmentUnigramTest, SaturatedScoresStillSegmentEveryCharacter) {
  const Tokenizer tokenizer = UnigramWith(R"(, ["a", 1e300], ["b", -1e300])");
  EXPECT_EQ(tokenizer.SegmentUnigram("abab"), (Ids{4, 3, 4, 3}));
}

TEST(SegmentUnigramTest, UnknownCharactersAreNotMerged) {
  EXPECT_EQ(UnigramWith(R"(, ["a", -1])").SegmentUnigram("a\xE4\xB8\xAD\xFFz"), (Ids{4, 3, 3, 3}));
}

}  // namespace
}  // namespace quirvel::test
