#include "tests/process/worker_harness.h"

#include <cstdlib>

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

}  // namespace

std::vector<std::string> WorkerCommandWith(const std::vector<std::string>& arguments) {
  QuietSanitizerSummary();
  std::vector<std::string> command = {QUIRVEL_WORKER_PATH};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
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
