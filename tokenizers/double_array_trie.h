// A byte-wise double-array trie: a set of byte strings, each with a value,
// walked one byte at a time, so that every key which is a prefix of a text is
// found in one pass over the text without building a string.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace quirvel {

class DoubleArrayTrie {
 public:
  using Node = std::int32_t;
  static constexpr Node kRoot = 0;
  static constexpr std::int32_t kNoValue = -1;

  // The empty trie: no key, every step fails.
  DoubleArrayTrie();
  // Keys must be distinct and values at least 0; the order does not matter.
  explicit DoubleArrayTrie(const std::vector<std::pair<std::string_view, std::int32_t>>& keys);

  // Moves `node` to its child along `byte`; false (node unchanged) when no key
  // continues that way.
  bool Step(Node& node, unsigned char byte) const {
    const Node child = units_[static_cast<std::size_t>(node)].base ^ static_cast<Node>(byte);
    if (units_[static_cast<std::size_t>(child)].check != node) return false;
    node = child;
    return true;
  }

  // The value of the key that ends at `node`, or kNoValue.
  std::int32_t ValueAt(Node node) const { return units_[static_cast<std::size_t>(node)].value; }

  // The value of `key`, or kNoValue.
  std::int32_t Find(std::string_view key) const;

  // Units in the array (memory is twelve bytes each).
  std::size_t unit_count() const { return units_.size(); }

 private:
  // A child of node s along byte c sits at units_[s.base ^ c] and names s as
  // its check; a free unit's check is -1, which names no node. The array is
  // whole blocks of 256 units and every base lies in one, so base ^ c never
  // leaves the array.
  struct Unit {
    std::int32_t base = 0;
    std::int32_t check = -1;
    std::int32_t value = kNoValue;
  };
  friend class DoubleArrayBuilder;

  std::vector<Unit> units_;
};

}  // namespace quirvel
