// Script conversion on the installed OpenCC. Each test runs in its own process,
// so the one-time choice of the normalisation configuration starts fresh.
#include "conversion/script_conversion.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/resources.h"
#include "test_paths.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;

bool OpenccInstalled() { return fs::is_regular_file(fs::path(test::kOpenccShareDir) / "tw2sp.json"); }

class ScriptConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OpenccInstalled()) GTEST_SKIP() << "OpenCC configurations are not installed";
    ::unsetenv("QUIRVEL_OPENCC_CONFIG");
    ::unsetenv("QUIRVEL_OPENCC_RESOURCE_DIR");
    dir_ = fs::temp_directory_path() / ("quirvel_conv_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A configuration file OpenCC refuses to open.
  std::string BrokenConfig() const {
    const fs::path config = dir_ / "tw2sp.json";
    std::ofstream(config) << R"({"name":"broken","segmentation":)";
    return config.string();
  }

  fs::path dir_;
};

struct ConversionCase {
  const char* traditional;
  const char* simplified;
};

TEST_F(ScriptConversionTest, TaiwaneseTitlesBecomeSimplified) {
  const ConversionCase cases[] = {
      {"臺灣公司貨", "台湾公司货"},
      {"FUJIFILM 富士 X100VI 銀色 (平輸)", "FUJIFILM 富士 X100VI 银色 (平输)"},
      {"滑鼠 隨身碟", "鼠标 U盘"},
      {"", ""},
      {"ASCII only 123", "ASCII only 123"},
  };
  for (const ConversionCase& c : cases) EXPECT_EQ(NormalizeScript(c.traditional), c.simplified) << c.traditional;
}

TEST_F(ScriptConversionTest, SimplifiedBecomesTaiwanese) {
  SetHostOpenccResourceDir(test::kOpenccShareDir);
  const ConversionCase cases[] = {
      {"臺灣公司貨", "台湾公司货"},
      {"滑鼠 隨身碟", "鼠标 U盘"},
      {"ASCII only 123", "ASCII only 123"},
  };
  for (const ConversionCase& c : cases) EXPECT_EQ(ToTraditional(c.simplified), c.traditional) << c.simplified;
}

TEST_F(ScriptConversionTest, BackConversionWithoutAFolderOpensTheBareName) {
  SetHostOpenccResourceDir("");
  // The library looks the bare name up in its own data folder.
  EXPECT_EQ(ToTraditional("台湾"), "臺灣");
}

TEST_F(ScriptConversionTest, BackConversionPassesThroughWhenItCannotOpen) {
  SetHostOpenccResourceDir(dir_.string());
  const std::string title = "台湾 \xE5\x8F\xB0 abc";
  EXPECT_EQ(ToTraditional(title), title);
  EXPECT_EQ(ToTraditional(""), "");
}

TEST_F(ScriptConversionTest, NormalisationPassesThroughWhenTheConfigurationCannotOpen) {
  ASSERT_TRUE(SetOpenccConfigPath(BrokenConfig()));
  const std::string title = "臺灣公司貨 \xE9\x8A\x80";
  EXPECT_EQ(NormalizeScript(title), title);
  EXPECT_EQ(NormalizeScript(""), "");
}

TEST_F(ScriptConversionTest, ConfigurationIsChosenOnceForTheProcess) {
  ASSERT_TRUE(SetOpenccConfigPath(BrokenConfig()));
  EXPECT_EQ(NormalizeScript("臺灣"), "臺灣");
  ASSERT_TRUE(SetOpenccConfigPath(""));
  EXPECT_EQ(NormalizeScript("臺灣"), "臺灣") << "a usable configuration appearing later is ignored";
}

TEST_F(ScriptConversionTest, ConfiguredFileWinsOverTheFallback) {
  const fs::path config = dir_ / "mine.json";
  std::ofstream(config) << R"({"name":"t2s","segmentation":{"type":"mmseg","dict":{"type":"ocd2","file":")"
                        << test::kOpenccShareDir << R"(/TSPhrases.ocd2"}},"conversion_chain":[{"dict":{"type":"ocd2","file":")"
                        << test::kOpenccShareDir << R"(/TSCharacters.ocd2"}}]})";
  ASSERT_TRUE(SetOpenccConfigPath(config.string()));
  // Without the Taiwan phrase table, the phrase stays a character-by-character conversion.
  EXPECT_EQ(NormalizeScript("滑鼠"), "滑鼠");
}

TEST_F(ScriptConversionTest, InvalidUtf8NeverCrashes) {
  SetHostOpenccResourceDir(test::kOpenccShareDir);
  const std::string bad = "\xFF\xFE \xE8\x87 abc \xC0";
  EXPECT_NE(NormalizeScript(bad).find("abc"), std::string::npos);
  EXPECT_NE(ToTraditional(bad).find("abc"), std::string::npos);
}

}  // namespace
}  // namespace quirvel
