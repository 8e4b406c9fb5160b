// Properties of segmentation and candidates over real product titles; skipped
// when the shared title files are absent.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/utf8.h"
#include "keywords/candidates.h"
#include "keywords/segmentation.h"
#include "test_paths.h"

namespace quirvel {
namespace {

constexpr std::size_t kTitlesPerFile = 120;

std::vector<std::string> ReadTitles(const std::filesystem::path& dir) {
  std::vector<std::string> titles;
  for (const char* name : {"tw.txt", "cn.txt", "tw_market_simplified.txt", "no_cjk.txt"}) {
    std::ifstream in(dir / name);
    std::string line;
    for (std::size_t n = 0; n < kTitlesPerFile && std::getline(in, line); ++n) titles.push_back(line);
  }
  return titles;
}

char32_t DecodeCodePoint(const std::string& ch) {
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t cp = static_cast<unsigned char>(ch[0]) & kLeadMask[ch.size()];
  for (std::size_t i = 1; i < ch.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(ch[i]) & 0x3F);
  return cp;
}

bool IsHan(char32_t cp) {
  return (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0x20000 && cp <= 0x2A6DF) || (cp >= 0x2A700 && cp <= 0x2CEAF);
}

bool IsAsciiWord(const std::string& text) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || !(std::isalnum(b) || std::string("*+-./_").find(c) != std::string::npos)) return false;
  }
  return true;
}

bool IsAllHan(const std::string& text) {
  for (const std::string& ch : SplitUtf8Chars(text)) {
    if (ch.size() < 2 || !IsHan(DecodeCodePoint(ch))) return false;
  }
  return true;
}

class RealTitlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path dir = std::filesystem::path(test::kSharedDataDir) / "titles";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no real titles in " << dir;
    ::setenv("QUIRVEL_JIEBA_DICT_DIR", test::kJiebaDictDir, 1);
    titles_ = ReadTitles(dir);
    ASSERT_GT(titles_.size(), 300u);
  }
  std::vector<std::string> titles_;
};

TEST_F(RealTitlesTest, EverySegmentIsFoundAtItsOffsetAndIsOneKind) {
  for (const std::string& title : titles_) {
    std::set<std::string> seen;
    for (const Segment& s : SegmentTitle(title)) {
      ASSERT_FALSE(s.text.empty()) << title;
      ASSERT_LE(s.offset + s.text.size(), title.size()) << title;
      EXPECT_EQ(title.compare(s.offset, s.text.size(), s.text), 0) << title << " / " << s.text;
      EXPECT_TRUE(seen.insert(s.text).second) << title << " repeats " << s.text;
      EXPECT_TRUE(IsAsciiWord(s.text) || IsAllHan(s.text)) << title << " / " << s.text;
    }
  }
}

TEST_F(RealTitlesTest, CandidatesAreShortDistinctAndInsideTheTitle) {
  for (const std::string& title : titles_) {
    std::set<std::string> seen;
    for (const Candidate& c : BuildCandidates(SegmentTitle(title))) {
      const std::size_t chars = CountUtf8Chars(c.text);
      EXPECT_TRUE(chars >= 1 && chars <= kMaxCandidateChars) << title << " / " << c.text;
      EXPECT_TRUE(seen.insert(c.text).second) << title << " repeats " << c.text;
      EXPECT_LT(c.start, c.end) << title << " / " << c.text;
      EXPECT_LE(c.end, title.size()) << title << " / " << c.text;
      if (c.kind == "token" || c.kind == "ascii_model") {
        EXPECT_EQ(title.substr(c.start, c.end - c.start), c.text) << title;
      }
    }
  }
}

}  // namespace
}  // namespace quirvel
