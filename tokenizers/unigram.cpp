// Unigram: each word, prefixed with the meta-space, is segmented by a best-score
// search over a lattice of the vocabulary's pieces. The pieces that start at a
// character are found by one walk of the piece trie from there, so no
// substring is built or hashed.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <utility>

#include "host/utf8.h"
#include "tokenizers/tokenizer.h"

namespace quirvel {
namespace {

constexpr std::string_view kMetaSpace = "\xE2\x96\x81";  // U+2581
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

// Every piece that starts at character `start` offers its edge, shortest
// first: the walk goes on character by character while some piece continues,
// and a piece counts only when it ends where a character of the text ends.
void OfferPiecesFrom(const UnigramPieces& pieces, std::string_view text, const std::vector<std::size_t>& offsets,
                     std::size_t start, std::vector<LatticeNode>& lattice) {
  DoubleArrayTrie::Node node = DoubleArrayTrie::kRoot;
  const std::size_t n = offsets.size() - 1;
  for (std::size_t end = start + 1; end <= n; ++end) {
    for (std::size_t pos = offsets[end - 1]; pos < offsets[end]; ++pos) {
      if (!pieces.trie.Step(node, static_cast<unsigned char>(text[pos]))) return;
    }
    const std::int32_t value = pieces.trie.ValueAt(node);
    if (value == DoubleArrayTrie::kNoValue) continue;
    const VocabularyEntry& entry = pieces.entries[static_cast<std::size_t>(value)];
    Offer(lattice, start, end, entry.score, entry.id);
  }
}

// The buffers of one search, kept per thread: a request tokenizes hundreds of
// short texts (every candidate, every word of a prompt), and once they have
// grown to the longest of them no search allocates.
struct LatticeBuffers {
  std::string word;  // meta-space + word
  std::vector<std::size_t> offsets;
  std::vector<LatticeNode> lattice;
};

LatticeBuffers& ThreadBuffers() {
  thread_local LatticeBuffers buffers;
  return buffers;
}

// Fills buffers.lattice for text; false when the text has no character.
bool SearchLattice(const TokenizerData& data, const UnigramPieces& pieces, std::string_view text,
                   LatticeBuffers& buffers) {
  Utf8CharOffsets(text, buffers.offsets);
  const std::size_t n = buffers.offsets.size() - 1;
  if (n == 0) return false;
  std::vector<LatticeNode>& lattice = buffers.lattice;
  lattice.assign(n + 1, LatticeNode{});
  lattice[0] = LatticeNode{0.0, 0, -1, -1};
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(lattice[i].score)) continue;
    Offer(lattice, i, i + 1, data.unknown_score, data.unknown_id);
    OfferPiecesFrom(pieces, text, buffers.offsets, i, lattice);
  }
  return true;
}

// The first `take` ids of the best path, in text order, appended to ids. The
// last node's count is the number of pieces on its path.
void AppendBestPath(const std::vector<LatticeNode>& lattice, std::size_t take, std::vector<std::int64_t>& ids) {
  const auto pieces = static_cast<std::size_t>(lattice.back().count);
  take = std::min(take, pieces);
  const std::size_t first = ids.size();
  ids.resize(first + take);
  std::size_t position = pieces;
  for (std::ptrdiff_t node = static_cast<std::ptrdiff_t>(lattice.size()) - 1; node > 0;
       node = lattice[static_cast<std::size_t>(node)].from) {
    if (--position < take) ids[first + position] = lattice[static_cast<std::size_t>(node)].id;
  }
}

}  // namespace

std::vector<std::int64_t> Tokenizer::SegmentUnigram(std::string_view text) const {
  LatticeBuffers& buffers = ThreadBuffers();
  std::vector<std::int64_t> ids;
  if (SearchLattice(data_, unigram_pieces_, text, buffers)) {
    AppendBestPath(buffers.lattice, std::numeric_limits<std::size_t>::max(), ids);
  }
  return ids;
}

// Longer pieces are never tried by the lattice, so they stay out of the trie
// and a walk never goes deeper than the longest piece it could use. The texts
// are first copied side by side: the map's entries lie scattered in memory,
// and the trie's sort then reads them from one block instead.
UnigramPieces BuildUnigramPieces(const Vocabulary& vocabulary) {
  UnigramPieces pieces;
  pieces.entries.reserve(vocabulary.size());
  std::string texts;
  std::vector<std::size_t> ends;
  ends.reserve(vocabulary.size());
  for (const auto& [text, entry] : vocabulary) {
    // A character is one byte at least, so only long texts need counting.
    if (text.size() > kLongestUnigramPiece && CountUtf8Chars(text) > kLongestUnigramPiece) continue;
    texts += text;
    ends.push_back(texts.size());
    pieces.entries.push_back(entry);
  }
  std::vector<std::pair<std::string_view, std::int32_t>> keys;
  keys.reserve(ends.size());
  std::size_t begin = 0;
  for (const std::size_t end : ends) {
    keys.emplace_back(std::string_view(texts).substr(begin, end - begin), static_cast<std::int32_t>(keys.size()));
    begin = end;
  }
  pieces.trie = DoubleArrayTrie(keys);
  return pieces;
}

void Tokenizer::EncodeUnigramWord(std::string_view word, std::int32_t max_length,
                                  std::vector<std::int64_t>& ids) const {
  if (word.empty()) return;
  LatticeBuffers& buffers = ThreadBuffers();
  buffers.word.assign(kMetaSpace).append(word);
  if (!SearchLattice(data_, unigram_pieces_, buffers.word, buffers)) return;
  // Ids are appended while one more still leaves room for the end id.
  std::size_t room = std::numeric_limits<std::size_t>::max();
  if (max_length >= 1) {
    const auto limit = static_cast<std::size_t>(max_length);
    room = ids.size() + 1 < limit ? limit - 1 - ids.size() : 0;
  }
  AppendBestPath(buffers.lattice, room, ids);
}

}  // namespace quirvel
