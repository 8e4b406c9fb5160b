#include "tests/process/worker_harness.h"

namespace quirvel::test {

std::vector<std::string> WorkerCommandWith(const std::vector<std::string>& arguments) {
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
