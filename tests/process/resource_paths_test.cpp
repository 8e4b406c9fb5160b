// Files under folders whose names hold Chinese characters, as on a Chinese
// user's machine: the model and tokenizer are opened by their wide names, and
// the resource folders are staged into the temporary folder, which may itself
// hold Chinese characters; the replies must not change.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/temp_tree.h"
#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

namespace fs = std::filesystem;

const std::string kRoundTrip =
    "{\"id\":\"e\",\"type\":\"extract\",\"title\":\"苹果手机壳\"}\n"
    "{\"id\":\"c\",\"type\":\"convert\",\"title\":\"蘋果手機殼\"}\n";

// Starts the worker, sends the extract and convert requests and checks the
// script of both replies; standard error is shown when something is off.
void ExpectRoundTrip(const std::vector<std::string>& command) {
  ChildProcess worker(command);
  const std::optional<std::string> ready = worker.ReadLine(ChildStream::kStderr, kReplyTimeout);
  ASSERT_EQ(ready.value_or("(nothing)"), "ready") << worker.ReadRest(ChildStream::kStderr, kExitTimeout);
  ASSERT_TRUE(worker.Write(kRoundTrip));
  std::string raw;
  const nlohmann::json extract = NextReply(worker, &raw);
  EXPECT_EQ(extract.value("title", "?"), "蘋果手機殼") << "back-conversion failed: " << raw;
  EXPECT_EQ(extract.value("keywords", "?"), "蘋果手機殼") << raw;
  const nlohmann::json convert = NextReply(worker, &raw);
  EXPECT_EQ(convert.value("normalized_title", "?"), "苹果手机壳") << raw;
  const ExitStatus status = FinishInput(worker);
  EXPECT_TRUE(status.exited && status.code == 0) << DescribeExit(status);
}

TEST(ResourcePathsTest, ModelAndTokenizerUnderChineseFolders) {
  const TempTree tree;
  const std::string model = tree.MakeDir("向量模型") + "/模型.onnx";
  const std::string vocab = tree.MakeDir("分词器") + "/词表.txt";
  fs::copy_file(QUIRVEL_DEMO_MODEL, model);
  fs::copy_file(QUIRVEL_DEMO_VOCAB, vocab);
  ExpectRoundTrip(WorkerCommandWith({"--model", model, "--tokenizer", vocab}));
}

// How many staged folders named prefix and a fingerprint hold file.
int StagedCopiesHolding(const std::string& root, const std::string& prefix, const std::string& file) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && fs::is_regular_file(entry.path() / file)) ++count;
  }
  return count;
}

struct StagingCase {
  const char* name;
  const char* temp_folder;
};

void PrintTo(const StagingCase& c, std::ostream* os) { *os << c.name; }

class StagingTest : public ::testing::TestWithParam<StagingCase> {};

// The worker's folder, as a package unpacks it, under a Chinese folder: its
// opencc/ and jieba_dict/ are copied into qrv_ipc_resources in the temporary
// folder and read from there.
TEST_P(StagingTest, ResourcesBesideTheWorkerAreStagedAndUsed) {
  const TempTree tree;
  const std::string folder = tree.MakeDir("关键词工具");
  const std::string worker = CopyWorkerInto(folder);
  for (const char* name : {"opencc", "jieba_dict"})
    fs::copy(BesideWorker(name), folder + "/" + name, fs::copy_options::recursive);
  const std::string temp = tree.MakeDir(GetParam().temp_folder);
  const std::vector<std::string> command =
      CommandWithTempDir(worker, temp, {"--model", QUIRVEL_DEMO_MODEL, "--tokenizer", QUIRVEL_DEMO_VOCAB});
  // The second start-up reuses the copies of the first.
  for (int start = 0; start < 2; ++start) ExpectRoundTrip(command);
  for (const auto& [folder, file] :
       {std::pair{"opencc-", "s2twp.json"}, std::pair{"opencc-", "TSCharacters.ocd2"},
        std::pair{"jieba_dict-", "jieba.dict.utf8"}})
    EXPECT_EQ(StagedCopiesHolding(temp + "/qrv_ipc_resources", folder, file), 1)
        << file << " was not staged once";
}

const StagingCase kStagingCases[] = {
    {"PlainTemporaryFolder", "tmp"},
    // The staged copy is not plain ASCII either: the libraries must get the
    // paths in the form they can open.
    {"ChineseTemporaryFolder", "临时文件"},
};

INSTANTIATE_TEST_SUITE_P(Worker, StagingTest, ::testing::ValuesIn(kStagingCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quirvel::test
