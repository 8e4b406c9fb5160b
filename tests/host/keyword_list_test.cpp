// The reply's keyword list: splitting a text converted as a whole among its
// keywords, cutting the list to the budget, and the spans it reports.
#include "host/keyword_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quirvel {
namespace {

constexpr std::size_t kNone = kNotFromRequest;

std::string Joined(const std::vector<std::string>& texts) {
  std::vector<ReplyKeyword> list;
  for (const std::string& text : texts) list.push_back({text, {}, 0.0f, ""});
  return JoinReplyKeywords(list);
}

TEST(SplitLikePiecesTest, GivesEachKeywordItsShareAndJoinsBackToTheWhole) {
  const struct {
    const char* label;
    std::string whole;
    std::vector<std::string> pieces;
    std::vector<std::string> expected;
  } cases[] = {
      {"pieces already join to the whole",
       "Apple iPhone手機殼",
       {"Apple", "iPhone", "手機殼"},
       {"Apple", "iPhone", "手機殼"}},
      // A phrase of the converter across two keywords converts differently as a whole.
      {"conversion across the boundary", "防水錶帶", {"防水", "表帶"}, {"防水", "錶帶"}},
      {"a lengthened word: the last keyword takes the rest",
       "隨身碟128GB",
       {"U盤", "128GB"},
       {"隨身", "碟128GB"}},
      {"a boundary never falls inside an ASCII word", "X100VI 富士", {"X100", "VI富士"}, {"X100VI", " 富士"}},
      {"the join's blank stays between the texts",
       "Pro Max手機殼",
       {"Pro", "Max手机壳"},
       {"Pro", "Max手機殼"}},
      {"a whole shorter than the pieces", "富士", {"富士山", "雪景"}, {"富士", ""}},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> texts = SplitLikePieces(c.whole, c.pieces);
    EXPECT_EQ(texts, c.expected) << c.label;
    EXPECT_EQ(Joined(texts), c.whole) << c.label;
  }
}

ReplyKeyword Entry(const std::string& text, std::vector<std::size_t> sources) {
  return {text, std::move(sources), 0.5f, "token"};
}

TEST(CutToBudgetTest, CutsTheListAsTheJoinedTextIsCut) {
  const std::vector<ReplyKeyword> console = {Entry("Switch", {0, 1, 2, 3, 4, 5}),
                                             Entry("OLED", {7, 8, 9, 10}), Entry("主機", {12, 13})};
  const struct {
    const char* label;
    std::vector<ReplyKeyword> list;
    std::int32_t max_len;
    std::vector<std::string> texts;
    std::vector<std::size_t> last_sources;
  } cases[] = {
      {"everything fits", console, 13, {"Switch", "OLED", "主機"}, {12, 13}},
      {"the last keyword is cut", console, 12, {"Switch", "OLED", "主"}, {12}},
      {"a keyword cut after the join's blank", console, 8, {"Switch", "O"}, {7}},
      {"only the join's blank would fit: dropped", console, 7, {"Switch"}, {0, 1, 2, 3, 4, 5}},
      {"the first keyword is cut", console, 3, {"Swi"}, {0, 1, 2}},
      {"a cut at a phrase's blank leaves no blank",
       {Entry("iPhone15 Pro", {0, 1, 2, 3, 4, 5, 6, 7, kNone, 9, 10, 11})},
       9,
       {"iPhone15"},
       {0, 1, 2, 3, 4, 5, 6, 7}},
      {"an empty text is no keyword",
       {Entry("", {}), Entry("富士", {kNone, kNone})},
       24,
       {"富士"},
       {kNone, kNone}},
      {"no budget", console, 0, {}, {}},
  };
  for (const auto& c : cases) {
    const std::vector<ReplyKeyword> cut = CutToBudget(c.list, c.max_len);
    std::vector<std::string> texts;
    for (const ReplyKeyword& keyword : cut) texts.push_back(keyword.text);
    EXPECT_EQ(texts, c.texts) << c.label;
    if (!cut.empty()) {
      EXPECT_EQ(cut.back().sources, c.last_sources) << c.label;
    }
    EXPECT_EQ(JoinReplyKeywords(cut), FitToBudget(JoinReplyKeywords(c.list), c.max_len)) << c.label;
  }
}

TEST(SpanOfSourcesTest, CoversTheRequestCharactersBehindTheText) {
  const CharSpan phrase = SpanOfSources({3, 4, kNone, 7});
  EXPECT_TRUE(phrase.mapped);
  EXPECT_EQ(phrase.start, 3u);
  EXPECT_EQ(phrase.end, 8u);
  EXPECT_FALSE(SpanOfSources({kNone, kNone}).mapped);
  EXPECT_FALSE(SpanOfSources({}).mapped);
}

}  // namespace
}  // namespace quirvel
