// The built worker run as a child process: start-up failures must reach the
// parent as the fatal line on standard error and exit code 1.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_tree.h"

namespace {

struct ProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  for (int fd : {in[0], out[1], err[1]}) ::close(fd);
  if (!input.empty()) (void)!::write(in[1], input.data(), input.size());
  ::close(in[1]);
  ProcessResult result;
  result.out = ReadAll(out[0]);
  result.err = ReadAll(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

struct FatalCase {
  const char* label;
  std::vector<std::string> args;
  std::string expected_err;
};

TEST(WorkerProcessTest, CommandLineFailuresEndWithTheFatalLine) {
  const FatalCase cases[] = {
      {"no arguments", {}, "fatal: model path and tokenizer path are required\n"},
      {"argument that is not UTF-8 becomes empty", {"\xFF", "t.json"},
       "fatal: model path and tokenizer path are required\n"},
      {"third positional", {"a", "b", "c"}, "fatal: too many positional arguments\n"},
      {"bad number", {"a", "b", "--title-max-length", "x"}, "fatal: invalid stoi argument\n"},
      {"jieba folder incomplete", {"a", "b", "--jieba-dict-dir", "/"}, "fatal: invalid Jieba dict directory: /\n"},
  };
  for (const FatalCase& c : cases) {
    const ProcessResult result = RunProcess(QUIRVEL_WORKER_PATH, c.args, R"({"type":"shutdown"})" "\n");
    EXPECT_EQ(result.exit_code, 1) << c.label;
    EXPECT_EQ(result.err, c.expected_err) << c.label;
    EXPECT_EQ(result.out, "") << c.label;
  }
}

TEST(WorkerProcessTest, ModelThatCannotLoadIsFatal) {
  const ProcessResult result = RunProcess(QUIRVEL_WORKER_PATH, {"/no/model.onnx", "/no/tokenizer.json"}, "");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err.rfind("fatal: load model failed: ", 0), 0u) << result.err;
  EXPECT_EQ(result.err.back(), '\n');
}

// The build lays out resources beside the executable; a copy of the worker
// beside an "opencc" folder without "tw2sp.json" must refuse to start.
TEST(WorkerProcessTest, OpenccFolderBesideTheExecutableIsValidated) {
  const quirvel::test::TempTree tree;
  const std::string worker = tree.root() + "/quirvel-worker";
  std::filesystem::copy_file(QUIRVEL_WORKER_PATH, worker);
  tree.WriteFile("opencc/s2twp.json");
  const ProcessResult result = RunProcess(worker, {"m", "t"}, "");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "fatal: invalid OpenCC resource directory: " + tree.root() + "/opencc\n");
}

TEST(WorkerProcessTest, BuildPlacesResourcesBesideTheWorker) {
  const std::filesystem::path dir = std::filesystem::path(QUIRVEL_WORKER_PATH).parent_path();
  for (const char* file : {"opencc/tw2sp.json", "opencc/s2twp.json", "opencc/TSCharacters.ocd2",
                           "opencc/STCharacters.ocd2", "jieba_dict/jieba.dict.utf8", "jieba_dict/stop_words.utf8"})
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / file)) << file;
}

}  // namespace
