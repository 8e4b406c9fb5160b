#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/keyword_text.h"
#include "keywords/keyword_model.h"

namespace quirvel {
namespace {

struct TextsCase {
  const char* name;
  std::vector<std::string> texts;
  std::size_t max_len;
  std::string expected;
};

TEST(JoinRankedTextsTest, GreedyWithinTheBudget) {
  const std::string thirty(30, 'q');
  const std::string title = "原标题文字一二三四五";
  const TextsCase cases[] = {
      {"text over the budget is skipped, later ones still join",
       {"超长" + thirty, "手机", "外壳"},
       24,
       "手机外壳"},
      {"text containing a chosen one is skipped", {"红色", "红色外壳", "外壳"}, 24, "红色外壳"},
      {"text inside a chosen one is skipped", {"红色外壳", "外壳", "手机"}, 24, "红色外壳手机"},
      {"repeated and empty texts are skipped", {"", "手机", "", "手机", "壳"}, 24, "手机壳"},
      {"two ascii words take one blank", {"iPhone15", "Pro"}, 12, "iPhone15 Pro"},
      {"the blank counts against the budget", {"iPhone15", "Pro", "X"}, 11, "iPhone15 X"},
      {"han then ascii take no blank", {"华为", "128GB"}, 7, "华为128GB"},
      {"star is not a word byte", {"***", "Pro"}, 6, "***Pro"},
      {"exact fit", {"一二三四", "五六七八"}, 8, "一二三四五六七八"},
      {"nothing chosen gives the head of the title", {thirty}, 5, "原标题文字"},
      {"empty list gives the head of the title", {}, 3, "原标题"},
      {"budget of zero", {"手机"}, 0, ""},
  };
  for (const TextsCase& c : cases) {
    EXPECT_EQ(JoinRankedTexts(c.texts, title, c.max_len), c.expected) << c.name;
  }
}

RankedCandidate Ranked(const std::string& text, std::uint64_t start, std::uint64_t end) {
  RankedCandidate r;
  r.text = text;
  r.start = start;
  r.end = end;
  return r;
}

struct SpansCase {
  const char* name;
  std::vector<RankedCandidate> ranked;
  std::size_t max_len;
  std::string expected;
  std::uint64_t expected_length;
};

TEST(JoinRankedSpansTest, SkipsOverlappingSpansAndKeepsTheFallback) {
  const SpansCase cases[] = {
      {"overlapping span is skipped though neither text holds the other",
       {Ranked("红色手机", 0, 12), Ranked("手机壳", 6, 15), Ranked("充电器", 15, 24)},
       24,
       "红色手机充电器",
       7},
      {"touching spans do not overlap", {Ranked("手机", 0, 6), Ranked("外壳", 6, 12)}, 24, "手机外壳", 4},
      {"an empty span never overlaps", {Ranked("手机", 0, 6), Ranked("外壳", 3, 3)}, 24, "手机外壳", 4},
      {"containment is tested as well", {Ranked("手机", 0, 6), Ranked("手机", 20, 26)}, 24, "手机", 2},
      {"too long is skipped, not the end",
       {Ranked("一二三四五", 0, 15), Ranked("六七", 15, 21)},
       4,
       "六七",
       2},
      {"ascii blank counts", {Ranked("iPhone15", 0, 8), Ranked("Pro", 9, 12)}, 12, "iPhone15 Pro", 12},
      {"nothing fits keeps the fallback", {Ranked("一二三四五", 0, 15)}, 4, "FALLBACK", 8},
      {"no ranked candidates keeps the fallback", {}, 4, "FALLBACK", 8},
  };
  for (const SpansCase& c : cases) {
    ExtractionResult result;
    result.keyword_text = "FALLBACK";
    result.keyword_length = 8;
    JoinRankedSpans(result, c.ranked, c.max_len);
    EXPECT_EQ(result.keyword_text, c.expected) << c.name;
    EXPECT_EQ(result.keyword_length, c.expected_length) << c.name;
  }
}

struct PlaceCase {
  const char* name;
  std::string input;
  std::string normalized;
  std::vector<RankedCandidate> ranked;
  std::size_t max_len;
  // Each chosen keyword in the request's characters, " " in front when the
  // join put a blank there.
  std::vector<std::string> expected;
};

// What the join took, as the reply is built from it: the blank it decided on
// the model's texts, and each keyword walked back onto the request's title.
TEST(JoinRankedSpansTest, RecordsEachKeywordsBlankAndPlaceInTheRequest) {
  const std::string camera = "X100VI FUJIFILM 富士";
  const PlaceCase cases[] = {
      {"ascii keywords get one blank",
       camera,
       camera,
       {Ranked("X100VI", 0, 6), Ranked("FUJIFILM", 7, 15)},
       24,
       {"X100VI", " FUJIFILM"}},
      {"chinese next to ascii gets none", camera, camera, {Ranked("富士", 16, 22), Ranked("X100VI", 0, 6)}, 24,
       {"富士", "X100VI"}},
      {"the blank counts toward the budget",
       camera,
       camera,
       {Ranked("X100VI", 0, 6), Ranked("FUJIFILM", 7, 15)},
       14,
       {"X100VI"}},
      {"the request's script", "臺灣手機殼", "台湾手机壳", {Ranked("台湾", 0, 6), Ranked("手机", 6, 12)}, 24,
       {"臺灣", "手機"}},
      {"titles that do not align keep the model's text", "臺灣a", "台湾", {Ranked("台湾", 0, 6)}, 24, {"台湾"}},
      {"punctuation needs no blank", "a) (b", "a) (b", {Ranked("a)", 0, 2), Ranked("(b", 3, 5)}, 24,
       {"a)", "(b"}},
      {"a phrase drops the title's separators",
       "FUJIFILM 富士 X100VI黑*(平行輸入)",
       "FUJIFILM 富士 X100VI黑*(平行输入)",
       {Ranked("FUJIFILM富士X100VI黑", 0, 25), Ranked("平行输入", 27, 39)},
       24,
       {"FUJIFILM富士X100VI黑", "平行輸入"}},
      {"nothing fits: nothing recorded", camera, camera, {Ranked("FUJIFILM", 7, 15)}, 3, {}},
  };
  for (const PlaceCase& c : cases) {
    ExtractionResult result;
    result.input_title = c.input;
    result.normalized_title = c.normalized;
    JoinRankedSpans(result, c.ranked, c.max_len);
    std::vector<std::string> places;
    for (const ChosenKeyword& keyword : result.chosen)
      places.push_back((keyword.blank_before ? " " : "") + JoinChars(keyword.in_request.chars));
    EXPECT_EQ(places, c.expected) << c.name;
  }
}

TEST(JoinRankedSpansTest, PointsEachCharacterAtTheRequestCharacterBehindIt) {
  ExtractionResult result;
  result.input_title = "手機殼 iPhone15 Pro";
  result.normalized_title = "手机壳 iPhone15 Pro";
  JoinRankedSpans(result, {Ranked("iPhone15 Pro", 10, 22), Ranked("手机壳", 0, 9)}, 24);
  ASSERT_EQ(result.chosen.size(), 2u);
  EXPECT_EQ(result.chosen[0].in_request.sources,
            (std::vector<std::size_t>{4, 5, 6, 7, 8, 9, 10, 11, kNotFromRequest, 13, 14, 15}));
  EXPECT_EQ(result.chosen[1].in_request.sources, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(result.chosen[1].ranked_index, 1u);
}

}  // namespace
}  // namespace quirvel
