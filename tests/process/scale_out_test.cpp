// The README's scale-out recipe: GNU parallel deals a file of requests out to
// several workers (--pipe --round-robin) and gathers their replies. Each
// request must be answered exactly once, and each reply must be the one a
// single worker gives, byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/driver/titles.h"
#include "tests/host/temp_tree.h"
#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

constexpr const char* kParallel = "/usr/bin/parallel";

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string WorkerLine(const std::string& extra) {
  return Quoted(WorkerPath()) + " --model " + Quoted(QUIRVEL_DEMO_MODEL) + " --tokenizer " +
         Quoted(QUIRVEL_DEMO_VOCAB) + extra;
}

// Every built-in title at three budgets, a convert and a metrics request:
// enough lines for several blocks, so both workers get some.
std::string RequestFile() {
  std::ostringstream requests;
  int id = 0;
  for (const std::string& title : bench::BuiltInTitles()) {
    for (int max_len : {8, 16, 24}) {
      const nlohmann::json request{
          {"id", "r" + std::to_string(++id)}, {"type", "extract"}, {"title", title}, {"max_len", max_len}};
      requests << request.dump() << '\n';
    }
  }
  requests << R"({"id":"convert","type":"convert","title":"臺灣製造 無線藍牙耳機"})" << '\n';
  requests << R"({"id":"metrics","type":"metrics"})" << '\n';
  return requests.str();
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
  int count = 0;
  for (const std::string& line : lines) count += line == text ? 1 : 0;
  return count;
}

// Replies by id; an id answered twice is recorded by the counter.
std::map<std::string, std::string> ById(const std::vector<std::string>& replies,
                                        std::map<std::string, int>& seen) {
  std::map<std::string, std::string> by_id;
  for (const std::string& reply : replies) {
    const std::string id = nlohmann::json::parse(reply, nullptr, false).value("id", "");
    ++seen[id];
    by_id[id] = reply;
  }
  return by_id;
}

TEST(ScaleOutTest, ParallelRoundRobinAnswersEveryIdOnceAsOneWorkerDoes) {
  if (WorkerIsWindowsBuild()) GTEST_SKIP() << "the recipe runs the native worker";
  if (std::ifstream(kParallel).fail())
    GTEST_SKIP() << kParallel << " is missing (scripts/bootstrap.sh installs it)";
  const TempTree tree;
  const std::string requests = tree.WriteFile("requests.jsonl", RequestFile());
  const std::string single = tree.root() + "/single.jsonl";
  const std::string pooled = tree.root() + "/pooled.jsonl";
  const std::string pooled_err = tree.root() + "/pooled.err";
  ASSERT_EQ(std::system(
                (WorkerLine("") + " <" + Quoted(requests) + " >" + Quoted(single) + " 2>/dev/null").c_str()),
            0);
  const std::string recipe = std::string(kParallel) + " --will-cite --pipe --round-robin -j 2 --block 2k " +
                             WorkerLine(" --threads 1") + " <" + Quoted(requests) + " >" + Quoted(pooled) +
                             " 2>" + Quoted(pooled_err);
  ASSERT_EQ(std::system(recipe.c_str()), 0) << recipe;

  EXPECT_EQ(CountLines(Lines(pooled_err), "ready"), 2) << "both workers started";
  const std::vector<std::string> expected = Lines(single);
  std::map<std::string, int> seen;
  std::map<std::string, int> seen_single;
  const std::map<std::string, std::string> pooled_by_id = ById(Lines(pooled), seen);
  const std::map<std::string, std::string> single_by_id = ById(expected, seen_single);
  ASSERT_EQ(single_by_id.size(), Lines(requests).size()) << "one worker answers every id";
  EXPECT_EQ(seen.size(), expected.size());
  for (const auto& [id, count] : seen) EXPECT_EQ(count, 1) << "id " << id;
  for (const auto& [id, reply] : single_by_id)
    EXPECT_EQ(pooled_by_id.count(id) ? pooled_by_id.at(id) : "", reply);
}

}  // namespace
}  // namespace quirvel::test
