// The tokenize tool, driven from memory streams.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_paths.h"
#include "tokenizer_test_support.h"
#include "tools/tokenize/tokenize_tool.h"

namespace quirvel::test {
namespace {

const std::string kVocab = std::string(kTestDataDir) + "/tokenizers/wordpiece_vocab.txt";

struct ToolCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  int exit_code;
  std::string output;
  std::string error_start;
};

class TokenizeToolTest : public ::testing::TestWithParam<ToolCase> {};

TEST_P(TokenizeToolTest, WritesOneArrayPerLine) {
  std::istringstream in(GetParam().input);
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunTokenizeTool(GetParam().args, in, out, err), GetParam().exit_code);
  EXPECT_EQ(out.str(), GetParam().output);
  EXPECT_EQ(err.str().substr(0, GetParam().error_start.size()), GetParam().error_start);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, TokenizeToolTest,
    ::testing::Values(
        ToolCase{"Ids", {kVocab}, "iPhone 15\n黑色\r\n\n", 0, "[2,4,6,3]\n[2,9,10,3]\n[2,3]\n", ""},
        ToolCase{"MaxLength", {"--max-length", "3", kVocab}, "iPhone 15\n", 0, "[2,4,3]\n", ""},
        ToolCase{"Tokens", {kVocab, "--tokens"}, "iPhones 黑\n", 0,
                 "[\"[CLS]\",\"iphone\",\"##s\",\"黑\",\"[SEP]\"]\n", ""},
        ToolCase{"NoInputNoOutput", {kVocab}, "", 0, "", ""},
        ToolCase{"MissingFile", {"/nonexistent/vocab.txt"}, "a\n", 1, "",
                 "error: failed to open vocab: /nonexistent/vocab.txt"},
        ToolCase{"NoFile", {}, "a\n", 2, "", "usage:"},
        ToolCase{"BadMaxLength", {"--max-length", "x", kVocab}, "a\n", 2, "", "bad argument: --max-length"},
        ToolCase{"MaxLengthOutOfRange", {"--max-length", "99999999999", kVocab}, "a\n", 2, "", "bad argument"},
        ToolCase{"UnknownOption", {"--fast", kVocab}, "a\n", 2, "", "bad argument: --fast"},
        ToolCase{"TwoFiles", {kVocab, kVocab}, "a\n", 2, "", "bad argument"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TokenizeToolTest, TokenWithoutVocabularyEntryPrintsNull) {
  const TempFile vocab("_vocab.txt", "x\n");
  std::istringstream in("x\n");
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunTokenizeTool({vocab.path(), "--tokens"}, in, out, err), 0);
  EXPECT_EQ(out.str(), "[null,\"x\",null]\n");
}

}  // namespace
}  // namespace quirvel::test
