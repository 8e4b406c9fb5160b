#include "keywords/jieba_dictionary.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <cppjieba/Jieba.hpp>

#include "test_paths.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;

const char kHmmModel[] =
    "# start\n-0.26 -3.14e+100 -3.14e+100 -1.46\n"
    "# transitions\n-3.14e+100 -0.51 -0.91 -3.14e+100\n-0.59 -3.14e+100 -3.14e+100 -0.80\n"
    "-3.14e+100 -0.33 -1.26 -3.14e+100\n-0.72 -3.14e+100 -3.14e+100 -0.66\n"
    "# emissions\n手:-5.0,机:-6.0\n手:-6.0,机:-5.0\n手:-7.0\n机:-7.0\n";

// A small dictionary the library accepts.
std::map<std::string, std::string> ValidFiles() {
  return {{kJiebaMainDictFile, "手机 100 n\n外壳 50 n\n"},
          {kJiebaHmmModelFile, kHmmModel},
          {kJiebaUserDictFile, ""},
          {kJiebaIdfFile, "手机 5.0\n"},
          {kJiebaStopWordsFile, "的\n"}};
}

class JiebaDictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kw_dict_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::map<std::string, std::string>& files, const std::string& sub = "d") {
    const fs::path dir = dir_ / sub;
    fs::create_directories(dir);
    for (const auto& [name, content] : files) std::ofstream(dir / name, std::ios::binary) << content;
    return dir.string();
  }
  fs::path dir_;
};

struct ProblemCase {
  const char* name;
  std::string file;
  std::string content;
  std::string expected_prefix;  // "" when the dictionary is sound
};

TEST_F(JiebaDictionaryTest, FindsWhatTheLibraryWouldAbortOn) {
  const ProblemCase cases[] = {
      {"sound dictionary", kJiebaUserDictFile, "手机壳\n", ""},
      {"user dictionary lines are free form", kJiebaUserDictFile, "a b c d e\n\n", ""},
      {"main dictionary line with two columns", kJiebaMainDictFile, "手机 100\n", "jieba.dict.utf8: line 1"},
      {"main dictionary with an empty line", kJiebaMainDictFile, "手机 100 n\n\n外壳 5 n\n",
       "jieba.dict.utf8: line 2"},
      {"main dictionary without words", kJiebaMainDictFile, "", "jieba.dict.utf8: no words"},
      {"model row with three numbers", kJiebaHmmModelFile, "-0.26 -3.14 -1.46\n",
       "hmm_model.utf8: probability row 1"},
      {"model without emissions", kJiebaHmmModelFile, std::string(kHmmModel).substr(0, 200),
       "hmm_model.utf8: "},
      {"model emission key of two characters", kJiebaHmmModelFile,
       std::string(kHmmModel).replace(std::string(kHmmModel).find("手:-7.0"), 3, "手机"),
       "hmm_model.utf8: emission row 3"},
      {"main dictionary word of frequency zero", kJiebaMainDictFile, "手机 0 n\n", "jieba.dict.utf8: line 1"},
      {"main dictionary frequency not a number", kJiebaMainDictFile, "手机 100 n\n外壳 x n\n",
       "jieba.dict.utf8: line 2"},
      {"empty idf table", kJiebaIdfFile, "", "idf.utf8: no positive values"},
      {"idf table without valid lines", kJiebaIdfFile, "手机\n外壳 1 2\n", "idf.utf8: no positive values"},
      {"empty stop words", kJiebaStopWordsFile, "", "stop_words.utf8: empty file"},
      // The loader's own splitting: blanks side by side make an empty field, a
      // blank at the end of a line makes none, a last line needs no line feed.
      {"main dictionary line with two blanks in a row", kJiebaMainDictFile, "手机  100 n\n",
       "jieba.dict.utf8: line 1"},
      {"main dictionary line ending in a blank", kJiebaMainDictFile, "手机 100 n \n", ""},
      {"main dictionary without a last line feed", kJiebaMainDictFile, "手机 100 n\n外壳 1 x 2", "jieba.dict.utf8: line 2"},
      {"idf line with two blanks in a row", kJiebaIdfFile, "手机  5.0\n", "idf.utf8: no positive values"},
      {"idf values summed over the lines", kJiebaIdfFile, "手机 -1\n外壳 2\n", ""},
      {"stop words of one empty line", kJiebaStopWordsFile, "\n", ""},
  };
  int index = 0;
  for (const ProblemCase& c : cases) {
    auto files = ValidFiles();
    files[c.file] = c.content;
    const std::string problem = FindJiebaDictionaryProblem(Write(files, "case" + std::to_string(index++)));
    if (c.expected_prefix.empty()) {
      EXPECT_EQ(problem, "") << c.name;
    } else {
      EXPECT_EQ(problem.rfind(c.expected_prefix, 0), 0u) << c.name << ": " << problem;
    }
  }
}

