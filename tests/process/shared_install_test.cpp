// Many workers of one install under a Chinese folder, as a parent's pool runs
// them: they share the staged copies of opencc/ and jieba_dict/ in the
// temporary folder. Whatever the others do (start again and again, start all
// at once, or were killed half-way through a copy), every reply equals a lone
// worker's byte for byte and no worker dies, also when the workers keep their
// converters open (--reuse-converters) and the lone worker does not. A Jieba
// dictionary rewritten while a worker loads it gives an error reply or a
// correct one, never an abort.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "test_paths.h"
#include "tests/host/temp_tree.h"
#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

namespace fs = std::filesystem;

constexpr int kPoolSize = 4;
constexpr int kRestarts = 5;

// The repository's titles, each at several budgets.
std::vector<std::string> Requests() {
  std::ifstream in(std::string(kTestDataDir) + "/host/keyword_text_titles.txt", std::ios::binary);
  std::vector<std::string> titles;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) titles.push_back(line);
  std::vector<std::string> requests;
  for (int max_len = 8; max_len <= 24; max_len += 8) {
    for (const std::string& title : titles) {
      const std::string id = "t" + std::to_string(requests.size());
      const nlohmann::json request = {
          {"id", id}, {"type", "extract"}, {"title", title}, {"max_len", max_len}};
      requests.push_back(request.dump());
    }
  }
  return requests;
}

// One worker of the install, ready to answer.
std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& command) {
  auto worker = std::make_unique<ChildProcess>(command);
  const auto ready = worker->ReadLine(ChildStream::kStderr, kReplyTimeout);
  EXPECT_EQ(ready.value_or("(nothing)"), "ready") << worker->ReadRest(ChildStream::kStderr, kExitTimeout);
  return worker;
}

std::string Ask(ChildProcess& worker, const std::string& request) {
  if (!worker.Write(request + "\n")) return "(the worker stopped reading)";
  return worker.ReadLine(ChildStream::kStdout, kReplyTimeout).value_or("(no reply)");
}

void ExpectCleanExit(ChildProcess& worker) {
  const ExitStatus status = FinishInput(worker);
  EXPECT_TRUE(status.exited && status.code == 0)
      << DescribeExit(status) << ": " << worker.ReadRest(ChildStream::kStderr, kExitTimeout);
}

// The install: the worker and its resources in a Chinese folder, and the
// temporary folder the staged copies go to. Its workers run with the given
// extra arguments; the lone worker they are held against runs without them.
class SharedInstall {
 public:
  explicit SharedInstall(const std::vector<std::string>& extra_arguments) : requests_(Requests()) {
    const std::string folder = tree_.MakeDir("關鍵詞工具");
    const std::string worker = CopyWorkerInto(folder);
    for (const char* name : {"opencc", "jieba_dict"})
      fs::copy(BesideWorker(name), folder + "/" + name, fs::copy_options::recursive);
    temp_ = tree_.MakeDir("tmp");
    std::vector<std::string> arguments{"--model", QUIRVEL_DEMO_MODEL, "--tokenizer", QUIRVEL_DEMO_VOCAB};
    lone_command_ = CommandWithTempDir(worker, temp_, arguments);
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    command_ = CommandWithTempDir(worker, temp_, arguments);
  }

  const std::vector<std::string>& command() const { return command_; }
  const std::vector<std::string>& requests() const { return requests_; }
  fs::path staging_root() const { return fs::path(temp_) / "qrv_ipc_resources"; }

  std::vector<std::string> LoneReplies() const {
    auto worker = Start(lone_command_);
    std::vector<std::string> replies;
    for (const std::string& request : requests_) replies.push_back(Ask(*worker, request));
    ExpectCleanExit(*worker);
    return replies;
  }

 private:
  TempTree tree_;
  std::string temp_;
  std::vector<std::string> lone_command_;
  std::vector<std::string> command_;
  std::vector<std::string> requests_;
};

// Worker A answers while a second worker of the install starts, answers one
// title (it loads Jieba) and stops, again and again.
std::vector<std::string> AnswerWhileAnotherRestarts(const SharedInstall& install) {
  auto worker = Start(install.command());
  std::vector<std::string> replies;
  const std::size_t share = install.requests().size() / kRestarts + 1;
  for (std::size_t next = 0; next < install.requests().size();) {
    ChildProcess other(install.command());  // staging happens while A answers
    for (std::size_t end = std::min(next + share, install.requests().size()); next < end; ++next)
      replies.push_back(Ask(*worker, install.requests()[next]));
    EXPECT_EQ(other.ReadLine(ChildStream::kStderr, kReplyTimeout).value_or("(nothing)"), "ready");
    Ask(other, install.requests().front());
    ExpectCleanExit(other);
  }
  ExpectCleanExit(*worker);
  return replies;
}

// Four workers start at the same moment and share the titles.
std::vector<std::string> AnswerFromAPoolStartedAtOnce(const SharedInstall& install) {
  std::vector<std::unique_ptr<ChildProcess>> pool;
  for (int i = 0; i < kPoolSize; ++i) pool.push_back(std::make_unique<ChildProcess>(install.command()));
  for (auto& worker : pool)
    EXPECT_EQ(worker->ReadLine(ChildStream::kStderr, kReplyTimeout).value_or("(nothing)"), "ready");
  std::vector<std::string> replies;
  for (std::size_t i = 0; i < install.requests().size(); ++i)
    replies.push_back(Ask(*pool[i % kPoolSize], install.requests()[i]));
  for (auto& worker : pool) ExpectCleanExit(*worker);
  return replies;
}

// Cuts every file under folder to half its size, as a copy cut short leaves it.
void CutFilesShort(const fs::path& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) fs::resize_file(entry.path(), entry.file_size() / 2);
}

