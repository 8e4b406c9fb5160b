// The Unigram lattice over the piece trie against the plain lattice that looks
// every substring of up to 64 characters up in the vocabulary: the same ids for
// every piece of real vocabularies, alone and glued to its neighbour, and for
// real titles. Real files are skipped when absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/utf8.h"
#include "test_paths.h"
#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

// The lattice as first written: every substring is built and looked up.
Ids ReferenceSegmentation(const Tokenizer& tokenizer, std::string_view text) {
  const TokenizerData& data = tokenizer.data();
  const std::vector<std::size_t> offsets = Utf8CharOffsets(text);
  const std::size_t n = offsets.size() - 1;
  if (n == 0) return {};
  struct Node {
    double score = -std::numeric_limits<double>::infinity();
    std::int32_t count = std::numeric_limits<std::int32_t>::max();
    std::int64_t id = -1;
    std::size_t from = 0;
  };
  std::vector<Node> lattice(n + 1);
  lattice[0] = Node{0.0, 0, -1, 0};
  auto offer = [&](std::size_t from, std::size_t to, double piece_score, std::int64_t id) {
    const double score = lattice[from].score + piece_score;
    const std::int32_t count = lattice[from].count + 1;
    const bool better = score > lattice[to].score + 1e-8 ||
                        (std::abs(score - lattice[to].score) <= 1e-8 && count < lattice[to].count);
    if (better) lattice[to] = Node{score, count, id, from};
  };
  const std::size_t longest = std::min<std::size_t>(data.longest_token, 64);
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(lattice[i].score)) continue;
    offer(i, i + 1, data.unknown_score, data.unknown_id);
    for (std::size_t k = 1; k <= std::min(longest, n - i); ++k) {
      const auto found = data.vocabulary.find(std::string(text.substr(offsets[i], offsets[i + k] - offsets[i])));
      if (found != data.vocabulary.end()) offer(i, i + k, found->second.score, found->second.id);
    }
  }
  Ids ids;
  for (std::size_t node = n; node > 0; node = lattice[node].from) ids.push_back(lattice[node].id);
  std::reverse(ids.begin(), ids.end());
  return ids;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static const char* const kHex = "0123456789abcdef";
      out += "\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A Unigram description of the pieces in this order, scored so that the
// lattice has real choices to make: scores repeat (ties between pieces and
// between segmentations) and differ by less than the tolerance.
std::string UnigramJson(const std::vector<std::string>& pieces) {
  std::string json = R"({"model": {"type": "Unigram", "vocab": [)";
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const double score = -1.0 - static_cast<double>((i * 7919) % 23) / 4.0 - ((i % 5 == 0) ? 4e-9 : 0.0);
    json += (i ? ", [" : "[") + JsonString(pieces[i]) + ", " + std::to_string(score) + "]";
  }
  return json + "]}}";
}

// The vocabulary's texts in id order.
std::vector<std::string> PiecesById(const Tokenizer& tokenizer) {
  std::vector<std::pair<std::int64_t, std::string>> by_id;
  for (const auto& [text, entry] : tokenizer.vocabulary()) by_id.emplace_back(entry.id, text);
  std::sort(by_id.begin(), by_id.end());
  std::vector<std::string> pieces;
  for (auto& entry : by_id) pieces.push_back(std::move(entry.second));
  return pieces;
}

std::vector<std::string> SharedTitles() {
  std::vector<std::string> titles;
  for (const char* file : {"tw.txt", "cn.txt", "tw_market_simplified.txt", "no_cjk.txt"}) {
    std::ifstream stream(std::string(kSharedDataDir) + "/titles/" + file, std::ios::binary);
    for (std::string line; std::getline(stream, line);) titles.push_back(line);
  }
  return titles;
}

// The whole frame over the reference lattice: start id, each blank-separated
// word after the meta-space, the cut to max_length - 1 ids, the end id.
Ids ReferenceEncoding(const Tokenizer& tokenizer, const std::string& text, std::int32_t max_length) {
  Ids ids{tokenizer.start_id()};
  std::size_t word_start = 0;
  for (std::size_t pos = 0; pos <= text.size(); ++pos) {
    if (pos < text.size() && std::string_view(" \t\n\v\f\r").find(text[pos]) == std::string_view::npos) continue;
    if (pos > word_start) {
      const Ids word = ReferenceSegmentation(tokenizer, "\xE2\x96\x81" + text.substr(word_start, pos - word_start));
      ids.insert(ids.end(), word.begin(), word.end());
    }
    word_start = pos + 1;
  }
  if (max_length >= 1 && ids.size() >= static_cast<std::size_t>(max_length)) ids.resize(max_length - 1);
  ids.push_back(tokenizer.end_id());
  return ids;
}

