// The double-array trie against a plain map: every key is found with its value,
// every other string is not, and a walk stops where no key continues.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tokenizers/double_array_trie.h"

namespace quirvel::test {
namespace {

using KeyList = std::vector<std::pair<std::string, std::int32_t>>;

DoubleArrayTrie TrieOf(const KeyList& keys) {
  std::vector<std::pair<std::string_view, std::int32_t>> views;
  for (const auto& [key, value] : keys) views.emplace_back(key, value);
  return DoubleArrayTrie(views);
}

// Every key and every prefix and extension of a key, against the map.
void ExpectSameAsMap(const DoubleArrayTrie& trie, const KeyList& keys) {
  const std::map<std::string, std::int32_t> expected(keys.begin(), keys.end());
  auto value_of = [&](const std::string& text) {
    const auto found = expected.find(text);
    return found == expected.end() ? DoubleArrayTrie::kNoValue : found->second;
  };
  for (const auto& [key, value] : keys) {
    for (std::size_t length = 0; length <= key.size(); ++length) {
      const std::string prefix = key.substr(0, length);
      ASSERT_EQ(trie.Find(prefix), value_of(prefix)) << "prefix " << length << " of a key of " << key.size();
    }
    for (const char extra : {'\0', 'a', '\x80', '\xFF'}) {
      ASSERT_EQ(trie.Find(key + extra), value_of(key + extra));
    }
  }
}

struct TrieCase {
  const char* name;
  KeyList keys;
};

class DoubleArrayTrieTest : public ::testing::TestWithParam<TrieCase> {};

TEST_P(DoubleArrayTrieTest, FindsExactlyItsKeys) { ExpectSameAsMap(TrieOf(GetParam().keys), GetParam().keys); }

INSTANTIATE_TEST_SUITE_P(
    Keys, DoubleArrayTrieTest,
    ::testing::Values(
        TrieCase{"NoKeys", {}},
        TrieCase{"KeysThatArePrefixesOfEachOther", {{"a", 0}, {"ab", 1}, {"abc", 2}, {"abd", 3}, {"b", 4}}},
        TrieCase{"EveryByteValue", {{std::string(1, '\0'), 0}, {"\x01\xFF", 1}, {"\xFF", 2}, {"\x80\x80", 3}}},
        TrieCase{"ValuesInAnyOrder", {{"\xE4\xB8\xAD", 7}, {"\xE4\xB8\xAD\xE6\x96\x87", 3}, {"x", 0}}},
        TrieCase{"ALongKey", {{std::string(300, 'z'), 5}, {"z", 6}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Many keys over few byte values give nodes with many children and fill the
// open blocks, so children must be placed around the ones already there.
TEST(DoubleArrayTrieTest, ThousandsOfRandomKeysMatchTheMap) {
  std::mt19937 random(31);
  std::uniform_int_distribution<int> length(1, 12);
  const std::string alphabet = std::string("ab\0\xE4\xB8\xAD\xFF", 7) + "\x80\x81\x82";
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::map<std::string, std::int32_t> unique;
  for (int i = 0; i < 20000; ++i) {
    std::string key;
    for (int n = length(random); n > 0; --n) key += alphabet[pick(random)];
    unique.emplace(key, static_cast<std::int32_t>(unique.size()));
  }
  const KeyList keys(unique.begin(), unique.end());
  ExpectSameAsMap(TrieOf(keys), keys);
}

TEST(DoubleArrayTrieTest, WalkStopsWhereNoKeyContinues) {
  const DoubleArrayTrie trie = TrieOf({{"ab", 1}, {"abcd", 2}});
  DoubleArrayTrie::Node node = DoubleArrayTrie::kRoot;
  std::vector<std::int32_t> values;
  for (const char byte : std::string("abcx")) {
    if (!trie.Step(node, static_cast<unsigned char>(byte))) break;
    values.push_back(trie.ValueAt(node));
  }
  EXPECT_EQ(values, (std::vector<std::int32_t>{-1, 1, -1}));
  EXPECT_EQ(trie.ValueAt(DoubleArrayTrie::kRoot), DoubleArrayTrie::kNoValue);
}

}  // namespace
}  // namespace quirvel::test
