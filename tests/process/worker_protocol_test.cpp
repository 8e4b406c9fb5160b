// The worker's process contract as its parent application sees it: the ready
// line, replies on standard output, the fatal line and the exit codes.
#include <gtest/gtest.h>

#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

using WorkerProtocolTest = RunningWorkerTest;

TEST_F(WorkerProtocolTest, ReadyIsTheOnlyStartUpOutput) {
  const ExitStatus status = FinishInput(*worker_);
  EXPECT_TRUE(status.exited && status.code == 0) << DescribeExit(status);
  EXPECT_EQ(worker_->ReadRest(ChildStream::kStdout, kExitTimeout), "");
  EXPECT_EQ(worker_->ReadRest(ChildStream::kStderr, kExitTimeout), "");
}

TEST_F(WorkerProtocolTest, ShutdownRepliesAndStopsReading) {
  Send("{\"id\":\"a\",\"type\":\"shutdown\"}\n{\"id\":\"b\",\"type\":\"metrics\"}\n");
  std::string raw;
  NextReply(*worker_, &raw);
  EXPECT_EQ(raw, "{\"id\":\"a\",\"ok\":true}");
  const ExitStatus status = worker_->Wait(kExitTimeout);
  EXPECT_TRUE(status.exited && status.code == 0) << DescribeExit(status);
  EXPECT_EQ(worker_->ReadRest(ChildStream::kStdout, kExitTimeout), "")
      << "a line after shutdown was answered";
}

TEST_F(WorkerProtocolTest, EmptyLinesGetNoReplyAndBlankLinesGetAnError) {
  Send("\n\n \n{\"id\":\"m\",\"type\":\"metrics\"}\n");
  const nlohmann::json blank = NextReply(*worker_);
  EXPECT_EQ(blank.value("id", "?"), "");
  EXPECT_EQ(blank.value("ok", true), false);
  EXPECT_EQ(NextReply(*worker_).value("id", "?"), "m");
  EXPECT_EQ(FinishInput(*worker_).code, 0);
}

TEST_F(WorkerProtocolTest, ExtractReplyHasSortedMembersAndCountsCharacters) {
  Send("{\"id\":\"e\",\"type\":\"extract\",\"title\":\"無線藍牙耳機 降噪 運動防水\",\"max_len\":8}\n");
  std::string raw;
  const nlohmann::json reply = NextReply(*worker_, &raw);
  ASSERT_TRUE(reply.is_object()) << raw;
  ASSERT_EQ(reply.value("ok", false), true) << raw;
  std::vector<std::string> names;
  for (const auto& member : reply.items()) names.push_back(member.key());
  const std::vector<std::string> expected = {"candidate_cache_hits",
                                             "candidate_cache_misses",
                                             "candidate_cache_size",
                                             "dimension",
                                             "id",
                                             "keywords",
                                             "len",
                                             "ok",
                                             "title"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(raw.find(": "), std::string::npos) << "reply is not compact: " << raw;
  EXPECT_EQ(raw.find("\\u"), std::string::npos) << "non-ASCII text was escaped: " << raw;
  EXPECT_LE(reply["len"].get<unsigned>(), 8u);
  EXPECT_GT(reply["dimension"].get<int>(), 0);
  EXPECT_EQ(FinishInput(*worker_).code, 0);
}

TEST_F(WorkerProtocolTest, RepliesComeInRequestOrder) {
  std::string batch;
  for (int i = 0; i < 20; ++i)
    batch += "{\"id\":\"" + std::to_string(i) + "\",\"type\":\"convert\",\"title\":\"台灣\"}\n";
  Send(batch);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(NextReply(*worker_).value("id", "?"), std::to_string(i));
  EXPECT_EQ(FinishInput(*worker_).code, 0);
}

struct BadCommandLine {
  const char* name;
  std::vector<std::string> arguments;
  std::string fatal_prefix;
};

// Test names in listings show the case name, not the bytes of the case.
void PrintTo(const BadCommandLine& c, std::ostream* os) { *os << c.name; }

class BadCommandLineTest : public ::testing::TestWithParam<BadCommandLine> {};

TEST_P(BadCommandLineTest, EndsWithFatalLineAndCodeOne) {
  ChildProcess worker(WorkerCommandWith(GetParam().arguments));
  const std::string err = worker.ReadRest(ChildStream::kStderr, kExitTimeout);
  const ExitStatus status = worker.Wait(kExitTimeout);
  EXPECT_TRUE(status.exited && status.code == 1) << DescribeExit(status);
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.rfind(GetParam().fatal_prefix, 0), 0u) << err;
  EXPECT_EQ(err.back(), '\n');
  EXPECT_EQ(err.find("ready"), std::string::npos);
  EXPECT_EQ(worker.ReadRest(ChildStream::kStdout, kExitTimeout), "");
}

const BadCommandLine kBadCommandLines[] = {
    {"NoArguments", {}, "fatal: model path and tokenizer path are required\n"},
    {"UnknownOption",
     {"--model", "m", "--tokenizer", "t", "--bogus=1"},
     "fatal: unsupported argument: --bogus=1\n"},
    {"MissingValue", {"--model"}, "fatal: missing value for argument: --model\n"},
    {"ThirdPositional", {"a", "b", "c"}, "fatal: too many positional arguments\n"},
    {"BadInteger",
     {"m", "t", "--title-max-length", "x"},
     "fatal: invalid value for --title-max-length: x (expected an integer)\n"},
    {"ModelMissing",
     {"--model", "/nonexistent/model.onnx", "--tokenizer", QUIRVEL_DEMO_VOCAB},
     "fatal: load model failed: "},
    {"ModelIsNotOnnx",
     {"--model", QUIRVEL_DEMO_VOCAB, "--tokenizer", QUIRVEL_DEMO_VOCAB},
     "fatal: load model failed: "},
};

INSTANTIATE_TEST_SUITE_P(Worker, BadCommandLineTest, ::testing::ValuesIn(kBadCommandLines),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quirvel::test
