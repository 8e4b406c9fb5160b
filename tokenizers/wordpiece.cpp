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
  words.push_back(LowerAscii(std::move(word)));
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
  std::vector<std::int64_t> ids;
  AppendWordPiece(word, ids);
  return ids;
}

void Tokenizer::AppendWordPiece(std::string_view word, std::vector<std::int64_t>& ids) const {
  const auto max_chars = static_cast<std::size_t>(std::max(data_.max_input_chars_per_word, 0));
  // Most words (a Chinese character, a common ASCII word) are in the
  // vocabulary whole, which the longest match below would try first anyway.
  // Bytes bound characters, so a word short enough in bytes is short enough.
  if (!word.empty() && word.size() <= max_chars) {
    const auto whole = data_.vocabulary.find(std::string(word));
    if (whole != data_.vocabulary.end()) {
      ids.push_back(whole->second.id);
      return;
    }
  }
  const std::vector<std::size_t> offsets = Utf8CharOffsets(word);
  const std::size_t n = offsets.size() - 1;
  if (n == 0 || n > max_chars) {
    ids.push_back(data_.unknown_id);
    return;
  }
  const std::size_t first = ids.size();
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
    if (end == start) {
      ids.resize(first);  // a word with a part the vocabulary lacks is one unknown id
      ids.push_back(data_.unknown_id);
      return;
    }
    start = end;
  }
}

}  // namespace quirvel
