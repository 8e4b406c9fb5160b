// Byte-level BPE: the byte table, the piece splitter and merging by rank,
// checked against a plain rescanning merge over many generated cases.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

using Pieces = std::vector<std::string>;

struct ByteSymbolCase {
  int byte;
  std::string symbol;
};

class ByteLevelSymbolsTest : public ::testing::TestWithParam<ByteSymbolCase> {};

TEST_P(ByteLevelSymbolsTest, MatchesThePublishedTable) {
  EXPECT_EQ(ByteLevelSymbols()[static_cast<std::size_t>(GetParam().byte)], GetParam().symbol);
}

INSTANTIATE_TEST_SUITE_P(Bytes, ByteLevelSymbolsTest,
                         ::testing::Values(ByteSymbolCase{0x00, "\xC4\x80"},   // U+0100
                                           ByteSymbolCase{0x0A, "\xC4\x8A"},   // U+010A
                                           ByteSymbolCase{0x20, "\xC4\xA0"},   // U+0120
                                           ByteSymbolCase{0x21, "!"},
                                           ByteSymbolCase{0x7E, "~"},
                                           ByteSymbolCase{0x7F, "\xC4\xA1"},   // U+0121
                                           ByteSymbolCase{0xA0, "\xC5\x82"},   // U+0142
                                           ByteSymbolCase{0xA1, "\xC2\xA1"},   // U+00A1
                                           ByteSymbolCase{0xAD, "\xC5\x83"},   // U+0143
                                           ByteSymbolCase{0xFF, "\xC3\xBF"}));  // U+00FF

TEST(ByteLevelSymbolsTest, DecodingEverySymbolGivesItsByteBack) {
  std::string all_bytes;
  std::string all_symbols;
  for (int byte = 0; byte < 256; ++byte) {
    all_bytes += static_cast<char>(byte);
    all_symbols += ByteLevelSymbols()[static_cast<std::size_t>(byte)];
  }
  EXPECT_EQ(DecodeByteLevel(all_symbols), all_bytes);
}

struct SplitCase {
  const char* name;
  std::string text;
  Pieces expected;
};

class SplitPiecesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPiecesTest, SplitsByCharacterClass) { EXPECT_EQ(SplitPieces(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitPiecesTest,
    ::testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"BlankJoinsNextWord", "Hello world", {"Hello", " world"}},
        SplitCase{"DigitsOneByOne", "iPhone 15", {"iPhone", " ", "1", "5"}},
        SplitCase{"ChineseIsLetters", "价格:199元", {"价格", ":", "1", "9", "9", "元"}},
        SplitCase{"TwoBlanks", "a  b", {"a", " ", " b"}},
        SplitCase{"AccentedIsOther", "café", {"caf", "é"}},
        SplitCase{"CyrillicIsOther", "Мир", {"Мир"}},
        SplitCase{"BlankJoinsOtherRun", "a ,.!b", {"a", " ,.!", "b"}},
        SplitCase{"TrailingBlank", "a ", {"a", " "}},
        SplitCase{"BlankBeforeDigit", " 7", {" ", "7"}},
        SplitCase{"ChineseMixedWithLatin", "abc中文def", {"abc中文def"}},
        SplitCase{"FullWidthPunctuationIsOther", "好，好", {"好", "，", "好"}},
        SplitCase{"CutCharacterIsOther", "ab\xE4\xB8", {"ab", "\xE4\xB8"}},
        SplitCase{"ExtensionBIsLetter", "a\xF0\xA0\x80\x80", {"a\xF0\xA0\x80\x80"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every symbol the merges can build is in the vocabulary, so ids tell symbols apart.
const Tokenizer& MergeFixture() {
  static const Tokenizer tokenizer = LoadFromJson(R"({"model": {"type": "BPE",
      "vocab": {"a": 0, "b": 1, "c": 2, "aa": 3, "bc": 4, "ab": 5, "aaaa": 6, "abc": 7, "\u0120": 8, "\u0120a": 9},
      "merges": ["b c", "a a", ["a", "b"], "aa aa", "a bc", "\u0120 a"]}})");
  return tokenizer;
}

struct MergeCase {
  const char* name;
  std::string piece;
  Ids expected;
};

class EncodeBpePieceTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(EncodeBpePieceTest, MergesByRank) { EXPECT_EQ(MergeFixture().EncodeBpePiece(GetParam().piece), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Pieces, EncodeBpePieceTest,
    ::testing::Values(
        MergeCase{"Empty", "", {}},
        MergeCase{"NoMergeOneIdPerByte", "cba", {2, 1, 0}},
        MergeCase{"LowerRankFirst", "abc", {7}},              // b c, then a bc
        MergeCase{"LeftmostAmongEqualRanks", "aaa", {3, 0}},  // a a at the left, not the right
        MergeCase{"MergedSymbolsMergeAgain", "aaaa", {6}},
        MergeCase{"RankBeatsPosition", "aabc", {3, 4}},       // b c (rank 0) before a a (rank 1)
        MergeCase{"ArrayMerge", "ab", {5}},
        MergeCase{"BlankSymbol", " a", {9}},
        MergeCase{"UnknownSymbolGivesEndOfText", "d", {151643}}),
    [](const auto& info) { return std::string(info.param.name); });

// The merge loop exactly as described: rescan every adjacent pair after each merge.
std::vector<std::string> ReferenceMerge(const std::string& piece,
                                        const std::unordered_map<std::string, std::int64_t>& merges) {
  std::vector<std::string> symbols;
  for (unsigned char byte : piece) symbols.push_back(ByteLevelSymbols()[byte]);
  while (symbols.size() >= 2) {
    std::int64_t best_rank = std::numeric_limits<std::int64_t>::max();
    std::size_t best = symbols.size();
    for (std::size_t i = 0; i + 1 < symbols.size(); ++i) {
      const auto found = merges.find(symbols[i] + '\x1F' + symbols[i + 1]);
      if (found != merges.end() && found->second < best_rank) {
        best_rank = found->second;
        best = i;
      }
    }
    if (best == symbols.size()) break;
    symbols[best] += symbols[best + 1];
    symbols.erase(symbols.begin() + static_cast<std::ptrdiff_t>(best) + 1);
  }
  return symbols;
}

std::string JsonQuote(const std::string& text) { return "\"" + text + "\""; }

// Random merges over a small alphabet, built bottom-up so that later merges join
// earlier results, with repeated letters to force ties between equal pairs.
std::string RandomMergeTokenizerJson(std::mt19937& random) {
  std::vector<std::string> symbols{"a", "b", "c"};
  std::string vocab = R"("a": 0, "b": 1, "c": 2)";
  std::string merges;
  std::unordered_map<std::string, bool> seen;
  for (int i = 0; i < 40; ++i) {
    const std::string& left = symbols[random() % symbols.size()];
    const std::string& right = symbols[random() % symbols.size()];
    if (seen[left + " " + right]) continue;
    seen[left + " " + right] = true;
    merges += (merges.empty() ? "" : ", ") + JsonQuote(left + " " + right);
    const std::string joined = left + right;
    if (seen[joined]) continue;
    seen[joined] = true;
    vocab += ", " + JsonQuote(joined) + ": " + std::to_string(symbols.size());
    symbols.push_back(joined);
  }
  return R"({"model": {"type": "BPE", "vocab": {)" + vocab + "}, \"merges\": [" + merges + "]}}";
}

TEST(EncodeBpePieceTest, AgreesWithRescanningMergeOnGeneratedCases) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 30; ++round) {
    const Tokenizer tokenizer = LoadFromJson(RandomMergeTokenizerJson(random));
    for (int sample = 0; sample < 60; ++sample) {
      std::string piece;
      const std::size_t length = random() % 40;
      for (std::size_t i = 0; i < length; ++i) piece += static_cast<char>('a' + random() % 3);
      Ids expected;
      for (const auto& symbol : ReferenceMerge(piece, tokenizer.data().merges)) {
        const auto found = tokenizer.vocabulary().find(symbol);
        expected.push_back(found == tokenizer.vocabulary().end() ? tokenizer.unknown_id() : found->second.id);
      }
      ASSERT_EQ(tokenizer.EncodeBpePiece(piece), expected) << "round " << round << " piece " << piece;
    }
  }
}

TEST(EncodeBpePieceTest, EncodeConcatenatesPieceIds) {
  EXPECT_EQ(MergeFixture().encode("abc aa", 0), (Ids{7, 8, 3, 151643}));
}

}  // namespace
}  // namespace quirvel::test