void ExpectSameIds(const Tokenizer& tokenizer, const std::string& text) {
  ASSERT_EQ(tokenizer.SegmentUnigram(text), ReferenceSegmentation(tokenizer, text)) << text;
}

void ExpectSameEncoding(const Tokenizer& tokenizer, const std::string& text) {
  for (const std::int32_t max_length : {0, 1, 2, 12, 128}) {
    ASSERT_EQ(tokenizer.encode(text, max_length), ReferenceEncoding(tokenizer, text, max_length)) << text;
  }
}

// Each piece alone and after the meta-space (as a word is encoded), every
// fourth one glued to the next (edges across pieces); whole encodings at
// several lengths of pieces between blanks and of the titles.
void ExpectSameAsReference(const Tokenizer& tokenizer, const std::vector<std::string>& pieces) {
  const std::string meta_space = "\xE2\x96\x81";
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    ASSERT_NO_FATAL_FAILURE(ExpectSameIds(tokenizer, pieces[i]));
    ASSERT_NO_FATAL_FAILURE(ExpectSameIds(tokenizer, meta_space + pieces[i]));
    const std::string& next = pieces[(i + 1) % pieces.size()];
    if (i % 4 == 0) {
      ASSERT_NO_FATAL_FAILURE(ExpectSameIds(tokenizer, pieces[i] + next));
    }
    if (i % 64 == 0) {
      ASSERT_NO_FATAL_FAILURE(ExpectSameEncoding(tokenizer, pieces[i] + " " + next + "\t" + pieces[i]));
    }
  }
  for (const std::string& title : SharedTitles()) ASSERT_NO_FATAL_FAILURE(ExpectSameEncoding(tokenizer, title));
}

class RealVocabularyTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RealVocabularyTest, LatticeMatchesTheSubstringLookup) {
  const std::string path = std::string(kSharedDataDir) + "/" + GetParam();
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
  const std::vector<std::string> pieces = PiecesById(Tokenizer(path));
  const Tokenizer unigram = LoadFromJson(UnigramJson(pieces));
  ASSERT_EQ(unigram.kind(), TokenizerKind::Unigram);
  ExpectSameAsReference(unigram, pieces);
}

INSTANTIATE_TEST_SUITE_P(Files, RealVocabularyTest,
                         ::testing::Values("tokenizers/bert-base-chinese/vocab.txt",
                                           "tokenizers/qwen3/tokenizer.json"));

// The default model's own tokenizer (scripts/build_default_model.sh into the
// build folder), with the scores it ships.
TEST(DefaultModelTokenizerTest, LatticeMatchesTheSubstringLookup) {
  const std::string path = std::string(kBinaryDir) + "/default_model/tokenizer.json";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
  const Tokenizer tokenizer(path);
  ASSERT_EQ(tokenizer.kind(), TokenizerKind::Unigram);
  ExpectSameAsReference(tokenizer, PiecesById(tokenizer));
}

// Everywhere, without shared data: pieces over a few characters of one to four
// bytes, stray bytes among them and pieces beyond 64 characters.
TEST(GeneratedVocabularyTest, LatticeMatchesTheSubstringLookup) {
  const std::vector<std::string> alphabet{"a", "b", "\xE4\xB8\xAD", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xFF", " "};
  std::mt19937 random(64);
  std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(1, 5);
  std::vector<std::string> pieces{std::string(66, 'a'), std::string(64, 'b'), "\xE2\x96\x81"};
  for (int i = 0; i < 3000; ++i) {
    std::string piece;
    for (int n = length(random); n > 0; --n) piece += alphabet[letter(random)];
    if (std::find(pieces.begin(), pieces.end(), piece) == pieces.end()) pieces.push_back(piece);
  }
  const Tokenizer tokenizer = LoadFromJson(UnigramJson(pieces));
  ExpectSameAsReference(tokenizer, pieces);
  for (const std::string& text : {std::string(70, 'a'), std::string(70, 'b'), std::string("\xE4\xB8")}) {
    ExpectSameIds(tokenizer, text);
  }
}

}  // namespace
}  // namespace quirvel::test
