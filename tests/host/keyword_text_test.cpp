// Rebuilding the keyword text out of the request's own characters.
#include "host/keyword_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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
  std::uint64_t end;
  std::string keyword;
  std::string expected;
};

TEST(MapSpanToInputTest, TakesTheRequestsCharacterForEachKeywordCharacter) {
  const MapCase cases[] = {
      {"traditional input", "臺灣手機殼", "台湾手机壳", 0, 6, "台湾", "臺灣"},
      {"later keyword", "臺灣手機殼", "台湾手机壳", 6, 12, "手机", "手機"},
      {"no span: walks to the end of the title", "臺灣手機殼", "台湾手机壳", 6, 0, "手机", "手機"},
      {"offset inside a character", "臺灣手機", "台湾手机", 1, 0, "湾", "灣"},
      {"offset beyond the title", "臺灣", "台湾", 9, 0, "台湾", "台湾"},
      {"empty input title", "", "台湾", 0, 0, "台湾", "台湾"},
      {"ascii", "iPhone 15", "iPhone 15", 7, 9, "15", "15"},
      {"cut lead byte at the end", "ab\xE5", "ab\xE5", 2, 3, "\xE5", "\xE5"},
      // A character the span lacks stays the keyword's own, so the count holds.
      {"keyword runs past the title", "臺灣手機", "台湾手机", 6, 0, "手机壳", "手機壳"},
      // Between the words of a phrase the title may hold separators: not copied.
      {"blank between chinese words", "大雪山農場 山苦瓜茶", "大雪山农场 山苦瓜茶", 0, 28,
       "大雪山农场山苦瓜茶", "大雪山農場山苦瓜茶"},
      {"symbols between words", "顯瘦★熱褲", "显瘦★热裤", 0, 15, "显瘦热裤", "顯瘦熱褲"},
      {"brackets between words", "黑*(平行輸入)", "黑*(平行输入)", 4, 16, "平行输入", "平行輸入"},
      {"chinese next to ascii across a blank", "保溫杯 500ml", "保温杯 500ml", 0, 15, "保温杯500ml",
       "保溫杯500ml"},
      // The join's blank between two ASCII words stands for the title's blank...
      {"two ascii words with a blank", "X100VI  FUJIFILM", "X100VI  FUJIFILM", 0, 16, "X100VI FUJIFILM",
       "X100VI FUJIFILM"},
      // ...and stays one blank where the title has none.
      {"two ascii words without a blank", "X100VI,FUJIFILM", "X100VI,FUJIFILM", 0, 15, "X100VI FUJIFILM",
       "X100VI FUJIFILM"},
      {"three ascii words", "iPhone15,Pro 256GB", "iPhone15,Pro 256GB", 0, 18, "iPhone15 Pro 256GB",
       "iPhone15 Pro 256GB"},
      // A phrase over a repeated word the segments dropped skips the repeat.
      {"dropped repeat", "紅色外套 紅色 長版外套", "红色外套 红色 长版外套", 0, 0, "红色外套长版",
       "紅色外套長版"},
      {"repeat between two words", "手機殼 透明 手機殼 防摔", "手机壳 透明 手机壳 防摔", 10, 32, "透明防摔",
       "透明防摔"},
  };
  for (const MapCase& c : cases) {
    EXPECT_EQ(MapSpanToInput(SplitUtf8Chars(c.input), c.normalized, c.offset, c.keyword, c.end), c.expected)
        << c.label;
  }
}

struct BuildCase {
  const char* label;
  std::string input;
  std::string normalized;
  std::string keyword_text;
  std::vector<RankedCandidate> ranked;
  std::vector<std::size_t> chosen;
  std::int32_t max_len;
  std::string expected;
};

TEST(BuildKeywordTextTest, RebuildsTheChosenKeywordsInTheirOrder) {
  const std::string title = "X100VI FUJIFILM 富士";
  const BuildCase cases[] = {
      {"ascii keywords get one blank",
       title,
       title,
       "X100VI FUJIFILM",
       {Keyword("X100VI", 0, 6), Keyword("FUJIFILM", 7, 15)},
       {0, 1},
       24,
       "X100VI FUJIFILM"},
      {"chinese next to ascii gets none",
       title,
       title,
       "富士X100VI",
       {Keyword("富士", 16, 22), Keyword("X100VI", 0, 6)},
       {0, 1},
       24,
       "富士X100VI"},
      {"the chosen order, not the ranked one",
       title,
       title,
       "FUJIFILM富士",
       {Keyword("X100VI FUJIFILM 富士", 0, 22), Keyword("FUJIFILM", 7, 15), Keyword("富士", 16, 22)},
       {1, 2},
       24,
       "FUJIFILM富士"},
      {"the blank counts toward the budget",
       title,
       title,
       "X100VI FUJIFILM",
       {Keyword("X100VI", 0, 6), Keyword("FUJIFILM", 7, 15)},
       {0, 1},
       14,
       "X100VI"},
      {"exactly at the budget",
       title,
       title,
       "X100VI FUJIFILM",
       {Keyword("X100VI", 0, 6), Keyword("FUJIFILM", 7, 15)},
       {0, 1},
       15,
       "X100VI FUJIFILM"},
      {"input script restored",
       "臺灣手機殼",
       "台湾手机壳",
       "台湾手机",
       {Keyword("台湾", 0, 6), Keyword("手机", 6, 12)},
       {0, 1},
       24,
       "臺灣手機"},
      {"character counts differ", "臺灣a", "台湾", "台湾", {Keyword("台湾", 0, 6)}, {0}, 24, "台湾"},
      {"nothing chosen keeps the model's text",
       title,
       title,
       "X100",
       {Keyword("X100VI", 0, 6)},
       {},
       24,
       "X100"},
      {"nothing fits keeps the model's text",
       title,
       title,
       "FUJIFILM",
       {Keyword("FUJIFILM", 7, 15)},
       {0},
       3,
       "FUJIFILM"},
      {"an index past the list is ignored",
       title,
       title,
       "富士",
       {Keyword("富士", 16, 22)},
       {5, 0},
       24,
       "富士"},
      {"word characters beyond letters",
       "a/b c.d",
       "a/b c.d",
       "a/b c.d",
       {Keyword("a/b", 0, 3), Keyword("c.d", 4, 7)},
       {0, 1},
       24,
       "a/b c.d"},
      // The blank is decided on the model's texts, as its join decided it.
      {"punctuation needs no blank",
       "a) (b",
       "a) (b",
       "a)(b",
       {Keyword("a)", 0, 2), Keyword("(b", 3, 5)},
       {0, 1},
       24,
       "a)(b"},
      {"a phrase drops the title's separators",
       "FUJIFILM 富士 X100VI黑*(平行輸入)",
       "FUJIFILM 富士 X100VI黑*(平行输入)",
       "FUJIFILM富士X100VI黑",
       {Keyword("FUJIFILM富士X100VI黑", 0, 25)},
       {0},
       24,
       "FUJIFILM富士X100VI黑"},
  };
  for (const BuildCase& c : cases) {
    ExtractionResult result;
    result.input_title = c.input;
    result.normalized_title = c.normalized;
    result.keyword_text = c.keyword_text;
    result.ranked = c.ranked;
    result.chosen = c.chosen;
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
  for (const auto& c : cases)
    EXPECT_EQ(FitToBudget(c.text, c.max_len), c.expected) << c.text << " " << c.max_len;
}

}  // namespace
}  // namespace quirvel
