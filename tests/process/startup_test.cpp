// Start-up of the worker as a child process: failures before the ready line
// reach the parent as the fatal line on standard error and exit code 1, and the
// build lays out what the worker needs beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/temp_tree.h"
#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

struct StartupRun {
  ExitStatus status;
  std::string out;
  std::string err;
};

StartupRun RunToEnd(const std::vector<std::string>& command, const std::string& input) {
  ChildProcess worker(command);
  if (!input.empty()) worker.Write(input);
  worker.CloseStdin();
  StartupRun run;
  run.err = worker.ReadRest(ChildStream::kStderr, kExitTimeout);
  run.out = worker.ReadRest(ChildStream::kStdout, kExitTimeout);
  run.status = worker.Wait(kExitTimeout);
  return run;
}

struct FatalCase {
  const char* label;
  std::vector<std::string> args;
  std::string expected_err;
};

// A byte that is not UTF-8 never reaches a Windows program: Wine decodes the
// command line into UTF-16 first and the byte arrives as a character, so there
// the argument is a path like any other and the model cannot load.
FatalCase NotUtf8Case() {
  if (WorkerIsWindowsBuild())
    return {"argument that is not UTF-8 arrives decoded", {"\xFF", "t.json"}, "fatal: load model failed: "};
  return {"argument that is not UTF-8 becomes empty",
          {"\xFF", "t.json"},
          "fatal: model path and tokenizer path are required\n"};
}

TEST(StartupTest, CommandLineFailuresEndWithTheFatalLine) {
  const FatalCase cases[] = {
      {"no arguments", {}, "fatal: model path and tokenizer path are required\n"},
      NotUtf8Case(),
      {"third positional", {"a", "b", "c"}, "fatal: too many positional arguments\n"},
      {"bad number names its option", {"a", "b", "--title-max-length", "x"},
       "fatal: invalid value for --title-max-length: x (expected an integer)\n"},
      {"jieba folder incomplete",
       {"a", "b", "--jieba-dict-dir", "/"},
       "fatal: invalid Jieba dict directory: /\n"},
      {"model that cannot load", {"/no/model.onnx", "/no/tokenizer.json"}, "fatal: load model failed: "},
  };
  for (const FatalCase& c : cases) {
    const StartupRun run = RunToEnd(WorkerCommandWith(c.args), R"({"type":"shutdown"})"
                                                               "\n");
    EXPECT_TRUE(run.status.exited && run.status.code == 1) << c.label << ": " << DescribeExit(run.status);
    EXPECT_EQ(run.err.substr(0, c.expected_err.size()), c.expected_err) << c.label;
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << c.label << ": " << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << c.label << ": one line ending in a bare newline";
    EXPECT_EQ(run.out, "") << c.label;
  }
}

// What a person at a terminal asks gets its text on standard output, exit 0,
// whatever else the command line holds, and the worker reads no request.
TEST(StartupTest, HelpAndVersionPrintAndExitZero) {
  const struct {
    std::vector<std::string> args;
    std::string expected_start;
  } cases[] = {
      {{"--help"}, "usage: quirvel-worker MODEL TOKENIZER"},
      {{"/no/model.onnx", "--version"}, "quirvel-worker " QUIRVEL_TEST_VERSION "\n"},
  };
  for (const auto& c : cases) {
    const StartupRun run = RunToEnd(WorkerCommandWith(c.args), "not json\n");
    EXPECT_TRUE(run.status.exited && run.status.code == 0) << c.args.back() << ": " << DescribeExit(run.status);
    EXPECT_EQ(run.out.substr(0, c.expected_start.size()), c.expected_start) << run.out;
    EXPECT_EQ(run.err, "") << c.args.back();
  }
}

// A copy of the worker beside an "opencc" folder without "tw2sp.json" must
// refuse to start, naming the folder as the worker sees it.
TEST(StartupTest, OpenccFolderBesideTheExecutableIsValidated) {
  const TempTree tree;
  const std::string worker = CopyWorkerInto(tree.root());
  tree.WriteFile("opencc/s2twp.json");
  const StartupRun run = RunToEnd(CommandFor(worker, {"m", "t"}), "");
  EXPECT_TRUE(run.status.exited && run.status.code == 1) << DescribeExit(run.status);
  EXPECT_EQ(run.err,
            "fatal: invalid OpenCC resource directory: " + WorkerVisiblePath(tree.root()) + "/opencc\n");
}

TEST(StartupTest, BuildPlacesResourcesBesideTheWorker) {
  std::vector<std::string> files = {"opencc/tw2sp.json",          "opencc/s2twp.json",
                                    "opencc/TSCharacters.ocd2",   "opencc/STCharacters.ocd2",
                                    "jieba_dict/jieba.dict.utf8", "jieba_dict/stop_words.utf8"};
  if (WorkerIsWindowsBuild()) files.insert(files.end(), {"onnxruntime.dll", "opencc.dll"});
  for (const std::string& file : files)
    EXPECT_TRUE(std::filesystem::is_regular_file(BesideWorker(file))) << file;
}

}  // namespace
}  // namespace quirvel::test
