// The frame of encode shared by all kinds: start and end ids and every case of
// the maximum length.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

const char* const kWordPieceJson =
    R"({"model": {"type": "WordPiece", "vocab": {"[PAD]": 0, "[UNK]": 1, "[CLS]": 2, "[SEP]": 3,
        "a": 4, "b": 5, "c": 6}}})";
// "\u0120" is the byte symbol of a blank.
const char* const kBpeJson =
    R"({"model": {"type": "BPE", "vocab": {"a": 0, "b": 1, "\u0120": 2, "<|endoftext|>": 9}, "merges": []}})";
const char* const kUnigramJson =
    R"({"model": {"type": "Unigram", "vocab": [["<s>", 0], ["<pad>", 0], ["</s>", 0], ["<unk>", 0],
        ["\u2581a", -1], ["\u2581b", -1]]}})";

const Tokenizer& Fixture(TokenizerKind kind) {
  static const std::map<TokenizerKind, Tokenizer> tokenizers = [] {
    std::map<TokenizerKind, Tokenizer> loaded;
    loaded.emplace(TokenizerKind::WordPiece, LoadFromJson(kWordPieceJson));
    loaded.emplace(TokenizerKind::BPE, LoadFromJson(kBpeJson));
    loaded.emplace(TokenizerKind::Unigram, LoadFromJson(kUnigramJson));
    return loaded;
  }();
  return tokenizers.at(kind);
}

struct FrameCase {
  const char* name;
  TokenizerKind kind;
  std::string text;
  std::int32_t max_length;
  Ids expected;
};

class EncodeFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(EncodeFrameTest, GivesTheIds) {
  const FrameCase& c = GetParam();
  EXPECT_EQ(Fixture(c.kind).encode(c.text, c.max_length), c.expected);
}

constexpr auto kWp = TokenizerKind::WordPiece;
constexpr auto kBpe = TokenizerKind::BPE;
constexpr auto kUni = TokenizerKind::Unigram;

INSTANTIATE_TEST_SUITE_P(
    Limits, EncodeFrameTest,
    ::testing::Values(
        FrameCase{"WordPieceEmpty", kWp, "", 0, {2, 3}},
        FrameCase{"WordPieceNoCut", kWp, "a b c a b c a b c a", 0, {2, 4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 3}},
        FrameCase{"WordPieceNegativeNoCut", kWp, "a b c", -4, {2, 4, 5, 6, 3}},
        FrameCase{"WordPieceEight", kWp, "a b c a b c a b c a", 8, {2, 4, 5, 6, 4, 5, 6, 3}},
        FrameCase{"WordPieceExactFit", kWp, "a b c", 5, {2, 4, 5, 6, 3}},
        FrameCase{"WordPieceOneOver", kWp, "a b c", 4, {2, 4, 5, 3}},
        FrameCase{"WordPieceTwo", kWp, "a b c", 2, {2, 3}},
        FrameCase{"WordPieceOneKeepsStart", kWp, "a b c", 1, {2, 3}},
        FrameCase{"WordPieceUnknownWord", kWp, "a zz", 0, {2, 4, 1, 3}},
        FrameCase{"BpeEmpty", kBpe, "", 0, {9}},
        FrameCase{"BpeNoCut", kBpe, "a b", 0, {0, 2, 1, 9}},
        FrameCase{"BpeNegativeNoCut", kBpe, "ab", -1, {0, 1, 9}},
        FrameCase{"BpeThree", kBpe, "a b", 3, {0, 2, 9}},
        FrameCase{"BpeTwo", kBpe, "a b", 2, {0, 9}},
        FrameCase{"BpeOne", kBpe, "a b", 1, {9}},
        FrameCase{"BpeUnknownByte", kBpe, "ac", 0, {0, 9, 9}},
        FrameCase{"UnigramEmpty", kUni, "", 0, {0, 2}},
        FrameCase{"UnigramOnlyWhiteSpace", kUni, " \t\r\n", 0, {0, 2}},
        FrameCase{"UnigramNoCut", kUni, "a b\ta", 0, {0, 4, 5, 4, 2}},
        FrameCase{"UnigramFour", kUni, "a b\ta", 4, {0, 4, 5, 2}},
        FrameCase{"UnigramTwo", kUni, "a b\ta", 2, {0, 2}},
        FrameCase{"UnigramOne", kUni, "a b\ta", 1, {2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeFrameTest, LongTextWithLimitEightEndsWithEndId) {
  const std::string text(500, 'a');
  for (const TokenizerKind kind : {kWp, kBpe, kUni}) {
    const Tokenizer& tokenizer = Fixture(kind);
    std::string spaced;
    for (char c : text) spaced += std::string(1, c) + " ";
    const Ids ids = tokenizer.encode(spaced, 8);
    ASSERT_EQ(ids.size(), 8u);
    EXPECT_EQ(ids.back(), tokenizer.end_id());
  }
}

// Bytes that are not UTF-8 (stray continuation bytes, cut sequences, 0xFF) must
// still encode, on every kind.
TEST(EncodeFrameTest, InvalidUtf8NeverThrows) {
  const std::string texts[] = {"\x80\x81", "a\xE4\xB8", "\xF0\x9F", "\xFF\xFE a", std::string("a\0b", 3),
                               "\xC3", "\xE2\x96"};
  for (const TokenizerKind kind : {kWp, kBpe, kUni}) {
    for (const std::string& text : texts) {
      Ids ids;
      EXPECT_NO_THROW(ids = Fixture(kind).encode(text, 0));
      EXPECT_EQ(ids.back(), Fixture(kind).end_id());
    }
  }
}

}  // namespace
}  // namespace quirvel::test
