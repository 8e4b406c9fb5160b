// Which script a seller wrote a title in: the rule on hand-made clues, then on
// titles through the installed OpenCC, as the reply judges them.
#include "conversion/seller_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "conversion/script_conversion.h"
#include "host/resources.h"
#include "test_paths.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;

TEST(FindScriptCluesTest, CountsChangedCharactersAndGathersKeptOnes) {
  const ScriptClues clues = FindScriptClues("台灣製 台中 ok", "台湾制 台中 ok");
  EXPECT_EQ(clues.traditional_only, 2u);  // 灣 and 製
  EXPECT_EQ(clues.kept, (std::vector<std::string>{"台", "中"}));
  EXPECT_EQ(clues.kept_counts, (std::vector<std::size_t>{2, 1}));
  // A phrase that changed the length: 碟 is nowhere in the normalized title.
  EXPECT_EQ(FindScriptClues("隨身碟", "U盘").traditional_only, 3u);
}

TEST(WrittenInSimplifiedTest, MoreSimplifiedThanTraditionalCharacters) {
  const struct {
    const char* label;
    ScriptClues clues;
    std::vector<std::string> kept_alone;
    bool expected;
  } cases[] = {
      {"no clue at all", {0, {}, {}}, {}, false},
      {"kept characters of both scripts", {0, {"面", "膜"}, {1, 1}}, {"面", "膜"}, false},
      {"one simplified character", {0, {"湾"}, {1}}, {"灣"}, true},
      {"a tie stays with the seller", {1, {"台"}, {1}}, {"臺"}, false},
      {"counted per occurrence", {1, {"台"}, {2}}, {"臺"}, true},
      {"a missing conversion counts as unchanged", {0, {"湾"}, {1}}, {}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(WrittenInSimplified(c.clues, c.kept_alone), c.expected) << c.label;
}

class SellerScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_regular_file(fs::path(test::kOpenccShareDir) / "tw2sp.json"))
      GTEST_SKIP() << "OpenCC configurations are not installed";
    ASSERT_TRUE(SetOpenccConfigPath(std::string(test::kOpenccShareDir) + "/tw2sp.json"));
    SetHostOpenccResourceDir(test::kOpenccShareDir);
  }

  static bool Simplified(const std::string& title) {
    const ScriptClues clues = FindScriptClues(title, NormalizeScript(title));
    std::vector<std::string> kept_alone;
    for (const std::string& ch : clues.kept) kept_alone.push_back(ToTraditional(ch));
    return WrittenInSimplified(clues, kept_alone);
  }
};

TEST_F(SellerScriptTest, JudgesRealTitlesByTheirCharacters) {
  const struct {
    const char* title;
    bool simplified;
  } cases[] = {
      // The words s2twp rewrote in Traditional replies, and the same in Simplified.
      {"泡泡面膜 原液面膜", false},
      {"無添加 乾燥劑", false},
      {"无添加 干燥剂", true},
      {"數位相機 循環風扇", false},
      {"数字相机 循环风扇", true},
      {"台灣製 電源適配器", false},
      {"台湾制 电源适配器", true},
      {"髮夾 手錶 筆記本", false},
      // 台 is Taiwan's as much as Simplified; the title's other characters decide.
      {"2016 新款 MacBook 台灣公司貨中文鍵盤", false},
      {"【淨ソ伊】水垢剋星  去污清潔劑 750g", false},
      {"LIANG 铝合金 桌上型 LED台灯", true},
      // A stray Simplified character in a Traditional title stays the seller's.
      {"苹果手機殼", false},
      {"iPhone 15 Pro 256GB", false},
  };
  for (const auto& c : cases) EXPECT_EQ(Simplified(c.title), c.simplified) << c.title;
}

}  // namespace
}  // namespace quirvel
