// Golden encodings of the fixtures in tests/data/tokenizers, checked by hand.
// Run with QUIRVEL_UPDATE_GOLDEN=1 to rewrite the expected ids from the current
// encoder, then read the diff before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_paths.h"
#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

struct GoldenLine {
  std::string raw;  // comment lines are kept as they are
  bool is_case = false;
  std::int32_t max_length = 0;
  std::string text;
  std::string expected;
};

std::string FormatIds(const Ids& ids) {
  std::string out = "[";
  for (std::size_t i = 0; i < ids.size(); ++i) out += (i ? ", " : "") + std::to_string(ids[i]);
  return out + "]";
}

GoldenLine ParseGoldenLine(const std::string& raw) {
  GoldenLine line;
  line.raw = raw;
  const auto first = raw.find('\t');
  const auto second = first == std::string::npos ? first : raw.find('\t', first + 1);
  if (raw.empty() || raw[0] == '#' || second == std::string::npos) return line;
  line.is_case = true;
  line.max_length = std::stoi(raw.substr(0, first));
  line.text = raw.substr(first + 1, second - first - 1);
  line.expected = raw.substr(second + 1);
  return line;
}

std::vector<GoldenLine> ReadGolden(const std::string& path) {
  std::vector<GoldenLine> lines;
  std::ifstream stream(path, std::ios::binary);
  for (std::string raw; std::getline(stream, raw);) lines.push_back(ParseGoldenLine(raw));
  return lines;
}

void WriteGolden(const std::string& path, const std::vector<GoldenLine>& lines, const Tokenizer& tokenizer) {
  std::ofstream stream(path, std::ios::binary);
  for (const GoldenLine& line : lines) {
    if (!line.is_case) {
      stream << line.raw << '\n';
      continue;
    }
    stream << line.max_length << '\t' << line.text << '\t' << FormatIds(tokenizer.encode(line.text, line.max_length))
           << '\n';
  }
}

struct GoldenFixture {
  const char* tokenizer_file;
  const char* golden_file;
  TokenizerKind kind;
};

class GoldenEncodingTest : public ::testing::TestWithParam<GoldenFixture> {};

TEST_P(GoldenEncodingTest, MatchesTheGoldenIds) {
  const std::string dir = std::string(kTestDataDir) + "/tokenizers/";
  const Tokenizer tokenizer(dir + GetParam().tokenizer_file);
  ASSERT_EQ(tokenizer.kind(), GetParam().kind);
  const std::string golden_path = dir + GetParam().golden_file;
  const std::vector<GoldenLine> lines = ReadGolden(golden_path);
  if (std::getenv("QUIRVEL_UPDATE_GOLDEN") != nullptr) {
    WriteGolden(golden_path, lines, tokenizer);
    GTEST_SKIP() << "rewrote " << golden_path;
  }
  int cases = 0;
  for (const GoldenLine& line : lines) {
    if (!line.is_case) continue;
    ++cases;
    EXPECT_EQ(FormatIds(tokenizer.encode(line.text, line.max_length)), line.expected)
        << "text '" << line.text << "' max_length " << line.max_length;
  }
  EXPECT_GE(cases, 5) << golden_path;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, GoldenEncodingTest,
    ::testing::Values(GoldenFixture{"wordpiece_vocab.txt", "wordpiece_vocab.golden", TokenizerKind::WordPiece},
                      GoldenFixture{"bpe_tokenizer.json", "bpe_tokenizer.golden", TokenizerKind::BPE},
                      GoldenFixture{"unigram_tokenizer.json", "unigram_tokenizer.golden", TokenizerKind::Unigram}),
    [](const auto& info) { return std::string(info.param.golden_file).substr(0, std::string(info.param.golden_file).find('.')); });

}  // namespace
}  // namespace quirvel::test
