// Rebuilding the keyword text out of the request's own characters.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/request_loop.h"
#include "host/utf8.h"

namespace quirvel {
namespace {

RankedCandidate Keyword(const std::string& text, std::uint64_t start, std::uint64_t end = 0) {
  RankedCandidate keyword;
  keyword.text = text;
  keyword.start = start;
  keyword.end = end;
  return keyword;
}

struct MapCase {
  const char* label;
  std::string input;
  std::string normalized;
  std::uint64_t offset;
  std::string keyword;
  std::string expected;
};

TEST(MapSpanToInputTest, TakesTheInputCharactersAtTheKeywordsPosition) {
  const MapCase cases[] = {
      {"traditional input", "臺灣手機殼", "台湾手机壳", 0, "台湾", "臺灣"},
      {"later keyword", "臺灣手機殼", "台湾手机壳", 6, "手机", "手機"},
      {"runs past the input end", "臺灣手機", "台湾手机", 6, "手机壳", "手機"},
      {"offset inside a character", "臺灣手機", "台湾手机", 1, "湾", "灣"},
      {"offset beyond the title", "臺灣", "台湾", 9, "台湾", "台湾"},
      {"empty input title", "", "台湾", 0, "台湾", "台湾"},
      {"ascii", "iPhone 15", "iPhone 15", 7, "15", "15"},
      {"cut lead byte at the end", "ab\xE5", "ab\xE5", 2, "\xE5", "\xE5"},
  };
  for (const MapCase& c : cases) {
    EXPECT_EQ(MapSpanToInput(SplitUtf8Chars(c.input), c.normalized, c.offset, c.keyword), c.expected) << c.label;
  }
}

TEST(MapSpanToInputTest, AKnownSpanKeepsTheBlanksAPhraseDropped) {
  // The phrase text joins a Chinese word and an ASCII word without the title's blank.
  const std::string input = "保溫杯 500ml 保冷";
  const std::string normalized = "保温杯 500ml 保冷";
  const auto chars = SplitUtf8Chars(input);
  EXPECT_EQ(MapSpanToInput(chars, normalized, 0, "保温杯500ml保冷", normalized.size()), input);
  EXPECT_EQ(MapSpanToInput(chars, normalized, 0, "保温杯500ml", 15), "保溫杯 500ml");
  // Without a span the keyword's own character count decides, and the blank costs a character.
  EXPECT_EQ(MapSpanToInput(chars, normalized, 0, "保温杯500ml"), "保溫杯 500m");
}

struct BuildCase {
  const char* label;
  std::string input;
  std::string normalized;
  std::string keyword_text;
  std::vector<RankedCandidate> ranked;
  std::int32_t max_len;
  std::string expected;
};

TEST(BuildKeywordTextTest, RebuildsWithinTheBudget) {
  const std::string title = "X100VI FUJIFILM 富士";
  const BuildCase cases[] = {
      {"ascii keywords get one blank", title, title, "X100VI FUJIFILM",
       {Keyword("X100VI", 0), Keyword("FUJIFILM", 7)}, 24, "X100VI FUJIFILM"},
      {"chinese next to ascii gets none", title, title, "富士X100VI",
       {Keyword("富士", 16), Keyword("X100VI", 0)}, 24, "富士X100VI"},
      {"too long skipped, later one fits", title, title, "X100VI FUJIFILM富士",
       {Keyword("X100VI", 0), Keyword("FUJIFILM", 7), Keyword("富士", 16)}, 9, "X100VI富士"},
      {"the blank counts toward the budget", title, title, "X100VI FUJIFILM",
       {Keyword("X100VI", 0), Keyword("FUJIFILM", 7)}, 14, "X100VI"},
      {"exactly at the budget", title, title, "X100VI FUJIFILM",
       {Keyword("X100VI", 0), Keyword("FUJIFILM", 7)}, 15, "X100VI FUJIFILM"},
      {"input script restored", "臺灣手機殼", "台湾手机壳", "台湾手机",
       {Keyword("台湾", 0), Keyword("手机", 6)}, 24, "臺灣手機"},
      {"keyword absent from the text is skipped", title, title, "富士",
       {Keyword("FUJIFILM", 7), Keyword("富士", 16)}, 24, "富士"},
      {"empty keyword is skipped", title, title, "富士", {Keyword("", 0), Keyword("富士", 16)}, 24, "富士"},
      {"character counts differ", "臺灣a", "台湾", "台湾", {Keyword("台湾", 0)}, 24, "台湾"},
      {"nothing fits", title, title, "FUJIFILM", {Keyword("FUJIFILM", 7)}, 3, "FUJIFILM"},
      {"no keywords", title, title, "X100", {}, 24, "X100"},
      {"word characters beyond letters", "a/b c.d", "a/b c.d", "a/b c.d",
       {Keyword("a/b", 0), Keyword("c.d", 4)}, 24, "a/b c.d"},
      // The parts of a chosen phrase also occur in the keyword text: they are not named again.
      {"parts of a chosen phrase", title, title, "X100VI FUJIFILM富士",
       {Keyword("X100VI FUJIFILM", 0, 15), Keyword("X100VI", 0, 6), Keyword("FUJIFILM", 7, 15), Keyword("富士", 16, 22)},
       24, "X100VI FUJIFILM富士"},
      {"a repeated keyword", title, title, "富士", {Keyword("富士", 16, 22), Keyword("富士", 16, 22)}, 24, "富士"},
      {"overlapping spans", "abcd", "abcd", "ab bc", {Keyword("ab", 0, 2), Keyword("bc", 1, 3)}, 24, "ab"},
      {"a phrase keeps the title's blanks", "保溫杯 500ml 保冷", "保温杯 500ml 保冷", "保温杯500ml保冷",
       {Keyword("保温杯500ml保冷", 0, 22), Keyword("500ml", 10, 15)}, 24, "保溫杯 500ml 保冷"},
      {"punctuation needs no blank", "a) (b", "a) (b", "a) (b", {Keyword("a)", 0), Keyword("(b", 3)}, 24, "a)(b"},
  };
  for (const BuildCase& c : cases) {
    ExtractionResult result;
    result.input_title = c.input;
    result.normalized_title = c.normalized;
    result.keyword_text = c.keyword_text;
    result.ranked = c.ranked;
    EXPECT_EQ(BuildKeywordText(result, c.max_len), c.expected) << c.label;
  }
}

TEST(FitToBudgetTest, CutsOnlyTextsThatGrewPastTheLimit) {
  const struct {
    std::string text;
    std::int32_t max_len;
    std::string expected;
  } cases[] = {
      {"筆記型電腦 16GB", 10, "筆記型電腦 16GB"},
      {"筆記型電腦 16GB", 9, "筆記型電腦 16G"},
      {"筆記型電腦 16GB", 6, "筆記型電腦"},  // no trailing blank
      {"高畫質", 2, "高畫"},
      {"", 5, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FitToBudget(c.text, c.max_len), c.expected) << c.text << " " << c.max_len;
}

}  // namespace
}  // namespace quirvel
