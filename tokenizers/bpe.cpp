// Byte-level BPE: a character-class pre-split, the GPT-2 byte-to-symbol table,
// and merging of adjacent symbols by rank.
#include <cstddef>
#include <cstdint>
#include <queue>
#include <string>
#include <unordered_map>

#include "host/unicode.h"
#include "host/utf8.h"
#include "tokenizers/tokenizer.h"

namespace quirvel {
namespace {

enum class PieceClass { WhiteSpace, Letter, Digit, Other };

bool IsPrintableByte(int byte) {
  return (byte >= 33 && byte <= 126) || (byte >= 161 && byte <= 172) || (byte >= 174 && byte <= 255);
}

std::array<std::string, 256> BuildByteLevelSymbols() {
  std::array<std::string, 256> symbols;
  std::uint32_t next_free = 256;
  for (int byte = 0; byte < 256; ++byte) {
    const std::uint32_t code_point = IsPrintableByte(byte) ? static_cast<std::uint32_t>(byte) : next_free++;
    AppendUtf8(symbols[static_cast<std::size_t>(byte)], code_point);
  }
  return symbols;
}

std::unordered_map<std::string, char> BuildSymbolBytes() {
  std::unordered_map<std::string, char> bytes;
  for (std::size_t byte = 0; byte < 256; ++byte) bytes[ByteLevelSymbols()[byte]] = static_cast<char>(byte);
  return bytes;
}

// A multi-byte character is a letter when it is a Han character; bytes that
// are not valid UTF-8 never are.
bool IsHanCharacter(std::string_view character) {
  const DecodedChar decoded = DecodeUtf8At(character, 0);
  return decoded.length == character.size() && IsHanCodePoint(decoded.code_point);
}

PieceClass ClassifyForPieces(std::string_view character) {
  if (character.size() > 1) return IsHanCharacter(character) ? PieceClass::Letter : PieceClass::Other;
  const char c = character[0];
  if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r')
    return PieceClass::WhiteSpace;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return PieceClass::Letter;
  if (c >= '0' && c <= '9') return PieceClass::Digit;
  return PieceClass::Other;
}

// Character boundaries of a text with the class of each character.
struct ClassifiedText {
  std::vector<std::size_t> offsets;  // one per character, then the text's end
  std::vector<PieceClass> classes;
};

ClassifiedText Classify(std::string_view text) {
  ClassifiedText out;
  out.offsets = Utf8CharOffsets(text);
  for (std::size_t i = 0; i + 1 < out.offsets.size(); ++i)
    out.classes.push_back(
        ClassifyForPieces(text.substr(out.offsets[i], out.offsets[i + 1] - out.offsets[i])));
  return out;
}

std::size_t RunEnd(const std::vector<PieceClass>& classes, std::size_t i, PieceClass kind) {
  while (i < classes.size() && classes[i] == kind) ++i;
  return i;
}

// Index of the character after the piece that starts at character i.
std::size_t PieceEnd(const std::vector<PieceClass>& classes, std::size_t i) {
  const PieceClass kind = classes[i];
  if (kind == PieceClass::Digit) return i + 1;
  if (kind != PieceClass::WhiteSpace) return RunEnd(classes, i, kind);
  const std::size_t next = i + 1;
  if (next < classes.size() && (classes[next] == PieceClass::Letter || classes[next] == PieceClass::Other)) {
    return RunEnd(classes, next, classes[next]);
  }
  return next;
}

// One symbol of a piece being merged: a byte range of the piece's mapped text,
// linked to its neighbours.
struct MergeSymbol {
  std::size_t begin;
  std::size_t end;
  std::ptrdiff_t prev;
  std::ptrdiff_t next;
  bool alive;
};

// A candidate merge of symbols left and right (left + 1 ... are neighbours by link).
// right_end records the right symbol's extent when queued: if it has grown since,
// the entry is stale.
struct MergeCandidate {
  std::int64_t rank;
  std::ptrdiff_t left;
  std::ptrdiff_t right;
  std::size_t right_end;
};

// Lowest rank first; among equal ranks the leftmost pair.
struct MergeOrder {
  bool operator()(const MergeCandidate& a, const MergeCandidate& b) const {
    return a.rank != b.rank ? a.rank > b.rank : a.left > b.left;
  }
};

using MergeQueue = std::priority_queue<MergeCandidate, std::vector<MergeCandidate>, MergeOrder>;

// Merging through a queue of adjacent pairs costs O(m log m) per piece, and picks
// the same pair at every step as rescanning all pairs would: every live adjacent
// pair with a rank is in the queue, and the left index orders pairs by position.
class PieceMerger {
 public:
  PieceMerger(std::string_view piece, const std::unordered_map<std::string, std::int64_t>& merges)
      : merges_(merges) {
    const auto& table = ByteLevelSymbols();
    for (std::size_t i = 0; i < piece.size(); ++i) {
      const std::size_t begin = mapped_.size();
      mapped_ += table[static_cast<unsigned char>(piece[i])];
      const auto index = static_cast<std::ptrdiff_t>(i);
      symbols_.push_back(MergeSymbol{begin, mapped_.size(), index - 1, index + 1, true});
    }
    if (!symbols_.empty()) symbols_.back().next = -1;
  }

