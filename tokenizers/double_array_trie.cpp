// Building the double array: the keys are sorted, then each node's children
// are placed, node by node, at the first spot in the open blocks where all of
// them find free units.
#include "tokenizers/double_array_trie.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>

namespace quirvel {
namespace {

// A key with its first eight bytes as one big-endian number (zero-padded), so
// that most comparisons of the sort are one integer comparison. Equal numbers
// fall back to the bytes, which settles a zero byte against a shorter key.
struct Key {
  std::uint64_t head;
  std::string_view text;
  std::int32_t value;
};

std::uint64_t HeadOf(std::string_view text) {
  std::uint64_t head = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    head = (head << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0U);
  }
  return head;
}

bool KeyLess(const Key& a, const Key& b) { return a.head != b.head ? a.head < b.head : a.text < b.text; }

// The keys in byte order, their bytes copied in that order into `arena`: the
// build reads each key once per depth, and reads them in order.
std::vector<Key> SortedKeys(const std::vector<std::pair<std::string_view, std::int32_t>>& keys,
                            std::string& arena) {
  std::vector<Key> sorted;
  sorted.reserve(keys.size());
  std::size_t total = 0;
  for (const auto& [text, value] : keys) {
    sorted.push_back({HeadOf(text), text, value});
    total += text.size();
  }
  std::sort(sorted.begin(), sorted.end(), KeyLess);
  arena.clear();
  arena.reserve(total);
  for (const Key& key : sorted) arena.append(key.text);
  std::size_t offset = 0;
  for (Key& key : sorted) {
    key.text = std::string_view(arena).substr(offset, key.text.size());
    offset += key.text.size();
  }
  return sorted;
}

constexpr std::size_t kBlockSize = 256;
// Only the last blocks are searched for free units: a full search of the
// array would make the build quadratic, and the older blocks are nearly full.
constexpr std::size_t kOpenBlocks = 16;
constexpr std::int32_t kFreeCheck = -1;
constexpr std::int32_t kRootCheck = -2;  // names no node: the root is nobody's child
constexpr std::int32_t kNoUnit = -1;

// The keys from begin to end share their first `depth` bytes and lead to `node`.
struct PendingNode {
  std::int32_t node;
  std::size_t begin;
  std::size_t end;
  std::size_t depth;
};

struct ChildGroup {
  unsigned char label;
  std::size_t begin;
  std::size_t end;
};

// The distinct bytes at `depth` of keys[begin, end), each with its keys; the
// keys are sorted, so each label's keys are one run.
void GroupChildren(const std::vector<Key>& keys, std::size_t begin, std::size_t end, std::size_t depth,
                   std::vector<ChildGroup>& groups) {
  groups.clear();
  for (std::size_t i = begin; i < end; ++i) {
    const auto label = static_cast<unsigned char>(keys[i].text[depth]);
    if (groups.empty() || groups.back().label != label) {
      groups.push_back({label, i, i + 1});
    } else {
      groups.back().end = i + 1;
    }
  }
}

}  // namespace

class DoubleArrayBuilder {
 public:
  explicit DoubleArrayBuilder(std::vector<DoubleArrayTrie::Unit>& units) : units_(units) {
    AddBlock();
    Occupy(DoubleArrayTrie::kRoot, kRootCheck);
  }

  void Build(const std::vector<Key>& keys) {
    ReserveFor(keys);
    std::vector<PendingNode> pending{{DoubleArrayTrie::kRoot, 0, keys.size(), 0}};
    std::vector<ChildGroup> groups;
    while (!pending.empty()) {
      PendingNode at = pending.back();
      pending.pop_back();
      if (at.begin < at.end && keys[at.begin].text.size() == at.depth) {
        units_[Index(at.node)].value = keys[at.begin].value;  // sorted first: the shortest key
        ++at.begin;
      }
      if (at.begin == at.end) continue;
      GroupChildren(keys, at.begin, at.end, at.depth, groups);
      const std::int32_t base = FindBase(groups);
      units_[Index(at.node)].base = base;
      for (const ChildGroup& group : groups) {
        const std::int32_t child = base ^ group.label;
        Occupy(child, at.node);
        pending.push_back({child, group.begin, group.end, at.depth + 1});
      }
    }
  }

 private:
  static std::size_t Index(std::int32_t unit) { return static_cast<std::size_t>(unit); }

