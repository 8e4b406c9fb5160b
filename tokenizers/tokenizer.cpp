// Placeholder until the tokenizers land.
#include "tokenizers/tokenizer.h"

#include <stdexcept>

namespace quirvel {
Tokenizer::Tokenizer(const std::string& path) { throw std::runtime_error("failed to open vocab: " + path); }
std::vector<std::int64_t> Tokenizer::encode(std::string_view, std::int32_t) const { return {}; }
std::int64_t Tokenizer::padding_id() const { return 0; }
bool Tokenizer::plain_vocabulary() const { return false; }
TokenizerKind Tokenizer::kind() const { return TokenizerKind::Unigram; }
}  // namespace quirvel
