// The start-up driven from memory: the fatal line and exit code for each way
// it can fail, and the model configuration it hands over.
#include "host/worker_startup.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quirvel {
namespace {

struct RunCase {
  const char* label;
  std::vector<std::string> args;
  std::string expected_err;
};

TEST(RunWorkerTest, StartUpFailuresEndWithTheFatalLine) {
  const RunCase cases[] = {
      {"no paths", {"worker"}, "fatal: model path and tokenizer path are required\n"},
      {"bad option", {"worker", "-x"}, "fatal: unsupported argument: -x\n"},
      {"missing value", {"worker", "m", "t", "--profile"}, "fatal: missing value for argument: --profile\n"},
      {"bad value names its option",
       {"worker", "m", "t", "--threads", "abc"},
       "fatal: invalid value for --threads: abc (expected an integer)\n"},
      {"config is a folder",
       {"worker", "m", "t", "--opencc-config", "/"},
       "fatal: invalid OpenCC config path: /\n"},
  };
  for (const RunCase& c : cases) {
    std::istringstream in(R"({"id":"a","type":"shutdown"})"
                          "\n");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunWorker(c.args, in, out, err), 1) << c.label;
    EXPECT_EQ(err.str(), c.expected_err) << c.label;
    EXPECT_EQ(out.str(), "") << c.label;
  }
}

// What a person at a terminal asks: the text on standard output, exit 0,
// nothing loaded and no request read.
TEST(RunWorkerTest, HelpAndVersionPrintAndExit) {
  const struct {
    std::vector<std::string> args;
    std::string expected_start;
  } cases[] = {
      {{"worker", "--help"}, "usage: quirvel-worker MODEL TOKENIZER"},
      {{"worker", "/no/such/model.onnx", "--version"}, std::string("quirvel-worker ") + WorkerVersion() + "\n"},
  };
  for (const auto& c : cases) {
    std::istringstream in("not json\n");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunWorker(c.args, in, out, err), 0) << c.args[1];
    EXPECT_EQ(out.str().rfind(c.expected_start, 0), 0u) << out.str();
    EXPECT_EQ(err.str(), "");
  }
  EXPECT_NE(std::string(WorkerVersion()), "");
}

TEST(ReplyOptionsTest, KeepRequestCharactersWinsOverBackConvertingEverything) {
  const struct {
    bool keep;
    bool everything;
    BackConversion expected;
  } cases[] = {
      {false, false, BackConversion::SellerScript},
      {false, true, BackConversion::Everything},
      {true, false, BackConversion::OutsideRequestCharacters},
      {true, true, BackConversion::OutsideRequestCharacters},
  };
  for (const auto& c : cases) {
    ServiceOptions options;
    options.keep_request_characters = c.keep;
    options.back_convert_everything = c.everything;
    EXPECT_EQ(MakeReplyOptions(options).back_conversion, c.expected) << c.keep << c.everything;
  }
}

TEST(RunWorkerTest, AModelThatCannotLoadIsFatal) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunWorker({"worker", "/no/such/model.onnx", "/no/such/tokenizer.json"}, in, out, err), 1);
  EXPECT_EQ(err.str().rfind("fatal: load model failed: ", 0), 0u) << err.str();
  EXPECT_EQ(err.str().find("ready"), std::string::npos);
}

TEST(KeywordModelConfigTest, CopiesEveryModelSetting) {
  ServiceOptions options;
  options.model_path = "m.onnx";
  options.tokenizer_path = "t.json";
  options.profile = 4;
  options.rank_mode = RankMode::Embedding;
  options.title_max_length = -5;
  options.candidate_max_length = 9;
  options.candidate_cache = true;
  options.intra_op_threads = 3;
  const KeywordModelConfig config = MakeKeywordModelConfig(options);
  EXPECT_EQ(config.model_path, "m.onnx");
  EXPECT_EQ(config.tokenizer_path, "t.json");
  EXPECT_EQ(config.profile, 4u);
  EXPECT_EQ(config.rank_mode, RankMode::Embedding);
  EXPECT_EQ(config.title_max_length, -5);
  EXPECT_EQ(config.candidate_max_length, 9);
  EXPECT_TRUE(config.candidate_cache);
  EXPECT_EQ(config.intra_op_threads, 3);
}

}  // namespace
}  // namespace quirvel