// What killed workers leave behind: the staged folders cut short, copies
// under their private names cut short, and the folders of the old layout.
std::vector<std::string> AnswerAfterKilledCopies(const SharedInstall& install) {
  const fs::path root = install.staging_root();
  std::vector<fs::path> staged;
  for (const auto& entry : fs::directory_iterator(root)) staged.push_back(entry.path());
  EXPECT_EQ(staged.size(), 2u) << "one staged copy per resource folder";
  for (const fs::path& folder : staged) {
    const std::string name = folder.filename().string();
    const std::string plain = name.substr(0, name.rfind('-'));
    fs::copy(folder, root / ("." + plain + ".part-1-0"), fs::copy_options::recursive);
    fs::copy(folder, root / plain, fs::copy_options::recursive);
    CutFilesShort(root / ("." + plain + ".part-1-0"));
    CutFilesShort(root / plain);
    CutFilesShort(folder);
  }
  auto worker = Start(install.command());
  std::vector<std::string> replies;
  for (const std::string& request : install.requests()) replies.push_back(Ask(*worker, request));
  ExpectCleanExit(*worker);
  return replies;
}

struct SharingCase {
  const char* name;
  std::function<std::vector<std::string>(const SharedInstall&)> run;
};

void PrintTo(const SharingCase& c, std::ostream* os) { *os << c.name; }

// The pool's workers run as they are, or keep their converters open
// (--reuse-converters) against a lone worker that does not.
struct WorkerSetting {
  const char* name;
  std::vector<std::string> arguments;
};

void PrintTo(const WorkerSetting& s, std::ostream* os) { *os << s.name; }

class SharedInstallTest : public ::testing::TestWithParam<std::tuple<SharingCase, WorkerSetting>> {};

TEST_P(SharedInstallTest, EveryReplyEqualsALoneWorkers) {
  const SharedInstall install(std::get<1>(GetParam()).arguments);
  const std::vector<std::string> expected = install.LoneReplies();
  const std::vector<std::string> replies = std::get<0>(GetParam()).run(install);
  ASSERT_EQ(replies.size(), expected.size());
  int differing = 0;
  for (std::size_t i = 0; i < replies.size(); ++i) {
    if (replies[i] == expected[i]) continue;
    if (++differing <= 3)
      ADD_FAILURE() << "reply " << i << ":\n  " << replies[i] << "\nlone worker:\n  " << expected[i];
  }
  EXPECT_EQ(differing, 0) << "replies that differ from a lone worker's";
}

const SharingCase kSharingCases[] = {
    {"AnotherWorkerStartsAgainAndAgain", AnswerWhileAnotherRestarts},
    {"FourWorkersStartAtOnce", AnswerFromAPoolStartedAtOnce},
    {"CopiesLeftByKilledWorkers", AnswerAfterKilledCopies},
};

const WorkerSetting kWorkerSettings[] = {
    {"", {}},
    {"ReusingConverters", {"--reuse-converters"}},
};

INSTANTIATE_TEST_SUITE_P(Workers, SharedInstallTest,
                         ::testing::Combine(::testing::ValuesIn(kSharingCases), ::testing::ValuesIn(kWorkerSettings)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });

// Rewrites a file in place, over and over, until it goes out of scope: every
// other time the text is cut short.
class Rewriter {
 public:
  Rewriter(fs::path file, std::string whole)
      : file_(std::move(file)), whole_(std::move(whole)), thread_([this] { Run(); }) {}
  Rewriter(const Rewriter&) = delete;
  Rewriter& operator=(const Rewriter&) = delete;
  ~Rewriter() {
    done_ = true;
    thread_.join();
  }

 private:
  // Short pauses leave the file whole about half the time, so a worker that
  // checked it whole and then reads it again often finds it cut short.
  void Run() {
    for (std::size_t round = 0; !done_; ++round) {
      std::ofstream(file_, std::ios::binary | std::ios::trunc)
          << whole_.substr(0, round % 2 ? whole_.size() : 100);
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }

  fs::path file_;
  std::string whole_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The dictionary folder is rewritten while workers start and load it.
TEST(JiebaLoadTest, DictionaryRewrittenDuringTheLoadNeverAbortsTheWorker) {
  const TempTree tree;
  const std::string dict = tree.MakeDir("dict");
  fs::copy(BesideWorker("jieba_dict"), dict, fs::copy_options::recursive);
  const fs::path model = fs::path(dict) / "hmm_model.utf8";
  std::ifstream in(model, std::ios::binary);
  const Rewriter rewriter(model,
                          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  const std::string request = R"({"id":"j","type":"extract","title":"蘋果手機殼","max_len":24})";
  for (int start = 0; start < 10; ++start) {
    auto worker = Start(WorkerCommandWith({"--model", QUIRVEL_DEMO_MODEL, "--tokenizer", QUIRVEL_DEMO_VOCAB,
                                           "--jieba-dict-dir", WorkerVisiblePath(dict)}));
    const std::string raw = Ask(*worker, request);
    const nlohmann::json reply = nlohmann::json::parse(raw, nullptr, false);
    ASSERT_TRUE(reply.is_object()) << raw << "\n" << worker->ReadRest(ChildStream::kStderr, kExitTimeout);
    if (reply.value("ok", false)) {
      EXPECT_EQ(reply.value("keywords", "?"), "蘋果手機殼") << raw;
    } else {
      EXPECT_EQ(reply.value("error", "?").rfind("invalid Jieba dictionary in ", 0), 0u) << raw;
    }
    ExpectCleanExit(*worker);
  }
}

}  // namespace
}  // namespace quirvel::test
