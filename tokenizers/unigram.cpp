// Unigram: each word, prefixed with the meta-space, is segmented by a best-score
// search over a lattice of the vocabulary's pieces.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "host/utf8.h"
#include "tokenizers/tokenizer.h"

namespace quirvel {
namespace {

constexpr std::string_view kMetaSpace = "\xE2\x96\x81";  // U+2581
constexpr std::size_t kLongestPieceSearched = 64;
constexpr double kScoreTolerance = 1e-8;

struct LatticeNode {
  double score = -std::numeric_limits<double>::infinity();
  std::int32_t count = std::numeric_limits<std::int32_t>::max();
  std::int64_t id = -1;
  std::ptrdiff_t from = -1;
};

// Scores within the tolerance count as equal; then fewer pieces win, and on a
// full tie the candidate tried first stays.
bool Improves(double score, std::int32_t count, const LatticeNode& node) {
  if (score > node.score + kScoreTolerance) return true;
  return std::abs(score - node.score) <= kScoreTolerance && count < node.count;
}

void Offer(std::vector<LatticeNode>& lattice, std::size_t from, std::size_t to, double piece_score,
           std::int64_t id) {
  const LatticeNode& source = lattice[from];
  const double score = source.score + piece_score;
  const std::int32_t count = source.count + 1;
  if (!Improves(score, count, lattice[to])) return;
  lattice[to] = LatticeNode{score, count, id, static_cast<std::ptrdiff_t>(from)};
}

std::vector<std::int64_t> Backtrack(const std::vector<LatticeNode>& lattice) {
  std::vector<std::int64_t> ids;
  for (std::ptrdiff_t node = static_cast<std::ptrdiff_t>(lattice.size()) - 1; node > 0;
       node = lattice[node].from) {
    ids.push_back(lattice[node].id);
  }
  std::reverse(ids.begin(), ids.end());
  return ids;
}

}  // namespace

std::vector<std::int64_t> Tokenizer::SegmentUnigram(std::string_view text) const {
  const std::vector<std::size_t> offsets = Utf8CharOffsets(text);
  const std::size_t n = offsets.size() - 1;
  if (n == 0) return {};
  std::vector<LatticeNode> lattice(n + 1);
  lattice[0] = LatticeNode{0.0, 0, -1, -1};
  const std::size_t longest = std::min(data_.longest_token, kLongestPieceSearched);
  std::string piece;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(lattice[i].score)) continue;
    Offer(lattice, i, i + 1, data_.unknown_score, data_.unknown_id);
    for (std::size_t k = 1; k <= std::min(longest, n - i); ++k) {
      piece.assign(text.substr(offsets[i], offsets[i + k] - offsets[i]));
      const auto found = data_.vocabulary.find(piece);
      if (found != data_.vocabulary.end()) Offer(lattice, i, i + k, found->second.score, found->second.id);
    }
  }
  return Backtrack(lattice);
}

void Tokenizer::EncodeUnigramWord(std::string_view word, std::int32_t max_length,
                                  std::vector<std::int64_t>& ids) const {
  if (word.empty()) return;
  std::string piece(kMetaSpace);
  piece.append(word);
  for (const std::int64_t id : SegmentUnigram(piece)) {
    if (max_length >= 1 && ids.size() + 1 >= static_cast<std::size_t>(max_length)) return;
    ids.push_back(id);
  }
}

}  // namespace quirvel
