// Embedding through a cache keyed by maximum length and text, so the same text
// embedded with two different limits keeps two entries. A cache may be bounded:
// past its capacity the least recently used entry leaves first, so a worker fed
// a whole catalogue keeps its memory flat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ranking/embedding_client.h"

namespace quirvel {

// The prompt cache keeps the marketing prompt (used by every title, so never
// the least recently used) and the title with its three prompts for this many
// recent titles; only a repeated title can use those again.
inline constexpr std::size_t kPromptCacheRecentTitles = 400;
inline constexpr std::size_t kPromptCacheCapacity = 4 * kPromptCacheRecentTitles + 1;

// Key: maximum length in decimal, a line feed, then the text (see EmbeddingCacheKey).
class EmbeddingCache {
 public:
  // A capacity of 0 leaves the cache unbounded.
  explicit EmbeddingCache(std::size_t capacity = 0) : capacity_(capacity) {}
  // Entries are indexed by views of their own keys, so a copy would point
  // into the original; moving keeps the entries where they are.
  EmbeddingCache(const EmbeddingCache&) = delete;
  EmbeddingCache& operator=(const EmbeddingCache&) = delete;
  EmbeddingCache(EmbeddingCache&&) = default;
  EmbeddingCache& operator=(EmbeddingCache&&) = default;
  ~EmbeddingCache() = default;

  // The vector stored under key, which becomes the most recently used entry;
  // null when there is none.
  const Embedding* Find(const std::string& key);
  // Stores vector under key as the most recently used entry (replacing one
  // with that key); beyond the capacity the least recently used leave.
  void Store(const std::string& key, Embedding vector);
  // Whether key is stored, without making it recently used.
  std::size_t count(const std::string& key) const { return index_.count(key); }
  // The vector stored under key, without making it recently used; throws
  // std::out_of_range when there is none.
  const Embedding& at(const std::string& key) const { return index_.at(key)->vector; }
  std::size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }
  std::size_t capacity() const { return capacity_; }
  // Drops every entry and gives its memory back.
  void Clear();

 private:
  struct Entry {
    std::string key;
    Embedding vector;
  };
  using Entries = std::list<Entry>;

  Entries entries_;  // most recently used first
  std::unordered_map<std::string_view, Entries::iterator> index_;
  std::size_t capacity_ = 0;
};

// The candidate cache counts its hits and misses for the metrics reply; the
// prompt cache passes no counters.
struct CacheCounters {
  std::uint64_t& hits;
  std::uint64_t& misses;
};

// The maximum length in decimal, one line feed, then the text bytes.
std::string EmbeddingCacheKey(const std::string& text, std::int32_t max_length);

// One vector per text. Misses go to the engine in one batch; when that batch
// fails the result is empty and nothing is stored (the counters keep what the
// lookups added).
std::vector<Embedding> CachedEmbedTexts(EmbeddingClient& client, EmbeddingCache& cache,
                                        const std::vector<std::string>& texts, std::int32_t max_length,
                                        CacheCounters* counters);

}  // namespace quirvel
