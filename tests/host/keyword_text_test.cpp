// Walking a keyword of the normalized title back onto the request's own characters.
#include "host/keyword_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/utf8.h"

namespace quirvel {
namespace {

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

}  // namespace
}  // namespace quirvel
