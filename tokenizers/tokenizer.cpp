// The Tokenizer object and the frame every kind shares: where the start and end
// ids go and how the maximum length cuts the ids.
#include "tokenizers/tokenizer.h"

#include <algorithm>
#include <cstddef>

#include "host/utf8.h"

namespace quirvel {
namespace {

bool IsOneByteWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The room left for one more id before the end id must close the list.
bool LimitReached(const std::vector<std::int64_t>& ids, std::int32_t max_length) {
  return max_length >= 1 && ids.size() + 1 >= static_cast<std::size_t>(max_length);
}

void CutBeforeEndId(std::vector<std::int64_t>& ids, std::int32_t max_length) {
  if (max_length >= 1 && ids.size() >= static_cast<std::size_t>(max_length)) {
    ids.resize(static_cast<std::size_t>(max_length) - 1);
  }
}

}  // namespace

Tokenizer::Tokenizer(const std::string& path) : data_(LoadTokenizerData(path)) {
  if (data_.kind == TokenizerKind::Unigram) unigram_pieces_ = BuildUnigramPieces(data_.vocabulary);
}

std::int64_t Tokenizer::padding_id() const { return data_.padding_id; }
bool Tokenizer::plain_vocabulary() const { return data_.plain_vocabulary; }
TokenizerKind Tokenizer::kind() const { return data_.kind; }

std::vector<std::int64_t> Tokenizer::encode(std::string_view text, std::int32_t max_length) const {
  switch (data_.kind) {
    case TokenizerKind::WordPiece:
      return EncodeWordPieceText(text, max_length);
    case TokenizerKind::BPE:
      return EncodeBpeText(text, max_length);
    case TokenizerKind::Unigram:
      break;
  }
  return EncodeUnigramText(text, max_length);
}

std::int64_t Tokenizer::IdOrUnknown(const std::string& token) const {
  const auto found = data_.vocabulary.find(token);
  return found == data_.vocabulary.end() ? data_.unknown_id : found->second.id;
}

// The start id stays even when max_length leaves no room, so the shortest
// result is [start id, end id].
std::vector<std::int64_t> Tokenizer::EncodeWordPieceText(std::string_view text,
                                                         std::int32_t max_length) const {
  std::vector<std::int64_t> ids{data_.start_id};
  // Each id stands for one byte of the text at least.
  const std::size_t most = text.size() + 2;
  ids.reserve(max_length >= 1 ? std::min(most, static_cast<std::size_t>(max_length)) : most);
  std::vector<std::int64_t> word_ids;  // one buffer for every word of the text
  for (const auto& word : SplitWords(text)) {
    word_ids.clear();
    AppendWordPiece(word, word_ids);
    for (const std::int64_t id : word_ids) {
      if (LimitReached(ids, max_length)) {
        ids.push_back(data_.end_id);
        return ids;
      }
      ids.push_back(id);
    }
  }
  ids.push_back(data_.end_id);
  return ids;
}

std::vector<std::int64_t> Tokenizer::EncodeBpeText(std::string_view text, std::int32_t max_length) const {
  std::vector<std::int64_t> ids;
  bool full = false;
  for (const auto& piece : SplitPieces(text)) {
    for (const std::int64_t id : EncodeBpePiece(piece)) {
      full = LimitReached(ids, max_length);
      if (full) break;
      ids.push_back(id);
    }
    if (full) break;
  }
  CutBeforeEndId(ids, max_length);
  ids.push_back(data_.end_id);
  return ids;
}

std::vector<std::int64_t> Tokenizer::EncodeUnigramText(std::string_view text, std::int32_t max_length) const {
  std::vector<std::int64_t> ids{data_.start_id};
  // Each id stands for one character at least, the meta-space before each word
  // included, so one id per byte and three more leave room for all of them.
  const std::size_t most = text.size() + 3;
  ids.reserve(max_length >= 1 ? std::min(most, static_cast<std::size_t>(max_length)) : most);
  std::size_t word_start = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += Utf8CharLengthAt(text, pos)) {
    if (!IsOneByteWhiteSpace(text[pos])) continue;
    EncodeUnigramWord(text.substr(word_start, pos - word_start), max_length, ids);
    word_start = pos + 1;
  }
  EncodeUnigramWord(text.substr(word_start), max_length, ids);
  CutBeforeEndId(ids, max_length);
  ids.push_back(data_.end_id);
  return ids;
}

}  // namespace quirvel
