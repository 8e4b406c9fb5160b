#include "keywords/segmentation.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/resources.h"
#include "test_paths.h"

namespace quirvel {
namespace {

using Expected = std::vector<std::pair<std::string, std::uint64_t>>;

std::vector<std::pair<std::string, std::uint64_t>> AsPairs(const std::vector<Segment>& segments) {
  Expected pairs;
  for (const Segment& s : segments) pairs.emplace_back(s.text, s.offset);
  return pairs;
}

class SegmentTitleTest : public ::testing::Test {
 protected:
  // The real dictionaries of the build tree.
  void SetUp() override { ::setenv("QUIRVEL_JIEBA_DICT_DIR", test::kJiebaDictDir, 1); }
};

struct SegmentCase {
  const char* name;
  std::string title;
  Expected segments;
};

TEST_F(SegmentTitleTest, CutsTitlesIntoSegmentsWithTheirOffsets) {
  const SegmentCase cases[] = {
      {"empty title", "", {}},
      {"blanks only separate ascii words",
       "iPhone15 Pro 256GB",
       {{"iPhone15", 0}, {"Pro", 9}, {"256GB", 13}}},
      {"word bytes include star and model punctuation", "a*b+c-d.e/f_g#h", {{"a*b+c-d.e/f_g", 0}, {"h", 14}}},
      {"star only run is a segment", "128GB ***", {{"128GB", 0}, {"***", 6}}},
      {"repeated word keeps its first occurrence",
       "红色 手机 红色 外壳",
       {{"红色", 0}, {"手机", 7}, {"外壳", 21}}},
      {"repeated ascii word keeps its first occurrence", "USB 线 USB", {{"USB", 0}, {"线", 4}}},
      {"han run whose words are all known becomes one segment",
       "苹果手机 手机苹果",
       {{"苹果", 0}, {"手机", 6}, {"手机苹果", 13}}},
      {"word inside an earlier word of the run is found after it",
       "数据线数据",
       {{"数据线", 0}, {"数据", 9}}},
      {"han next to ascii", "华为128GB手机", {{"华为", 0}, {"128GB", 6}, {"手机", 11}}},
      {"fullwidth forms, emoji and cjk punctuation separate",
       "Ｋ４手机😀充电器，数据线",
       {{"手机", 6}, {"充电器", 16}, {"数据线", 28}}},
      {"ideographic space separates", "手机\xE3\x80\x80外壳", {{"手机", 0}, {"外壳", 9}}},
      {"punctuation only", "，。！ ？", {}},
      {"invalid bytes separate", "手机\xFF\x80壳", {{"手机", 0}, {"壳", 8}}},
      {"lead byte cut by the end", "手机\xE6\x89", {{"手机", 0}}},
      {"lead byte followed by ascii does not swallow it",
       "\xE6"
       "A手机",
       {{"A", 1}, {"手机", 2}}},
      {"overlong form of a han character is not han", "\xF0\x84\xB8\x80", {}},
      {"first and last of the main han block",
       "\xE4\xB8\x80\xE9\xBF\xBF",
       {{"\xE4\xB8\x80", 0}, {"\xE9\xBF\xBF", 3}}},
      {"just outside the han blocks", "\xE4\xB7\x80\xEA\x80\x80", {}},
      {"extension b character", "\xF0\xA0\x80\x80", {{"\xF0\xA0\x80\x80", 0}}},
      {"after the last extension block", "\xF0\xAC\xBA\xB0", {}},
  };
  for (const SegmentCase& c : cases) {
    EXPECT_EQ(AsPairs(SegmentTitle(c.title)), c.segments) << c.name;
  }
}

TEST_F(SegmentTitleTest, LongAsciiRunIsOneSegment) {
  const std::string run(30, 'x');
  EXPECT_EQ(AsPairs(SegmentTitle("手机 " + run)), (Expected{{"手机", 0}, {run, 7}}));
}

TEST_F(SegmentTitleTest, FirstHanRunMarksJiebaLoaded) {
  SegmentTitle("手机");
  EXPECT_FALSE(SetJiebaDictDir(test::kJiebaDictDir));
}

TEST(AddSegmentTest, RefusesEmptyAndRepeatedTexts) {
  std::vector<Segment> list;
  AddSegment(list, "", 0);
  AddSegment(list, "手机", 3);
  AddSegment(list, "手机", 9);
  AddSegment(list, "壳", 9);
  EXPECT_EQ(AsPairs(list), (Expected{{"手机", 3}, {"壳", 9}}));
}

}  // namespace
}  // namespace quirvel
