// The words of peers that rank words (jieba's TF-IDF and TextRank), per title,
// best first: from the jieba script run over the normalised titles, or from a
// file of the same lines.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quirvel::quality {

// One peer's words for one title, best first.
using RankedWords = std::vector<std::string>;

// Per peer (in the order of the first line), per title: its words.
struct PeerWords {
  std::vector<std::string> peers;
  std::vector<std::vector<RankedWords>> words;
};

// One line: a JSON object whose members are peers, each an array of words.
// Throws std::runtime_error when it is anything else.
std::vector<std::pair<std::string, RankedWords>> ParsePeerLine(const std::string& line);

// Gathers the lines, one per title; every line must name the same peers in
// the same order. Throws std::runtime_error naming the line at fault.
PeerWords CollectPeerWords(const std::vector<std::string>& lines);

// Reads a file of such lines; it must hold one per title.
PeerWords LoadPeerWords(const std::string& path, size_t title_count);

// Runs the jieba script (`python script`) over the normalised titles.
// Throws std::runtime_error with the script's standard error when it fails.
PeerWords RunJiebaPeers(const std::string& python, const std::string& script,
                        const std::vector<std::string>& normalized_titles);

}  // namespace quirvel::quality
