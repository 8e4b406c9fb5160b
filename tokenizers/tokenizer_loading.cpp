// Reading tokenizer files: plain vocabulary files (one token per line) and JSON
// tokenizer descriptions with a WordPiece, BPE or Unigram "model".
#include <rapidjson/document.h>

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "host/utf8.h"
#include "tokenizers/tokenizer.h"

namespace quirvel {
namespace {

[[noreturn]] void Fail(const char* prefix, const std::string& path) {
  throw std::runtime_error(prefix + path);
}

bool EndsWithJsonIgnoringCase(const std::string& path) {
  static constexpr std::string_view kSuffix = ".json";
  if (path.size() < kSuffix.size()) return false;
  return LowerAscii(path.substr(path.size() - kSuffix.size())) == kSuffix;
}

// A directory opens as a stream on some systems but is never a usable file.
// The UTF-8 path goes through u8path so that Windows opens it by its wide
// form; a narrow path would be read in the ANSI code page there.
// A path that is not valid UTF-8 cannot name a file there and is refused.
bool OpenRegularFile(const std::string& path, std::ifstream& stream) {
  std::filesystem::path native;
  try {
    native = std::filesystem::u8path(path);
  } catch (const std::exception&) {
    return false;
  }
  std::error_code error;
  if (std::filesystem::is_directory(native, error)) return false;
  stream.open(native, std::ios::binary);
  return stream.is_open();
}

void InsertToken(TokenizerData& data, std::string token, std::int64_t id, float score) {
  if (token.empty()) return;
  data.longest_token = std::max(data.longest_token, CountUtf8Chars(token));
  data.vocabulary[std::move(token)] = VocabularyEntry{id, score};
}

void LoadPlainVocabulary(const std::string& path, TokenizerData& data) {
  data.kind = TokenizerKind::WordPiece;
  data.plain_vocabulary = true;
  std::ifstream stream;
  if (!OpenRegularFile(path, stream)) Fail("failed to open vocab: ", path);
  // Lines end at a line feed only: real vocabularies hold U+2028 inside tokens.
  std::string line;
  for (std::int64_t n = 0; std::getline(stream, line, '\n'); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto score = static_cast<float>(-static_cast<double>(n) * 0.000001);
    InsertToken(data, line, n, score);
  }
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream stream;
  if (!OpenRegularFile(path, stream)) Fail("failed to open GTE tokenizer: ", path);
  std::ostringstream contents;
  contents << stream.rdbuf();
  return contents.str();
}

// Parsed iteratively so that deeply nested input cannot exhaust the stack; the
// pool allocator frees the tree without recursion as well. Parsed in place: the
// strings of the tree are the file's own bytes, unescaped where they lie, not
// copies (a large vocabulary is most of the file), so `text` must outlive the
// tree. The reader skips no second byte-order mark, and since it takes a NUL
// byte for the end of input, a file holding one (never valid JSON) is refused
// up front.
rapidjson::Document ParseDescription(std::string& text, const std::string& path) {
  const std::size_t body = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (text.find('\0', body) != std::string::npos) Fail("failed to parse GTE tokenizer json: ", path);
  rapidjson::Document document;
  document.ParseInsitu<rapidjson::kParseIterativeFlag>(&text[body]);
  if (document.HasParseError() || !document.IsObject()) Fail("failed to parse GTE tokenizer json: ", path);
  return document;
}

const rapidjson::Value* FindMember(const rapidjson::Value& object, const char* name) {
  const auto member = object.FindMember(name);
  return member == object.MemberEnd() ? nullptr : &member->value;
}

std::string StringOf(const rapidjson::Value& value) {
  return std::string(value.GetString(), value.GetStringLength());
}

std::int32_t ClampToInt32(std::int64_t value) {
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::min(std::max(value, kMin), kMax));
}

// Scores are kept as 32-bit floats; a number beyond that range saturates at the
// largest finite float so that Unigram lattice sums stay finite.
float ToScore(double value) {
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

// Members with integer values become tokens; others are not ids and are skipped.
void ReadObjectVocabulary(const rapidjson::Value& vocab, TokenizerData& data) {
  data.vocabulary.reserve(vocab.MemberCount());
  for (const auto& member : vocab.GetObject()) {
    if (!member.value.IsInt64()) continue;
    InsertToken(data, StringOf(member.name), member.value.GetInt64(), 0.0f);
  }
}

void ReadWordPieceModel(const rapidjson::Value& model, const std::string& path, TokenizerData& data) {
  data.kind = TokenizerKind::WordPiece;
  const auto* prefix = FindMember(model, "continuing_subword_prefix");
  if (prefix != nullptr && prefix->IsString()) data.continuing_subword_prefix = StringOf(*prefix);
  const auto* limit = FindMember(model, "max_input_chars_per_word");
  if (limit != nullptr && limit->IsInt64()) data.max_input_chars_per_word = ClampToInt32(limit->GetInt64());
  const auto& vocab = model["vocab"];
  if (!vocab.IsObject()) Fail("unsupported WordPiece tokenizer vocab: ", path);
  ReadObjectVocabulary(vocab, data);
}

// A merge is "left right" (split at the first blank) or ["left", "right", ...].
bool ReadMergePair(const rapidjson::Value& merge, std::string& left, std::string& right) {
  if (merge.IsString()) {
    const std::string text = StringOf(merge);
    const auto blank = text.find(' ');
    if (blank == std::string::npos) return false;
    left = text.substr(0, blank);
    right = text.substr(blank + 1);
    return true;
  }
  if (!merge.IsArray() || merge.Size() < 2 || !merge[0].IsString() || !merge[1].IsString()) return false;
  left = StringOf(merge[0]);
  right = StringOf(merge[1]);
  return true;
}

void ReadMerges(const rapidjson::Value& merges, TokenizerData& data) {
  std::string left;
  std::string right;
  std::string key;
  std::int64_t rank = 0;
  for (const auto& merge : merges.GetArray()) {
    if (ReadMergePair(merge, left, right) && !left.empty() && !right.empty()) {
      key.assign(left).append(1, kMergeSeparator).append(right);
      data.merges[key] = rank;
    }
    ++rank;
  }
}

void ReadBpeModel(const rapidjson::Value& model, const std::string& path, TokenizerData& data) {
  data.kind = TokenizerKind::BPE;
  const auto& vocab = model["vocab"];
  if (!vocab.IsObject()) Fail("unsupported BPE tokenizer vocab: ", path);
  ReadObjectVocabulary(vocab, data);
  const auto* merges = FindMember(model, "merges");
  if (merges != nullptr && merges->IsArray()) ReadMerges(*merges, data);
}

// Each [piece, score] element takes its position as id; malformed elements keep
// their position so the ids of the rest do not shift.
void ReadUnigramModel(const rapidjson::Value& model, const std::string& path, TokenizerData& data) {
  const auto& vocab = model["vocab"];
  if (!vocab.IsArray()) Fail("unsupported Unigram tokenizer vocab: ", path);
  data.vocabulary.reserve(vocab.Size());  // no rehash while a large vocabulary loads
  std::int64_t id = 0;
  for (const auto& element : vocab.GetArray()) {
    if (element.IsArray() && element.Size() >= 2 && element[0].IsString() && element[1].IsNumber()) {
      InsertToken(data, StringOf(element[0]), id, ToScore(element[1].GetDouble()));
    }
    ++id;
  }
}

// Older descriptions name no "type" (the real bert-base-chinese tokenizer.json
// among them); refusing them would refuse the default model's own tokenizer. An
// untyped object vocabulary is BPE when merges come with it, WordPiece otherwise;
// an untyped array vocabulary stays Unigram.
std::string ModelType(const rapidjson::Value& model) {
  const auto* type = FindMember(model, "type");
  if (type != nullptr && type->IsString()) return StringOf(*type);
  if (!model["vocab"].IsObject()) return std::string();
  const auto* merges = FindMember(model, "merges");
  return merges != nullptr && merges->IsArray() ? "BPE" : "WordPiece";
}

void LoadJsonDescription(const std::string& path, TokenizerData& data) {
  std::string text = ReadWholeFile(path);
  const rapidjson::Document document = ParseDescription(text, path);
  const auto* model = FindMember(document, "model");
  if (model == nullptr || !model->IsObject() || FindMember(*model, "vocab") == nullptr) {
    Fail("unsupported GTE tokenizer json vocab: ", path);
  }
  const std::string kind = ModelType(*model);
  if (kind == "WordPiece") {
    ReadWordPieceModel(*model, path, data);
  } else if (kind == "BPE") {
    ReadBpeModel(*model, path, data);
  } else {
    ReadUnigramModel(*model, path, data);
  }
}

std::int64_t IdOf(const TokenizerData& data, const char* token, std::int64_t fallback) {
  const auto found = data.vocabulary.find(token);
  return found == data.vocabulary.end() ? fallback : found->second.id;
}

void SetSpecialIds(TokenizerData& data) {
  switch (data.kind) {
    case TokenizerKind::WordPiece:
      data.start_id = IdOf(data, "[CLS]", 101);
      data.padding_id = IdOf(data, "[PAD]", 0);
      data.end_id = IdOf(data, "[SEP]", 102);
      data.unknown_id = IdOf(data, "[UNK]", 100);
      break;
    case TokenizerKind::BPE: {
      const std::int64_t end_of_text = IdOf(data, "<|endoftext|>", 151643);
      data.start_id = -1;
      data.padding_id = data.end_id = data.unknown_id = end_of_text;
      break;
    }
    case TokenizerKind::Unigram:
      data.start_id = IdOf(data, "<s>", 0);
      data.padding_id = IdOf(data, "<pad>", 1);
      data.end_id = IdOf(data, "</s>", 2);
      data.unknown_id = IdOf(data, "<unk>", 3);
      break;
  }
}

}  // namespace

TokenizerData LoadTokenizerData(const std::string& path) {
  TokenizerData data;
  if (EndsWithJsonIgnoringCase(path)) {
    LoadJsonDescription(path, data);
  } else {
    LoadPlainVocabulary(path, data);
  }
  SetSpecialIds(data);
  if (data.vocabulary.empty()) Fail("empty GTE tokenizer: ", path);
  return data;
}

}  // namespace quirvel
