#include "host/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quirvel {
namespace {

struct SplitCase {
  const char* name;
  std::string text;
  std::vector<std::string> chars;
};

class SplitUtf8CharsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitUtf8CharsTest, SplitsByLeadByteAndRejoinsToTheText) {
  const SplitCase& c = GetParam();
  const std::vector<std::string> chars = SplitUtf8Chars(c.text);
  EXPECT_EQ(chars, c.chars);
  EXPECT_EQ(CountUtf8Chars(c.text), c.chars.size());
  std::string joined;
  std::vector<std::size_t> offsets;
  for (const auto& ch : chars) {
    offsets.push_back(joined.size());
    joined += ch;
  }
  EXPECT_EQ(joined, c.text);
  offsets.push_back(c.text.size());
  EXPECT_EQ(Utf8CharOffsets(c.text), offsets);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitUtf8CharsTest,
    ::testing::Values(SplitCase{"empty", "", {}}, SplitCase{"ascii", "a1 ", {"a", "1", " "}},
                      SplitCase{"three_cjk",
                                "\xE6\x89\x8B\xE6\x9C\xBA\xE5\xA3\xB3",
                                {"\xE6\x89\x8B", "\xE6\x9C\xBA", "\xE5\xA3\xB3"}},
                      SplitCase{"two_byte", "caf\xC3\xA9", {"c", "a", "f", "\xC3\xA9"}},
                      SplitCase{"four_byte_emoji", "\xF0\x9F\x98\x80!", {"\xF0\x9F\x98\x80", "!"}},
                      SplitCase{"lone_continuation",
                                "\x80"
                                "a",
                                {"\x80", "a"}},
                      SplitCase{"f8_to_ff_are_single", "\xF8\xFF", {"\xF8", "\xFF"}},
                      // The lead byte announces 3 bytes but only 2 remain: each byte stands alone.
                      SplitCase{"three_byte_lead_cut_at_end", "a\xE6\x89", {"a", "\xE6", "\x89"}},
                      SplitCase{"four_byte_lead_cut_at_end", "\xF0\x9F\x98", {"\xF0", "\x9F", "\x98"}},
                      // Continuation bytes are not checked: the lead byte alone decides the length.
                      SplitCase{"unchecked_continuation",
                                "\xE6"
                                "ab",
                                {"\xE6"
                                 "ab"}},
                      SplitCase{"two_byte_lead_last", "x\xC3", {"x", "\xC3"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(TruncateUtf8CharsTest, NeverCutsInsideACharacter) {
  const std::string title =
      "\xE6\x89\x8B\xE6\x9C\xBA"
      "ab";  // 2 CJK + 2 ASCII
  EXPECT_EQ(TruncateUtf8Chars(title, 0), "");
  EXPECT_EQ(TruncateUtf8Chars(title, 1), "\xE6\x89\x8B");
  EXPECT_EQ(TruncateUtf8Chars(title, 3),
            "\xE6\x89\x8B\xE6\x9C\xBA"
            "a");
  EXPECT_EQ(TruncateUtf8Chars(title, 4), title);
  EXPECT_EQ(TruncateUtf8Chars(title, 100), title);
  EXPECT_EQ(TruncateUtf8Chars("", 5), "");
}

TEST(TruncateUtf8CharsTest, CountsACutLeadByteAsOneCharacter) {
  EXPECT_EQ(TruncateUtf8Chars("a\xE6\x89", 2), "a\xE6");
}

TEST(IsWordCharTest, AcceptsAlnumAndFiveMarksOnly) {
  for (unsigned char b : std::string("AZaz09+-./_")) EXPECT_TRUE(IsWordChar(b)) << b;
  for (unsigned char b : std::string(" #*@,:;()\t\x7F")) EXPECT_FALSE(IsWordChar(b)) << int(b);
  for (int b = 0x80; b <= 0xFF; ++b) EXPECT_FALSE(IsWordChar(static_cast<unsigned char>(b))) << b;
}

TEST(IsAsciiAlnumTest, AcceptsLettersAndDigitsOnly) {
  for (int b = 0; b <= 0xFF; ++b) {
    const bool alnum = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    EXPECT_EQ(IsAsciiAlnum(static_cast<unsigned char>(b)), alnum) << b;
    if (alnum) {
      EXPECT_TRUE(IsWordChar(static_cast<unsigned char>(b))) << b;
    }
  }
}

TEST(LowerAsciiTest, LowersOnlyAsciiCapitals) {
  EXPECT_EQ(LowerAscii("BGE-M3 Model.JSON"), "bge-m3 model.json");
  // UTF-8 bytes of a capital (\xC3\x89 is E with acute) and symbols stay as they are.
  EXPECT_EQ(LowerAscii("\xC3\x89T\xE6\x89\x8B@[`{"), "\xC3\x89t\xE6\x89\x8B@[`{");
  EXPECT_EQ(LowerAscii(""), "");
}

}  // namespace
}  // namespace quirvel
