// A loaded tokenizer (WordPiece, byte-level BPE or Unigram): an immutable
// vocabulary and a stateless encode.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quirvel {

enum class TokenizerKind : std::uint32_t { Unigram = 0, WordPiece = 1, BPE = 2 };

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

  // (the implementation adds its own members and helpers below)
};

}  // namespace quirvel
