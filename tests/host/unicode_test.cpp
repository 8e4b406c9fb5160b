#include "host/unicode.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "host/word_join.h"

namespace quirvel {
namespace {

struct Utf8Case {
  const char* text;
  bool valid;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.text)); }

class IsValidUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(IsValidUtf8Test, StrictDecoding) {
  EXPECT_EQ(IsValidUtf8(GetParam().text), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Sequences, IsValidUtf8Test,
                         ::testing::Values(Utf8Case{"", true}, Utf8Case{"model.onnx", true},
                                           Utf8Case{"/模型/model.onnx", true},
                                           Utf8Case{"\xF0\x9F\x98\x80", true},
                                           Utf8Case{"\xC0\xAF", false},          // overlong "/"
                                           Utf8Case{"\xE0\x80\xAF", false},      // overlong
                                           Utf8Case{"\xED\xA0\x80", false},      // surrogate
                                           Utf8Case{"\xF4\x90\x80\x80", false},  // above U+10FFFF
                                           Utf8Case{"\xE6\xA8", false},          // cut short
                                           Utf8Case{"\x80", false}, Utf8Case{"a\xFF", false}));

TEST(DecodeUtf8AtTest, DecodesOneCharacterAndItsLength) {
  const std::string text = "a手\xF0\xA0\x80\x80\xE6";
  EXPECT_EQ(DecodeUtf8At(text, 0).code_point, U'a');
  EXPECT_EQ(DecodeUtf8At(text, 1).code_point, U'手');
  EXPECT_EQ(DecodeUtf8At(text, 1).length, 3u);
  EXPECT_EQ(DecodeUtf8At(text, 4).code_point, U'\U00020000');
  EXPECT_EQ(DecodeUtf8At(text, 4).length, 4u);
  EXPECT_EQ(DecodeUtf8At(text, 2).length, 0u) << "a continuation byte starts nothing";
  EXPECT_EQ(DecodeUtf8At(text, 8).length, 0u) << "a lead byte cut by the end";
  EXPECT_EQ(DecodeUtf8At(text, 9).length, 0u) << "past the end";
}

TEST(AppendUtf8Test, RoundTripsEveryLengthOfEncoding) {
  for (const char32_t code_point :
       {U'\x7F', U'\x80', U'\u07FF', U'\u0800', U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
    std::string text;
    AppendUtf8(text, code_point);
    const DecodedChar decoded = DecodeUtf8At(text, 0);
    EXPECT_EQ(decoded.code_point, code_point);
    EXPECT_EQ(decoded.length, text.size());
  }
}

TEST(IsHanCodePointTest, CoversTheUnifiedIdeographsAndTheirExtensionsOnly) {
  for (const char32_t han : {U'\u3400', U'\u4DBF', U'\u4E00', U'\u9FFF', U'\uF900', U'\uFAFF', U'\U00020000',
                             U'\U0002A6DF', U'\U0002A700', U'\U0002CEAF'})
    EXPECT_TRUE(IsHanCodePoint(han)) << static_cast<unsigned>(han);
  for (const char32_t other :
       {U'A', U'\u33FF', U'\u4DC0', U'\uA000', U'\uFF01', U'\U0002A6E0', U'\U0002CEB0'})
    EXPECT_FALSE(IsHanCodePoint(other)) << static_cast<unsigned>(other);
}

TEST(NeedsJoinBlankTest, OnlyBetweenTwoAsciiWordCharacters) {
  const struct {
    const char* left;
    const char* right;
    bool blank;
  } cases[] = {
      {"iPhone15", "Pro", true}, {"256GB", "/黑", true}, {"a_", "-b", true},       {"富士", "X100", false},
      {"X100", "富士", false},   {"a)", "b", false},     {"a", "(b", false},       {"", "a", false},
      {"a", "", false},          {"a*", "b", false},     {"a", "\xC3\xA9", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NeedsJoinBlank(c.left, c.right), c.blank) << c.left << "|" << c.right;
    std::string joined = c.left;
    AppendJoined(joined, c.right);
    EXPECT_EQ(joined, std::string(c.left) + (c.blank ? " " : "") + c.right);
  }
}

}  // namespace
}  // namespace quirvel
