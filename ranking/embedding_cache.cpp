#include "ranking/embedding_cache.h"

#include <cstddef>
#include <utility>

namespace quirvel {
namespace {

struct Misses {
  std::vector<std::string> texts;
  std::vector<std::size_t> positions;
};

// Fills the result from the cache and lists what the engine still has to embed.
Misses LookUp(EmbeddingCache& cache, const std::vector<std::string>& texts, std::int32_t max_length,
              CacheCounters* counters, std::vector<Embedding>& result) {
  Misses misses;
  misses.texts.reserve(texts.size());
  misses.positions.reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (const Embedding* found = cache.Find(EmbeddingCacheKey(texts[i], max_length))) {
      result[i] = *found;
      if (counters) ++counters->hits;
    } else {
      misses.texts.push_back(texts[i]);
      misses.positions.push_back(i);
      if (counters) ++counters->misses;
    }
  }
  return misses;
}

}  // namespace

const Embedding* EmbeddingCache::Find(const std::string& key) {
  const auto found = index_.find(key);
  if (found == index_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return &found->second->vector;
}

void EmbeddingCache::Store(const std::string& key, Embedding vector) {
  if (const auto found = index_.find(key); found != index_.end()) {
    found->second->vector = std::move(vector);
    entries_.splice(entries_.begin(), entries_, found->second);
    return;
  }
  entries_.push_front({key, std::move(vector)});
  index_.emplace(entries_.front().key, entries_.begin());
  if (capacity_ == 0) return;
  while (entries_.size() > capacity_) {
    index_.erase(entries_.back().key);
    entries_.pop_back();
  }
}

void EmbeddingCache::Clear() {
  decltype(index_)().swap(index_);
  Entries().swap(entries_);
}

std::string EmbeddingCacheKey(const std::string& text, std::int32_t max_length) {
  std::string key = std::to_string(max_length);
  key += '\n';
  key += text;
  return key;
}

std::vector<Embedding> CachedEmbedTexts(EmbeddingClient& client, EmbeddingCache& cache,
                                        const std::vector<std::string>& texts, std::int32_t max_length,
                                        CacheCounters* counters) {
  std::vector<Embedding> result(texts.size());
  const Misses misses = LookUp(cache, texts, max_length, counters, result);
  if (misses.texts.empty()) return result;
  std::vector<Embedding> fresh = client.EmbedTexts(misses.texts, max_length);
  if (fresh.size() != misses.texts.size()) return {};
  for (std::size_t j = 0; j < fresh.size(); ++j) {
    result[misses.positions[j]] = fresh[j];
    cache.Store(EmbeddingCacheKey(misses.texts[j], max_length), std::move(fresh[j]));
  }
  return result;
}

}  // namespace quirvel
