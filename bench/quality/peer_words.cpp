#include "bench/quality/peer_words.h"

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "bench/driver/child_process.h"

namespace quirvel::quality {
namespace {

using Json = nlohmann::ordered_json;
using Millis = std::chrono::milliseconds;
// jieba loads its dictionary before the first line; every title after it takes milliseconds.
constexpr Millis kLineTimeout(120000);
constexpr Millis kExitTimeout(10000);

RankedWords WordsOf(const std::string& peer, const Json& words) {
  if (!words.is_array()) throw std::runtime_error("peer \"" + peer + "\" is not an array of words");
  RankedWords ranked;
  for (const Json& word : words) {
    if (!word.is_string()) throw std::runtime_error("peer \"" + peer + "\" holds something other than words");
    ranked.push_back(word.get<std::string>());
  }
  return ranked;
}

std::string LineCountMessage(size_t lines, size_t titles) {
  return "holds " + std::to_string(lines) + " lines for " + std::to_string(titles) + " titles";
}

[[noreturn]] void ScriptFailed(bench::ChildProcess& script, const std::string& what) {
  const std::string stderr_text = script.ReadRest(bench::ChildStream::kStderr, Millis(2000));
  const bench::ExitStatus status = script.Wait(kExitTimeout);
  throw std::runtime_error("jieba peers: " + what + "; script " + bench::DescribeExit(status) +
                           " (is python3-jieba installed? scripts/bootstrap.sh installs it; --no-jieba runs "
                           "without it); its standard error:\n" +
                           script.PendingStderr() + stderr_text);
}

}  // namespace

std::vector<std::pair<std::string, RankedWords>> ParsePeerLine(const std::string& line) {
  const Json parsed = Json::parse(line, nullptr, false);
  if (!parsed.is_object()) throw std::runtime_error("not a JSON object");
  std::vector<std::pair<std::string, RankedWords>> peers;
  for (const auto& [peer, words] : parsed.items()) peers.emplace_back(peer, WordsOf(peer, words));
  return peers;
}

PeerWords CollectPeerWords(const std::vector<std::string>& lines) {
  PeerWords collected;
  for (size_t number = 0; number < lines.size(); ++number) {
    const std::string where = "peer line " + std::to_string(number + 1) + ": ";
    std::vector<std::pair<std::string, RankedWords>> peers;
    try {
      peers = ParsePeerLine(lines[number]);
    } catch (const std::runtime_error& error) {
      throw std::runtime_error(where + error.what());
    }
    if (number == 0) {
      for (const auto& peer : peers) collected.peers.push_back(peer.first);
      collected.words.resize(peers.size());
    }
    if (peers.size() != collected.peers.size())
      throw std::runtime_error(where + "names other peers than line 1");
    for (size_t i = 0; i < peers.size(); ++i) {
      if (peers[i].first != collected.peers[i])
        throw std::runtime_error(where + "names other peers than line 1");
      collected.words[i].push_back(std::move(peers[i].second));
    }
  }
  return collected;
}

PeerWords LoadPeerWords(const std::string& path, size_t title_count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read peer answers " + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  if (lines.size() != title_count)
    throw std::runtime_error(path + " " + LineCountMessage(lines.size(), title_count));
  return CollectPeerWords(lines);
}

PeerWords RunJiebaPeers(const std::string& python, const std::string& script_path,
                        const std::vector<std::string>& normalized_titles) {
  std::optional<bench::ChildProcess> started;
  try {
    started.emplace(std::vector<std::string>{python, script_path});
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(std::string("jieba peers: ") + error.what() +
                             " (--python names another Python 3; --no-jieba runs without the jieba peers)");
  }
  bench::ChildProcess& script = *started;
  std::string input;
  for (const std::string& title : normalized_titles) {
    input += Json(title).dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  }
  if (!script.Write(input)) ScriptFailed(script, "cannot write the titles");
  script.CloseStdin();
  std::vector<std::string> lines;
  while (lines.size() < normalized_titles.size()) {
    auto line = script.ReadLine(bench::ChildStream::kStdout, kLineTimeout);
    if (!line) {
      ScriptFailed(script, "wrote " + std::to_string(lines.size()) + " lines for " +
                               std::to_string(normalized_titles.size()) + " titles");
    }
    lines.push_back(std::move(*line));
  }
  const bench::ExitStatus status = script.Wait(kExitTimeout);
  if (!status.exited || status.code != 0) ScriptFailed(script, "did not end cleanly");
  return CollectPeerWords(lines);
}

}  // namespace quirvel::quality