TEST_F(JiebaDictionaryTest, ASoundDictionaryLoadsInTheLibrary) {
  const std::string dir = Write(ValidFiles());
  ASSERT_EQ(FindJiebaDictionaryProblem(dir), "");
  cppjieba::Jieba jieba(dir + "/" + kJiebaMainDictFile, dir + "/" + kJiebaHmmModelFile,
                        dir + "/" + kJiebaUserDictFile, dir + "/" + kJiebaIdfFile,
                        dir + "/" + kJiebaStopWordsFile);
  std::vector<std::string> words;
  jieba.Cut("手机外壳", words, true);
  EXPECT_EQ(words, (std::vector<std::string>{"手机", "外壳"}));
}

TEST_F(JiebaDictionaryTest, TheShippedDictionaryIsSound) {
  EXPECT_EQ(FindJiebaDictionaryProblem(test::kJiebaDictDir), "");
}

TEST_F(JiebaDictionaryTest, PathWithAListSeparatorIsRefused) {
  const std::string dir = Write(ValidFiles(), "a;b");
  EXPECT_NE(FindJiebaDictionaryProblem(dir), "");
}

TEST_F(JiebaDictionaryTest, CheckNamesTheDirectory) {
  auto files = ValidFiles();
  files.erase(kJiebaIdfFile);
  const std::string missing = Write(files, "missing");
  files = ValidFiles();
  files[kJiebaIdfFile] = "";
  const std::string empty_idf = Write(files, "empty");
  const std::string sound = Write(ValidFiles(), "sound");
  try {
    CheckJiebaDictionary(missing, missing);
    ADD_FAILURE() << "no error for a missing file";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "invalid Jieba dict directory: " + missing);
  }
  EXPECT_THROW(CheckJiebaDictionary(empty_idf, empty_idf), std::runtime_error);
  EXPECT_NO_THROW(CheckJiebaDictionary(sound, sound));
}

// The bytes that passed the check are the ones the library loads, whatever
// happens to the folder afterwards.
TEST_F(JiebaDictionaryTest, TheCheckedBytesAreLoadedEvenIfTheFolderChanges) {
  fs::create_directories(dir_ / "tmp");
  ::setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);  // where the private copy goes
  const std::string dir = Write(ValidFiles());
  const JiebaDictionaryBytes bytes = ReadCheckedJiebaDictionary(dir, dir);
  std::ofstream(fs::path(dir) / kJiebaHmmModelFile, std::ios::trunc) << "-0.26\n";
  fs::remove(fs::path(dir) / kJiebaMainDictFile);
  const std::optional<PrivateFolder> copy = PrivateJiebaCopy(bytes);
  ASSERT_TRUE(copy);
  const std::string load = ToLibraryPath(copy->path());
  cppjieba::Jieba jieba(load + "/" + kJiebaMainDictFile, load + "/" + kJiebaHmmModelFile,
                        load + "/" + kJiebaUserDictFile, load + "/" + kJiebaIdfFile,
                        load + "/" + kJiebaStopWordsFile);
  std::vector<std::string> words;
  jieba.Cut("手机外壳", words, true);
  EXPECT_EQ(words, (std::vector<std::string>{"手机", "外壳"}));
}

}  // namespace
}  // namespace quirvel
