#include "tests/process/worker_harness.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quirvel::test {
namespace {

// In the sanitizer build the leak checker lists the suppressions it used on
// standard error at exit; the tests read that stream as the worker's own.
void QuietSanitizerSummary() {
  static bool done = false;
  if (done) return;
  done = true;
  const char* current = std::getenv("LSAN_OPTIONS");
  std::string options = current == nullptr ? "" : std::string(current) + ":";
  setenv("LSAN_OPTIONS", (options + "print_suppressions=0").c_str(), 1);
}

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value == nullptr || *value == '\0' ? fallback : value;
}

}  // namespace

std::string WorkerPath() { return FromEnvironment("QUIRVEL_TEST_WORKER", QUIRVEL_WORKER_PATH); }

bool WorkerIsWindowsBuild() {
  const std::string path = WorkerPath();
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".exe") == 0;
}

std::string WorkerVisiblePath(const std::string& path) {
  if (!WorkerIsWindowsBuild() || path.empty() || path.front() != '/') return path;
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
}

std::vector<std::string> CommandFor(const std::string& worker, const std::vector<std::string>& arguments) {
  QuietSanitizerSummary();
  std::vector<std::string> command;
  const std::string launcher = FromEnvironment("QUIRVEL_TEST_LAUNCHER", "");
  if (!launcher.empty()) command.push_back(launcher);
  command.push_back(worker);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

std::vector<std::string> CommandWithTempDir(const std::string& worker, const std::string& temp_dir,
                                            const std::vector<std::string>& arguments) {
  if (!WorkerIsWindowsBuild()) {
    std::vector<std::string> command = {"/usr/bin/env", "TMPDIR=" + temp_dir};
    const std::vector<std::string> rest = CommandFor(worker, arguments);
    command.insert(command.end(), rest.begin(), rest.end());
    return command;
  }
  // Wine gives every process the temporary folder of its registry, whatever
  // the POSIX environment says; a Windows parent (cmd) can still set it.
  const std::string temp = WorkerVisiblePath(temp_dir);
  std::string line = "set TMP=" + temp + "&& set TEMP=" + temp + "&& " + WorkerVisiblePath(worker);
  for (const std::string& argument : arguments) {
    if (argument.empty() || argument.find_first_of(" \t\"") != std::string::npos)
      throw std::invalid_argument("argument cmd would split or unquote: " + argument);
    line += " " + argument;
  }
  return CommandFor("cmd", {"/c", line});
}

std::string CopyWorkerInto(const std::string& dir) {
  namespace fs = std::filesystem;
  const fs::path worker = WorkerPath();
  fs::create_directories(dir);
  const fs::path copy = fs::path(dir) / worker.filename();
  fs::copy_file(worker, copy, fs::copy_options::overwrite_existing);
  if (WorkerIsWindowsBuild()) {
    for (const char* library : {"onnxruntime.dll", "opencc.dll"})
      fs::copy_file(worker.parent_path() / library, fs::path(dir) / library,
                    fs::copy_options::overwrite_existing);
  }
  return copy.string();
}

std::string BesideWorker(const std::string& name) {
  return (std::filesystem::path(WorkerPath()).parent_path() / name).string();
}

std::vector<std::string> WorkerCommandWith(const std::vector<std::string>& arguments) {
  return CommandFor(WorkerPath(), arguments);
}

std::vector<std::string> WorkerCommand() {
  return WorkerCommandWith({"--model", QUIRVEL_DEMO_MODEL, "--tokenizer", QUIRVEL_DEMO_VOCAB});
}

std::unique_ptr<ChildProcess> StartWorker(std::optional<std::string>& ready_line) {
  auto worker = std::make_unique<ChildProcess>(WorkerCommand());
  ready_line = worker->ReadLine(ChildStream::kStderr, kReplyTimeout);
  return worker;
}

nlohmann::json NextReply(ChildProcess& worker, std::string* raw) {
  const std::optional<std::string> line = worker.ReadLine(ChildStream::kStdout, kReplyTimeout);
  if (raw != nullptr) *raw = line.value_or("(no reply)");
  if (!line) return nlohmann::json::value_t::discarded;
  return nlohmann::json::parse(*line, nullptr, false);
}

ExitStatus FinishInput(ChildProcess& worker) {
  worker.CloseStdin();
  return worker.Wait(kExitTimeout);
}

}  // namespace quirvel::test
