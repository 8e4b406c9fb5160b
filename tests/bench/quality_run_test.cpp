// The quality benchmark's run without a worker: its command line, the peers'
// answer lines, the spans of a reply, and the table, JSON and chart.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/quality/peer_words.h"
#include "bench/quality/quality_options.h"
#include "bench/quality/quality_report.h"
#include "bench/quality/worker_answers.h"

namespace quirvel::quality {
namespace {

struct SystemCase {
  const char* text;
  // "name|model|tokenizer", or the start of the error message.
  const char* expected;
};

void PrintTo(const SystemCase& c, std::ostream* os) { *os << c.text; }

std::string SystemOrError(const std::string& text) {
  try {
    const WorkerSystem system = ParseWorkerSystem(text);
    return system.name + "|" + system.model + "|" + system.tokenizer;
  } catch (const std::invalid_argument& error) {
    return error.what();
  }
}

class WorkerSystemTest : public ::testing::TestWithParam<SystemCase> {};

TEST_P(WorkerSystemTest, SplitsNameModelAndTokenizer) {
  EXPECT_EQ(SystemOrError(GetParam().text).rfind(GetParam().expected, 0), 0u)
      << SystemOrError(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, WorkerSystemTest,
    ::testing::Values(SystemCase{"demo=d/model.onnx,d/vocab.txt", "demo|d/model.onnx|d/vocab.txt"},
                      SystemCase{"my model=a,b.onnx,t.json", "my model|a,b.onnx|t.json"},
                      SystemCase{"a=b=c,t", "a|b=c|t"},
                      SystemCase{"demo", "--system: expected NAME=MODEL,TOKENIZER"},
                      SystemCase{"=m,t", "--system: expected"}, SystemCase{"n=m", "--system: expected"},
                      SystemCase{"n=,t", "--system: expected"}, SystemCase{"n=m,", "--system: expected"}));

TEST(BudgetsTest, ReadsCommaSeparatedBudgets) {
  EXPECT_EQ(ParseBudgets("24,12"), (std::vector<int>{24, 12}));
  EXPECT_EQ(ParseBudgets("8"), (std::vector<int>{8}));
  for (const char* bad : {"", "0", "24,", ",12", "a", "24;12", "1001"}) {
    EXPECT_THROW(ParseBudgets(bad), std::invalid_argument) << bad;
  }
}

TEST(QualityOptionsTest, NeedsAWorkerAndASystemAndNotesAnExplicitGold) {
  QualityOptions defaults;
  defaults.worker = "w";
  defaults.gold = "default.jsonl";
  EXPECT_THROW(ParseQualityOptions({}, defaults), std::invalid_argument);
  const QualityOptions plain = ParseQualityOptions({"--system", "a=m,t"}, defaults);
  EXPECT_FALSE(plain.gold_required);
  EXPECT_EQ(plain.budgets, (std::vector<int>{24, 12}));
  const QualityOptions options =
      ParseQualityOptions({"--system=a=m,t", "--system", "b=n,u", "--gold", "g.jsonl", "--budgets", "10",
                           "--worker-arg=--profile=bge", "--no-jieba"},
                          defaults);
  ASSERT_EQ(options.systems.size(), 2u);
  EXPECT_EQ(options.systems[1].tokenizer, "u");
  EXPECT_EQ(options.gold, "g.jsonl");
  EXPECT_TRUE(options.gold_required);
  EXPECT_EQ(options.budgets, (std::vector<int>{10}));
  EXPECT_EQ(options.worker_args, (std::vector<std::string>{"--profile=bge"}));
  EXPECT_FALSE(options.jieba_peers);
  EXPECT_TRUE(ParseQualityOptions({"--help"}, defaults).help);
}

TEST(PeerWordsTest, KeepsThePeersInTheOrderOfTheFirstLine) {
  const PeerWords words = CollectPeerWords(
      {R"({"tfidf": ["耳机", "蓝牙"], "textrank": []})", R"({"tfidf": [], "textrank": ["猫砂"]})"});
  EXPECT_EQ(words.peers, (std::vector<std::string>{"tfidf", "textrank"}));
  ASSERT_EQ(words.words.size(), 2u);
  EXPECT_EQ(words.words[0][0], (RankedWords{"耳机", "蓝牙"}));
  EXPECT_TRUE(words.words[0][1].empty());
  EXPECT_EQ(words.words[1][1], (RankedWords{"猫砂"}));
}

TEST(PeerWordsTest, NamesTheBadLine) {
  const std::vector<std::vector<std::string>> bad = {
      {R"({"tfidf": []})", "[]"},
      {R"({"tfidf": []})", R"({"tfidf": [], "textrank": []})"},
      {R"({"tfidf": [1]})"},
  };
  for (const std::vector<std::string>& lines : bad) {
    try {
      CollectPeerWords(lines);
      ADD_FAILURE() << lines.back();
    } catch (const std::runtime_error& error) {
      const std::string where = "peer line " + std::to_string(lines.size()) + ": ";
      EXPECT_EQ(std::string(error.what()).rfind(where, 0), 0u) << error.what();
    }
  }
}

TEST(PeerWordsTest, FileMustHoldOneLinePerTitle) {
  EXPECT_THROW(LoadPeerWords(::testing::TempDir() + "/no_such_peers.jsonl", 1), std::runtime_error);
}

TEST(KeywordSpansTest, ReadsNullSpansAsAbsent) {
  const std::vector<KeywordSpan> spans = KeywordSpans(
      R"({"id":"a","keyword_list":[{"end":7,"start":4,"text":"x"},{"end":null,"start":null,"text":"y"}],"ok":true})");
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0].start, 4u);
  EXPECT_EQ(spans[0].end, 7u);
  EXPECT_FALSE(spans[1].start.has_value());
  EXPECT_FALSE(spans[1].end.has_value());
  EXPECT_TRUE(KeywordSpans(R"({"keyword_list":[]})").empty());
  EXPECT_THROW(KeywordSpans(R"({"keywords":"x","ok":true})"), std::runtime_error);
  EXPECT_THROW(KeywordSpans(R"({"keyword_list":[{"start":-1,"end":2}]})"), std::runtime_error);
  EXPECT_THROW(KeywordSpans("not json"), std::runtime_error);
}

std::vector<SystemFigures> TwoSystems() {
  Figures high{0.75, 0.5, 0.25, 0.875, 0.125};
  Figures low{0.5, 0.25, 0.125, 0.5, 0.0625};
  return {{"demo", {high, low}}, {"first <chars>", {low, high}}};
}

TEST(QualityReportTest, TableHasOneRowPerSystemWithEveryBudget) {
  const std::string table = MarkdownTable({24, 12}, TwoSystems());
  EXPECT_EQ(
      table,
      "| system | core@1 24 / 12 | core 24 / 12 | core+useful 24 / 12 | precision 24 / 12 | noise 24 / 12 |\n"
      "|---|---|---|---|---|---|\n"
      "| demo | 0.750 / 0.500 | 0.500 / 0.250 | 0.250 / 0.125 | 0.875 / 0.500 | 0.125 / 0.062 |\n"
      "| first <chars> | 0.500 / 0.750 | 0.250 / 0.500 | 0.125 / 0.250 | 0.500 / 0.875 | 0.062 / 0.125 |\n");
}

TEST(QualityReportTest, JsonHoldsEveryFigureByBudget) {
  const nlohmann::json document = nlohmann::json::parse(FiguresJson("g.jsonl", 300, {24, 12}, TwoSystems()));
  EXPECT_EQ(document["titles"], 300);
  EXPECT_EQ(document["systems"][1]["name"], "first <chars>");
  EXPECT_EQ(document["systems"][0]["figures"]["12"]["noise"], 0.0625) << "unrounded, unlike the table";
}

TEST(QualityReportTest, ChartHasCoreAndNoiseBarsPerSystemAndBudget) {
  const std::string svg = CoreAndNoiseSvg({24, 12}, TwoSystems());
  size_t rects = 0;
  for (size_t at = svg.find("<rect x="); at != std::string::npos; at = svg.find("<rect x=", at + 1)) ++rects;
  EXPECT_EQ(rects, 2u * 4u + 4u) << "four bars per system and four legend boxes";
  EXPECT_NE(svg.find("first &lt;chars&gt;"), std::string::npos);
  EXPECT_NE(svg.find(">noise at 12<"), std::string::npos);
  EXPECT_NE(svg.find(">0.06<"), std::string::npos) << "noise at 12 of the first system";
}

}  // namespace
}  // namespace quirvel::quality
