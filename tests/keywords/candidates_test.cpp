#include "keywords/candidates.h"

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace quirvel {
namespace {

// text, start, end, kind
using Row = std::tuple<std::string, std::uint64_t, std::uint64_t, std::string>;

std::vector<Row> AsRows(const std::vector<Candidate>& candidates) {
  std::vector<Row> rows;
  for (const Candidate& c : candidates) rows.emplace_back(c.text, c.start, c.end, c.kind);
  return rows;
}

// Segments laid out as in a title with one blank between neighbours.
std::vector<Segment> Spaced(const std::vector<std::string>& texts) {
  std::vector<Segment> segments;
  std::uint64_t offset = 0;
  for (const std::string& text : texts) {
    segments.push_back({text, offset});
    offset += text.size() + 1;
  }
  return segments;
}

struct BuildCase {
  const char* name;
  std::vector<Segment> segments;
  std::vector<Row> candidates;
};

TEST(BuildCandidatesTest, TokensThenPhrasesByStartAndWindow) {
  const std::string long_run(25, 'x');
  const std::string limit_run(24, 'y');
  const BuildCase cases[] = {
      {"ascii words become model tokens joined by one blank",
       Spaced({"iPhone15", "Pro", "256GB"}),
       {{"iPhone15", 0, 8, "ascii_model"},
        {"Pro", 9, 12, "ascii_model"},
        {"256GB", 13, 18, "ascii_model"},
        {"iPhone15 Pro", 0, 12, "phrase2"},
        {"iPhone15 Pro 256GB", 0, 18, "phrase3"},
        {"Pro 256GB", 9, 18, "phrase2"}}},
      {"han and ascii join without a blank",
       {{"华为", 0}, {"128GB", 6}, {"手机", 11}},
       {{"华为", 0, 6, "token"},
        {"128GB", 6, 11, "ascii_model"},
        {"手机", 11, 17, "token"},
        {"华为128GB", 0, 11, "phrase2"},
        {"华为128GB手机", 0, 17, "phrase3"},
        {"128GB手机", 6, 17, "phrase2"}}},
      {"star only segment is a token and takes no blank",
       {{"128GB", 0}, {"***", 6}},
       {{"128GB", 0, 5, "ascii_model"}, {"***", 6, 9, "token"}, {"128GB***", 0, 9, "phrase2"}}},
      {"phrase span covers a repeated word left out of its text",
       {{"红色", 0}, {"手机", 7}, {"外壳", 21}},
       {{"红色", 0, 6, "token"},
        {"手机", 7, 13, "token"},
        {"外壳", 21, 27, "token"},
        {"红色手机", 0, 13, "phrase2"},
        {"红色手机外壳", 0, 27, "phrase3"},
        {"手机外壳", 7, 27, "phrase2"}}},
      {"a segment over 24 characters stops every window that reaches it",
       Spaced({"A", long_run, "B"}),
       {{"A", 0, 1, "ascii_model"}, {"B", 28, 29, "ascii_model"}}},
      {"a segment of 24 characters is a candidate", Spaced({limit_run}), {{limit_run, 0, 24, "ascii_model"}}},
      {"phrases over 24 characters are dropped at every window",
       Spaced({"一二三四五六七八九十一二三", "一二三四五六七八九十一二四", "一"}),
       {{"一二三四五六七八九十一二三", 0, 39, "token"},
        {"一二三四五六七八九十一二四", 40, 79, "token"},
        {"一", 80, 83, "token"},
        {"一二三四五六七八九十一二四一", 40, 83, "phrase2"}}},
      {"the first text added wins whatever its kind",
       {{"华为", 0}, {"手机", 6}, {"华为手机", 20}},
       {{"华为", 0, 6, "token"},
        {"手机", 6, 12, "token"},
        {"华为手机", 20, 32, "token"},
        {"华为手机华为手机", 0, 32, "phrase3"},
        {"手机华为手机", 6, 32, "phrase2"}}},
  };
  for (const BuildCase& c : cases) {
    EXPECT_EQ(AsRows(BuildCandidates(c.segments)), c.candidates) << c.name;
  }
}

TEST(BuildCandidatesTest, WindowsStopAtFourSegments) {
  const auto candidates = BuildCandidates(Spaced({"a", "b", "c", "d", "e"}));
  std::vector<std::string> kinds_from_zero;
  for (const Candidate& c : candidates) {
    if (c.start == 0 && c.kind != "ascii_model") kinds_from_zero.push_back(c.kind);
  }
  EXPECT_EQ(kinds_from_zero, (std::vector<std::string>{"phrase2", "phrase3", "phrase4"}));
  EXPECT_EQ(candidates.size(), 5u + 3u + 3u + 2u + 1u);  // tokens, then phrases from each start
}

TEST(BuildTokenCandidatesTest, OneTokenPerSegmentAndNoPhrases) {
  const std::string long_run(25, 'x');
  const auto segments = Spaced({"iPhone15", long_run, "手机", "***"});
  EXPECT_EQ(
      AsRows(BuildTokenCandidates(segments)),
      (std::vector<Row>{{"iPhone15", 0, 8, "token"}, {"手机", 35, 41, "token"}, {"***", 42, 45, "token"}}));
}

TEST(AddCandidateTest, RefusesEmptyTooLongAndRepeatedTexts) {
  std::vector<Candidate> list;
  AddCandidate(list, "", 0, 0, "token");
  AddCandidate(list, std::string(25, 'z'), 0, 25, "token");
  AddCandidate(list, "手机", 0, 6, "token");
  AddCandidate(list, "手机", 7, 13, "phrase2");
  AddCandidate(list, std::string(24, 'z'), 0, 24, "token");
  EXPECT_EQ(AsRows(list),
            (std::vector<Row>{{"手机", 0, 6, "token"}, {std::string(24, 'z'), 0, 24, "token"}}));
}

}  // namespace
}  // namespace quirvel
