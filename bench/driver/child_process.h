// A child process driven through pipes the way the worker's parent application
// drives it: requests written to its standard input, replies read line by line
// from its standard output, its standard error watched for the ready and fatal
// lines. Shared by the benchmark driver and the process-level tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quirvel::bench {

// How a child ended: exited with a code, or killed by a signal.
struct ExitStatus {
  bool exited = false;
  int code = -1;
  bool signaled = false;
  int signal = 0;
  bool timed_out = false;
};

std::string DescribeExit(const ExitStatus& status);

// Owns one file descriptor; closes it once.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  bool is_open() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

// Which output stream of the child a read is about.
enum class ChildStream { kStdout, kStderr };

class ChildProcess {
 public:
  using Millis = std::chrono::milliseconds;

  // Starts argv[0] (a path, not searched in PATH) with argv as its arguments.
  // Throws std::runtime_error when the process cannot be started.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Kills a child that is still running and reaps it.
  ~ChildProcess();

  pid_t pid() const { return pid_; }

  // Writes all bytes to the child's standard input while collecting its
  // output, so a child that answers before it has read everything cannot
  // deadlock the parent. False when the pipe broke or the timeout passed.
  bool Write(std::string_view bytes, Millis timeout = Millis(60000));
  void CloseStdin() { stdin_.Close(); }
  // Closes the parent's read end: the child's next write to standard output
  // meets a broken pipe.
  void CloseStdout();

  // The next line (without its newline) of one stream; nullopt at end of
  // stream or when the timeout passes first.
  std::optional<std::string> ReadLine(ChildStream stream, Millis timeout);
  // Everything left on a stream until it ends (or the timeout passes).
  std::string ReadRest(ChildStream stream, Millis timeout);
  // Bytes of standard error seen so far and not yet consumed as lines.
  const std::string& PendingStderr() const { return buffers_[1]; }

  // Waits for the child to end; kills it when the timeout passes first.
  ExitStatus Wait(Millis timeout);

  // A "Vm..." field of /proc/<pid>/status in KiB; nullopt when unreadable.
  std::optional<long> StatusKib(const std::string& field) const;

 private:
  bool PumpOnce(int timeout_ms, bool want_write);
  bool ReadAvailable(int index);
  int DescriptorOf(int index) const;
  std::optional<std::string> PopLine(int index);

  pid_t pid_ = -1;
  bool reaped_ = false;
  ExitStatus status_;
  FileDescriptor stdin_;
  FileDescriptor outputs_[2];
  std::string buffers_[2];
  bool ended_[2] = {false, false};
};

}  // namespace quirvel::bench
