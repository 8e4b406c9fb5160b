#include "bench/driver/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace quirvel::bench {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  FileDescriptor read_end;
  FileDescriptor write_end;
};

Pipe MakePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
  }
  return Pipe{FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

void SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

int RemainingMillis(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// posix_spawn's two attribute objects, destroyed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  void Redirect(int fd, int target) { posix_spawn_file_actions_adddup2(&actions_, fd, target); }
  // The parent ignores SIGPIPE for its own writes; the child must still get
  // the default action, as it would under any ordinary parent, or a worker
  // that dies of a broken pipe would go unnoticed.
  void RestoreDefaultSignals() {
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

ExitStatus StatusFromWait(int raw) {
  ExitStatus status;
  status.exited = WIFEXITED(raw);
  status.code = status.exited ? WEXITSTATUS(raw) : -1;
  status.signaled = WIFSIGNALED(raw);
  status.signal = status.signaled ? WTERMSIG(raw) : 0;
  return status;
}

}  // namespace

std::string DescribeExit(const ExitStatus& status) {
  if (status.timed_out) return "did not end in time (killed)";
  if (status.signaled) return std::string("killed by signal ") + strsignal(status.signal);
  if (status.exited) return "exited with code " + std::to_string(status.code);
  return "still running";
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FileDescriptor::~FileDescriptor() { Close(); }

void FileDescriptor::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  if (argv.empty()) throw std::invalid_argument("no program to start");
  signal(SIGPIPE, SIG_IGN);
  Pipe in = MakePipe();
  Pipe out = MakePipe();
  Pipe err = MakePipe();
  SpawnSetup setup;
  setup.Redirect(in.read_end.get(), STDIN_FILENO);
  setup.Redirect(out.write_end.get(), STDOUT_FILENO);
  setup.Redirect(err.write_end.get(), STDERR_FILENO);
  setup.RestoreDefaultSignals();
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int rc =
      posix_spawn(&pid_, argv[0].c_str(), setup.actions(), setup.attributes(), args.data(), environ);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  stdin_ = std::move(in.write_end);
  outputs_[0] = std::move(out.read_end);
  outputs_[1] = std::move(err.read_end);
  SetNonBlocking(stdin_.get());
  SetNonBlocking(outputs_[0].get());
  SetNonBlocking(outputs_[1].get());
}

ChildProcess::~ChildProcess() {
  if (reaped_ || pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int raw = 0;
  waitpid(pid_, &raw, 0);
}

void ChildProcess::CloseStdout() {
  outputs_[0].Close();
  ended_[0] = true;
}

int ChildProcess::DescriptorOf(int index) const { return outputs_[index].get(); }

bool ChildProcess::ReadAvailable(int index) {
  char chunk[65536];
  const ssize_t n = read(DescriptorOf(index), chunk, sizeof chunk);
  if (n > 0) {
    buffers_[index].append(chunk, static_cast<size_t>(n));
    return true;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
  ended_[index] = true;
  outputs_[index].Close();
  return false;
}

bool ChildProcess::PumpOnce(int timeout_ms, bool want_write) {
  pollfd fds[3];
  int count = 0;
  int index_of[3];
  for (int i = 0; i < 2; ++i) {
    if (ended_[i]) continue;
    fds[count] = pollfd{DescriptorOf(i), POLLIN, 0};
    index_of[count++] = i;
  }
  const int write_slot = count;
  if (want_write && stdin_.is_open()) fds[count++] = pollfd{stdin_.get(), POLLOUT, 0};
  if (count == 0) return false;
  if (poll(fds, static_cast<nfds_t>(count), timeout_ms) <= 0) return false;
  for (int slot = 0; slot < write_slot; ++slot) {
    if (fds[slot].revents != 0) ReadAvailable(index_of[slot]);
  }
  return write_slot < count && fds[write_slot].revents != 0;
}

bool ChildProcess::Write(std::string_view bytes, Millis timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!bytes.empty()) {
    if (!stdin_.is_open()) return false;
    const ssize_t n = write(stdin_.get(), bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (Clock::now() >= deadline) return false;
    PumpOnce(RemainingMillis(deadline), true);
  }
  return true;
}

std::optional<std::string> ChildProcess::PopLine(int index) {
  std::string& buffer = buffers_[index];
  const size_t newline = buffer.find('\n');
  if (newline == std::string::npos) return std::nullopt;
  std::string line = buffer.substr(0, newline);
  buffer.erase(0, newline + 1);
  return line;
}

std::optional<std::string> ChildProcess::ReadLine(ChildStream stream, Millis timeout) {
  const int index = stream == ChildStream::kStdout ? 0 : 1;
  const auto deadline = Clock::now() + timeout;
  while (true) {
    if (auto line = PopLine(index)) return line;
    if (ended_[index]) break;
    if (Clock::now() >= deadline) return std::nullopt;
    PumpOnce(RemainingMillis(deadline), false);
  }
  if (buffers_[index].empty()) return std::nullopt;
  std::string last;
  last.swap(buffers_[index]);
  return last;
}

std::string ChildProcess::ReadRest(ChildStream stream, Millis timeout) {
  const int index = stream == ChildStream::kStdout ? 0 : 1;
  const auto deadline = Clock::now() + timeout;
  while (!ended_[index] && Clock::now() < deadline) PumpOnce(RemainingMillis(deadline), false);
  std::string rest;
  rest.swap(buffers_[index]);
  return rest;
}

ExitStatus ChildProcess::Wait(Millis timeout) {
  if (reaped_) return status_;
  const auto deadline = Clock::now() + timeout;
  int raw = 0;
  while (waitpid(pid_, &raw, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &raw, 0);
      reaped_ = true;
      status_ = StatusFromWait(raw);
      status_.timed_out = true;
      return status_;
    }
    // Keep reading so a child blocked on a full pipe can still finish.
    if (!PumpOnce(5, false) && ended_[0] && ended_[1]) usleep(2000);
  }
  reaped_ = true;
  status_ = StatusFromWait(raw);
  return status_;
}

std::optional<long> ChildProcess::StatusKib(const std::string& field) const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  const std::string prefix = field + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stol(line.substr(prefix.size()));
  }
  return std::nullopt;
}

}  // namespace quirvel::bench
