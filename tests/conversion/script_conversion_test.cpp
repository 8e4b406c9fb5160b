// Script conversion on the installed OpenCC. Each test runs in its own process,
// so the one-time choice of the normalisation configuration starts fresh.
#include "conversion/script_conversion.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/resources.h"
#include "host/unicode.h"
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
    Break(config);
    return config.string();
  }

  static void Break(const fs::path& config) { std::ofstream(config) << R"({"name":"broken","segmentation":)"; }

  // A copy of the installed configurations and dictionaries that a test may change.
  fs::path OpenccCopy() const {
    const fs::path copy = dir_ / "opencc";
    fs::copy(test::kOpenccShareDir, copy, fs::copy_options::recursive);
    return copy;
  }

  fs::path dir_;
};

struct ConversionCase {
  std::string traditional;
  std::string simplified;
};

using namespace std::string_literals;

TEST_F(ScriptConversionTest, TaiwaneseTitlesBecomeSimplified) {
  const ConversionCase cases[] = {
      {"臺灣公司貨", "台湾公司货"},
      {"FUJIFILM 富士 X100VI 銀色 (平輸)", "FUJIFILM 富士 X100VI 银色 (平输)"},
      {"滑鼠 隨身碟", "鼠标 U盘"},
      {"", ""},
      {"ASCII only 123", "ASCII only 123"},
      // The library reads C strings: the text on both sides of a NUL converts.
      {"a\0b 耳機\0"s, "a\0b 耳机\0"s},
  };
  for (const ConversionCase& c : cases) EXPECT_EQ(NormalizeScript(c.traditional), c.simplified) << c.traditional;
}

