// WordPiece: a character-class word splitter and greedy longest-match-first
// lookup of each word in the vocabulary.
#include <algorithm>
#include <cstddef>
#include <string>

#include "host/utf8.h"
#include "tokenizers/tokenizer.h"

namespace quirvel {
namespace {

enum class WordCharClass { Separator, WordPart, Alone };

bool IsAsciiAlnum(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// White space, control bytes, DEL and stray high bytes only separate words;
// punctuation and every multi-byte character stand as words of their own.
WordCharClass ClassifyForWords(std::string_view character) {
  if (character.size() > 1) return WordCharClass::Alone;
  const auto c = static_cast<unsigned char>(character[0]);
  if (IsAsciiAlnum(c)) return WordCharClass::WordPart;
  if (c >= 0x21 && c <= 0x7E) return WordCharClass::Alone;
  return WordCharClass::Separator;
}

void FlushWord(std::string& word, std::vector<std::string>& words) {
  if (word.empty()) return;
  for (char& c : word) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  words.push_back(std::move(word));
  word.clear();
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = Utf8CharLengthAt(text, pos);
    const std::string_view character = text.substr(pos, length);
    pos += length;
    const WordCharClass kind = ClassifyForWords(character);
    if (kind == WordCharClass::WordPart) {
      word.append(character);
      continue;
    }
    FlushWord(word, words);
    if (kind == WordCharClass::Alone) words.emplace_back(character);
  }
  FlushWord(word, words);
  return words;
}

std::vector<std::int64_t> Tokenizer::EncodeWordPiece(std::string_view word) const {
  std::vector<std::size_t> offsets;  // byte offset of every character, then the end
  for (std::size_t pos = 0; pos < word.size(); pos += Utf8CharLengthAt(word, pos)) offsets.push_back(pos);
  const std::size_t n = offsets.size();
  offsets.push_back(word.size());
  if (n == 0 || n > static_cast<std::size_t>(std::max(data_.max_input_chars_per_word, 0))) {
    return {data_.unknown_id};
  }
  std::vector<std::int64_t> ids;
  std::string candidate;
  for (std::size_t start = 0; start < n;) {
    std::size_t end = n;
    for (; end > start; --end) {
      candidate.clear();
      if (start > 0) candidate = data_.continuing_subword_prefix;
      candidate.append(word.substr(offsets[start], offsets[end] - offsets[start]));
      const auto found = data_.vocabulary.find(candidate);
      if (found == data_.vocabulary.end()) continue;
      ids.push_back(found->second.id);
      break;
    }
    if (end == start) return {data_.unknown_id};
    start = end;
  }
  return ids;
}

}  // namespace quirvel
