// A loaded tokenizer (WordPiece, byte-level BPE or Unigram): an immutable
// vocabulary and a stateless encode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tokenizers/double_array_trie.h"

namespace quirvel {

enum class TokenizerKind : std::uint32_t { Unigram = 0, WordPiece = 1, BPE = 2 };

struct VocabularyEntry {
  std::int64_t id = 0;
  float score = 0.0f;
};
using Vocabulary = std::unordered_map<std::string, VocabularyEntry>;

// Between the two symbols of a BPE merge key: a control byte no symbol holds.
inline constexpr char kMergeSeparator = '\x1F';

// The Unigram pieces of a vocabulary that the lattice may use (those of at
// most kLongestUnigramPiece characters), in a trie whose values index `entries`.
struct UnigramPieces {
  DoubleArrayTrie trie;
  std::vector<VocabularyEntry> entries;
};
inline constexpr std::size_t kLongestUnigramPiece = 64;
UnigramPieces BuildUnigramPieces(const Vocabulary& vocabulary);

// Everything a tokenizer file decides; filled once by the loader, read-only afterwards.
struct TokenizerData {
  Vocabulary vocabulary;
  // BPE: left symbol, 0x1F, right symbol -> rank (lower merges first).
  std::unordered_map<std::string, std::int64_t> merges;
  TokenizerKind kind = TokenizerKind::Unigram;
  std::size_t longest_token = 1;  // in characters
  std::int32_t max_input_chars_per_word = 100;
  std::string continuing_subword_prefix = "##";
  bool plain_vocabulary = false;
  double unknown_score = -100.0;
  std::int64_t start_id = 0;  // -1: no start id
  std::int64_t padding_id = 1;
  std::int64_t end_id = 2;
  std::int64_t unknown_id = 3;
};

class Tokenizer {
 public:
  // Loads a JSON tokenizer description (path ends in ".json", any case) or a
  // plain vocabulary file. Throws std::runtime_error with the user-facing message.
  explicit Tokenizer(const std::string& path);

  // Token ids of text, special ids included, cut by max_length (< 1 = no cut).
  // Never throws for any text, valid UTF-8 or not.
  std::vector<std::int64_t> encode(std::string_view text, std::int32_t max_length) const;

  std::int64_t padding_id() const;
  // True when read from a plain vocabulary file (vocab.txt).
  bool plain_vocabulary() const;
  TokenizerKind kind() const;

  std::int64_t start_id() const { return data_.start_id; }
  std::int64_t end_id() const { return data_.end_id; }
  std::int64_t unknown_id() const { return data_.unknown_id; }
  std::size_t vocabulary_size() const { return data_.vocabulary.size(); }
  const Vocabulary& vocabulary() const { return data_.vocabulary; }
  const TokenizerData& data() const { return data_; }

  // WordPiece: greedy longest-match ids of one word; never empty for a non-empty word.
  std::vector<std::int64_t> EncodeWordPiece(std::string_view word) const;
  // The same ids, appended to `ids`.
  void AppendWordPiece(std::string_view word, std::vector<std::int64_t>& ids) const;
  // BPE: ids of one piece after merging its byte symbols by rank.
  std::vector<std::int64_t> EncodeBpePiece(std::string_view piece) const;
  // Unigram: appends the ids of meta-space + word, stopping at the length limit.
  void EncodeUnigramWord(std::string_view word, std::int32_t max_length,
                         std::vector<std::int64_t>& ids) const;
  // Unigram: the best-scoring segmentation of text (no meta-space added).
  std::vector<std::int64_t> SegmentUnigram(std::string_view text) const;

 private:
  std::vector<std::int64_t> EncodeWordPieceText(std::string_view text, std::int32_t max_length) const;
  std::vector<std::int64_t> EncodeBpeText(std::string_view text, std::int32_t max_length) const;
  std::vector<std::int64_t> EncodeUnigramText(std::string_view text, std::int32_t max_length) const;
  std::int64_t IdOrUnknown(const std::string& token) const;

  TokenizerData data_;
  // Unigram: the pieces the lattice may use, and their entries by trie value.
  UnigramPieces unigram_pieces_;
};

// Reads a tokenizer file into its data, special ids included. Throws
// std::runtime_error with the messages of the Tokenizer constructor.
TokenizerData LoadTokenizerData(const std::string& path);

// WordPiece pre-split: lower-cased ASCII word runs, single punctuation marks and
// single non-ASCII characters; white space and control bytes separate and vanish.
std::vector<std::string> SplitWords(std::string_view text);

// BPE pre-split by character class; the pieces concatenate back to the text.
std::vector<std::string> SplitPieces(std::string_view text);

// The GPT-2 byte-to-unicode table: the printable symbol (UTF-8) of every byte.
const std::array<std::string, 256>& ByteLevelSymbols();
// Inverse of the byte table over a string of symbols; text that is not made of
// byte symbols is copied through unchanged.
std::string DecodeByteLevel(std::string_view symbols);

}  // namespace quirvel
