// The quality benchmark's scoring on tiny hand-made titles: answer sets from
// spans, leading characters and greedy peer words; coverage and the figures.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/quality/answers.h"
#include "bench/quality/figures.h"

namespace quirvel::quality {
namespace {

// An answer as one mark per title character: 'x' in the answer, '.' not.
std::string Marks(const Answer& answer) {
  std::string marks;
  for (bool in : answer) marks += in ? 'x' : '.';
  return marks;
}

Answer FromMarks(const std::string& marks) {
  Answer answer;
  for (char mark : marks) answer.push_back(mark == 'x');
  return answer;
}

struct BlankCase {
  const char* text;
  bool blank;
};

class BlankTest : public ::testing::TestWithParam<BlankCase> {};

TEST_P(BlankTest, KnowsWhiteSpaceOfEveryKind) { EXPECT_EQ(IsBlankChar(GetParam().text), GetParam().blank); }

INSTANTIATE_TEST_SUITE_P(Chars, BlankTest,
                         ::testing::Values(BlankCase{" ", true}, BlankCase{"\u3000", true}, BlankCase{"\u00a0", true},
                                           BlankCase{"長", false}, BlankCase{"\xff", false}, BlankCase{"", false}));

struct LeadingCase {
  const char* title;
  size_t max_len;
  const char* marks;
};

void PrintTo(const LeadingCase& c, std::ostream* os) { *os << c.title << " @" << c.max_len; }

class LeadingCharsTest : public ::testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingCharsTest, TakesTheFirstNonBlankCharacters) {
  EXPECT_EQ(Marks(LeadingCharsAnswer(TitleChars(GetParam().title), GetParam().max_len)), GetParam().marks);
}

INSTANTIATE_TEST_SUITE_P(Titles, LeadingCharsTest,
                         ::testing::Values(LeadingCase{"A B 長毛", 3, "x.x.x."},
                                           LeadingCase{"A B 長毛", 0, "......"},
                                           LeadingCase{"長\t毛\u3000貓", 2, "x.x.."},
                                           LeadingCase{"  貓砂", 1, "..x."}, LeadingCase{"", 4, ""}));

struct SpansCase {
  const char* name;
  const char* title;
  std::vector<KeywordSpan> spans;
  const char* marks;
};

void PrintTo(const SpansCase& c, std::ostream* os) { *os << c.name; }

class SpansTest : public ::testing::TestWithParam<SpansCase> {};

TEST_P(SpansTest, CoversTheNonBlankCharactersOfMappedSpans) {
  EXPECT_EQ(Marks(AnswerFromSpans(TitleChars(GetParam().title), GetParam().spans)), GetParam().marks);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SpansTest,
    ::testing::Values(
        SpansCase{"PhraseOverABlank", "後背包 防潑水", {{1, 7}}, ".xx.xxx"},
        SpansCase{"TwoKeywords", "後背包 防潑水", {{4, 7}, {0, 1}}, "x...xxx"},
        SpansCase{"NullSpansCountNothing", "後背包 防潑水", {{std::nullopt, std::nullopt}}, "......."},
        SpansCase{"NullBesideMapped", "後背包", {{std::nullopt, std::nullopt}, {2, 3}}, "..x"},
        SpansCase{"EmptySpan", "後背包", {{1, 1}}, "..."}));

TEST(SpansTest, RefusesSpansOutsideTheTitle) {
  const TitleChars title("後背包");
  EXPECT_THROW(AnswerFromSpans(title, {{0, 4}}), std::runtime_error);
  EXPECT_THROW(AnswerFromSpans(title, {{2, 1}}), std::runtime_error);
}

struct GreedyCase {
  const char* name;
  const char* title;
  const char* normalized;
  std::vector<std::string> words;
  size_t max_len;
  const char* marks;
};

void PrintTo(const GreedyCase& c, std::ostream* os) { *os << c.name; }

class GreedyWordsTest : public ::testing::TestWithParam<GreedyCase> {};

TEST_P(GreedyWordsTest, TakesWordsInRankOrderWithinTheBudget) {
  const GreedyCase& c = GetParam();
  EXPECT_EQ(Marks(GreedyWordsAnswer(TitleChars(c.title), TitleChars(c.normalized), c.words, c.max_len)),
            c.marks);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, GreedyWordsTest,
    ::testing::Values(
        GreedyCase{
            "RankOrderFillsTheBudget", "無線藍牙耳機", "无线蓝牙耳机", {"耳机", "蓝牙", "无线"}, 4, "..xxxx"},
        GreedyCase{
            "TooLongSkippedShorterTaken", "無線藍牙耳機", "无线蓝牙耳机", {"无线蓝牙", "耳机"}, 3, "....xx"},
        GreedyCase{"FirstFreeOccurrence", "貓砂盆 貓砂", "猫砂盆 猫砂", {"猫砂盆", "猫砂"}, 10, "xxx.xx"},
        GreedyCase{
            "NoFreeOccurrenceCostsNothing", "貓砂盆 大", "猫砂盆 大", {"猫砂盆", "猫砂", "大"}, 4, "xxx.x"},
        GreedyCase{"WordNotInTitleSkipped", "貓砂盆", "猫砂盆", {"狗", "盆"}, 1, "..x"},
        GreedyCase{"BlanksInAWordCostNothing", "MAC BOOK", "MAC BOOK", {"MAC BOOK"}, 7, "xxx.xxxx"},
        GreedyCase{"LengthChangedLocatesInTheRequestTitle",
                   "無光碟機版 DA",
                   "无光驱版 DA",
                   {"光驱", "DA"},
                   10,
                   "......xx"}));

struct ParseErrorCase {
  const char* line;
  const char* message;
};

void PrintTo(const ParseErrorCase& c, std::ostream* os) { *os << c.line; }

class LabelledLineErrorTest : public ::testing::TestWithParam<ParseErrorCase> {};

TEST_P(LabelledLineErrorTest, NamesTheFault) {
  try {
    ParseLabelledTitle(GetParam().line);
    FAIL() << "accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LabelledLineErrorTest,
    ::testing::Values(
        ParseErrorCase{"{\"title\": ", "not a JSON object"},
        ParseErrorCase{R"({"title": "ab", "useful": [], "noise": []})", "missing member \"core\""},
        ParseErrorCase{R"({"title": "ab", "core": [], "useful": [], "noise": []})", "\"core\" is empty"},
        ParseErrorCase{R"({"title": "ab", "core": ["a"], "useful": [], "noise": [3]})", "non-empty string"},
        ParseErrorCase{R"({"title": "ab", "core": ["a"], "useful": ["c"], "noise": []})",
                       "term \"c\" is not in the title"}));

TEST(LabelledLineTest, ReadsTheTermsInOrder) {
  const LabelledTitle labels = ParseLabelledTitle(
      R"j({"i": 3, "title": "dyson 空氣清淨機(超值組)", "core": ["空氣清淨機", "dyson"], "useful": [], "noise": ["超值組"]})j");
  EXPECT_EQ(labels.title, "dyson 空氣清淨機(超值組)");
  EXPECT_EQ(labels.core, (std::vector<std::string>{"空氣清淨機", "dyson"}));
  EXPECT_TRUE(labels.useful.empty());
  EXPECT_EQ(labels.noise, (std::vector<std::string>{"超值組"}));
}

TEST(LabelledFileTest, SkipsBlankLinesAndNamesTheBadLine) {
  const std::string path = ::testing::TempDir() + "/quality_labels.jsonl";
  std::ofstream(path) << R"({"title": "ab", "core": ["a"], "useful": [], "noise": []})"
                      << "\n\n"
                      << R"({"title": "ab", "core": ["z"], "useful": [], "noise": []})"
                      << "\n";
  try {
    LoadLabelledTitles(path);
    FAIL() << "accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(path + ":3: "), std::string::npos) << error.what();
  }
  std::ofstream(path) << R"({"title": "ab", "core": ["a"], "useful": [], "noise": []})"
                      << "\r\n  \n";
  EXPECT_EQ(LoadLabelledTitles(path).size(), 1u);
  std::remove(path.c_str());
  EXPECT_THROW(LoadLabelledTitles(path), std::runtime_error);
}

struct CoverCase {
  const char* name;
  const char* title;
  const char* term;
  const char* marks;
  bool covered;
};

void PrintTo(const CoverCase& c, std::ostream* os) { *os << c.name; }

class CoverageTest : public ::testing::TestWithParam<CoverCase> {};

TEST_P(CoverageTest, NeedsEveryNonBlankCharacterOfOneOccurrence) {
  const CoverCase& c = GetParam();
  EXPECT_EQ(IsCovered(TitleChars(c.title), c.term, FromMarks(c.marks)), c.covered);
}

INSTANTIATE_TEST_SUITE_P(
    Terms, CoverageTest,
    ::testing::Values(CoverCase{"Whole", "耳機 藍牙", "耳機", "xx...", true},
                      CoverCase{"SecondOccurrence", "耳機 藍牙耳機", "耳機", ".....xx", true},
                      CoverCase{"HalvesOfTwoOccurrences", "耳機 藍牙耳機", "耳機", "x.....x", false},
                      CoverCase{"BlankInsideTheTermIgnored", "MAC BOOK", "MAC BOOK", "xxx.xxxx", true},
                      CoverCase{"NotInTheTitle", "MAC BOOK", "PRO", "xxx.xxxx", false}));

struct ScoreCase {
  const char* name;
  LabelledTitle labels;
  const char* marks;
  bool first_core;
  double core;
  double core_useful;
  size_t answer_chars;
  size_t labelled_chars;
  bool noise;
};

void PrintTo(const ScoreCase& c, std::ostream* os) { *os << c.name; }

class ScoreTitleTest : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(ScoreTitleTest, ScoresOneAnswer) {
  const ScoreCase& c = GetParam();
  const TitleScore score = ScoreTitle(c.labels, TitleChars(c.labels.title), FromMarks(c.marks));
  EXPECT_EQ(score.first_core_covered, c.first_core);
  EXPECT_DOUBLE_EQ(score.core_share, c.core);
  EXPECT_DOUBLE_EQ(score.core_useful_share, c.core_useful);
  EXPECT_EQ(score.answer_chars, c.answer_chars);
  EXPECT_EQ(score.labelled_answer_chars, c.labelled_chars);
  EXPECT_EQ(score.touches_noise, c.noise);
}

// 【店】貓砂 10L 免運: core 貓砂 and 10L, useful L (inside 10L), noise 店 and 免運.
const LabelledTitle kLitter{"【店】貓砂 10L 免運", {"貓砂", "10L"}, {"L"}, {"店", "免運"}};

INSTANTIATE_TEST_SUITE_P(
    Answers, ScoreTitleTest,
    ::testing::Values(
        ScoreCase{"Nothing", kLitter, "............", false, 0, 0, 0, 0, false},
        ScoreCase{"FirstCoreOnly", kLitter, "...xx.......", true, 0.5, 1.0 / 3, 2, 2, false},
        ScoreCase{"BracketsCountAgainstPrecision", kLitter, "..xxx.xxx...", true, 1, 1, 6, 5, false},
        ScoreCase{"NoiseTouchedByOneCharacter", kLitter, "...xx.xxx..x", true, 1, 1, 6, 5, true},
        ScoreCase{"NoiseInBrackets", kLitter, ".x..........", false, 0, 0, 1, 0, true},
        ScoreCase{"MarkedBlanksDoNotCount", kLitter, "...xxxxxxx..", true, 1, 1, 5, 5, false}));

TEST(ScoreTitleTest, CountsEveryOccurrenceOfATerm) {
  // Both 貓砂 are inside a core term for precision; either covers it.
  const LabelledTitle labels{"貓砂 貓砂盆", {"貓砂"}, {}, {"盆"}};
  const TitleScore score = ScoreTitle(labels, TitleChars(labels.title), FromMarks("...xx."));
  EXPECT_TRUE(score.first_core_covered);
  EXPECT_EQ(score.labelled_answer_chars, 2u);
  EXPECT_FALSE(score.touches_noise);
  EXPECT_THROW(ScoreTitle(labels, TitleChars(labels.title), FromMarks("xx")), std::invalid_argument);
}

TEST(FiguresOfTest, AveragesPerTitleAndPoolsPrecisionOverCharacters) {
  const std::vector<LabelledTitle> labels = {{"貓砂", {"貓砂"}, {}, {}}, {"免運 狗", {"狗"}, {}, {"免運"}}};
  const std::vector<TitleChars> titles = {TitleChars("貓砂"), TitleChars("免運 狗")};
  const Figures figures = FiguresOf(labels, titles, {FromMarks("xx"), FromMarks("x...")});
  EXPECT_DOUBLE_EQ(figures.core_at_1, 0.5);
  EXPECT_DOUBLE_EQ(figures.core, 0.5);
  EXPECT_DOUBLE_EQ(figures.core_useful, 0.5);
  EXPECT_DOUBLE_EQ(figures.precision, 2.0 / 3) << "pooled over characters, not the mean of 1 and 0";
  EXPECT_DOUBLE_EQ(figures.noise, 0.5);
  EXPECT_THROW(FiguresOf(labels, titles, {FromMarks("xx")}), std::invalid_argument);
}

}  // namespace
}  // namespace quirvel::quality
