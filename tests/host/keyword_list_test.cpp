// The reply's texts: in the seller's script or converted, the keyword list
// split from a text converted as a whole, cut to the budget, and its spans.
#include "host/keyword_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "conversion/script_conversion.h"
#include "host/resources.h"
#include "host/utf8.h"
#include "keywords/keyword_model.h"
#include "test_paths.h"

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

// An extraction of `title` through the installed OpenCC whose join took
// `words` (written as in the title) in their order.
ExtractionResult ExtractionOf(const std::string& title, const std::vector<std::string>& words,
                              std::int32_t max_len) {
  ExtractionResult result;
  result.input_title = title;
  result.normalized_title = NormalizeScript(title);
  const std::vector<std::size_t> offsets = Utf8CharOffsets(result.normalized_title);
  for (const std::string& word : words) {
    const std::size_t first = CountUtf8Chars(title.substr(0, title.find(word)));
    const std::size_t last = first + CountUtf8Chars(word);
    RankedCandidate ranked;
    ranked.start = offsets.at(first);
    ranked.end = offsets.at(last);
    ranked.text = result.normalized_title.substr(ranked.start, ranked.end - ranked.start);
    result.ranked.push_back(ranked);
  }
  result.keyword_text = TruncateUtf8Chars(result.normalized_title, static_cast<std::size_t>(max_len));
  JoinRankedSpans(result, result.ranked, static_cast<std::size_t>(max_len));
  return result;
}

class ReplyTextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_regular_file(std::filesystem::path(test::kOpenccShareDir) / "tw2sp.json"))
      GTEST_SKIP() << "OpenCC configurations are not installed";
    ASSERT_TRUE(SetOpenccConfigPath(std::string(test::kOpenccShareDir) + "/tw2sp.json"));
    SetHostOpenccResourceDir(test::kOpenccShareDir);
  }
};

// The words s2twp rewrote in real replies: a title written in Traditional
// comes back as the seller wrote it; one written in Simplified is converted,
// as the switches convert every title.
TEST_F(ReplyTextsTest, GiveTheSellersOwnWordsUnlessTheTitleIsSimplified) {
  constexpr BackConversion kSeller = BackConversion::SellerScript;
  constexpr BackConversion kEverything = BackConversion::Everything;
  constexpr BackConversion kKeep = BackConversion::OutsideRequestCharacters;
  const struct {
    std::string title;
    std::vector<std::string> words;
    BackConversion conversion;
    std::string expected_title;
    std::string expected_keywords;
    std::int32_t max_len = 24;
  } cases[] = {
      {"泡泡面膜 原液面膜", {"泡泡面膜", "原液面膜"}, kSeller, "泡泡面膜 原液面膜", "泡泡面膜原液面膜"},
      {"泡泡面膜 原液面膜", {"泡泡面膜", "原液面膜"}, kEverything, "泡泡麵膜 原液麵膜", "泡泡麵膜原液麵膜"},
      {"無添加 數位相機", {"無添加", "數位相機"}, kSeller, "無添加 數位相機", "無添加數位相機"},
      {"無添加 數位相機", {"無添加", "數位相機"}, kEverything, "無新增 數字相機", "無新增數位相機"},
      {"循環風扇 台灣製", {"循環風扇", "台灣製"}, kSeller, "循環風扇 台灣製", "循環風扇台灣製"},
      {"循環風扇 台灣製", {"循環風扇", "台灣製"}, kEverything, "迴圈風扇 臺灣制", "迴圈風扇臺灣製"},
      {"電源適配器 髮夾", {"電源適配器", "髮夾"}, kSeller, "電源適配器 髮夾", "電源適配器髮夾"},
      {"電源適配器 髮夾", {"電源適配器", "髮夾"}, kKeep, "電源介面卡 髮夾", "電源適配器髮夾"},
      {"乾燥劑 手錶 筆記本", {"手錶", "筆記本"}, kSeller, "乾燥劑 手錶 筆記本", "手錶筆記本"},
      // Written in Simplified: converted, as by the switch; kept only under --keep-request-characters.
      {"泡泡面膜 无添加 台湾制", {"无添加", "台湾制"}, kSeller, "泡泡麵膜 無新增 臺灣制", "無新增臺灣制"},
      {"泡泡面膜 无添加 台湾制", {"无添加", "台湾制"}, kEverything, "泡泡麵膜 無新增 臺灣制", "無新增臺灣制"},
      {"泡泡面膜 无添加 台湾制", {"无添加", "台湾制"}, kKeep, "泡泡麵膜 無新增 臺灣制", "无添加台湾制"},
      // Mixed: 台 is Taiwan's too, so the title's Traditional characters win...
      {"台灣公司貨 中文鍵盤", {"台灣公司貨", "中文鍵盤"}, kSeller, "台灣公司貨 中文鍵盤", "台灣公司貨中文鍵盤"},
      {"台灣公司貨 中文鍵盤", {"台灣公司貨", "中文鍵盤"}, kEverything, "臺灣公司貨 中文鍵盤", "臺灣公司貨中文鍵盤"},
      // ...and a Simplified title holding one Traditional character is converted.
      {"LIANG 铝合金 桌上型 LED台灯", {"铝合金", "LED台灯"}, kSeller, "LIANG 鋁合金 桌面型 LED檯燈",
       "鋁合金LED檯燈"},
      // Nothing chosen: the start of the title, in the seller's characters.
      {"數位相機", {}, kSeller, "數位相機", "數位相", 3},
      {"數位相機", {}, kEverything, "數字相機", "數字相", 3},
  };
  // Converters opened per reply convert both ways at once; kept ones choose
  // the way first from the characters they remember.
  for (const bool keep_converters : {false, true}) {
    std::optional<KeptConverters> kept;
    if (keep_converters) kept.emplace();
    for (const auto& c : cases) {
      const ReplyTexts texts =
          BuildReplyTexts(ExtractionOf(c.title, c.words, c.max_len), c.max_len, c.conversion, 0);
      EXPECT_EQ(texts.title, c.expected_title) << c.title << (keep_converters ? " (kept)" : "");
      EXPECT_EQ(texts.keywords, c.expected_keywords) << c.title << (keep_converters ? " (kept)" : "");
    }
  }
}

// The keyword list holds the keywords of the text, with the request
// characters each stands on; "ranked" gives the best candidates the same way.
TEST_F(ReplyTextsTest, ListAndRankedPointAtTheSellersCharacters) {
  const ExtractionResult result = ExtractionOf("FUJIFILM 富士 X100VI 數位相機", {"數位相機", "X100VI", "FUJIFILM"}, 24);
  for (const BackConversion conversion : {BackConversion::SellerScript, BackConversion::Everything}) {
    const ReplyTexts texts = BuildReplyTexts(result, 24, conversion, 2);
    ASSERT_EQ(texts.list.size(), 3u);
    EXPECT_EQ(JoinReplyKeywords(texts.list), texts.keywords);
    EXPECT_EQ(texts.list[1].text, "X100VI");
    EXPECT_EQ(texts.list[2].sources, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(texts.ranked.size(), 2u);
    EXPECT_EQ(texts.ranked[0].sources, (std::vector<std::size_t>{19, 20, 21, 22}));
  }
  const ReplyTexts seller = BuildReplyTexts(result, 24, BackConversion::SellerScript, 2);
  EXPECT_EQ(seller.keywords, "數位相機X100VI FUJIFILM");
  EXPECT_EQ(seller.ranked[0].text, "數位相機");
}

}  // namespace
}  // namespace quirvel
