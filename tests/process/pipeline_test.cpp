// The whole pipeline through the built worker: script round trip, the keyword
// budget, the candidate-cache counters and a run over real titles.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "host/utf8.h"
#include "test_paths.h"
#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

std::string ExtractLine(const std::string& id, const std::string& title, int max_len) {
  return nlohmann::json{{"id", id}, {"type", "extract"}, {"title", title}, {"max_len", max_len}}.dump() +
         "\n";
}

class Worker {
 public:
  explicit Worker(const std::vector<std::string>& extra_arguments = {}) {
    std::vector<std::string> arguments = {"--model", QUIRVEL_DEMO_MODEL, "--tokenizer", QUIRVEL_DEMO_VOCAB};
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    process_ = std::make_unique<ChildProcess>(WorkerCommandWith(arguments));
    ready_ = process_->ReadLine(ChildStream::kStderr, kReplyTimeout).value_or("(nothing)");
  }

  const std::string& ready() const { return ready_; }

  nlohmann::json Ask(const std::string& line, std::string* raw = nullptr) {
    if (!process_->Write(line)) return nlohmann::json::value_t::discarded;
    return NextReply(*process_, raw);
  }

  ExitStatus Finish() { return FinishInput(*process_); }

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string ready_;
};

// Every character of the keywords (blanks aside) comes from the reply's title.
void ExpectKeywordsDrawnFromTitle(const nlohmann::json& reply) {
  const std::string title = reply.value("title", "");
  for (const std::string& ch : SplitUtf8Chars(reply.value("keywords", ""))) {
    if (ch == " ") continue;
    EXPECT_NE(title.find(ch), std::string::npos) << ch << " of " << reply.dump();
  }
}

TEST(PipelineTest, RepliesInTraditionalScriptWhicheverScriptTheTitleUses) {
  Worker worker;
  ASSERT_EQ(worker.ready(), "ready");
  const std::string simplified = "台湾制造 无线蓝牙耳机 降噪";
  const std::string traditional = "臺灣製造 無線藍牙耳機 降噪";
  const std::string taiwanese = "臺灣製造 無線藍芽耳機 降噪";  // Taiwan's own word for Bluetooth
  // A title written in Simplified is converted; one written in Traditional
  // comes back as the seller wrote it (藍牙 stays: the reply used to rewrite
  // a Traditional seller's words as s2twp would).
  for (const auto& [title, expected] : {std::pair{simplified, taiwanese}, std::pair{traditional, traditional}}) {
    std::string raw;
    const nlohmann::json reply = worker.Ask(ExtractLine("s", title, 24), &raw);
    ASSERT_EQ(reply.value("ok", false), true) << raw;
    EXPECT_EQ(reply["title"], expected) << raw;
    ExpectKeywordsDrawnFromTitle(reply);
    EXPECT_EQ(reply["keywords"].get<std::string>().find("无线"), std::string::npos) << raw;
  }
  EXPECT_EQ(worker.Finish().code, 0);
}

TEST(PipelineTest, KeywordsNeverExceedTheBudget) {
  Worker worker;
  ASSERT_EQ(worker.ready(), "ready");
  const std::string title = "【現貨】Apple iPhone 15 Pro 256GB 鈦金屬 原廠公司貨 保固一年 贈保護貼";
  // {requested max_len, effective budget}: below 1 means 24.
  const std::vector<std::pair<int, std::size_t>> budgets = {{1, 1},   {3, 3},   {8, 8},  {15, 15},
                                                            {24, 24}, {40, 40}, {0, 24}, {-7, 24}};
  for (const auto& [requested, budget] : budgets) {
    std::string raw;
    const nlohmann::json reply = worker.Ask(ExtractLine("b", title, requested), &raw);
    ASSERT_EQ(reply.value("ok", false), true) << raw;
    EXPECT_LE(CountUtf8Chars(reply["keywords"].get<std::string>()), budget) << raw;
    EXPECT_LE(reply["len"].get<std::size_t>(), budget) << raw;
    EXPECT_GT(reply["len"].get<std::size_t>(), 0u) << raw;
    ExpectKeywordsDrawnFromTitle(reply);
  }
  EXPECT_EQ(worker.Finish().code, 0);
}

TEST(PipelineTest, CandidateCacheCountsOnlyWhenSwitchedOn) {
  const std::string title = "無印良品 MUJI 超音波芬香噴霧器 加濕器";
  Worker plain;
  ASSERT_EQ(plain.ready(), "ready");
  plain.Ask(ExtractLine("1", title, 24));
  const nlohmann::json off = plain.Ask(ExtractLine("2", title, 24));
  EXPECT_EQ(off["candidate_cache_hits"], 0);
  EXPECT_EQ(off["candidate_cache_misses"], 0);
  EXPECT_EQ(off["candidate_cache_size"], 0);
  plain.Finish();

  Worker cached({"--candidate-cache"});
  ASSERT_EQ(cached.ready(), "ready");
  const nlohmann::json first = cached.Ask(ExtractLine("1", title, 24));
  const std::uint64_t candidates = first["candidate_cache_misses"].get<std::uint64_t>();
  ASSERT_GT(candidates, 0u);
  EXPECT_EQ(first["candidate_cache_hits"], 0);
  EXPECT_EQ(first["candidate_cache_size"], candidates);
  const nlohmann::json second = cached.Ask(ExtractLine("2", title, 24));
  EXPECT_EQ(second["candidate_cache_hits"], candidates);
  EXPECT_EQ(second["candidate_cache_misses"], candidates);
  EXPECT_EQ(second["keywords"], first["keywords"]) << "cached embeddings changed the answer";
  const nlohmann::json metrics = cached.Ask("{\"id\":\"m\",\"type\":\"metrics\"}\n");
  EXPECT_EQ(metrics["candidate_cache_size"], candidates);
  EXPECT_EQ(cached.Finish().code, 0);
}

std::vector<std::string> RealTitles(std::size_t per_file) {
  std::vector<std::string> titles;
  for (const char* name : {"tw.txt", "cn.txt", "tw_market_simplified.txt", "no_cjk.txt"}) {
    std::ifstream file(std::filesystem::path(kSharedDataDir) / "titles" / name);
    std::string line;
    for (std::size_t taken = 0; taken < per_file && std::getline(file, line);) {
      if (!line.empty()) titles.push_back(line), ++taken;
    }
  }
  return titles;
}

TEST(PipelineTest, RealTitlesAreAllAnsweredWithinTheBudget) {
  const std::vector<std::string> titles = RealTitles(75);
  if (titles.empty()) GTEST_SKIP() << "no real titles under " << kSharedDataDir;
  Worker worker({"--candidate-cache"});
  ASSERT_EQ(worker.ready(), "ready");
  for (std::size_t i = 0; i < titles.size(); ++i) {
    const int max_len = 4 + static_cast<int>(i % 30);
    std::string raw;
    const nlohmann::json reply = worker.Ask(ExtractLine(std::to_string(i), titles[i], max_len), &raw);
    ASSERT_TRUE(reply.is_object()) << "no reply to " << titles[i] << ": " << raw;
    ASSERT_EQ(reply.value("ok", false), true) << raw;
    EXPECT_EQ(reply["id"], std::to_string(i));
    EXPECT_LE(CountUtf8Chars(reply["keywords"].get<std::string>()), static_cast<std::size_t>(max_len)) << raw;
  }
  const ExitStatus status = worker.Finish();
  EXPECT_TRUE(status.exited && status.code == 0) << DescribeExit(status);
}

}  // namespace
}  // namespace quirvel::test