  // A trie has at most one node per key byte, and the units nearly all hold
  // one, so the array never grows by copying. Pages of the reserve that no
  // unit reaches are never touched and cost no memory.
  void ReserveFor(const std::vector<Key>& keys) {
    std::size_t bytes = 0;
    for (const Key& key : keys) bytes += key.text.size();
    const std::size_t units = (bytes / kBlockSize + 1 + kOpenBlocks) * kBlockSize;
    units_.reserve(units);
    next_free_.reserve(units);
    prev_free_.reserve(units);
  }

  // A lone child takes the first free unit: the oldest open blocks fill up.
  // Several children are fitted from the newest block backwards, where most
  // units are still free, so the search rarely walks far; a new block (all of
  // it free) when no free unit of the open blocks fits them all.
  std::int32_t FindBase(const std::vector<ChildGroup>& groups) {
    const std::int32_t label = groups.front().label;
    if (groups.size() == 1 && free_head_ != kNoUnit) return free_head_ ^ label;
    for (std::int32_t unit = free_tail_; unit != kNoUnit; unit = prev_free_[Index(unit)]) {
      if (AllFree(unit ^ label, groups)) return unit ^ label;
    }
    return AddBlock() ^ label;
  }

  bool AllFree(std::int32_t base, const std::vector<ChildGroup>& groups) const {
    return std::all_of(groups.begin(), groups.end(), [&](const ChildGroup& group) {
      return units_[Index(base ^ group.label)].check == kFreeCheck;
    });
  }

  std::int32_t AddBlock() {
    const std::size_t first = units_.size();
    if (first + kBlockSize > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw std::length_error("too many tokenizer pieces for one trie");
    }
    units_.resize(first + kBlockSize);
    next_free_.resize(units_.size(), kNoUnit);
    prev_free_.resize(units_.size(), kNoUnit);
    for (std::size_t unit = first; unit < units_.size(); ++unit) Link(static_cast<std::int32_t>(unit));
    CloseOldBlocks();
    return static_cast<std::int32_t>(first);
  }

  // The free units stay linked in increasing order: new blocks go to the end,
  // so the units of the blocks that leave the open window are at the front.
  void CloseOldBlocks() {
    const std::size_t blocks = units_.size() / kBlockSize;
    if (blocks <= kOpenBlocks) return;
    const std::size_t window_start = (blocks - kOpenBlocks) * kBlockSize;
    while (free_head_ != kNoUnit && Index(free_head_) < window_start) Unlink(free_head_);
  }

  void Link(std::int32_t unit) {
    prev_free_[Index(unit)] = free_tail_;
    next_free_[Index(unit)] = kNoUnit;
    if (free_tail_ == kNoUnit) {
      free_head_ = unit;
    } else {
      next_free_[Index(free_tail_)] = unit;
    }
    free_tail_ = unit;
  }

  void Unlink(std::int32_t unit) {
    const std::int32_t prev = prev_free_[Index(unit)];
    const std::int32_t next = next_free_[Index(unit)];
    if (prev == kNoUnit) {
      free_head_ = next;
    } else {
      next_free_[Index(prev)] = next;
    }
    if (next == kNoUnit) {
      free_tail_ = prev;
    } else {
      prev_free_[Index(next)] = prev;
    }
    prev_free_[Index(unit)] = next_free_[Index(unit)] = kNoUnit;
  }

  // A unit of a closed block is no longer linked; only open ones are unlinked.
  void Occupy(std::int32_t unit, std::int32_t parent) {
    const bool linked = prev_free_[Index(unit)] != kNoUnit || free_head_ == unit;
    if (linked) Unlink(unit);
    units_[Index(unit)].check = parent;
  }

  std::vector<DoubleArrayTrie::Unit>& units_;
  std::vector<std::int32_t> next_free_;
  std::vector<std::int32_t> prev_free_;
  std::int32_t free_head_ = kNoUnit;
  std::int32_t free_tail_ = kNoUnit;
};

DoubleArrayTrie::DoubleArrayTrie() : units_(kBlockSize) { units_[kRoot].check = kRootCheck; }

DoubleArrayTrie::DoubleArrayTrie(const std::vector<std::pair<std::string_view, std::int32_t>>& keys) {
  std::string arena;
  DoubleArrayBuilder(units_).Build(SortedKeys(keys, arena));
}

std::int32_t DoubleArrayTrie::Find(std::string_view key) const {
  Node node = kRoot;
  for (const char byte : key) {
    if (!Step(node, static_cast<unsigned char>(byte))) return kNoValue;
  }
  return ValueAt(node);
}

}  // namespace quirvel