  std::vector<std::string> Run() {
    for (std::size_t i = 0; i + 1 < symbols_.size(); ++i) Enqueue(static_cast<std::ptrdiff_t>(i));
    while (!queue_.empty()) {
      const MergeCandidate top = queue_.top();
      queue_.pop();
      if (IsCurrent(top)) Merge(top);
    }
    return LiveSymbols();
  }

 private:
  std::string_view Text(const MergeSymbol& symbol) const {
    return std::string_view(mapped_).substr(symbol.begin, symbol.end - symbol.begin);
  }

  void Enqueue(std::ptrdiff_t left) {
    if (left < 0) return;
    const std::ptrdiff_t right = symbols_[left].next;
    if (right < 0) return;
    key_.assign(Text(symbols_[left]));
    key_ += kMergeSeparator;
    key_.append(Text(symbols_[right]));
    const auto found = merges_.find(key_);
    if (found != merges_.end()) queue_.push(MergeCandidate{found->second, left, right, symbols_[right].end});
  }

  bool IsCurrent(const MergeCandidate& candidate) const {
    const MergeSymbol& left = symbols_[candidate.left];
    const MergeSymbol& right = symbols_[candidate.right];
    return left.alive && right.alive && left.next == candidate.right && right.end == candidate.right_end;
  }

  // The right symbol's bytes follow the left one's in mapped_, so a merge only
  // widens the left symbol.
  void Merge(const MergeCandidate& candidate) {
    MergeSymbol& left = symbols_[candidate.left];
    MergeSymbol& right = symbols_[candidate.right];
    left.end = right.end;
    left.next = right.next;
    right.alive = false;
    if (left.next >= 0) symbols_[left.next].prev = candidate.left;
    Enqueue(left.prev);
    Enqueue(candidate.left);
  }

  std::vector<std::string> LiveSymbols() const {
    std::vector<std::string> out;
    for (std::ptrdiff_t i = symbols_.empty() ? -1 : 0; i >= 0; i = symbols_[i].next)
      out.emplace_back(Text(symbols_[i]));
    return out;
  }

  const std::unordered_map<std::string, std::int64_t>& merges_;
  std::string mapped_;
  std::vector<MergeSymbol> symbols_;
  MergeQueue queue_;
  std::string key_;
};

}  // namespace

const std::array<std::string, 256>& ByteLevelSymbols() {
  static const std::array<std::string, 256> symbols = BuildByteLevelSymbols();
  return symbols;
}

std::string DecodeByteLevel(std::string_view symbols) {
  static const std::unordered_map<std::string, char> inverse = BuildSymbolBytes();
  std::string bytes;
  for (std::size_t pos = 0; pos < symbols.size();) {
    const std::size_t length = Utf8CharLengthAt(symbols, pos);
    const std::string character(symbols.substr(pos, length));
    const auto found = inverse.find(character);
    if (found == inverse.end()) {
      bytes += character;
    } else {
      bytes += found->second;
    }
    pos += length;
  }
  return bytes;
}

std::vector<std::string> SplitPieces(std::string_view text) {
  const ClassifiedText classified = Classify(text);
  std::vector<std::string> pieces;
  for (std::size_t i = 0; i < classified.classes.size();) {
    const std::size_t end = PieceEnd(classified.classes, i);
    pieces.emplace_back(text.substr(classified.offsets[i], classified.offsets[end] - classified.offsets[i]));
    i = end;
  }
  return pieces;
}

std::vector<std::int64_t> Tokenizer::EncodeBpePiece(std::string_view piece) const {
  std::vector<std::int64_t> ids;
  for (const auto& symbol : PieceMerger(piece, data_.merges).Run()) ids.push_back(IdOrUnknown(symbol));
  return ids;
}

}  // namespace quirvel