TEST_F(ScriptConversionTest, SimplifiedBecomesTaiwanese) {
  SetHostOpenccResourceDir(test::kOpenccShareDir);
  const ConversionCase cases[] = {
      {"臺灣公司貨", "台湾公司货"},
      {"滑鼠 隨身碟", "鼠标 U盘"},
      {"ASCII only 123", "ASCII only 123"},
      {"\0臺灣\0\0公司貨"s, "\0台湾\0\0公司货"s},
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

// Each configuration's converter as the worker keeps it, from the copy of the
// installed folder.
struct KeptCase {
  const char* name;
  const char* config;
  std::string (*convert)(const std::string&);
  const char* text;
  const char* converted;
};

void PrintTo(const KeptCase& c, std::ostream* os) { *os << c.name; }

class KeptConvertersTest : public ScriptConversionTest, public ::testing::WithParamInterface<KeptCase> {
 protected:
  void SetUp() override {
    ScriptConversionTest::SetUp();
    if (IsSkipped()) return;
    folder_ = OpenccCopy();
    ASSERT_TRUE(SetOpenccConfigPath((folder_ / "tw2sp.json").string()));
    SetHostOpenccResourceDir(folder_.string());
  }

  std::string Convert() const { return GetParam().convert(GetParam().text); }
  fs::path Config() const { return folder_ / GetParam().config; }

  fs::path folder_;
};

// Once open, the converter no longer reads its files; closed, each conversion
// opens its own again and finds the file broken.
TEST_P(KeptConvertersTest, KeptConverterOutlivesItsFileUntilClosed) {
  {
    const KeptConverters kept;
    EXPECT_EQ(Convert(), GetParam().converted);
    Break(Config());
    EXPECT_EQ(Convert(), GetParam().converted) << "the kept converter is used";
  }
  EXPECT_EQ(Convert(), GetParam().text) << "after closing, the broken file is opened again";
}

// A converter that cannot open is not kept: the next conversion tries again.
TEST_P(KeptConvertersTest, FailedOpenIsTriedAgainAtTheNextConversion) {
  const std::string whole = [&] {
    std::ifstream in(Config(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  Break(Config());
  const KeptConverters kept;
  EXPECT_EQ(Convert(), GetParam().text);
  std::ofstream(Config(), std::ios::binary | std::ios::trunc) << whole;
  EXPECT_EQ(Convert(), GetParam().converted);
}

const KeptCase kKeptCases[] = {
    {"Normalization", "tw2sp.json", NormalizeScript, "臺灣滑鼠", "台湾鼠标"},
    {"BackConversion", "s2twp.json", ToTraditional, "台湾鼠标", "臺灣滑鼠"},
};

INSTANTIATE_TEST_SUITE_P(Configurations, KeptConvertersTest, ::testing::ValuesIn(kKeptCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The back-conversion's folder decides its converter: one kept for another
// folder is not used.
TEST_F(ScriptConversionTest, KeptConverterBelongsToTheFolderItWasOpenedIn) {
  const fs::path folder = OpenccCopy();
  const KeptConverters kept;
  SetHostOpenccResourceDir(folder.string());
  EXPECT_EQ(ToTraditional("台湾"), "臺灣");
  SetHostOpenccResourceDir(dir_.string());  // holds no s2twp.json
  EXPECT_EQ(ToTraditional("台湾"), "台湾");
  SetHostOpenccResourceDir(folder.string());
  EXPECT_EQ(ToTraditional("台湾"), "臺灣");
}

// Every character of the CJK blocks of the basic plane and the punctuation of titles: what the
// kept converter remembers of each is what it converts alone, and what it
// converts alone is that character's line of the characters converted
// together, one a line, as a reply converts its texts.
TEST_F(ScriptConversionTest, RememberedCharactersConvertAsTheyDoAlone) {
  SetHostOpenccResourceDir(test::kOpenccShareDir);
  std::vector<std::string> chars;
  std::string lines;
  const std::pair<char32_t, char32_t> blocks[] = {{0x3000, 0x303F}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
                                                  {0xF900, 0xFAFF}, {0xFF01, 0xFF5E}};
  for (const auto& [first, last] : blocks) {
    for (char32_t code = first; code <= last; ++code) {
      chars.emplace_back();
      AppendUtf8(chars.back(), code);
      lines += (lines.empty() ? "" : "\n") + chars.back();
    }
  }
  EXPECT_FALSE(RememberedToTraditional(chars)) << "nothing is remembered without kept converters";
  const KeptConverters kept;
  const std::optional<std::vector<std::string>> first = RememberedToTraditional(chars);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->size(), chars.size());
  const std::string together = ToTraditional(lines);
  std::size_t start = 0;
  std::size_t changed = 0;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const std::size_t end = std::min(together.find('\n', start), together.size());
    ASSERT_EQ((*first)[i], together.substr(start, end - start)) << chars[i];
    if ((*first)[i] != chars[i]) ++changed;
    start = end + 1;
  }
  EXPECT_EQ(start, together.size() + 1) << "one line per character";
  EXPECT_GT(changed, 1000u) << "the sweep holds the Simplified characters";
  EXPECT_EQ(RememberedToTraditional(chars), first) << "asked again, the remembered answers";
}

// What the kept converter remembered goes with it: once the converters close
// and a broken file is opened, the characters pass through.
TEST_F(ScriptConversionTest, RememberedCharactersGoWithTheConverter) {
  const fs::path folder = OpenccCopy();
  SetHostOpenccResourceDir(folder.string());
  const std::vector<std::string> chars = {"台", "发", "面", "a"};
  const std::vector<std::string> converted = {"臺", "發", "面", "a"};
  {
    const KeptConverters kept;
    EXPECT_EQ(RememberedToTraditional(chars), converted);
    Break(folder / "s2twp.json");
    EXPECT_EQ(RememberedToTraditional(chars), converted) << "the kept converter is used";
  }
  const KeptConverters kept;
  EXPECT_EQ(RememberedToTraditional(chars), chars) << "a converter that cannot open passes them through";
}

TEST_F(ScriptConversionTest, OneKeeperAtATime) {
  {
    const KeptConverters kept;
    EXPECT_THROW(KeptConverters(), std::logic_error);
  }
  EXPECT_NO_THROW(KeptConverters());
}

}  // namespace
}  // namespace quirvel
