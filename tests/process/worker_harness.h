// Starts the built worker on the demo model for the process-level tests and
// reads its replies.
#pragma once

#include <gtest/gtest.h>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "bench/driver/child_process.h"

namespace quirvel::test {

using bench::ChildProcess;
using bench::ChildStream;
using bench::ExitStatus;

// Generous: the sanitizer build is slow, the first extract builds Jieba, and a
// 10 MB title takes the sanitizer build well over a minute; still below the
// test's own time limit, so a hang is reported by the test itself.
inline constexpr std::chrono::milliseconds kReplyTimeout{240000};
inline constexpr std::chrono::milliseconds kExitTimeout{60000};

// The worker under test is the build's own unless the environment names
// another: QUIRVEL_TEST_WORKER is its path (the Windows build's
// quirvel-worker.exe, say) and QUIRVEL_TEST_LAUNCHER, when set, the absolute
// path of a program that runs it (wine), given the worker as first argument.
std::string WorkerPath();
// The worker under test is a Windows executable (run under Wine here).
bool WorkerIsWindowsBuild();

// A path of this machine as the worker under test sees it: unchanged for the
// native build; on Wine's drive Z: (the POSIX root) in Windows form otherwise.
std::string WorkerVisiblePath(const std::string& path);

// The command that runs the worker executable at worker (the worker under test
// or a copy of it) with arguments, through the launcher when there is one.
std::vector<std::string> CommandFor(const std::string& worker, const std::vector<std::string>& arguments);
// The same with the worker's temporary folder (where it stages resources) set
// to temp_dir. Under Wine the folder is set by cmd, which passes the rest of
// its line on as it stands: no argument may hold a blank or a quote.
std::vector<std::string> CommandWithTempDir(const std::string& worker, const std::string& temp_dir,
                                            const std::vector<std::string>& arguments);
// Copies the worker under test into dir, with the libraries a Windows build
// loads from its own folder; returns the copy's path.
std::string CopyWorkerInto(const std::string& dir);
// A folder beside the worker under test ("opencc", "jieba_dict").
std::string BesideWorker(const std::string& name);

// The worker executable and its arguments: extra arguments replace the model
// and tokenizer arguments when given.
std::vector<std::string> WorkerCommand();
std::vector<std::string> WorkerCommandWith(const std::vector<std::string>& arguments);

// Starts the worker on the demo model and reads its first standard error
// line into ready_line (nullopt when none came).
std::unique_ptr<ChildProcess> StartWorker(std::optional<std::string>& ready_line);

// The next reply line, parsed; a discarded value when none came or it is not
// JSON (the raw text is kept in raw when given).
nlohmann::json NextReply(ChildProcess& worker, std::string* raw = nullptr);

// Closes standard input and waits for the worker to end.
ExitStatus FinishInput(ChildProcess& worker);

// A fixture whose worker is running and has said "ready".
class RunningWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<std::string> ready;
    worker_ = StartWorker(ready);
    ASSERT_EQ(ready.value_or("(nothing)"), "ready") << worker_->ReadRest(ChildStream::kStderr, kExitTimeout);
  }

  void Send(const std::string& bytes) { ASSERT_TRUE(worker_->Write(bytes)) << "the worker stopped reading"; }

  std::unique_ptr<ChildProcess> worker_;
};

}  // namespace quirvel::test
