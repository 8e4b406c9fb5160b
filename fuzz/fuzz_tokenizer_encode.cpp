// encode of arbitrary text with a small valid tokenizer of each kind: the ids
// keep their frame and come from the vocabulary or the special ids, and the
// BPE pre-split and byte-level table lose no byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tokenizers/tokenizer.h"

namespace {

using quirvel::fuzz::Require;

struct LoadedTokenizer {
  std::unique_ptr<quirvel::Tokenizer> tokenizer;
  std::unordered_set<std::int64_t> known_ids;
};

LoadedTokenizer Load(const char* file_name) {
  LoadedTokenizer loaded;
  loaded.tokenizer = std::make_unique<quirvel::Tokenizer>(std::string(QUIRVEL_FUZZ_TOKENIZER_DATA_DIR) + "/" + file_name);
  for (const auto& entry : loaded.tokenizer->vocabulary()) loaded.known_ids.insert(entry.second.id);
  const quirvel::Tokenizer& tokenizer = *loaded.tokenizer;
  loaded.known_ids.insert({tokenizer.start_id(), tokenizer.end_id(), tokenizer.unknown_id()});
  return loaded;
}

std::vector<LoadedTokenizer>& Tokenizers() {
  static std::vector<LoadedTokenizer> tokenizers;
  return tokenizers;
}

void CheckEncode(const LoadedTokenizer& loaded, std::string_view text, std::int32_t max_length) {
  const std::vector<std::int64_t> ids = loaded.tokenizer->encode(text, max_length);
  Require(!ids.empty() && ids.back() == loaded.tokenizer->end_id(), "the ids end with the end id");
  if (max_length >= 1) {
    Require(ids.size() <= std::max<std::size_t>(static_cast<std::size_t>(max_length), 2), "max_length cuts the ids");
  }
  for (const std::int64_t id : ids) Require(loaded.known_ids.count(id) == 1, "every id is a known id");
}

void CheckByteLevel(std::string_view text) {
  std::string joined;
  for (const std::string& piece : quirvel::SplitPieces(text)) {
    Require(!piece.empty(), "a BPE piece is never empty");
    joined += piece;
  }
  Require(joined == text, "the BPE pieces join back to the text");
  std::string symbols;
  for (const char byte : text) symbols += quirvel::ByteLevelSymbols()[static_cast<unsigned char>(byte)];
  Require(quirvel::DecodeByteLevel(symbols) == text, "the byte table decodes back to the bytes");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (const char* name : {"wordpiece_vocab.txt", "bpe_tokenizer.json", "unigram_tokenizer.json"})
    Tokenizers().push_back(Load(name));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the length limit: none (0), or 1 to 64, or -1.
  const std::int32_t max_length = data[0] == 0xFF ? -1 : static_cast<std::int32_t>(data[0] % 65);
  const std::string_view text = quirvel::fuzz::AsText(data + 1, size - 1);
  for (const LoadedTokenizer& loaded : Tokenizers()) CheckEncode(loaded, text, max_length);
  for (const std::string& word : quirvel::SplitWords(text)) Require(!word.empty(), "a WordPiece word is never empty");
  CheckByteLevel(text);
  return 0;
}
